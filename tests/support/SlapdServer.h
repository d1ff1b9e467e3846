// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "SlapdLdif.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace stelvo::test {

// What a throwaway directory server holds and allows.
struct SlapdConfig
{
    // The entry that stands for the tree root; dc=, o= or ou=. Empty: the
    // server holds the whole tree, one database for each top entry of the
    // fixture (its naming contexts).
    QString suffix = QStringLiteral("dc=tree");
    // LDIF whose DNs are relative to the tree root (the form the LDIF
    // directory reads); loaded below `suffix`. A file, or the text itself.
    QString fixtureFile;
    QByteArray fixture;

    // The server's size limit for ordinary users (the root DN has none).
    int sizeLimit = 500;
    enum class Paging
    {
        Unlimited, // paged searches get past the size limit (size.prtotal=unlimited)
        Refused,   // the paged-results control is refused (size.prtotal=disabled)
        Limited,   // paged searches stop at the size limit too (slapd's default)
    };
    Paging paging = Paging::Unlimited;
    // > 0: a search whose filter's index names more candidates than this
    // fails with an administrative limit (size.unchecked).
    int uncheckedLimit = 0;

    // False: only bound users read; anonymous users may only bind.
    bool anonymousRead = true;
    // When set, an entry cn=reader below the (first) suffix with this password.
    QByteArray readerPassword;
    // cn=reader has no size limit, whatever sizeLimit gives everyone else.
    bool readerUnlimited = false;

    // The syncprov overlay on each database: RFC 4533 content sync, with a
    // checkpoint and a session log, entryCSN and entryUUID indexed.
    bool syncprov = false;

    // When both are set: StartTLS on the plain listener, and an ldaps:// one.
    QString certificateFile;
    QString keyFile;

    // The server also listens on a Unix socket (ldapiUrl()), where SASL
    // EXTERNAL signs this process's user on as readerDn(). When set, this
    // subtree (a DN relative to the suffix, "o=GLOBEX") is readable by that
    // identity only.
    QString externalOnly;

    // More cn=config schema files, included after the test suite's own.
    QStringList schemaFiles;
};

// A slapd of its own for a test: a throwaway cn=config and mdb database in
// a temporary directory, listening on free loopback ports and on a Unix
// socket in that directory, run in the
// foreground as a child process and stopped with the object. Never touches
// the system's /etc/ldap.
class SlapdServer
{
public:
    explicit SlapdServer(SlapdConfig config);
    ~SlapdServer();
    SlapdServer(const SlapdServer&) = delete;
    SlapdServer& operator=(const SlapdServer&) = delete;

    // The first call builds the configuration and loads the data; later
    // calls start the same server again, on the same ports. Returns once the
    // listeners accept connections. On failure see errorString().
    bool start();
    // Clean shutdown (SIGTERM), waiting for the process to end.
    void stop();
    // SIGKILL, waiting for the process to end: a server that dies.
    void kill();
    bool isRunning() const;

    QString errorString() const { return m_error; }
    QString log() const; // slapd's own output

    quint16 port() const { return m_port; }
    quint16 ldapsPort() const { return m_ldapsPort; }
    // ldap://127.0.0.1:PORT/SUFFIX, and with another DN than the suffix.
    QString url() const;
    QString url(const QString& dn) const;
    QString ldapsUrl() const;
    // ldapi://SOCKET/SUFFIX, the socket path %-encoded; and its path alone.
    QString ldapiUrl() const;
    QString ldapiSocket() const;
    QString suffix() const { return m_config.suffix; }
    QString readerDn() const;
    QString rootDn() const;
    static QByteArray rootPassword() { return kRootPassword; }

    // Runs one of the ldap-utils tools (ldapmodify, ldapdelete, ldapmodrdn,
    // ldapsearch) against this server as the root DN, with `input` on its
    // standard input. False when it fails; `output` gets what it printed.
    bool runAsRoot(const QString& tool, const QStringList& arguments, const QByteArray& input = {},
                   QString* output = nullptr);

private:
    static constexpr char kRootPassword[] = "root-secret";

    // Writes the configuration and loads the data (SlapdConfiguration.cpp).
    bool build();
    bool writeFile(const QString& name, const QByteArray& content, QString* path);
    bool run(const QString& program, const QStringList& arguments, int timeoutMs,
             const QByteArray& input = {}, QString* output = nullptr);
    bool waitForListeners();

    SlapdConfig m_config;
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_slapd;
    quint16 m_port = 0;
    quint16 m_ldapsPort = 0;
    bool m_built = false;
    QString m_firstDatabase; // suffix of the first database
    QString m_error;
};

// A self-signed certificate and key for 127.0.0.1 (and localhost), or for
// the DNS name `hostName` alone when given, made with openssl in `directory`
// under the file names NAME.crt and NAME.key.
bool makeCertificate(const QString& directory, const QString& name, QString* certificate,
                     QString* key, QString* error, const QString& hostName = {});

// Two free loopback ports, both held while the second is chosen; another
// program may still take them before the caller binds them.
bool freeLoopbackPorts(quint16* first, quint16* second);
// Whether something accepts connections on 127.0.0.1:`port` now.
bool acceptsOnLoopback(quint16 port);

} // namespace stelvo::test
