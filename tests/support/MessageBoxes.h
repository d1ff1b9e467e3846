#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

namespace stelvo::test {

// What a message box showed.
struct SeenMessageBox
{
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Answers the next application-modal message box with `button` once it is
// shown, recording what it showed into `seen`. Call before the code that
// opens the box.
void answerNextMessageBox(SeenMessageBox* seen, QMessageBox::StandardButton button);

} // namespace stelvo::test
