#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

// Watches for application-modal message boxes while a test runs code that
// shows one with exec(); records what each showed and closes it with its
// first button, so that the code under test goes on.
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
    };

    explicit MessageBoxCatcher(QObject* parent = nullptr);

    const QList<Shown>& shown() const { return m_shown; }

private:
    void poll();

    QTimer m_timer;
    QList<Shown> m_shown;
};
