// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Where each setting comes from: command line over environment over the
// user's file over the site's file over OpenLDAP's URI and BASE, and what a
// layer's value must be to be used.

#include "OpenLdapDefaults.h"
#include "ProgramArguments.h"
#include "SettingsError.h"
#include "SettingsLoader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace stelvo;

namespace {

struct Layers
{
    QStringList arguments;
    QStringList environment; // NAME=value
    QByteArray user;         // stelvo.conf text; no file when empty
    QByteArray site;
    QByteArray config; // a --config file when not empty
};

// One value of a setting in each layer, as that layer writes it.
struct Row
{
    const char* key;
    QStringList option; // the command line's words
    const char* variable;
    QString values[4]; // as read from command line, environment, user's, site's
    QByteArray fileTexts[2];
    QStringList companion; // another setting this one needs, on the command line
};

QString fileText(const QString& value)
{
    // Every backslash doubled: the form QSettings itself writes and reads back.
    return QString(value).replace(u'\\', QStringLiteral("\\\\"));
}

// clang-format off
const QList<Row> kRows = {
    {"directory", {"/cmd.ldif"}, "STELVO_DIRECTORY", {"/cmd.ldif", "/env.ldif", "/user.ldif", "/site.ldif"}, {}, {}},
    {"context", {"--context", R"(NDS:\\CMD\ORG)"}, "STELVO_CONTEXT", {R"(NDS:\\CMD\ORG)", R"(NDS:\\ENV\ORG)", R"(NDS:\\USER\ORG\SALES)", R"(NDS:\\SITE\ORG)"}, {}, {}},
    {"server", {"--server", "FSCMD"}, "STELVO_SERVER", {"FSCMD", "FSENV", "FSUSER", "FSSITE"}, {}, {}},
    {"bind-dn", {"--bind-dn", "cn=cmd,dc=tree"}, "STELVO_BIND_DN", {"cn=cmd,dc=tree", "cn=env,dc=tree", "cn=user,ou=a,dc=tree", "cn=site,dc=tree"}, {}, {"--password-file", "/pw"}},
    {"password-file", {"--password-file", "/cmd.pw"}, "STELVO_BIND_PASSWORD_FILE", {"/cmd.pw", "/env.pw", "/user.pw", "/site.pw"}, {}, {"--bind-dn", "cn=r"}},
    {"sasl-mech", {"--sasl-mech", "EXTERNAL"}, "STELVO_SASL_MECH", {"EXTERNAL", "GSSAPI", "PLAIN", "DIGEST-MD5"}, {}, {}},
    {"starttls", {"--starttls"}, "STELVO_STARTTLS", {"true", "false", "true", "false"}, {"on", "false"}, {}},
    {"volumes", {"--volumes", "/cmd"}, "STELVO_VOLUMES", {"/cmd", "/env", "/user", "/site"}, {}, {}},
    {"registry", {"--registry", "/cmd.reg"}, "STELVO_REGISTRY", {"/cmd.reg", "/env.reg", "/user.reg", "/site.reg"}, {}, {}},
    {"workstation-classes", {"--workstation-classes", "computer,Workstation"}, "STELVO_WORKSTATION_CLASSES", {"computer,Workstation", "ipHost", "device,computer", "1.3.6.1.3.7"}, {}, {}},
    {"container-classes", {"--container-classes", "container"}, "STELVO_CONTAINER_CLASSES", {"container", "nsContainer,organization", "ou-like", "domain"}, {}, {}},
    {"host-name-attribute", {"--host-name-attribute", "dNSHostName"}, "STELVO_HOST_NAME_ATTRIBUTE", {"dNSHostName", "workstationHostName", "ipHostNumber", "1.3.6.1.4.1.9"}, {}, {}},
    {"live-updates", {"--live-updates", "off"}, "STELVO_LIVE_UPDATES", {"false", "false", "true", "false"}, {"yes", "0"}, {}},
    {"poll-interval", {"--poll-interval", "60"}, "STELVO_POLL_INTERVAL", {"60", "0", "3600", "86400"}, {}, {}},
};
// clang-format on

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void precedence_data();
    void precedence();
    void openLdapDefaults_data();
    void openLdapDefaults();
    void fileForms_data();
    void fileForms();
    void refused_data();
    void refused();
    void openLdapFromLibrary();
    void liveUpdatesAsLoaded_data();
    void liveUpdatesAsLoaded();
    void systemPathsOfSettings();
    void siteTools_data();
    void siteTools();

private:
    Settings load(const Layers& layers, const OpenLdapDefaults& openLdap = {});
    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir m_dir;
    QStringList m_warnings;
    int m_files = 0;
};

