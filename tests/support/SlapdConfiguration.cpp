// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The throwaway server's configuration and data: cn=config written as LDIF
// and loaded with slapadd, then each database's entries.

#include "SlapdServer.h"

#include <QDir>
#include <QFile>
#include <QUrl>
#include <unistd.h>

namespace stelvo::test {

using namespace ldifText;

namespace {

// SASL EXTERNAL over a Unix socket names the peer by its user and group;
// this process's user is signed on as `dn`.
QByteArray peerMapping(const QString& dn)
{
    return "olcAuthzRegexp: \"^gidNumber=[0-9]+\\+uidNumber=" + QByteArray::number(::geteuid()) +
           ",cn=peercred,cn=external,cn=auth$\" \"" + dn.toUtf8() + "\"\n";
}

} // namespace

bool SlapdServer::writeFile(const QString& name, const QByteArray& content, QString* path)
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        m_error = QStringLiteral("cannot write %1").arg(file.fileName());
        return false;
    }
    *path = file.fileName();
    return true;
}

bool SlapdServer::build()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory");
        return false;
    }
    QByteArray fixture = m_config.fixture;
    if (!m_config.fixtureFile.isEmpty()) {
        QFile file(m_config.fixtureFile);
        if (!file.open(QIODevice::ReadOnly)) {
            m_error = QStringLiteral("cannot read %1").arg(m_config.fixtureFile);
            return false;
        }
        fixture = file.readAll();
    }

    // The data of each database, keyed by its suffix, in order.
    QList<QPair<QByteArray, QByteArray>> databases;
    if (!m_config.suffix.isEmpty()) {
        QByteArray data;
        if (!rebaseLdif(fixture, m_config.suffix, &data, &m_error))
            return false;
        databases.append({m_config.suffix.toUtf8(), data});
    } else {
        // A server that holds the whole tree: one database per top entry.
        const bool ok = forEachEntry(
            fixture,
            [&](const QByteArray& dn, const QByteArray& attributes) {
                const QByteArray top = topOf(dn);
                if (top.isEmpty())
                    return false;
                auto it = std::find_if(databases.begin(), databases.end(),
                                       [&](const auto& db) { return db.first == top; });
                if (it == databases.end()) {
                    databases.append({top, QByteArray()});
                    it = databases.end() - 1;
                }
                putLine(&it->second, "dn", dn);
                it->second += attributes + '\n';
                return true;
            },
            &m_error);
        if (!ok)
            return false;
        if (databases.isEmpty()) {
            m_error = QStringLiteral("a server without suffix needs a fixture");
            return false;
        }
    }
    m_firstDatabase = QString::fromUtf8(databases.constFirst().first);

    const QString configDir = m_dir.filePath(QStringLiteral("slapd.d"));
    if (!QDir().mkpath(configDir)) {
        m_error = QStringLiteral("cannot create %1").arg(configDir);
        return false;
    }
    const auto include = [](const QString& path) {
        return "include: " + QUrl::fromLocalFile(path).toEncoded() + "\n\n";
    };

    QByteArray config;
    config += "dn: cn=config\nobjectClass: olcGlobal\ncn: config\n";
    config += "olcPidFile: " + m_dir.filePath(QStringLiteral("slapd.pid")).toUtf8() + '\n';
    if (!m_config.certificateFile.isEmpty()) {
        config += "olcTLSCertificateFile: " + m_config.certificateFile.toUtf8() + '\n';
        config += "olcTLSCertificateKeyFile: " + m_config.keyFile.toUtf8() + '\n';
    }
    config += peerMapping(readerDn());
    config += '\n';
    // Debian builds the mdb backend as a module.
    config += "dn: cn=module,cn=config\nobjectClass: olcModuleList\ncn: module\n"
              "olcModulePath: /usr/lib/ldap\nolcModuleLoad: back_mdb\n";
    if (m_config.syncprov)
        config += "olcModuleLoad: syncprov\n";
    config += '\n';
    config += "dn: cn=schema,cn=config\nobjectClass: olcSchemaConfig\ncn: schema\n\n";
    config += include(QStringLiteral("/etc/ldap/schema/core.ldif"));
    config += include(QStringLiteral("/etc/ldap/schema/cosine.ldif"));
    config += include(QStringLiteral(STELVO_TESTS_DIR "/data/workstation.ldif"));
    config += include(QStringLiteral(STELVO_TESTS_DIR "/data/directory-classes.ldif"));
    for (const QString& schema : std::as_const(m_config.schemaFiles))
        config += include(schema);

    for (qsizetype i = 0; i < databases.size(); ++i) {
        const QByteArray& suffix = databases.at(i).first;
        const QString dbDir = m_dir.filePath(QStringLiteral("db%1").arg(i));
        if (!QDir().mkpath(dbDir)) {
            m_error = QStringLiteral("cannot create %1").arg(dbDir);
            return false;
        }
        config += "dn: olcDatabase=mdb,cn=config\nobjectClass: olcDatabaseConfig\n"
                  "objectClass: olcMdbConfig\nolcDatabase: mdb\n";
        putLine(&config, "olcSuffix", suffix);
        config += "olcDbDirectory: " + dbDir.toUtf8() + '\n';
        // mdb's default of 10 MiB holds far fewer than 100,000 entries; the
        // map is sparse, so a large maximum costs nothing.
        config += "olcDbMaxSize: 4294967296\n";
        putLine(&config, "olcRootDN", "cn=admin," + suffix);
        config += QByteArray("olcRootPW: ") + kRootPassword + '\n';
        config += "olcDbIndex: objectClass eq\nolcDbIndex: cn,ou eq\n";
        if (m_config.syncprov)
            config += "olcDbIndex: entryCSN,entryUUID eq\n";
        config += "olcSizeLimit: " + QByteArray::number(m_config.sizeLimit) + '\n';
        // slapd uses the first olcLimits value that matches.
        if (m_config.readerUnlimited && !m_config.readerPassword.isEmpty() && i == 0)
            putLine(&config, "olcLimits",
                    "dn.exact=\"" + readerDn().toUtf8() +
                        "\" size=unlimited size.prtotal=unlimited");
        QByteArray limits;
        switch (m_config.paging) {
        case SlapdConfig::Paging::Unlimited:
            limits += " size.prtotal=unlimited";
            break;
        case SlapdConfig::Paging::Refused:
            limits += " size.prtotal=disabled";
            break;
        case SlapdConfig::Paging::Limited:
            break;
        }
        if (m_config.uncheckedLimit > 0)
            limits += " size.unchecked=" + QByteArray::number(m_config.uncheckedLimit);
        if (!limits.isEmpty())
            config += "olcLimits: *" + limits + '\n';
        if (!m_config.externalOnly.isEmpty())
            putLine(&config, "olcAccess",
                    "to dn.subtree=\"" + m_config.externalOnly.toUtf8() + ',' + suffix +
                        "\" by dn.exact=\"" + readerDn().toUtf8() + "\" read by * none");
        if (!m_config.anonymousRead)
            config += "olcAccess: to * by users read by anonymous auth\n";
        else if (!m_config.externalOnly.isEmpty())
            config += "olcAccess: to * by * read\n";
        config += '\n';
        if (m_config.syncprov)
            config += "dn: olcOverlay=syncprov,olcDatabase={" + QByteArray::number(i + 1) +
                      "}mdb,cn=config\nobjectClass: olcOverlayConfig\n"
                      "objectClass: olcSyncProvConfig\nolcOverlay: syncprov\n"
                      "olcSpCheckpoint: 100 10\nolcSpSessionlog: 1000\n\n";
    }

    QString configFile;
    if (!writeFile(QStringLiteral("config.ldif"), config, &configFile) ||
        !run(QStringLiteral("slapadd"),
             {QStringLiteral("-n0"), QStringLiteral("-F"), configDir, QStringLiteral("-l"),
              configFile},
             60000))
        return false;

    if (!m_config.readerPassword.isEmpty()) {
        QByteArray& data = databases.first().second;
        putLine(&data, "dn", readerDn().toUtf8());
        data += "objectClass: organizationalRole\nobjectClass: simpleSecurityObject\n"
                "cn: reader\n";
        putLine(&data, "userPassword", m_config.readerPassword);
        data += '\n';
    }
    for (qsizetype i = 0; i < databases.size(); ++i) {
        QString dataFile;
        // -q: no consistency checks on the way, which makes large loads quick.
        if (!writeFile(QStringLiteral("data%1.ldif").arg(i), databases.at(i).second, &dataFile) ||
            !run(QStringLiteral("slapadd"),
                 {QStringLiteral("-q"), QStringLiteral("-F"), configDir, QStringLiteral("-b"),
                  QString::fromUtf8(databases.at(i).first), QStringLiteral("-l"), dataFile},
                 300000))
            return false;
    }
    return true;
}

} // namespace stelvo::test
