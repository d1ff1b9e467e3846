// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QWidget>

class QFrame;
class QLabel;

namespace stelvo {

// The start-up splash: a frameless panel with the product name, version,
// platform, maker, copyright line and logo, centred on the screen and kept
// out of the taskbar. It is built hidden; the owner shows it and later hides
// it with the ordinary show() and hide().
//
// The user may dismiss it early: any character key while it is the active
// window, or a left click on the bare frame (not on a label or the logo),
// closes it and deletes it (WA_DeleteOnClose), so hold it in a QPointer.
// Once dismissed it never becomes visible again, even if show() is called
// before the deletion has run. Dismissing it neither shows nor hides any
// other window and never ends the application; it grabs no input.
//
// Its layout and faces grow with a larger application font as far as the
// screen allows; a shown splash lies within its screen.
class SVsplash : public QWidget
{
    Q_OBJECT

public:
    explicit SVsplash(QWidget* parent = nullptr);

    void setVisible(bool visible) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    // The parts of the designed form, built in this order.
    void setUpWindow();
    void makeFrame();
    void makeLogo();
    void makeLabels();
    void centreOnScreen();

    void Form_Load();
    void Form_KeyPress(int KeyAscii);
    void Frame1_Click();
    void unload();

    // Sizes a label to its text; right-aligned labels keep their right edge.
    void autoSize(QLabel* label);

    QFrame* Frame1 = nullptr;
    QLabel* imgLogo = nullptr;
    QLabel* lblCopyright = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblPlatform = nullptr;
    QLabel* lblProductName = nullptr;
    QLabel* lblCompanyProduct = nullptr;
    bool m_unloaded = false;
    double m_scale = 1.0; // how much larger than designed; see layoutScale
};

} // namespace stelvo