void TestSettings::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // libldap reads its settings once, at its first use in the process: point
    // it at a file of ours before anything calls it.
    QFile conf(path("ldap.conf"));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("URI ldaps://first.example.org ldap://second.example.org\nBASE dc=example,dc=org\n");
    conf.close();
    qputenv("LDAPCONF", QFile::encodeName(conf.fileName()));
    qputenv("HOME", QFile::encodeName(m_dir.path()));
    for (const char* name : {"LDAPRC", "LDAPURI", "LDAPBASE", "LDAPNOINIT"})
        qunsetenv(name);
}

Settings TestSettings::load(const Layers& layers, const OpenLdapDefaults& openLdap)
{
    // A fresh folder per case: QSettings keeps what it read of a path.
    const QString dir = m_dir.filePath(QString::number(++m_files));
    const auto write = [&](const char* name, const QByteArray& text) {
        const QString file = dir + u'/' + QLatin1String(name) + QStringLiteral("/stelvo.conf");
        if (!text.isEmpty()) {
            QDir().mkpath(QFileInfo(file).path());
            QFile out(file);
            if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size())
                qFatal("cannot write %s", qPrintable(file));
        }
        return file;
    };
    const ProgramArguments parsed =
        parseProgramArguments(QStringList{QStringLiteral("stelvo")} + layers.arguments);
    if (parsed.action != ProgramArguments::Action::Run)
        throw SettingsError(parsed.error, true);
    SettingsInputs inputs;
    inputs.arguments = parsed.settings;
    for (const QString& setting : layers.environment)
        inputs.environment.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
    inputs.userFiles = {write("user", layers.user)};
    inputs.siteFiles = {write("site", layers.site), write("site2", {})};
    if (!layers.config.isEmpty())
        inputs.configFile = write("config", layers.config);
    else if (!parsed.configFile.isEmpty())
        inputs.configFile = parsed.configFile;
    inputs.directoryClient = std::make_shared<OpenLdapDefaults>(openLdap);
    m_warnings.clear();
    return loadSettings(inputs, &m_warnings);
}

void TestSettings::precedence_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("site");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("source"); // {user} and {site} stand for the files

    const QStringList layerNames{QStringLiteral("command line"), QStringLiteral("environment"),
                                 QStringLiteral("user's file"), QStringLiteral("site's file")};
    for (const Row& row : kRows) {
        const QString key = QLatin1String(row.key);
        const auto line = [&](int layer) {
            const QByteArray& text = row.fileTexts[layer - 2];
            return QByteArray(row.key) + '=' +
                   (text.isEmpty() ? fileText(row.values[layer]).toUtf8() : text) + '\n';
        };
        const QString sources[4] = {key == u"directory" ? QStringLiteral("the DIRECTORY argument")
                                                        : QStringLiteral("--") + key,
                                    QLatin1String(row.variable), key + QStringLiteral(" in {user}"),
                                    key + QStringLiteral(" in {site}")};
        // The winner is the highest layer given; every lower one holds a value too.
        for (int top = 0; top < 4; ++top) {
            const QString environment =
                QLatin1String(row.variable) + u'=' +
                (key == u"starttls" || key == u"live-updates" ? QStringLiteral("0")
                                                              : row.values[1]);
            QTest::addRow("%s from the %s", row.key, qPrintable(layerNames[top]))
                << (top == 0 ? row.option + row.companion : row.companion)
                << (top <= 1 ? QStringList{environment} : QStringList{})
                << (top <= 2 ? line(2) : QByteArray()) << line(3) << key << row.values[top]
                << sources[top];
        }
    }
}

