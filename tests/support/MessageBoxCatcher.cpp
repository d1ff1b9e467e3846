// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "MessageBoxCatcher.h"

#include <QAbstractButton>
#include <QApplication>

MessageBoxCatcher::MessageBoxCatcher(QMessageBox::StandardButton answer, QObject* parent)
    : QObject(parent), m_answer(answer)
{
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &MessageBoxCatcher::poll);
    m_timer.start();
}

void MessageBoxCatcher::poll()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || box->property("caught").toBool())
        return;
    box->setProperty("caught", true);
    QStringList buttonTexts;
    for (const QAbstractButton* button : box->buttons())
        buttonTexts << button->text();
    m_shown.append(Shown{box->windowTitle(), box->text(), box->informativeText(), box->icon(),
                         box->standardButtons(), int(box->buttons().size()), box->textFormat(),
                         buttonTexts});
    if (QAbstractButton* chosen = box->button(m_answer))
        chosen->click();
    else if (!box->buttons().isEmpty())
        box->buttons().first()->click();
    else
        box->reject();
}
