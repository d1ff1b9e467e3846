// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "CommandLine.h"
#include "ProcessStart.h"
#include "ShellLink.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <climits>

namespace stelvo {

namespace {

const QString kLauncherName = QStringLiteral("stelvo-start");
// The application icon's name in the icon theme, as installed (hicolor).
const QString kIconName = QStringLiteral("org.stelvo.Stelvo");

QString& launcherOverride()
{
    static QString path;
    return path;
}

// The profile-relative components of `folder`, a path relative to
// <profile>\Start Menu\Programs; false when it leaves the profile.
bool profileComponents(const QString& folder, QStringList* components)
{
    if (folder.startsWith(u'\\') || folder.startsWith(u'/') || folder.contains(u':'))
        return false;
    QString path = folder;
    path.replace(u'/', u'\\');
    *components = {QStringLiteral("Start Menu"), QStringLiteral("Programs")};
    for (const QString& component : path.split(u'\\', Qt::SkipEmptyParts)) {
        if (component == u".")
            continue;
        if (component == u"..") {
            if (components->isEmpty())
                return false;
            components->removeLast();
            continue;
        }
        components->append(component);
    }
    return true;
}

bool sameName(const QString& a, const char* b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

// Where the profile-relative folder lies on this desktop (see the header).
QString localFolder(const QStringList& components)
{
    QString base;
    qsizetype used = 0;
    if (components.size() >= 2 && sameName(components[0], "Start Menu") &&
        sameName(components[1], "Programs")) {
        base = QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
        used = 2;
    } else if (!components.isEmpty() && sameName(components[0], "Desktop")) {
        base = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        used = 1;
    } else {
        base = QDir::homePath();
    }
    const QStringList rest = components.mid(used);
    return rest.isEmpty() ? base : base + u'/' + rest.join(u'/');
}

// A value of type string or localestring in a desktop entry.
QString escapeValue(const QString& value)
{
    QString escaped = value;
    escaped.replace(u'\\', QLatin1String("\\\\"));
    if (escaped.startsWith(u' '))
        escaped.replace(0, 1, QLatin1String("\\s"));
    return escaped;
}

// One argument of an Exec line: quoted when it holds a reserved character,
// with ", `, $ and \ escaped inside the quotes, and % doubled everywhere so
// that it is never read as a field code.
QString execArgument(const QString& argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = argument.isEmpty();
    for (const QChar c : argument)
        quote = quote || reserved.contains(c);

    QString word;
    if (quote) {
        word += u'"';
        for (const QChar c : argument) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                word += u'\\';
            word += c;
        }
        word += u'"';
    } else {
        word = argument;
    }
    word.replace(u'%', QLatin1String("%%"));
    return word;
}

QString execLine(const QStringList& argv)
{
    QStringList words;
    for (const QString& argument : argv)
        words << execArgument(argument);
    // The Exec value is a string, so its backslashes are escaped once more.
    return escapeValue(words.join(u' '));
}

void markTrusted(const QString& path)
{
    // GNOME's desktop wants this mark besides the execute bit. It lives in
    // the session's metadata store: without a session bus there is none, and
    // gio would only try to start one.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return;
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty())
        return;
    QProcess::startDetached(gio, {QStringLiteral("set"), path, QStringLiteral("metadata::trusted"),
                                  QStringLiteral("true")});
}

// The entry's file name: the link name with "/" replaced, as a file name
// cannot hold one.
QString entryFileName(const QString& linkName)
{
    QString fileName = linkName;
    fileName.replace(u'/', u'_');
    return fileName + QLatin1String(".desktop");
}

// Why the shortcut's name, folder and values cannot make an entry; empty
// when they can.
QString valueProblem(const QString& folder, const QString& linkName, const QString& fileName,
                     const QString& linkTarget, const QString& linkArguments)
{
    if (linkName.trimmed().isEmpty())
        return QCoreApplication::translate("ShellLink", "The shortcut has no name.");
    if (cmdline::hasControlCharacter(folder) || cmdline::hasControlCharacter(linkName) ||
        cmdline::hasControlCharacter(linkTarget) || cmdline::hasControlCharacter(linkArguments)) {
        // A desktop entry is one value per line, and a tool argument
        // should never carry one anyway.
        return QCoreApplication::translate(
            "ShellLink", "The shortcut's name, folder, target or arguments hold a control "
                         "character.");
    }
    if (QFile::encodeName(fileName).size() > NAME_MAX)
        return QCoreApplication::translate("ShellLink",
                                           "The shortcut's name is too long for a file name.");
    return {};
}

// Where an installation puts the launcher, relative to the program's folder.
QString installedLauncherDir(const QString& programDir)
{
    return QDir::cleanPath(programDir + QLatin1String("/" STELVO_LAUNCHER_FROM_BINDIR));
}

// The command the entry runs: the launcher, with the target and the
// arguments as one command line. Returns why there is none; empty when
// `argv` is set.
QString launcherCommand(const QString& linkTarget, const QString& linkArguments,
                        const QString& volumes, QStringList* argv)
{
    const QString program = cmdline::programWord(linkTarget);
    if (program.isEmpty()) {
        return linkTarget.isEmpty()
                   ? QCoreApplication::translate("ShellLink", "The shortcut has no target.")
                   : QCoreApplication::translate("ShellLink",
                                                 "The target %1 holds a quote character, "
                                                 "which a command line cannot carry.")
                         .arg(linkTarget);
    }
    const QString launcher = shellLinkLauncher();
    if (launcher.isEmpty()) {
        return QCoreApplication::translate(
                   "ShellLink", "The launcher %1 is not installed: it was looked for beside this "
                                "program, in %2 and on PATH.")
            .arg(kLauncherName, installedLauncherDir(QCoreApplication::applicationDirPath()));
    }
    if (cmdline::hasControlCharacter(volumes) || cmdline::hasControlCharacter(launcher))
        return QCoreApplication::translate(
            "ShellLink", "The launcher's path or STELVO_VOLUMES holds a control character.");

    *argv = {launcher};
    if (!volumes.isEmpty()) {
        // Absolute, since the desktop starts the entry from another folder.
        *argv << QStringLiteral("--volumes") << QDir(volumes).absolutePath();
    }
    *argv << QStringLiteral("--")
          << (linkArguments.isEmpty() ? program : program + u' ' + linkArguments);
    return {};
}

QString entryText(const QString& linkName, const QStringList& argv)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Version=1.0\n"
                          "Type=Application\n"
                          "Name=%1\n"
                          "Exec=%2\n"
                          "Icon=%3\n"
                          "Terminal=false\n"
                          "Categories=Network;RemoteAccess;\n")
        .arg(escapeValue(linkName), execLine(argv), kIconName);
}