void TestSettings::precedence()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, site);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, source);

    const Settings settings = load({arguments, environment, user, site, {}});
    const SettingKey setting = *keyOfFileKey(key);
    QCOMPARE(settings.value(setting), value);
    const QString dir = m_dir.filePath(QString::number(m_files));
    source.replace(QStringLiteral("{user}"), dir + QStringLiteral("/user/stelvo.conf"));
    source.replace(QStringLiteral("{site}"), dir + QStringLiteral("/site/stelvo.conf"));
    QCOMPARE(settings.nameOf(setting), source);
    QVERIFY2(m_warnings.isEmpty(), qPrintable(m_warnings.join(u'\n')));
}

void TestSettings::openLdapDefaults_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("site");
    QTest::addColumn<QString>("uri"); // what ldap.conf names
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("source");

    // clang-format off
    QTest::newRow("nothing anywhere: the sample")  << QStringList() << QByteArray() << QString() << QString() << QString() << "directory";
    QTest::newRow("only ldap.conf")                << QStringList() << QByteArray() << "ldap://dir.example.org:389" << "dc=example,dc=org" << "ldap://dir.example.org:389/dc=example,dc=org" << "URI and BASE in OpenLDAP's ldap.conf";
    QTest::newRow("ldap.conf URI, no BASE")        << QStringList() << QByteArray() << "ldaps://dir.example.org:636" << QString() << "ldaps://dir.example.org:636/" << "URI and BASE in OpenLDAP's ldap.conf";
    QTest::newRow("ldap.conf BASE alone")          << QStringList() << QByteArray() << QString() << "dc=example,dc=org" << QString() << "directory";
    QTest::newRow("site file over ldap.conf")      << QStringList() << QByteArray("directory=/site.ldif\n") << "ldap://dir.example.org" << "dc=x" << "/site.ldif" << "directory in {site}";
    QTest::newRow("ldap:/// takes URI and BASE")   << QStringList{"ldap:///"} << QByteArray() << "ldap://dir.example.org:389" << "o=Acme Corp,dc=example" << "ldap://dir.example.org:389/o=Acme%20Corp,dc=example" << "the DIRECTORY argument";
    QTest::newRow("ldap:///BASE keeps its DN")     << QStringList{"ldap:///ou=tree,dc=x"} << QByteArray() << "ldaps://dir.example.org:636" << "dc=example" << "ldaps://dir.example.org:636/ou=tree,dc=x" << "the DIRECTORY argument";
    QTest::newRow("ldap:/// and only BASE")        << QStringList{"ldap:///"} << QByteArray() << QString() << "dc=example" << "ldap:///dc=example" << "the DIRECTORY argument";
    QTest::newRow("ldap:/// with nothing named")   << QStringList{"ldap:///"} << QByteArray() << QString() << QString() << "ldap:///" << "the DIRECTORY argument";
    QTest::newRow("a host stays")                  << QStringList{"ldap://h/dc=y"} << QByteArray() << "ldap://dir.example.org" << "dc=x" << "ldap://h/dc=y" << "the DIRECTORY argument";
    QTest::newRow("site file's ldap:///")          << QStringList() << QByteArray("directory=ldap:///\n") << "ldapi://%2Frun%2Fslapd%2Fldapi" << "dc=x" << "ldapi://%2Frun%2Fslapd%2Fldapi/dc=x" << "directory in {site}";
    // clang-format on
}

void TestSettings::openLdapDefaults()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, site);
    QFETCH(QString, uri);
    QFETCH(QString, base);
    QFETCH(QString, directory);
    QFETCH(QString, source);

    const Settings settings = load({arguments, {}, {}, site, {}}, OpenLdapDefaults{uri, base});
    QCOMPARE(settings.value(SettingKey::Directory), directory);
    source.replace(QStringLiteral("{site}"),
                   m_dir.filePath(QString::number(m_files)) + QStringLiteral("/site/stelvo.conf"));
    QCOMPARE(settings.nameOf(SettingKey::Directory), source);
}

