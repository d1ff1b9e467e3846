// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace stelvo::test {

// A throwaway Active Directory domain controller (Samba) for one test
// program: the domain ACME.TEST (DC=acme,DC=test), its controller DC1,
// provisioned in a temporary directory with a certificate of its own for
// localhost and 127.0.0.1, listening on the loopback interface only, with an
// LDAP server and a KDC and nothing else (no DNS). It runs in the foreground
// as a child process, dies with the test process, and is stopped with the
// object.
//
// With Dns::Internal it is also the domain's name server, on 127.0.0.1:53,
// as a site's controller is: the zones acme.test and _msdcs.acme.test with
// the SRV records a client finds the controllers by, dc1.acme.test and
// acme.test as 127.0.0.1, the service principals ldap/dc1.acme.test and
// ldap/DC1, and a certificate for dc1.acme.test. Names outside the domain
// are forwarded to a loopback address where nothing answers, so no query
// leaves the machine; only processes pointed at it (see DomainClient) ask it.
//
// Samba listens on the fixed ports of a domain controller (88, 389, 464,
// 636, 3268, 3269; with its DNS also 53 and 135), so one instance runs per
// machine, and only as root; a test asks skipReason() first.
//
// Every call blocks until it is done (provisioning takes several seconds);
// on failure it returns false and errorString() says why, with the output
// of the tool that failed.
class SambaAdServer
{
public:
    enum class Dns
    {
        None,     // no name server
        Internal, // Samba's own, on 127.0.0.1:53
    };

    explicit SambaAdServer(Dns dns = Dns::None);
    ~SambaAdServer();
    SambaAdServer(const SambaAdServer&) = delete;
    SambaAdServer& operator=(const SambaAdServer&) = delete;

    // Why this machine cannot run the server for this process: not root,
    // Samba's AD tools or the Kerberos and LDAP clients missing, a port of
    // the domain controller taken. Empty when it can.
    static QString skipReason(Dns dns = Dns::None);

    // Makes the domain and its certificate, and gives the controller the
    // service principal ldap/localhost. Once, before anything else.
    bool provision();
    // Adds organizational units, each a DN below the domain
    // ("OU=East,OU=Sales,OU=Acme"), parents before their children. Works
    // whether or not the server runs (it writes the database directly).
    bool addUnits(const QStringList& units);
    // Adds computer accounts named `names` to `container`, a DN below the
    // domain ("OU=Sales,OU=Acme", "CN=Computers"), each with the account
    // name NAME$ and the host name name.acme.test (in lower case). Names may
    // hold letters, digits, '-' and '_' only (at most 15). Works whether or
    // not the server runs. Adds them a few hundred at a time: on failure, the
    // batches before stay added.
    bool addComputers(const QString& container, const QStringList& names);

    // Starts Samba and returns once its KDC accepts connections and its LDAP
    // server answers (about five seconds), or fails after a minute. With its
    // own DNS, the first start also adds the controller's A records and
    // registers its service principals (another second).
    bool start();
    // Stops the server (SIGTERM, then SIGKILL) and waits for it to end.
    void stop();
    bool isRunning() const;

    // Gets a Kerberos ticket for the administrator with kinit, into a
    // credential cache in the temporary directory, with a krb5.conf there
    // that names this KDC; points KRB5_CONFIG and KRB5CCNAME of this
    // process at both, so that GSSAPI binds use them.
    bool kinit();

    // Adds a user account with `password` (never expiring), as an
    // administrator does for a colleague. Works whether or not the server
    // runs.
    bool addUser(const QString& name, const QByteArray& password);

    // The DNS records of a zone ("acme.test", "_msdcs.acme.test") through
    // the running server, as `samba-tool dns` takes them: `name` relative to
    // the zone ("dc1", "_ldap._tcp", "@"), `type` ("A", "SRV") and `data`
    // ("127.0.0.1", "dc1.acme.test 389 0 100": target, port, priority,
    // weight). Dns::Internal only.
    bool addDnsRecord(const QString& zone, const QString& name, const QString& type,
                      const QString& data);
    bool updateDnsRecord(const QString& zone, const QString& name, const QString& type,
                         const QString& oldData, const QString& newData);
    bool deleteDnsRecord(const QString& zone, const QString& name, const QString& type,
                         const QString& data);

    // The krb5.conf provisioning wrote for the domain's members (its realm,
    // KDCs found through DNS).
    QString memberKrb5Config() const;

    // ldap://127.0.0.1/DC=acme,DC=test, and ldaps:// to the same.
    QString url() const;
    QString ldapsUrl() const;
    // ldap://localhost/DC=acme,DC=test: the host name of the controller's
    // service principal ldap/localhost, for GSSAPI.
    QString localhostUrl() const;
    // The certificate's own file, which is its CA (for LDAPTLS_CACERT).
    QString caFile() const { return m_caFile; }
    static QString domainDn() { return QStringLiteral("DC=acme,DC=test"); }
    static QString realm() { return QStringLiteral("ACME.TEST"); }
    static QString dnsDomain() { return QStringLiteral("acme.test"); }
    // The controller's host name, as its SRV records and certificate name it
    // (Dns::Internal).
    static QString controllerHost() { return QStringLiteral("dc1.acme.test"); }
    static QString adminBindDn() { return QStringLiteral("Administrator@acme.test"); }
    static QByteArray adminPassword() { return QByteArrayLiteral("Stelvo-Adm1n-Pass"); }

    QString errorString() const { return m_error; }
    // Samba's own log.
    QString log() const;

private:
    bool provisionDomain();
    bool addServicePrincipal();
    // The controller's own names in its DNS and its ldap/ principals for
    // them, which provisioning leaves out without a DNS update service.
    bool registerController();
    bool dnsTool(const QStringList& arguments);
    // Runs an ldb tool (ldbadd, ldbmodify) on the domain's database with
    // `ldif` on its standard input.
    bool changeDatabase(const QString& tool, const QByteArray& ldif);
    bool run(const QString& program, const QStringList& arguments, const QByteArray& input = {},
             const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
             int timeoutMs = 120000);
    bool answers();
    QString path(const QString& name) const { return m_dir.filePath(name); }

    Dns m_dns;
    bool m_registered = false;
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_samba;
    QString m_caFile;
    QString m_error;
};

} // namespace stelvo::test
