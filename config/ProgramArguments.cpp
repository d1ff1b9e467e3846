// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ProgramArguments.h"

#include "stelvo_version.h"

#include <QCommandLineParser>

namespace stelvo {

namespace {

constexpr char kPositional[] = "DIRECTORY";

struct QtOption
{
    const char* name;
    bool takesValue;
};

// The options QGuiApplication, QApplication and the platform plugins take
// from argv; each may also be written with two dashes or as -name=value.
// clang-format off
constexpr QtOption kQtOptions[] = {
    {"platform", true}, {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true}, {"qwindowtitle", true}, {"geometry", true},
    {"icon", true}, {"title", true}, {"display", true}, {"name", true}, {"session", true},
    {"style", true}, {"stylesheet", true}, {"qmljsdebugger", true},
    {"reverse", false}, {"widgetcount", false}, {"nograb", false}, {"dograb", false},
    {"sync", false}, {"testability", false},
};
// clang-format on

// How many arguments from `arguments[index]` are Qt's own (0, 1 or 2).
int qtOptionLength(const QStringList& arguments, qsizetype index)
{
    QString word = arguments.at(index);
    if (!word.startsWith(QLatin1Char('-')) || word == QLatin1String("--"))
        return 0;
    word.remove(0, word.startsWith(QLatin1String("--")) ? 2 : 1);
    const qsizetype equals = word.indexOf(QLatin1Char('='));
    const QString name = equals < 0 ? word : word.left(equals);
    for (const QtOption& option : kQtOptions) {
        if (name == QLatin1String(option.name))
            return option.takesValue && equals < 0 && index + 1 < arguments.size() ? 2 : 1;
    }
    return 0;
}

QStringList withoutQtOptions(const QStringList& arguments)
{
    QStringList kept;
    for (qsizetype index = 0; index < arguments.size();) {
        const int skip = index == 0 ? 0 : qtOptionLength(arguments, index);
        if (skip == 0 && arguments.at(index) == QLatin1String("--") && index > 0) {
            kept += arguments.mid(index);
            break;
        }
        if (skip == 0)
            kept << arguments.at(index);
        index += skip == 0 ? 1 : skip;
    }
    return kept;
}

struct Options
{
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Shows this help and ends.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Shows the program's version and ends.")};
    QCommandLineOption config{QStringLiteral("config"),
                              QStringLiteral("Reads FILE instead of the user's and the site's "
                                             "stelvo.conf."),
                              QStringLiteral("FILE")};
    QList<std::pair<SettingKey, QCommandLineOption>> settings{
        {SettingKey::Context,
         {QStringLiteral("context"),
          QStringLiteral("The initial context, an NDS name such as NDS:\\\\TREE\\ORG\\UNIT; its "
                         "first component is the tree shown."),
          QStringLiteral("NDS")}},
        {SettingKey::Server,
         {QStringLiteral("server"),
          QStringLiteral("The session's first server: tools start from "
                         "\\\\NAME\\SYS\\PUBLIC\\ZENWORKS."),
          QStringLiteral("NAME")}},
        {SettingKey::BindDn,
         {QStringLiteral("bind-dn"), QStringLiteral("LDAP: bind as DN (simple bind)."),
          QStringLiteral("DN")}},
        {SettingKey::PasswordFile,
         {QStringLiteral("password-file"),
          QStringLiteral("LDAP: the bind password's file (owner-only, chmod 600)."),
          QStringLiteral("FILE")}},
        {SettingKey::SaslMech,
         {QStringLiteral("sasl-mech"),
          QStringLiteral("LDAP: sign on with this SASL mechanism (EXTERNAL, GSSAPI)."),
          QStringLiteral("MECH")}},
        {SettingKey::StartTls, {QStringLiteral("starttls"), QStringLiteral("LDAP: use StartTLS.")}},
        {SettingKey::Volumes,
         {QStringLiteral("volumes"),
          QStringLiteral("The folder where the servers' volumes are mounted."),
          QStringLiteral("DIR")}},
        {SettingKey::Registry,
         {QStringLiteral("registry"),
          QStringLiteral("A registry editor export read as the machine's registry."),
          QStringLiteral("FILE")}},
        {SettingKey::WorkstationClasses,
         {QStringLiteral("workstation-classes"),
          QStringLiteral("The directory classes of workstations, separated by commas "
                         "(default: Workstation, computer)."),
          QStringLiteral("LIST")}},
        {SettingKey::ContainerClasses,
         {QStringLiteral("container-classes"),
          QStringLiteral("The directory classes of containers, separated by commas "
                         "(default: organization, organizationalUnit, container, nsContainer, "
                         "domain, dcObject, country, locality, builtinDomain)."),
          QStringLiteral("LIST")}},
        {SettingKey::Domain,
         {QStringLiteral("domain"),
          QStringLiteral("LDAP: the DNS domain whose controllers (DNS SRV records) hold the "
                         "directory, instead of a DIRECTORY."),
          QStringLiteral("DOMAIN")}},
        {SettingKey::NetworkTimeout,
         {QStringLiteral("network-timeout"),
          QStringLiteral("LDAP: seconds to wait for each server's connection before the next "
                         "one is tried (default: 5)."),
          QStringLiteral("SECONDS")}},
        {SettingKey::LiveUpdates,
         {QStringLiteral("live-updates"),
          QStringLiteral("Whether the tree follows the directory's changes while the program "
                         "runs (default: true); false reads it once, and at each F5."),
          QStringLiteral("true|false")}},
        {SettingKey::PollInterval,
         {QStringLiteral("poll-interval"),
          QStringLiteral("Seconds between reads of a directory that tells of no changes itself "
                         "(10 to 86400; default: 0, never)."),
          QStringLiteral("SECONDS")}},
        {SettingKey::HostNameAttribute,
         {QStringLiteral("host-name-attribute"),
          QStringLiteral("The directory attribute of a workstation's host name, for Find and "
                         "the {host} of the [tools] commands (default: dNSHostName)."),
          QStringLiteral("ATTRIBUTE")}},
    };

