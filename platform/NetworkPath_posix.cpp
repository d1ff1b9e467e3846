// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "NetworkPath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace stelvo {

namespace {

bool isSeparator(QChar c)
{
    return c == u'\\' || c == u'/';
}

// The entry of `folder` named `name` as the server's file system would find
// it: an exact match first, else the first entry equal to it ignoring case.
QString findEntry(const QString& folder, const QString& name)
{
    if (QFileInfo::exists(folder + u'/' + name))
        return name;
    const QStringList entries = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return {};
}

// The components of \\SERVER\VOLUME\rest. On failure sets `result.error`
// and returns false.
bool uncComponents(const QString& program, QStringList* components, StartResult& result)
{
    QString rest = program.mid(2);
    rest.replace(u'/', u'\\');
    *components = rest.split(u'\\', Qt::SkipEmptyParts);
    if (components->size() < 3) {
        result.error = QCoreApplication::translate(
            "ProcessStart", "The path does not name a file on a server volume "
                            "(\\\\SERVER\\VOLUME\\FOLDER\\FILE).");
        return false;
    }
    for (const QString& component : std::as_const(*components)) {
        // Would step out of the volumes folder, or is a device path (\\?\, \\.\).
        if (component == u"." || component == u".." || component == u"?") {
            result.error =
                QCoreApplication::translate(
                    "ProcessStart", "The path holds \"%1\", which cannot name a folder on a "
                                    "server volume.")
                    .arg(component);
            return false;
        }
    }
    return true;
}

// The folder where the servers' volumes are mounted, absolute. On failure
// sets `result.error` (and the path looked at) and returns an empty string.
QString volumesRoot(const QString& volumes, StartResult& result)
{
    if (volumes.isEmpty()) {
        result.error = QCoreApplication::translate(
            "ProcessStart", "STELVO_VOLUMES is not set, so the folder where the servers' "
                            "volumes are mounted is unknown.");
        return {};
    }
    const QString root = QDir::cleanPath(QDir(volumes).absolutePath());
    if (!QFileInfo(root).isDir()) {
        result.localPath = root;
        result.error = QCoreApplication::translate(
                           "ProcessStart", "The volumes folder %1 (STELVO_VOLUMES) does not exist.")
                           .arg(root);
        return {};
    }
    return root;
}

// Why components[i] cannot be found in `folder`, the folder reached so far.
QString missingComponentError(const QStringList& components, qsizetype i, const QString& folder,
                              const QString& root)
{
    if (i == 0)
        return QCoreApplication::translate("ProcessStart",
                                           "The server %1 is not mounted in the volumes folder %2.")
            .arg(components[0], root);
    if (i == 1)
        return QCoreApplication::translate(
                   "ProcessStart",
                   "The volume %1 of server %2 is not mounted in the volumes folder %3.")
            .arg(components[1], components[0], root);
    if (i + 1 < components.size())
        return QCoreApplication::translate("ProcessStart", "No such folder: %1.")
            .arg(folder + u'/' + components[i]);
    return QCoreApplication::translate("ProcessStart", "No such file.");
}

} // namespace

bool isUncPath(const QString& path)
{
    return path.size() > 2 && isSeparator(path[0]) && isSeparator(path[1]);
}

bool mapUncPath(const QString& program, const QString& volumes, StartResult& result)
{
    QStringList components;
    if (!uncComponents(program, &components, result))
        return false;
    const QString root = volumesRoot(volumes, result);
    if (root.isEmpty())
        return false;

    QString path = root;
    for (qsizetype i = 0; i < components.size(); ++i) {
        const QString entry = findEntry(path, components[i]);
        if (entry.isEmpty()) {
            result.localPath = path + u'/' + components.mid(i).join(u'/');
            result.error = missingComponentError(components, i, path, root);
            return false;
        }
        path += u'/' + entry;
    }
    result.localPath = path;
    return true;
}

} // namespace stelvo
