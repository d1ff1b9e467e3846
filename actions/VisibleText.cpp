// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "VisibleText.h"

#include "CommandLine.h"

namespace stelvo {

QString visibleText(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (cmdline::isControlCharacter(c))
            shown += QLatin1String("\\u") +
                     QString::number(c.unicode(), 16).rightJustified(4, QLatin1Char('0')).toUpper();
        else
            shown += c;
    }
    return shown;
}

} // namespace stelvo
