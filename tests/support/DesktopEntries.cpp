// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "DesktopEntries.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace stelvo::test {

QString launcherBinary()
{
    return QFileInfo(QStringLiteral(STELVO_BINARY)).absolutePath() +
           QStringLiteral("/stelvo-start");
}

QString remoteControlArguments(const QString& dotted, const QString& tree)
{
    return "-w\"" + dotted + "\" -n\"" + tree + "\" -c\"Remote Control\"";
}

// The keys of a desktop entry's [Desktop Entry] group, values as written.
QMap<QString, QString> readEntry(const QString& path)
{
    QMap<QString, QString> keys;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return keys;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const qsizetype equals = line.indexOf(u'=');
        if (equals > 0)
            keys.insert(line.left(equals), line.mid(equals + 1));
    }
    return keys;
}

// An Exec value read the way a desktop reads it: first the string escapes
// (\s \n \t \r \\), then the quoting rules (reserved characters only inside
// double quotes, where \" \` \$ \\ stand for the character), then the field
// codes (%% for %, any other one is not expected here). Sets `error` on
// anything a desktop would reject.
QStringList parseExec(const QString& value, QString* error)
{
    QString unescaped;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size()) {
            const QChar next = value[++i];
            if (next == u's')
                unescaped += u' ';
            else if (next == u'n')
                unescaped += u'\n';
            else if (next == u't')
                unescaped += u'\t';
            else if (next == u'r')
                unescaped += u'\r';
            else if (next == u'\\')
                unescaped += u'\\';
            else
                unescaped += QString(u'\\') + next;
        } else {
            unescaped += value[i];
        }
    }

    static const QString reserved = QStringLiteral("\t\n\"'\\><~|&;$*?#()`");
    QStringList words;
    QString word;
    bool inWord = false;
    bool inQuotes = false;
    for (qsizetype i = 0; i < unescaped.size(); ++i) {
        const QChar c = unescaped[i];
        if (inQuotes) {
            if (c == u'"') {
                inQuotes = false;
            } else if (c == u'\\') {
                if (i + 1 == unescaped.size() ||
                    !QStringLiteral("\"`$\\").contains(unescaped[i + 1])) {
                    *error = "lone backslash inside quotes";
                    return {};
                }
                word += unescaped[++i];
            } else if (c == u'`' || c == u'$') {
                *error = QStringLiteral("unescaped %1 inside quotes").arg(c);
                return {};
            } else {
                word += c;
            }
        } else if (c == u' ') {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else if (c == u'"') {
            inQuotes = inWord = true;
        } else if (reserved.contains(c)) {
            *error = QStringLiteral("reserved character %1 outside quotes").arg(c);
            return {};
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inQuotes) {
        *error = "unclosed quote";
        return {};
    }
    if (inWord)
        words << word;

    for (QString& w : words) {
        QString plain;
        for (qsizetype i = 0; i < w.size(); ++i) {
            if (w[i] != u'%') {
                plain += w[i];
            } else if (i + 1 < w.size() && w[i + 1] == u'%') {
                plain += u'%';
                ++i;
            } else {
                *error = "field code in an argument";
                return {};
            }
        }
        w = plain;
    }
    return words;
}

QString validateEntry(const QString& path)
{
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (validator.isEmpty())
        return "desktop-file-validate is not installed (scripts/install-deps)";
    QProcess process;
    process.start(validator, {path});
    if (!process.waitForFinished(30000))
        return "desktop-file-validate did not finish";
    const QString output =
        QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    // It exits 0 on hints as well; anything it prints is a finding.
    if (process.exitCode() != 0 || !output.trimmed().isEmpty())
        return output.isEmpty() ? QStringLiteral("exit code %1").arg(process.exitCode()) : output;
    return {};
}

} // namespace stelvo::test