    void addTo(QCommandLineParser& parser) const
    {
        parser.addOption(help);
        parser.addOption(version);
        for (const auto& [key, option] : settings)
            parser.addOption(option);
        parser.addOption(config);
        parser.addPositionalArgument(
            QLatin1String(kPositional),
            QStringLiteral("The directory: an LDIF file, or an ldap://, ldaps:// or ldapi:// URL "
                           "whose DN stands for the tree root."),
            QStringLiteral("[DIRECTORY]"));
    }
};

QString emptyValueError(const QCommandLineParser& parser, const Options& options)
{
    for (const auto& [key, option] : options.settings) {
        if (!option.valueName().isEmpty() && parser.isSet(option) && parser.value(option).isEmpty())
            return QStringLiteral("--%1 needs a value").arg(option.names().constLast());
    }
    if (parser.isSet(options.config) && parser.value(options.config).isEmpty())
        return QStringLiteral("--config needs a value");
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return QStringLiteral("only one DIRECTORY may be given, not \"%1\"")
            .arg(positional.join(QLatin1String("\", \"")));
    if (positional.size() == 1 && positional.constFirst().isEmpty())
        return QStringLiteral("the DIRECTORY argument is empty");
    return {};
}

} // namespace

ProgramArguments parseProgramArguments(const QStringList& arguments)
{
    QCommandLineParser parser;
    const Options options;
    options.addTo(parser);
    ProgramArguments result;
    if (!parser.parse(withoutQtOptions(arguments))) {
        result.action = ProgramArguments::Action::Error;
        result.error = parser.errorText();
        return result;
    }
    if (parser.isSet(options.help) || parser.isSet(options.version)) {
        result.action = parser.isSet(options.help) ? ProgramArguments::Action::Help
                                                   : ProgramArguments::Action::Version;
        return result;
    }
    result.error = emptyValueError(parser, options);
    if (!result.error.isEmpty()) {
        result.action = ProgramArguments::Action::Error;
        return result;
    }
    for (const auto& [key, option] : options.settings) {
        if (parser.isSet(option))
            result.settings.append({key, option.valueName().isEmpty() ? QStringLiteral("true")
                                                                      : parser.value(option)});
    }
    if (!parser.positionalArguments().isEmpty())
        result.settings.append({SettingKey::Directory, parser.positionalArguments().constFirst()});
    result.configFile = parser.value(options.config);
    return result;
}

QString programHelp(const QString& program)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shows a directory's workstations as a tree and starts remote-management tools."));
    Options().addTo(parser);
    QString text = parser.helpText();
    text.replace(QLatin1String("<executable_name>"), program);
    return text + QStringLiteral(
                      "\nA setting not given here comes from the environment (STELVO_...), then\n"
                      "from ~/.config/stelvo/stelvo.conf, then from /etc/xdg/stelvo/stelvo.conf.\n"
                      "Without a directory, OpenLDAP's ldap.conf (URI, BASE) names it, else the\n"
                      "domain of the Kerberos realm (the ticket's, or krb5.conf's default) is\n"
                      "found through DNS and signed on to with the ticket; without a realm the\n"
                      "embedded sample directory is shown. Qt's own options (-platform, -style,\n"
                      "-reverse, ...) are passed to Qt.\n");
}

QString programUsage(const QString& program)
{
    return QStringLiteral("Usage: %1 [options] [DIRECTORY] (%1 --help tells more)").arg(program);
}

QString programVersion()
{
    return QStringLiteral("stelvo %1.%2.%3")
        .arg(version::kMajor)
        .arg(version::kMinor)
        .arg(version::kRevision);
}

} // namespace stelvo
