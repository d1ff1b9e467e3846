// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// Names from a directory as a message can show them.
namespace stelvo {

// `text` with each control character (cmdline::isControlCharacter) written
// as \uXXXX (a NUL as \u0000), so that a message shows where one is and
// carries none itself.
QString visibleText(const QString& text);

} // namespace stelvo
