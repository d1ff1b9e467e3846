// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LeftOutMessage.h"

#include "VisibleText.h"

#include <QCoreApplication>

namespace stelvo {

namespace {

QString shortened(const QString& entry)
{
    if (entry.size() <= kLeftOutLongest)
        return entry;
    // Both ends stay: the DN's own name at the start, the file and line or
    // the top of the tree at the end.
    const qsizetype kept = (kLeftOutLongest - 1) / 2;
    return entry.left(kept) + QChar(0x2026) + entry.right(kept);
}

QString summary(qsizetype count)
{
    if (count == 1)
        return QCoreApplication::translate("LeftOutMessage",
                                           "1 entry was left out of the tree because its name "
                                           "cannot be written as an NDS name");
    return QCoreApplication::translate("LeftOutMessage",
                                       "%1 entries were left out of the tree because their "
                                       "names cannot be written as NDS names")
        .arg(count);
}

} // namespace

QString leftOutMessage(const QStringList& leftOut)
{
    if (leftOut.isEmpty())
        return {};
    QString text = summary(leftOut.size()) +
                   QCoreApplication::translate("LeftOutMessage",
                                               " (a name that holds a backslash or a NUL, or is "
                                               "empty, leaves out its entry and the entries "
                                               "below it):\n");
    const qsizetype listed = qMin<qsizetype>(leftOut.size(), kLeftOutListed);
    for (qsizetype i = 0; i < listed; ++i)
        text += QLatin1Char('\n') + shortened(visibleText(leftOut.at(i)));
    if (leftOut.size() > listed)
        text += QCoreApplication::translate("LeftOutMessage", "\nand %1 more")
                    .arg(leftOut.size() - listed);
    return text;
}

} // namespace stelvo
