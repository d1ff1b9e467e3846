// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "DirectoryControl.h"
#include "NodeTree.h"
#include "SessionControl.h"
#include "TreeBuilder.h"
#include "WSTreeView.h"
#include "WorkstationCommands.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QMenu;
class QAction;
class QStatusBar;

namespace stelvo {

class FindWindow;
class TreeItemModel;

// The main window: owns the directory and session controls, the tree, the
// status bar and the workstation pop-up menu. Shown, it lies within its
// screen, and its tree follows the resize rule whenever the window's size or
// frame changes; the status bar is at least one line of its font high.
//
// Once the tree is built it follows the directory: F5 reads it again, and
// the changes the directory reports are applied in place, so that what is
// expanded, selected and scrolled to stays. The status bar says when the
// tree is behind the directory. A selected node that goes hands the
// selection to its nearest remaining ancestor; a command given on a
// workstation that went, before anything else is selected, says that it
// is no longer in the directory and starts nothing.
class svWStation : public QMainWindow
{
    Q_OBJECT

public:
    // The stored initial context of the directory control.
    static const QString kDesignContext;

    // `paths` go to the tools, the shortcuts and the about box.
    svWStation(std::unique_ptr<DirectoryControl> directory, std::unique_ptr<SessionControl> session,
               const SystemPaths& paths = {}, QWidget* parent = nullptr);
    ~svWStation() override;

    // Start-up: hides the window, shows the splash, sets the caption, the
    // server path and the status text, and starts the search. Returns at
    // once; SearchCompleted finishes the start-up.
    void Form_Load();

    // How the program ends (exit code). Replaceable by tests.
    std::function<void(int)> EndProgram;
    // How a program is started. Replaceable by tests.
    WorkstationCommands::StartFunction StartProcess;
    // How a shortcut is made (folder, link name, target, arguments).
    // Replaceable by tests.
    WorkstationCommands::LinkFunction CreateShellLink;
    // How long a notice stays in the status bar before the status returns
    // (default 30 s). Replaceable by tests.
    std::chrono::milliseconds NoticeTime{30000};
    // How a site's own tool is started (program, arguments). Replaceable by
    // tests.
    WorkstationCommands::ProgramStartFunction StartProgram;
    // The site's own tools ([tools] of stelvo.conf); none by default.
    SiteTools SiteCommands;
    // Makes the splash screen shown during the search; none when empty.
    std::function<QWidget*()> MakeSplash;

    // Shared members.
    QString ServerSysPath;
    // The tree shown, and the builder that made it; both live in TreeModel.
    const TreeBuilder& Tree() const;
    const NodeTree& Nodes() const;

    // Controls, reached by their names.
    DirectoryControl* NWDir1;
    SessionControl* NWSess1;
    WSTreeView* TreeView1;
    QStatusBar* SB1;
    std::array<QIcon, 3> ImageList1;
    QMenu* FileMenu;
    QAction* FileExit;
    QMenu* HelpMenu;
    QAction* HelpAbout;
    QMenu* WSMenu;
    QAction* WSRemoteControl;
    QAction* WSRemoteView;
    QAction* S1;
    QAction* WSPing;
    QAction* WSChat;
    QAction* WSFileTransfer;
    QAction* WSExecute;
    QAction* WSDiagnostics;
    QAction* S2;
    QAction* WSShortCut;
    // Ctrl+F: opens the find window. In no menu; the window has it.
    QAction* FindWorkstation;
    // F5: reads the directory again. In no menu; the window has it.
    QAction* ViewRefresh;
    TreeItemModel* TreeModel;
    QPointer<QWidget> Splash;

    // Naming of the current selection; see directory/Naming.h.
    NodeTree::Index SelectedNode() const;
    QString GetWSPath() const;
    QString ConvertDotted() const;
    // True for container objects, and for the root or no selection, on
    // which the workstation commands do nothing. Throws DirectoryError.
    bool isContainer();
    QString ConvertNDS(const QString& Dotted) const;