// Writes the entry whole or not at all. Returns why it could not be
// written; empty when it was.
QString writeEntry(const QString& directory, const QString& path, const QString& text)
{
    if (!QDir().mkpath(directory))
        return QCoreApplication::translate("ShellLink", "Cannot create the folder %1.")
            .arg(directory);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QCoreApplication::translate("ShellLink", "Cannot write %1: %2.")
            .arg(path, file.errorString());
    file.write(text.toUtf8());
    // Desktops refuse to launch an entry on the desktop that is not executable.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                        QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                        QFileDevice::ExeOther);
    if (!file.commit())
        return QCoreApplication::translate("ShellLink", "Cannot write %1: %2.")
            .arg(path, file.errorString());
    return {};
}

} // namespace

QString shellLinkLauncher()
{
    if (!launcherOverride().isEmpty())
        return launcherOverride();
    if (!QCoreApplication::instance())
        return QStandardPaths::findExecutable(kLauncherName);
    return shellLinkLauncherFor(QCoreApplication::applicationDirPath());
}

QString shellLinkLauncherFor(const QString& programDir)
{
    const QString places[] = {
        programDir + u'/' + kLauncherName,
        installedLauncherDir(programDir) + u'/' + kLauncherName,
    };
    for (const QString& place : places) {
        const QFileInfo launcher(place);
        if (launcher.isFile() && launcher.isExecutable())
            return QDir::cleanPath(launcher.absoluteFilePath());
    }
    return QStandardPaths::findExecutable(kLauncherName);
}

void setShellLinkLauncher(const QString& path)
{
    launcherOverride() = path;
}

ShellLinkResult fCreateShellLink(const QString& folder, const QString& linkName,
                                 const QString& linkTarget, const QString& linkArguments,
                                 const SystemPaths& paths)
{
    ShellLinkResult result;
    QStringList components;
    if (!profileComponents(folder, &components)) {
        result.error = QCoreApplication::translate(
                           "ShellLink", "The folder \"%1\" is outside the user's profile.")
                           .arg(folder);
        return result;
    }
    const QString directory = localFolder(components);
    const QString fileName = entryFileName(linkName);
    result.path = directory + u'/' + fileName;

    QStringList argv;
    result.error = valueProblem(folder, linkName, fileName, linkTarget, linkArguments);
    if (result.error.isEmpty())
        result.error = launcherCommand(linkTarget, linkArguments, paths.volumes, &argv);
    if (result.error.isEmpty())
        result.error = writeEntry(directory, result.path, entryText(linkName, argv));
    if (!result.error.isEmpty())
        return result;
    markTrusted(result.path);
    result.ok = true;
    return result;
}

} // namespace stelvo