void TestSettings::fileForms_data()
{
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value"); // {dir}: the file's folder
    QTest::addColumn<QString>("warning");

    // clang-format off
    QTest::newRow("doubled backslashes")    << QByteArray(R"(context=NDS:\\\\ACME_TREE\\ACME\\SALES)") << "context" << R"(NDS:\\ACME_TREE\ACME\SALES)" << QString();
    QTest::newRow("quoted")                 << QByteArray(R"(context="NDS:\\\\ACME_TREE\\ACME\\SALES")") << "context" << R"(NDS:\\ACME_TREE\ACME\SALES)" << QString();
    QTest::newRow("DN with commas")         << QByteArray("bind-dn=cn=reader,ou=people,dc=tree\npassword-file=/pw") << "bind-dn" << "cn=reader,ou=people,dc=tree" << QString();
    QTest::newRow("bind DN alone")          << QByteArray("bind-dn=cn=reader,dc=tree") << "bind-dn" << "cn=reader,dc=tree" << QString();
    QTest::newRow("URL with commas")        << QByteArray("directory=ldap://h/ou=a,dc=b") << "directory" << "ldap://h/ou=a,dc=b" << QString();
    QTest::newRow("relative path")          << QByteArray("volumes=mnt/../volumes") << "volumes" << "{dir}/volumes" << QString();
    QTest::newRow("[General] is the top")   << QByteArray("[General]\nserver=FS9") << "server" << "FS9" << QString();
    QTest::newRow("sections left alone")    << QByteArray("server=FS9\n[tools]\nchat=x.exe") << "server" << "FS9" << QString();
    QTest::newRow("empty value is unset")   << QByteArray("server=\nregistry=/r.reg") << "server" << QString() << QString();
    QTest::newRow("unknown key")            << QByteArray("servr=FS9") << "server" << QString() << "{file}: unknown key \"servr\" ignored";
    QTest::newRow("key in the wrong case")  << QByteArray("Server=FS9") << "server" << QString() << "unknown key \"Server\" ignored (did you mean \"server\"?)";
    QTest::newRow("@Variant( is text")     << QByteArray("x=@Variant(\\0\\0\\0\\v?\?\?\?)\nvolumes=@Variant(\\0\\0\\0\\v?\?\?\?)") << "volumes" << u"{dir}/@Variant(\0\0\0\v?\?\?\?)"_qs << "{file}: unknown key \"x\" ignored";
    // clang-format on
}

void TestSettings::fileForms()
{
    QFETCH(QByteArray, user);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, warning);

    const Settings settings = load({{}, {}, user, {}, {}});
    const QString dir = m_dir.filePath(QString::number(m_files)) + QStringLiteral("/user");
    QCOMPARE(settings.value(*keyOfFileKey(key)), QString(value).replace(u"{dir}"_qs, dir));
    if (warning.isEmpty()) {
        QVERIFY2(m_warnings.isEmpty(), qPrintable(m_warnings.join(u'\n')));
    } else {
        QCOMPARE(m_warnings.size(), 1);
        warning.replace(u"{file}"_qs, dir + QStringLiteral("/stelvo.conf"));
        QVERIFY2(m_warnings.constFirst().contains(warning), qPrintable(m_warnings.constFirst()));
    }
}

