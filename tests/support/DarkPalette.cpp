// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "DarkPalette.h"

#include <QColor>
#include <utility>

namespace stelvo::test {

QPalette darkPalette()
{
    QPalette p;
    const QColor text(0xee, 0xee, 0xee);
    // clang-format off
    const std::pair<QPalette::ColorRole, QColor> roles[] = {
        {QPalette::Window, QColor(0x22, 0x20, 0x20)}, {QPalette::WindowText, text},
        {QPalette::Base, QColor(0x1c, 0x1b, 0x1b)},   {QPalette::AlternateBase, QColor(0x2a, 0x28, 0x28)},
        {QPalette::Text, text},                       {QPalette::Button, QColor(0x33, 0x31, 0x31)},
        {QPalette::ButtonText, text},                 {QPalette::BrightText, Qt::white},
        {QPalette::Light, QColor(0x4a, 0x47, 0x47)},  {QPalette::Midlight, QColor(0x3a, 0x38, 0x38)},
        {QPalette::Mid, QColor(0x2a, 0x28, 0x28)},    {QPalette::Dark, QColor(0x14, 0x13, 0x13)},
        {QPalette::Shadow, Qt::black},                {QPalette::Highlight, QColor(0x3d, 0xae, 0xe9)},
        {QPalette::HighlightedText, Qt::white},       {QPalette::ToolTipBase, QColor(0x31, 0x36, 0x3b)},
        {QPalette::ToolTipText, text},                {QPalette::PlaceholderText, QColor(0x99, 0x99, 0x99)},
    };
    // clang-format on
    for (const auto& [role, colour] : roles)
        p.setColor(role, colour);
    return p;
}

} // namespace stelvo::test
