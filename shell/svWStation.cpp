// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "svWStation.h"

#include "FindWindow.h"
#include "LeftOutMessage.h"
#include "MessageBox.h"
#include "Naming.h"
#include "ScreenFit.h"
#include "TreeItemModel.h"
#include "TreeSearch.h"
#include "Twips.h"
#include "frmAbout.h"
#include "stelvo_version.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QWindow>
#include <algorithm>

namespace stelvo {

const QString svWStation::kDesignContext = QStringLiteral("NDS:\\\\ACME_TREE\\ACME\\SALES\\EAST");

namespace {

// The status bar's designed height, and the room it keeps above and below a
// line of its font when that font needs more.
constexpr double kStatusBarTwips = 255.0;
constexpr int kStatusBarMargin = 1;

// How many of the changes that could not be applied one message names.
constexpr qsizetype kFailuresSaid = 10;

// When the tree last matched the directory: the time alone today, with the
// date before.
QString shownTime(const QDateTime& since)
{
    const QDateTime local = since.toLocalTime();
    const QLocale locale;
    if (local.date() == QDate::currentDate())
        return locale.toString(local.time(), QLocale::ShortFormat);
    return locale.toString(local, QLocale::ShortFormat);
}

// A reason fit for the one line of the status bar.
QString oneLine(const QString& reason)
{
    return reason.simplified();
}

} // namespace

svWStation::svWStation(std::unique_ptr<DirectoryControl> directory,
                       std::unique_ptr<SessionControl> session, const SystemPaths& paths,
                       QWidget* parent)
    : QMainWindow(parent), NWDir1(directory.get()), NWSess1(session.get()),
      m_directory(std::move(directory)), m_session(std::move(session)), m_paths(paths)
{
    EndProgram = [](int code) { QCoreApplication::exit(code); };
    StartProcess = [paths](const QString& commandLine, int style) {
        return startCommandLine(commandLine, style, paths);
    };
    CreateShellLink = [paths](const QString& folder, const QString& name, const QString& target,
                              const QString& arguments) {
        return fCreateShellLink(folder, name, target, arguments, paths);
    };
    StartProgram = [paths](const QString& program, const QStringList& arguments, int style) {
        return startProgram(program, arguments, style, paths);
    };
    setObjectName(QStringLiteral("svWStation"));
    setWindowTitle(QStringLiteral("Form1"));
    setWindowIcon(QIcon(QStringLiteral(":/stelvo/stelvo.svg")));
    createControls();
    createMenus();
    createFind();
    createRefresh();

    connect(NWDir1, &DirectoryControl::SearchCompleted, this, &svWStation::SearchCompleted);
    connect(NWDir1, &DirectoryControl::SearchFailed, this, &svWStation::SearchFailed);
    connect(NWDir1, &DirectoryControl::RefreshCompleted, this, &svWStation::RefreshCompleted);
    connect(NWDir1, &DirectoryControl::RefreshDelivered, this, &svWStation::RefreshDelivered);
    connect(NWDir1, &DirectoryControl::RefreshFailed, this, &svWStation::RefreshFailed);
    connect(NWDir1, &DirectoryControl::EntriesChanged, this, &svWStation::EntriesChanged);
    connect(NWDir1, &DirectoryControl::LiveStatusChanged, this, &svWStation::LiveStatusChanged);
    m_noticeEnd.setSingleShot(true);
    connect(&m_noticeEnd, &QTimer::timeout, this, [this] {
        m_notice.clear();
        showStatus();
    });
    connect(TreeView1, &WSTreeView::MouseDown, this, &svWStation::TreeView1_MouseDown);
    connect(TreeView1, &WSTreeView::KeyboardMenu, this,
            [this](const QPoint& pos) { WSMenu->popup(pos); });

    // Client area 7275 x 5280 twips with its top-left corner at 3270, 3225;
    // the menu bar sits above the client area.
    const double d = dpi();
    const int menuHeight = menuBar()->sizeHint().height();
    setGeometry(twipsToPixels(3270, d), twipsToPixels(3225, d) - menuHeight, twipsToPixels(7275, d),
                twipsToPixels(5280, d) + menuHeight);
    // The tree follows the frame, which may arrive without any event.
    keepOnScreenWhilePlaced(this, [this] { Form_Resize(); });
}

svWStation::~svWStation()
{
    // Before the tree and its view, which it refers to.
    delete m_find;
    delete Splash.data();
}

double svWStation::dpi() const
{
    const QScreen* s = screen();
    return s != nullptr ? s->logicalDotsPerInch() : 96.0;
}

void svWStation::createControls()
{
    m_client = new QWidget(this);
    setCentralWidget(m_client);
    const double d = dpi();

    TreeView1 = new WSTreeView(m_client);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setGeometry(twipsToPixels(120, d), twipsToPixels(120, d), twipsToPixels(5655, d),
                           twipsToPixels(3135, d));
    TreeView1->setHeaderHidden(true);
    TreeView1->setUniformRowHeights(true); // keeps 100,000-node trees fast
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
    TreeView1->setIconSize(QSize(16, 16));
    TreeView1->setRootIsDecorated(false);
    TreeView1->setAccessibleName(tr("Directory tree"));
    TreeView1->setAccessibleDescription(
        tr("The containers and workstations of the directory. Select a workstation, then open "
           "its commands with the Menu key or Shift+F10."));

    SB1 = new QStatusBar(m_client);
    SB1->setObjectName(QStringLiteral("SB1"));
    SB1->setSizeGripEnabled(false);
    SB1->setAccessibleName(tr("Status"));
    // The bar paints its message itself; a screen reader reads it as the
    // description.
    connect(SB1, &QStatusBar::messageChanged, SB1, &QWidget::setAccessibleDescription);

    setTabOrder(TreeView1, SB1);

    ImageList1 = {QIcon(QStringLiteral(":/stelvo/tree.svg")),
                  QIcon(QStringLiteral(":/stelvo/container.svg")),
                  QIcon(QStringLiteral(":/stelvo/workstation.svg"))};
    TreeModel = new TreeItemModel(this);
    // Before the view's own handlers, which would hand a removed current
    // node's selection to a sibling.
    connect(TreeModel, &QAbstractItemModel::rowsAboutToBeRemoved, this, &svWStation::rowsGoing);
    TreeView1->setModel(TreeModel);
    connect(TreeView1->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (!m_movingSelection)
            m_vanished.clear();
    });
    connect(TreeModel, &TreeItemModel::changeFailed, this,
            [this](const QString& message) { m_changeFailures << message; });
    connect(TreeModel, &TreeItemModel::idle, this, &svWStation::changesDone);
    placeStatusBar();
}