void TestSettings::refused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("failure"); // {user}, {config}: the files
    QTest::addColumn<bool>("commandLine");

    // clang-format off
    QTest::newRow("context, command line")    << QStringList{"--context", "ACME_TREE\\ORG"} << QStringList() << QByteArray() << QByteArray() << "--context \"ACME_TREE\\ORG\" is not an NDS name" << true;
    QTest::newRow("single backslashes")       << QStringList() << QStringList() << QByteArray(R"(context=NDS:\\ACME_TREE\ACME)") << QByteArray() << "context in {user} \"NDS:\\ACME_TREECME\" is not an NDS name of the form NDS:\\\\TREE\\...; in a configuration file every backslash is written twice" << false;
    QTest::newRow("server, environment")      << QStringList() << QStringList{"STELVO_SERVER=FS1\\SYS"} << QByteArray() << QByteArray() << "STELVO_SERVER \"FS1\\SYS\" is not a server name" << false;
    QTest::newRow("starttls, file")           << QStringList() << QStringList() << QByteArray("starttls=maybe") << QByteArray() << "starttls in {user} must be true or false, not \"maybe\"" << false;
    QTest::newRow("starttls, environment")    << QStringList() << QStringList{"STELVO_STARTTLS=yes"} << QByteArray() << QByteArray() << "STELVO_STARTTLS must be 1 or 0, not \"yes\"" << false;
    QTest::newRow("password, no bind DN")     << QStringList() << QStringList() << QByteArray("password-file=/pw") << QByteArray() << "password-file in {user} is set but bind-dn is not" << false;
    QTest::newRow("SASL and bind DN")         << QStringList{"--sasl-mech", "GSSAPI"} << QStringList{"STELVO_BIND_DN=cn=r", "STELVO_BIND_PASSWORD_FILE=/pw"} << QByteArray() << QByteArray() << "--sasl-mech and STELVO_BIND_DN cannot be used together" << true;
    QTest::newRow("SASL name")                << QStringList() << QStringList{"STELVO_SASL_MECH=GSS API"} << QByteArray() << QByteArray() << "STELVO_SASL_MECH \"GSS API\" is not a SASL mechanism name" << false;
    QTest::newRow("classes, command line")   << QStringList{"--workstation-classes", "computer;pc"} << QStringList() << QByteArray() << QByteArray() << "--workstation-classes \"computer;pc\" is not a list of directory class names separated by commas" << true;
    QTest::newRow("classes, environment")    << QStringList() << QStringList{"STELVO_CONTAINER_CLASSES=container,"} << QByteArray() << QByteArray() << "STELVO_CONTAINER_CLASSES \"container,\" is not a list of directory class names" << false;
    QTest::newRow("classes, file")           << QStringList() << QStringList() << QByteArray("container-classes=\"(objectClass=*)\"") << QByteArray() << "container-classes in {user} \"(objectClass=*)\" is not a list of directory class names" << false;
    QTest::newRow("StartTLS on ldaps")        << QStringList{"--starttls", "ldaps://h/dc=x"} << QStringList() << QByteArray() << QByteArray() << "--starttls cannot be used with the DIRECTORY argument \"ldaps://h/dc=x\"" << true;
    QTest::newRow("bad LDAP URL")             << QStringList() << QStringList() << QByteArray("directory=\"ldap://h/dc=x?cn?nope\"") << QByteArray() << "directory in {user} \"ldap://h/dc=x?cn?nope\" is not a usable LDAP URL" << false;
    QTest::newRow("malformed user file")      << QStringList() << QStringList() << QByteArray("server=FS1\n[tools\n") << QByteArray() << "{user} is not a configuration file" << false;
    QTest::newRow("--config missing")         << QStringList{"--config", "/no/such/stelvo.conf"} << QStringList() << QByteArray() << QByteArray() << "the --config file /no/such/stelvo.conf does not exist" << true;
    QTest::newRow("--config malformed")       << QStringList() << QStringList() << QByteArray() << QByteArray("[x\n") << "the --config file {config} is not a configuration file" << true;
    QTest::newRow("--config, value in it")    << QStringList() << QStringList() << QByteArray() << QByteArray("server=a b") << "server in {config} \"a b\" is not a server name" << false;
    QTest::newRow("host attribute")           << QStringList{"--host-name-attribute", "dNS HostName"} << QStringList() << QByteArray() << QByteArray() << "--host-name-attribute \"dNS HostName\" is not a directory attribute name" << true;
    QTest::newRow("tool: unknown placeholder") << QStringList() << QStringList() << QByteArray("[tools]\nping = ping {hots}") << QByteArray() << "ping in the [tools] section of {user} \"ping {hots}\": \"{hots}\" is not one of {dotted}" << false;
    QTest::newRow("tool: lone brace")         << QStringList() << QStringList() << QByteArray("[tools]\nchat = c {host") << QByteArray() << "chat in the [tools] section of {user} \"c {host\": \"{host\" is not one of" << false;
    QTest::newRow("tool: open quote")         << QStringList() << QStringList() << QByteArray("[tools]\nremote-view = \"vncviewer {host}") << QByteArray() << "remote-view in the [tools] section of {user} \"\"vncviewer {host}\": a quote is not closed" << false;
    QTest::newRow("tool: NUL in its text")   << QStringList() << QStringList() << (QByteArray("[tools]\nping = p a") + '\0' + "b {host}") << QByteArray() << "ping in the [tools] section of {user} \"p a\\0b {host}\": the line holds a NUL" << false;
    QTest::newRow("tool: program from names") << QStringList() << QStringList() << QByteArray() << QByteArray("[tools]\nshortcut = {host}.sh") << "shortcut in the [tools] section of {config} \"{host}.sh\": the program cannot be a placeholder" << false;
    QTest::newRow("poll interval too short")  << QStringList{"--poll-interval", "5"} << QStringList() << QByteArray() << QByteArray() << "--poll-interval \"5\" is not a whole number of seconds from 10 to 86400, or 0 for never" << true;
    QTest::newRow("poll interval, fraction")  << QStringList() << QStringList{"STELVO_POLL_INTERVAL=1.5"} << QByteArray() << QByteArray() << "STELVO_POLL_INTERVAL \"1.5\" is not a whole number of seconds" << false;
    QTest::newRow("poll interval too long")   << QStringList() << QStringList() << QByteArray("poll-interval=86401") << QByteArray() << "poll-interval in {user} \"86401\" is not a whole number of seconds" << false;
    QTest::newRow("poll interval negative")   << QStringList() << QStringList() << QByteArray("poll-interval=-60") << QByteArray() << "poll-interval in {user} \"-60\" is not a whole number of seconds" << false;
    QTest::newRow("live updates, command line") << QStringList{"--live-updates", "maybe"} << QStringList() << QByteArray() << QByteArray() << "--live-updates must be true or false, not \"maybe\"" << true;
    QTest::newRow("live updates, environment") << QStringList() << QStringList{"STELVO_LIVE_UPDATES=no"} << QByteArray() << QByteArray() << "STELVO_LIVE_UPDATES must be 1 or 0, not \"no\"" << false;
    QTest::newRow("live updates, file")       << QStringList() << QStringList() << QByteArray("live-updates=sometimes") << QByteArray() << "live-updates in {user} must be true or false, not \"sometimes\"" << false;
    QTest::newRow("--config replaces user's") << QStringList() << QStringList() << QByteArray("server=\"a b\"") << QByteArray("server=FS1\npassword-file=/pw") << "password-file in {config} is set but bind-dn is not" << false;
    // clang-format on
}

