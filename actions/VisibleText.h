#pragma once

#include <QString>

// Names from a directory as a message can show them.
namespace stelvo {

// True for the characters no name may hand on to a tool or show raw in a
// message: the C0 controls (NUL to U+001F) and DEL.
bool isControlCharacter(QChar c);

// `text` with each control character written as \uXXXX (a NUL as \u0000),
// so that a message shows where one is and carries none itself.
QString visibleText(const QString& text);

} // namespace stelvo