void svWStation::createMenus()
{
    FileMenu = menuBar()->addMenu(tr("&File"));
    FileMenu->setObjectName(QStringLiteral("FileMenu"));
    FileExit = FileMenu->addAction(tr("E&xit"), this, &svWStation::FileExit_Click);
    FileExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    HelpMenu = menuBar()->addMenu(tr("&Help"));
    HelpMenu->setObjectName(QStringLiteral("HelpMenu"));
    HelpAbout = HelpMenu->addAction(tr("&About"), this, &svWStation::HelpAbout_Click);
    HelpAbout->setShortcut(QKeySequence(Qt::Key_F1));

    // Never in the menu bar: shown only as the tree's pop-up menu.
    WSMenu = new QMenu(QStringLiteral("WS"), this);
    WSMenu->setObjectName(QStringLiteral("WSMenu"));
    WSMenu->setAccessibleName(tr("Workstation commands"));
    const auto item = [this](const QString& caption, void (svWStation::*handler)()) {
        return WSMenu->addAction(caption, this, handler);
    };
    WSRemoteControl = item(tr("&Remote Control"), &svWStation::WSRemoteControl_Click);
    WSRemoteView = item(tr("Remote &View"), &svWStation::WSRemoteView_Click);
    S1 = WSMenu->addSeparator();
    WSPing = item(tr("&Ping Management Software"), &svWStation::WSPing_Click);
    WSChat = item(tr("C&hat"), &svWStation::WSChat_Click);
    WSFileTransfer = item(tr("&File Transfer"), &svWStation::WSFileTransfer_Click);
    WSExecute = item(tr("Remote &Execute"), &svWStation::WSExecute_Click);
    WSDiagnostics = item(tr("Di&agnostics"), &svWStation::WSDiagnostics_Click);
    S2 = WSMenu->addSeparator();
    WSShortCut = item(tr("&Create Control Shorcut"), &svWStation::WSShortCut_Click);
}

void svWStation::createFind()
{
    // A shortcut of the window, active wherever its focus is, the tree's
    // type-ahead included; the menus stay as they are.
    FindWorkstation = new QAction(tr("Find Workstation..."), this);
    FindWorkstation->setObjectName(QStringLiteral("FindWorkstation"));
    FindWorkstation->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    FindWorkstation->setShortcutContext(Qt::WindowShortcut);
    connect(FindWorkstation, &QAction::triggered, this, &svWStation::FindWorkstation_Click);
    addAction(FindWorkstation);
}

