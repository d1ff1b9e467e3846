// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ProcessStart.h"

#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;
class QWidget;

namespace stelvo {

// The about box: title, version, an author line, how to use the program, and
// a button that starts the system information tool. Meant to be built for
// each showing and shown modally:
//     frmAbout dlg(paths, this);
//     dlg.exec();
// OK, Enter and Escape close it; so does its close box. It has no window
// icon. Its layout and face grow with a larger application font as far as
// the screen allows, and a shown box lies within its screen.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    // Starts a program by its command line with a window style;
    // stelvo::startCommandLine with the box's paths unless replaced.
    using Starter = std::function<StartResult(const QString& commandLine, int windowStyle)>;

    // `paths`: the registry the system information tool is looked up in, and
    // what its start is given.
    explicit frmAbout(const SystemPaths& paths = {}, QWidget* parent = nullptr);

    void setStarter(Starter starter);

    // The directory server in use (none: a directory file), said in the
    // box's tooltip and accessible description: its designed texts and
    // layout stay as they are.
    void setServerInUse(const QString& server);

    // The text shown in lblDescription.
    static QString usageText();

    // Looks the system information tool up (findSysInfoProgram) and starts
    // it in a normal, active window without waiting for it. When it is
    // unavailable or the start fails, shows the modal message "System
    // Information Is Unavailable At This Time" (OK only, no icon, titled with
    // the program title) and returns when it is closed; the cause is written
    // as a warning. Never throws; the dialog stays open either way.
    void StartSysInfo();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The parts of the designed form, built in this order.
    void setDesignFont();
    void placeWindow();
    void makeIcon();
    void makeLabels();
    void makeRule();
    void makeButtons();
    void setTabOrders();

    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click();
    void showUnavailable();

    SystemPaths m_paths;
    Starter m_starter;
    double m_scale = 1.0; // how much larger than designed; see layoutScale

    QLabel* picIcon = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lblDescription = nullptr;
    QWidget* Line1_1 = nullptr; // shadow (palette Dark), under
    QWidget* Line1_0 = nullptr; // light (palette Light), over
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;
};

} // namespace stelvo
