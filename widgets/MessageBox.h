// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QMessageBox>
#include <QString>

// The message boxes of every window: modal, and titled with the program
// title when they have no title of their own.
namespace stelvo {

// "Stelvo": the title of the program's untitled message boxes.
QString programTitle();

// Shows `text` modally over `parent` and returns the button pressed.
int messageBox(QWidget* parent, const QString& text, const QString& title, QMessageBox::Icon icon,
               QMessageBox::StandardButtons buttons = QMessageBox::Ok);

} // namespace stelvo