void svWStation::createRefresh()
{
    // Like Ctrl+F, a window shortcut in no menu.
    ViewRefresh = new QAction(tr("Refresh"), this);
    ViewRefresh->setObjectName(QStringLiteral("ViewRefresh"));
    ViewRefresh->setShortcut(QKeySequence(Qt::Key_F5));
    ViewRefresh->setShortcutContext(Qt::WindowShortcut);
    connect(ViewRefresh, &QAction::triggered, this, &svWStation::ViewRefresh_Click);
    addAction(ViewRefresh);
}

FindWindow* svWStation::findWindow()
{
    if (m_find == nullptr)
        m_find = new FindWindow(*TreeModel, *TreeView1, this);
    return m_find;
}

void svWStation::FindWorkstation_Click()
{
    findWindow()->open();
}

void svWStation::Form_Load()
{
    hide();
    if (MakeSplash) {
        Splash = MakeSplash();
        if (Splash)
            Splash->show();
    }
    setWindowTitle(treeName() + QStringLiteral(" - Stelvo v") + QString::number(version::kMajor) +
                   QLatin1Char('.') + QString::number(version::kMinor));
    ServerSysPath = QStringLiteral("\\\\") + NWSess1->FirstServerName() + QStringLiteral("\\SYS\\");
    makeCommands();
    NWDir1->SearchAttribute(treesearch::kAttribute);
    NWDir1->SearchFlag(true);
    SB1->showMessage(tr("Searching..."));
    NWDir1->StartSearch(treeName(), treesearch::kScope, treesearch::kClasses, treesearch::kPattern);
}

void svWStation::SearchCompleted(const SearchResult& results)
{
    if (results.isEmpty()) {
        if (Splash)
            Splash->hide();
        messageBox(this, tr("No workstations found in Tree"), QString(), QMessageBox::NoIcon);
        EndProgram(0);
        return;
    }
    TreeModel->setImages(ImageList1);
    try {
        // A failure leaves the model empty: never half a tree.
        TreeModel->rebuild([this, &results](TreeBuilder& builder) {
            builder.Start(treeName());
            builder.AddResults(results, *NWDir1);
            builder.Finish();
        });
    } catch (const DirectoryError& error) {
        fatal(error.message());
        return;
    }
    TreeView1->setRootIsDecorated(true);
    m_ready = true;
    // A notice that came during the search is said from now on.
    if (!m_notice.isEmpty())
        m_noticeEnd.start(NoticeTime);
    showStatus();
    if (Splash)
        Splash->hide();
    show();
    reportLeftOut();
}

void svWStation::ViewRefresh_Click()
{
    if (!m_ready || m_refreshing)
        return;
    m_refreshing = true;
    showStatus();
    NWDir1->Refresh();
}

void svWStation::RefreshCompleted(const QStringList& results)
{
    // Nothing found is a state like any other here: the tree keeps its root.
    // Searching... stays until the result is in the tree.
    m_refreshing = true;
    m_applyingRefresh = true;
    showStatus();
    TreeModel->applyRefresh(results, *NWDir1);
    if (!TreeModel->applying())
        changesDone();
}

void svWStation::RefreshDelivered()
{
    // The refresh came as changes, queued before this: Searching... stays
    // until the tree has applied them.
    m_refreshing = true;
    m_applyingRefresh = true;
    showStatus();
    if (!TreeModel->applying())
        changesDone();
}

void svWStation::changesDone()
{
    if (m_applyingRefresh) {
        m_applyingRefresh = false;
        m_refreshing = false;
        showStatus();
    }
    if (m_changeFailures.isEmpty())
        return;
    // One box for all that could not be applied; the rest of the tree is
    // current.
    QStringList said = m_changeFailures.mid(0, kFailuresSaid);
    if (m_changeFailures.size() > kFailuresSaid)
        said << tr("... and %n more.", nullptr, int(m_changeFailures.size() - kFailuresSaid));
    m_changeFailures.clear();
    messageBox(this,
               tr("Some changes in the directory could not be shown in the tree:\n\n%1")
                   .arg(said.join(QLatin1Char('\n'))),
               QString(), QMessageBox::Warning);
}

void svWStation::RefreshFailed(const QString& message)
{
    m_refreshing = false;
    showStatus();
    messageBox(
        this,
        tr("The directory could not be read again; the tree stays as it was.\n\n%1").arg(message),
        QString(), QMessageBox::Warning);
}

