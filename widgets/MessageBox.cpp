// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "MessageBox.h"

#include "stelvo_version.h"

namespace stelvo {

QString programTitle()
{
    return QString::fromLatin1(version::kTitle);
}

int messageBox(QWidget* parent, const QString& text, const QString& title, QMessageBox::Icon icon,
               QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, title.isEmpty() ? programTitle() : title, text, buttons, parent);
    // Texts carry names from the directory and from files; "<b>x" is a name,
    // not markup.
    box.setTextFormat(Qt::PlainText);
    return box.exec();
}

} // namespace stelvo
