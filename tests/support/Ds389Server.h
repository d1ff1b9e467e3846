// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace stelvo::test {

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
    // The server's error log, for a failure's report.
    QString log() const;

private:
    bool writeFiles();
    bool create();
    bool listenOnLoopbackOnly();
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