void svWStation::EntriesChanged(const DirectoryChanges& changes)
{
    TreeModel->apply(changes);
}

void svWStation::LiveStatusChanged(const LiveStatus& status)
{
    m_live = status;
    // Live updates asked for but not to be had: said once, no box, since
    // the tree works as ever.
    if (status.state == LiveStatus::State::Off && !status.reason.isEmpty()) {
        m_notice = status.reason;
        if (m_ready)
            m_noticeEnd.start(NoticeTime);
    } else if (status.state == LiveStatus::State::Live) {
        m_notice.clear();
        m_noticeEnd.stop();
    }
    showStatus();
}

QString svWStation::idleStatus() const
{
    if (m_live.state == LiveStatus::State::Behind) {
        if (m_live.reason.isEmpty())
            return tr("Not up to date since %1.").arg(shownTime(m_live.since));
        return tr("Not up to date since %1: %2")
            .arg(shownTime(m_live.since), oneLine(m_live.reason));
    }
    if (!m_notice.isEmpty())
        return tr("Ready (%1). Changes in the directory are not followed: %2")
            .arg(ServerSysPath, oneLine(m_notice));
    return tr("Ready (%1)").arg(ServerSysPath);
}

void svWStation::showStatus()
{
    // Until the first search has built the tree, Form_Load's text stays.
    if (!m_ready)
        return;
    SB1->showMessage(m_refreshing ? tr("Searching...") : idleStatus());
}

void svWStation::rowsGoing(const QModelIndex& parent, int first, int last)
{
    const QModelIndex current = TreeView1->currentIndex();
    QModelIndex going = current;
    while (going.isValid() &&
           !(going.parent() == parent && going.row() >= first && going.row() <= last))
        going = going.parent();
    if (!going.isValid())
        return;
    // Named now, while the tree still holds it.
    if (Nodes().image(SelectedNode()) == NodeTree::kImageWorkstation)
        m_vanished = ConvertDotted();
    m_movingSelection = true;
    TreeView1->setCurrentIndex(parent);
    m_movingSelection = false;
}

bool svWStation::reportVanished()
{
    if (m_vanished.isEmpty())
        return false;
    report(noLongerInDirectory(m_vanished));
    return true;
}

void svWStation::reportLeftOut()
{
    // Said once the tree is up, which stays usable behind the box.
    const QString text = leftOutMessage(NWDir1->LeftOut());
    if (!text.isEmpty())
        messageBox(this, text, QString(), QMessageBox::Warning);
}

void svWStation::SearchFailed(const QString& message)
{
    fatal(message);
}

void svWStation::fatal(const QString& message)
{
    if (Splash)
        Splash->hide();
    messageBox(this, message, QString(), QMessageBox::Critical);
    EndProgram(1);
}

void svWStation::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

int svWStation::statusBarGrowth() const
{
    // A larger font than designed for gets a taller bar, so that the text is
    // not cut off at the bottom.
    const int designed = twipsToPixels(kStatusBarTwips, dpi());
    return std::max(0, SB1->fontMetrics().height() + 2 * kStatusBarMargin - designed);
}

void svWStation::placeStatusBar()
{
    const int height = twipsToPixels(kStatusBarTwips, dpi()) + statusBarGrowth();
    SB1->setGeometry(0, m_client->height() - height, m_client->width(), height);
}

QSize svWStation::frameSize() const
{
    // Asked of the window system each time: the frame may arrive after the
    // window is shown, without a resize.
    const QWindow* handle = windowHandle();
    if (handle == nullptr || !isVisible())
        return frameGeometry().size() - geometry().size();
    const QMargins frame = handle->frameMargins();
    return QSize(frame.left() + frame.right(), frame.top() + frame.bottom());
}

void svWStation::Form_Resize()
{
    // The outer size includes the window frame, as the window system has it.
    const QSize frame = frameSize();
    const double d = dpi();
    const float treeWidth = float(pixelsToTwips(this->width() + frame.width(), d)) - 840.0f;
    const float treeHeight = float(pixelsToTwips(this->height() + frame.height(), d)) - 1100.0f;
    // A window too small for the tree keeps the tree's last size.
    if (treeWidth >= 0.0f && treeHeight >= 0.0f)
        TreeView1->resize(twipsToPixels(treeWidth, d),
                          std::max(0, twipsToPixels(treeHeight, d) - statusBarGrowth()));
    placeStatusBar();
}

