#include "MessageBoxCatcher.h"

#include <QAbstractButton>
#include <QApplication>

MessageBoxCatcher::MessageBoxCatcher(QObject* parent) : QObject(parent)
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
    m_shown.append(Shown{box->windowTitle(), box->text(), box->informativeText(), box->icon(),
                         box->standardButtons(), int(box->buttons().size())});
    if (!box->buttons().isEmpty())
        box->buttons().first()->click();
    else
        box->reject();
}