    // Event handlers.
    void SearchCompleted(const SearchResult& results);
    void SearchFailed(const QString& message);
    void Form_Resize();
    void Form_Unload(int& Cancel);
    void FileExit_Click();
    void HelpAbout_Click();
    void TreeView1_MouseDown(int Button, int Shift, int x, int y);
    void WSRemoteControl_Click() { runTool(SiteTool::RemoteControl); }
    void WSRemoteView_Click() { runTool(SiteTool::RemoteView); }
    void WSPing_Click() { runTool(SiteTool::Ping); }
    void WSChat_Click() { runTool(SiteTool::Chat); }
    void WSFileTransfer_Click() { runTool(SiteTool::FileTransfer); }
    void WSExecute_Click() { runTool(SiteTool::RemoteExecute); }
    void WSDiagnostics_Click() { runTool(SiteTool::Diagnostics); }
    void WSShortCut_Click();
    void DeskTop(const QString& Func);
    void FindWorkstation_Click();
    // F5: nothing before the tree is built or while a refresh runs.
    void ViewRefresh_Click();
    void RefreshCompleted(const QStringList& results);
    void RefreshDelivered();
    void RefreshFailed(const QString& message);
    void EntriesChanged(const DirectoryChanges& changes);
    void LiveStatusChanged(const LiveStatus& status);

    // The find window over the tree, made at the first call.
    FindWindow* findWindow();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createMenus();
    void createFind();
    void createRefresh();
    // Shows the status as it stands now, once the tree is built.
    void showStatus();
    QString idleStatus() const;
    // The tree has applied all that was queued: a refresh's result is in,
    // and what could not be applied is said.
    void changesDone();
    // Hands the selection to the nearest remaining ancestor when the rows
    // going hold it or lie above it.
    void rowsGoing(const QModelIndex& parent, int first, int last);
    // Says that the selected workstation has gone, if it has; true then.
    bool reportVanished();
    void placeStatusBar();
    // How much taller than designed the status bar is for its font.
    int statusBarGrowth() const;
    // What the window frame adds to the window's width and height.
    QSize frameSize() const;
    // Lays the tree out again for the frame as it is now.
    void followFrame();
    QString treeName() const;
    // The commands over this window's directory and server, made once
    // ServerSysPath is known; they start and link through this window's
    // functions as they are at each call. Made at the first call when no
    // Form_Load came before.
    WorkstationCommands& commands();
    void makeCommands();
    Selection selection() const;
    void runTool(SiteTool function);
    // Shows what a command has to tell the user, if anything.
    void report(const std::optional<CommandMessage>& message);
    // Tells the user which entries the search left out of the tree, if any.
    void reportLeftOut();
    void fatal(const QString& message);
    double dpi() const;

    std::unique_ptr<DirectoryControl> m_directory;
    std::unique_ptr<SessionControl> m_session;
    SystemPaths m_paths;
    std::unique_ptr<WorkstationCommands> m_commands;
    FindWindow* m_find = nullptr;
    QWidget* m_client = nullptr;
    QMargins m_frame;               // the frame last seen by followFrame
    bool m_watchingFrame = false;   // the window's exposures are watched
    bool m_ready = false;           // the first search has built the tree
    bool m_refreshing = false;      // from F5 until its result is in the tree
    bool m_applyingRefresh = false; // the refresh's result is being applied
    QStringList m_changeFailures;   // since the tree was last idle
    LiveStatus m_live;              // as the directory last reported it
    // Why changes are not followed, said in the status bar until m_noticeEnd.
    QString m_notice;
    QTimer m_noticeEnd;
    // The dotted name of the selected workstation that left the directory,
    // until something else is selected.
    QString m_vanished;
    bool m_movingSelection = false; // the selection moves for a removal
};

} // namespace stelvo