void svWStation::followFrame()
{
    // X11 tells the frame once the window manager has framed the shown
    // window, and a window manager may frame it anew later (a theme change);
    // neither resizes the window. Placed at a fixed spot, the framed window
    // is brought back within its screen.
    const QWindow* handle = windowHandle();
    const QMargins frame = handle != nullptr ? handle->frameMargins() : QMargins();
    if (frame != m_frame) {
        m_frame = frame;
        keepOnScreen(this);
    }
    Form_Resize();
}

void svWStation::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (QWindow* handle = windowHandle(); handle != nullptr && !m_watchingFrame) {
        handle->installEventFilter(this);
        m_watchingFrame = true;
    }
    followFrame();
}

void svWStation::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    if (isVisible())
        followFrame();
}

void svWStation::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isVisible())
        followFrame();
    else if (event->type() == QEvent::FontChange)
        Form_Resize();
}

bool svWStation::eventFilter(QObject* watched, QEvent* event)
{
    // Exposed once the window manager has mapped its frame.
    if (watched == windowHandle() && event->type() == QEvent::Expose && isVisible())
        followFrame();
    return QMainWindow::eventFilter(watched, event);
}

void svWStation::closeEvent(QCloseEvent* event)
{
    int Cancel = 0;
    Form_Unload(Cancel);
    if (Cancel != 0) {
        event->ignore();
        return;
    }
    event->accept();
    // The find window goes with the tree it finds in.
    if (m_find != nullptr)
        m_find->close();
}

void svWStation::Form_Unload(int& Cancel)
{
    const int answer = messageBox(this, tr("You are about to exit Stelvo."), tr("Quit Stelvo?"),
                                  QMessageBox::Question, QMessageBox::Ok | QMessageBox::Cancel);
    if (answer == QMessageBox::Ok) {
        if (Splash)
            Splash->hide();
        EndProgram(0);
    } else {
        Cancel = 2;
    }
}

void svWStation::FileExit_Click()
{
    close();
}

void svWStation::HelpAbout_Click()
{
    // Loaded afresh on each showing.
    frmAbout dialog(m_paths, this);
    dialog.setServerInUse(NWDir1->serverInUse());
    dialog.exec();
}

void svWStation::TreeView1_MouseDown(int Button, int, int x, int y)
{
    if (Button == 2)
        WSMenu->popup(TreeView1->viewport()->mapToGlobal(QPoint(x, y)));
}

const TreeBuilder& svWStation::Tree() const
{
    return TreeModel->builder();
}

const NodeTree& svWStation::Nodes() const
{
    return TreeModel->nodes();
}

QString svWStation::treeName() const
{
    return NWDir1->TreeNameOf(NWDir1->ContextPath());
}

NodeTree::Index svWStation::SelectedNode() const
{
    return TreeModel->nodeOf(TreeView1->currentIndex());
}

QString svWStation::GetWSPath() const
{
    return selection().GetWSPath();
}

QString svWStation::ConvertDotted() const
{
    return selection().ConvertDotted();
}

QString svWStation::ConvertNDS(const QString& Dotted) const
{
    return naming::ConvertNDS(Dotted, treeName());
}

Selection svWStation::selection() const
{
    return Selection(Nodes(), SelectedNode(), treeName());
}

void svWStation::makeCommands()
{
    // Through the members, so that a start or link function replaced later
    // is the one used.
    m_commands = std::make_unique<WorkstationCommands>(
        *NWDir1, ServerSysPath,
        [this](const QString& commandLine, int style) { return StartProcess(commandLine, style); },
        [this](const QString& folder, const QString& name, const QString& target,
               const QString& arguments) {
            return CreateShellLink(folder, name, target, arguments);
        });
    m_commands->setSiteTools(SiteCommands,
                             [this](const QString& program, const QStringList& arguments,
                                    int style) { return StartProgram(program, arguments, style); });
}

WorkstationCommands& svWStation::commands()
{
    if (!m_commands)
        makeCommands();
    return *m_commands;
}

void svWStation::report(const std::optional<CommandMessage>& message)
{
    if (message)
        messageBox(this, message->text, QString(), QMessageBox::Warning);
}

bool svWStation::isContainer()
{
    return commands().isContainer(selection());
}

void svWStation::DeskTop(const QString& Func)
{
    if (!reportVanished())
        report(commands().DeskTop(selection(), Func));
}

void svWStation::runTool(SiteTool function)
{
    if (!reportVanished())
        report(commands().runTool(selection(), function));
}

void svWStation::WSShortCut_Click()
{
    if (!reportVanished())
        report(commands().createShortcut(selection()));
}

} // namespace stelvo
