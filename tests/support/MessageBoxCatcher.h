// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

// Watches for application-modal message boxes while a test runs code that
// shows one with exec(); records what each showed and closes it with the
// button given (by default its first button), so that the code under test
// goes on.
class MessageBoxCatcher : public QObject
{
    Q_OBJECT

public:
    struct Shown
    {
        QString title;
        QString text;
        QString informativeText;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        int buttonCount = 0;
        Qt::TextFormat textFormat = Qt::AutoText;
        QStringList buttonTexts; // as shown, in the box's order
    };

    explicit MessageBoxCatcher(QMessageBox::StandardButton answer = QMessageBox::NoButton,
                               QObject* parent = nullptr);

    const QList<Shown>& shown() const { return m_shown; }

private:
    void poll();

    QMessageBox::StandardButton m_answer;
    QTimer m_timer;
    QList<Shown> m_shown;
};
