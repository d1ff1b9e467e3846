// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

// Word splitting of a command line the way the Microsoft C runtime (UCRT)
// builds argv[] for a program, so that the tools receive exactly the
// arguments they would have received on their own platform.
//
// The program name (the first word) follows the runtime's simpler rule:
//   - it ends at the first blank or tab outside quotes;
//   - every quote toggles the quoted state and is removed;
//   - backslashes are always literal (a program name cannot hold a quote).
//
// Every later word:
//   - words are separated by blanks and tabs outside quotes;
//   - a quote toggles the quoted state and is removed, so quotes group and
//     may start in the middle of a word: -c"Remote Execute" is the single
//     word -cRemote Execute;
//   - 2n backslashes followed by a quote give n backslashes, and the quote
//     toggles the quoted state;
//   - 2n+1 backslashes followed by a quote give n backslashes and a literal
//     quote;
//   - backslashes not followed by a quote are literal;
//   - inside quotes, "" gives one literal quote and the quoted state goes on;
//   - "" on its own makes an empty word.
// Nothing else is special: $, backticks, ;, |, &, %, < and > are ordinary
// characters, since no shell is involved.
namespace stelvo::cmdline {

// The program name followed by its arguments. Empty when the line holds
// nothing but blanks.
QStringList splitCommandLine(const QString& commandLine);

// `program` written as the first word of a command line: as it stands, or in
// quotes when it holds a blank or tab. Empty when it cannot be written, that
// is when it is empty or holds a quote.
QString programWord(const QString& program);

// `arguments` written after a program word so that splitCommandLine gives
// each back as it is: quoted when empty or holding a blank, tab or quote,
// with the backslashes before a quote doubled and the quote escaped.
QString argumentsLine(const QStringList& arguments);

// The characters no command line or desktop entry may hand on: the C0
// controls (NUL to U+001F) and DEL. A NUL ends a C string early, a newline
// ends a desktop entry's line.
bool isControlCharacter(QChar c);
bool hasControlCharacter(const QString& text);

} // namespace stelvo::cmdline
