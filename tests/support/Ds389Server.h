// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace stelvo::test {

// A bind account cn=NAME below the suffix that may read every attribute of
// the tree (nsUniqueId included), as content synchronisation needs: 389
// refuses it to anonymous users.
struct Ds389Account
{
    QString name;
    QByteArray password;
    // No size and lookthrough limits (nsSizeLimit and nsLookThroughLimit
    // -1): a content synchronisation refresh obeys them, and one that
    // reaches them stalls without a word.
    bool limitsLifted = true;
};

// What a throwaway 389 Directory Server holds and allows. Its limits are
// 389's defaults: 2,000 entries per unpaged search, 5,000 entries looked
// through per search, across all pages of a paged one.
struct Ds389Config
{
    // The entry that stands for the tree root: dc=, o= or ou=.
    QString suffix = QStringLiteral("dc=tree");
    // LDIF whose DNs are relative to the tree root, loaded below `suffix`:
    // a file, or the text itself.
    QString fixtureFile;
    QByteArray fixture;
    // When set, a bind account cn=reader below the suffix with this password.
    QByteArray readerPassword;
    // The bind account may look through any number of entries in a paged
    // search (nsPagedLookThroughLimit: -1 on its entry), as a site gives the
    // account that reads a large tree.
    bool readerUnlimited = false;
    // More bind accounts.
    QList<Ds389Account> accounts;
    // RFC 4533 content synchronisation: the Content Synchronization plugin,
    // and the retro changelog it reads, keyed by nsUniqueId as the plugin
    // needs; enabled before the server first starts, so no restart.
    bool contentSync = false;
};

// A 389 Directory Server instance of its own for one test program or
// benchmark run, made with 389's own installer: the Workstation class in
// its schema, the fixture loaded, anonymous reads of the naming attributes
// allowed, listening on a free loopback port. The instance lives in the
// system's 389 folders under a name of its own (stelvo-PID-N); destroying
// the object stops and removes it, however far start() got; start() also
// removes those left behind by test programs that no longer run.
//
// Needs root and the 389-ds-base package; skipReason() says when they are
// missing. Works without systemd: a stand-in `systemctl` in a temporary
// folder starts and stops the server for 389's tools.
class Ds389Server
{
public:
    explicit Ds389Server(Ds389Config config);
    ~Ds389Server();
    Ds389Server(const Ds389Server&) = delete;
    Ds389Server& operator=(const Ds389Server&) = delete;

    // Why no instance can be made here (not root, 389 not installed);
    // empty when one can.
    static QString skipReason();

    // Creates the instance, loads the data and starts the server; blocks
    // for the ten seconds and more that takes, and returns once the server
    // accepts connections. False on failure, with errorString().
    bool start();

    QString errorString() const { return m_error; }
    QString instanceName() const { return m_name; }
    quint16 port() const { return m_port; }
    QString suffix() const { return m_config.suffix; }
    // ldap://127.0.0.1:PORT/SUFFIX
    QString url() const;
    QString readerDn() const;
    // The DN of the account `name` of Ds389Config::accounts.
    QString accountDn(const QString& name) const;

    // Applies `ldif` (ldapmodify's input, DNs in full) as the Directory
    // Manager. False on failure, with errorString().
    bool modify(const QByteArray& ldif);
    // The 16 bytes of the nsUniqueId of the entry `dn`; empty on failure,
    // with errorString().
    QByteArray uniqueId(const QString& dn);
    // Stops the server and starts it again (dsctl restart), returning once it
    // accepts connections again. False on failure, with errorString().
    bool restart();
    // The server's error log, for a failure's report.
    QString log() const;

private:
    bool writeFiles();
    bool create();
    bool configure();
    bool addWorkstationClass();
    bool load();
    bool startServer();
    bool allowReads();
    void remove();
    void removeInstance(const QString& name);
    void removeAbandoned();
    bool run(const QString& program, const QStringList& arguments, int timeoutMs,
             const QByteArray& input = {});
    QString configDir() const;
    QString socketUrl() const;
    bool waitUntilListening();

    Ds389Config m_config;
    QString m_name;
    QTemporaryDir m_dir;
    QProcessEnvironment m_toolEnvironment; // PATH with the stand-in systemctl first
    quint16 m_port = 0;
    quint16 m_securePort = 0;
    bool m_created = false;
    QString m_error;
};

} // namespace stelvo::test
