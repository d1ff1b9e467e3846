#include "MessageBoxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>

namespace stelvo::test {

namespace {
void poll(SeenMessageBox* seen, QMessageBox::StandardButton button, int triesLeft)
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
        if (triesLeft > 0)
            QTimer::singleShot(10, [=] { poll(seen, button, triesLeft - 1); });
        return;
    }
    seen->seen = true;
    seen->title = box->windowTitle();
    seen->text = box->text();
    seen->icon = box->icon();
    seen->buttons = box->standardButtons();
    if (QAbstractButton* b = box->button(button))
        b->click();
    else
        box->reject();
}
} // namespace

void answerNextMessageBox(SeenMessageBox* seen, QMessageBox::StandardButton button)
{
    *seen = SeenMessageBox{};
    QTimer::singleShot(0, [=] { poll(seen, button, 500); });
}

} // namespace stelvo::test
