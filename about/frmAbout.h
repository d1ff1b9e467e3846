#pragma once

#include "ProcessStart.h"
#include "Registry.h"

#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;
class QWidget;

// The about box: title, version, an author line, how to use the program, and
// a button that starts the system information tool. Meant to be built for
// each showing and shown modally:
//     frmAbout dlg(this);
//     dlg.exec();
// OK, Enter and Escape close it; so does its close box.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    // Starts a program by its command line with a window style; stelvo::Shell
    // unless replaced.
    using Starter = std::function<stelvo::StartResult(const QString& commandLine, int windowStyle)>;

    explicit frmAbout(QWidget* parent = nullptr);

    void setStarter(Starter starter);

    // The text shown in lblDescription.
    static QString usageText();

    // Finds the system information tool in the registry and starts it in a
    // normal, active window without waiting for it. When it is not
    // registered, its registered directory has no MSINFO32.EXE, the registry
    // cannot be read or the start fails, shows the modal message "System
    // Information Is Unavailable At This Time" (OK only, no icon, titled with
    // the program title) and returns when it is closed; the cause is written
    // as a warning. Never throws; the dialog stays open either way.
    void StartSysInfo();

    // Reads the value `SubKeyRef` of the key `KeyName` below `KeyRoot` into
    // `KeyVal`, opening the key for reading only. Text (REG_SZ) is given
    // without its terminating NUL; a REG_DWORD as "&h" and its value in
    // upper-case hexadecimal ("&h2A"); a value of another type is found but
    // leaves `KeyVal` unchanged. Returns false, with `KeyVal` emptied, when
    // the key or value is missing or unreadable, the data is longer than 1024
    // bytes, or the data (or the text) is empty.
    static bool GetKeyValue(stelvo::HKEY KeyRoot, const QString& KeyName, const QString& SubKeyRef,
                            QString& KeyVal);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click();
    void showUnavailable();

    Starter m_starter;

    QLabel* picIcon = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lblDescription = nullptr;
    QWidget* Line1_1 = nullptr; // grey, under
    QWidget* Line1_0 = nullptr; // white, over
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;
};