void TestSettings::refused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, config);
    QFETCH(QString, failure);
    QFETCH(bool, commandLine);

    try {
        load({arguments, environment, user, {}, config});
        QFAIL("settings accepted");
    } catch (const SettingsError& error) {
        const QString dir = m_dir.filePath(QString::number(m_files));
        failure.replace(u"{user}"_qs, dir + QStringLiteral("/user/stelvo.conf"));
        failure.replace(u"{config}"_qs, dir + QStringLiteral("/config/stelvo.conf"));
        QVERIFY2(error.message().contains(failure), qPrintable(error.message()));
        QCOMPARE(error.fromCommandLine(), commandLine);
    }
}

void TestSettings::openLdapFromLibrary()
{
    // ldap.conf as initTestCase wrote it: both URIs, tried in turn, and BASE.
    const OpenLdapDefaults defaults = OpenLdapDefaults::fromLibrary();
    QCOMPARE(defaults.uri, u"ldaps://first.example.org:636 ldap://second.example.org:389"_qs);
    QCOMPARE(defaults.base, u"dc=example,dc=org"_qs);
}

void TestSettings::liveUpdatesAsLoaded_data()
{
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<bool>("follow");
    QTest::addColumn<int>("pollSeconds");

    // clang-format off
    QTest::newRow("nothing set: followed, never polled") << QStringList() << QByteArray() << true << 0;
    QTest::newRow("turned off, polled")                  << QStringList() << QByteArray("live-updates=off\npoll-interval=600") << false << 600;
    QTest::newRow("environment over the file")           << QStringList{"STELVO_LIVE_UPDATES=1", "STELVO_POLL_INTERVAL=0"} << QByteArray("live-updates=false\npoll-interval=10") << true << 0;
    // clang-format on
}

