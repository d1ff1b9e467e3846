// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace stelvo::test {

// A machine joined to the test's domain, for the processes a test starts:
// its name server is the domain controller's on 127.0.0.1 (search domain
// the domain's), its krb5.conf the one the domain gives its members, its
// Kerberos ticket a domain user's, and it has no LDAP client settings
// (empty ldap.conf and ldaprc).
//
// The name server holds for those processes alone: each runs in a private
// mount namespace of its own (unshare) where a file of the test's is
// bind-mounted over /etc/resolv.conf, so the machine's own resolv.conf is
// never touched and nothing else asks the test's server. That needs root.
//
// Every process started dies with the test process. Calls block.
class DomainClient
{
public:
    // Why this machine cannot do it: not root, unshare or kinit missing,
    // no /etc/resolv.conf to mount over. Empty when it can.
    static QString skipReason();

    // Writes the files in `folder` (which must exist): resolv.conf naming
    // `nameServer` and searching `domain`; the Kerberos configuration,
    // `memberKrb5Config` with rdns turned off (on loopback the reverse
    // lookup of 127.0.0.1 gives localhost, which no controller is named);
    // the credential cache's place; the empty LDAP client files.
    bool prepare(const QString& folder, const QString& memberKrb5Config, const QString& domain,
                 const QString& nameServer = QStringLiteral("127.0.0.1"));

    // Fills the credential cache for `principal` with kinit, run in the
    // namespace: its KDC is found through the SRV records of the realm.
    bool kinit(const QString& principal, const QByteArray& password);

    // `base` with the Kerberos variables pointing at this client's files,
    // LDAPCONF and LDAPRC at empty files and every other LDAP* variable
    // removed.
    QProcessEnvironment environment(QProcessEnvironment base) const;

    // The program and arguments that run `program` with `arguments` in a
    // namespace of its own, as the same process (exec): its pid is the
    // program's, and killing it kills the program.
    static QString program();
    QStringList arguments(const QString& program, const QStringList& arguments) const;

    // Runs `program` there to its end with environment(base), like runTool.
    bool run(const QString& program, const QStringList& arguments, const QProcessEnvironment& base,
             QString* output = nullptr, int timeoutMs = 30000, const QByteArray& input = {});

    QString resolvConf() const { return m_resolvConf; }
    QString krb5Config() const { return m_krb5Config; }
    QString credentialCache() const { return m_cache; }
    QString errorString() const { return m_error; }

private:
    QString m_resolvConf;
    QString m_krb5Config; // KRB5_CONFIG: the member's file, then ours
    QString m_cache;
    QString m_emptyLdapConf;
    QString m_error;
};

// A TCP listener on `address`:`port` that never accepts and whose queue is
// full, so that further connections neither succeed nor fail: the kernel
// drops their SYNs, as a controller that is down behind a firewall does.
// For as long as the object lives.
class SilentListener
{
public:
    SilentListener() = default;
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    // False with errorString() when it cannot listen there or the queue
    // does not fill.
    bool start(const QString& address, quint16 port);
    QString errorString() const { return m_error; }

private:
    void close();

    int m_listener = -1;
    QList<int> m_fillers;
    QString m_error;
};

} // namespace stelvo::test