void TestSettings::liveUpdatesAsLoaded()
{
    QFETCH(QStringList, environment);
    QFETCH(QByteArray, user);
    QFETCH(bool, follow);
    QFETCH(int, pollSeconds);

    const Settings settings = load({{}, environment, user, {}, {}});
    QCOMPARE(settings.liveUpdates(), follow);
    QCOMPARE(settings.pollSeconds(), pollSeconds);
}

void TestSettings::systemPathsOfSettings()
{
    const Settings settings = load({{}, {}, "volumes=/srv/volumes", {}, {}});
    const SystemPaths paths = systemPathsOf(settings);
    QCOMPARE(QFile::encodeName(paths.volumes), QByteArray("/srv/volumes"));
    QVERIFY(paths.registry.isEmpty());
}

void TestSettings::siteTools_data()
{
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("site");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QStringList>("words"); // with the host h.example; empty: the default tool
    QTest::addColumn<QString>("warning");

    // clang-format off
    QTest::newRow("backslash and comma survive") << QByteArray("[tools]\nremote-control = xfreerdp /v:{host} /u:ACME\\\\admin +clipboard /size:1024x768,80%\n") << QByteArray()
        << "remote-control" << QStringList{"xfreerdp", "/v:h.example", "/u:ACME\\admin", "+clipboard", "/size:1024x768,80%"} << QString();
    QTest::newRow("quotes kept for the split")   << QByteArray("[tools]\nping=x-terminal-emulator -e \"ping -c 4\" {host} ; not a comment\n") << QByteArray()
        << "ping" << QStringList{"x-terminal-emulator", "-e", "ping -c 4", "h.example", ";", "not", "a", "comment"} << QString();
    QTest::newRow("beside the top-level keys")   << QByteArray("server=FS1\n[tools]\n# vncviewer\nremote-view = vncviewer {host}\n[other]\nchat=c\n") << QByteArray()
        << "remote-view" << QStringList{"vncviewer", "h.example"} << QString();
    QTest::newRow("other sections left alone")   << QByteArray("[other]\nchat=c\n") << QByteArray()
        << "chat" << QStringList() << QString();
    QTest::newRow("user's over site's")          << QByteArray("[tools]\nremote-execute = ssh {host}\n") << QByteArray("[tools]\nremote-execute = rsh {host}\nchat = talk {host}\n")
        << "remote-execute" << QStringList{"ssh", "h.example"} << QString();
    QTest::newRow("site's where user's is silent") << QByteArray("[tools]\nremote-execute = ssh {host}\n") << QByteArray("[tools]\nchat = talk {host}\n")
        << "chat" << QStringList{"talk", "h.example"} << QString();
    QTest::newRow("empty is the default")        << QByteArray("[tools]\nchat =\n") << QByteArray("[tools]\nchat = talk {host}\n")
        << "chat" << QStringList{"talk", "h.example"} << QString();
    QTest::newRow("unknown key")                 << QByteArray("[tools]\nremote_control = x\n") << QByteArray()
        << "remote-control" << QStringList() << "{user}: unknown key \"remote_control\" in [tools] ignored";
    // clang-format on
}

void TestSettings::siteTools()
{
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, site);
    QFETCH(QString, key);
    QFETCH(QStringList, words);
    QFETCH(QString, warning);

    const SiteTools tools = load({{}, {}, user, site, {}}).siteTools();
    int index = 0;
    while (QLatin1String(siteToolKey(SiteTool(index))) != key)
        ++index;
    const ToolTemplate* command = tools.command(SiteTool(index));
    QCOMPARE(command != nullptr, !words.isEmpty());
    if (command) {
        PlaceholderValues values;
        values[size_t(Placeholder::Host)] = QStringLiteral("h.example");
        QStringList got;
        Placeholder refused;
        QVERIFY(command->expand(values, &got, &refused));
        QCOMPARE(got, words);
    }
    warning.replace(u"{user}"_qs,
                    m_dir.filePath(QString::number(m_files)) + QStringLiteral("/user/stelvo.conf"));
    QCOMPARE(m_warnings, warning.isEmpty() ? QStringList() : QStringList{warning});
}

QTEST_GUILESS_MAIN(TestSettings)
#include "testSettings.moc"
