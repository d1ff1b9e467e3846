// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "frmAbout.h"

#include "MessageBox.h"
#include "ScreenFit.h"
#include "SystemInfo.h"
#include "Twips.h"
#include "VersionInfo.h"
#include "stelvo_version.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSvgRenderer>
#include <QtDebug>
#include <exception>

// The icon lives in a resource object inside a static library; referring to
// its initialiser makes sure the linker keeps it.
static void initResources()
{
    Q_INIT_RESOURCE(stelvo);
}

namespace stelvo {

namespace {

// The designed form in twips, and its 8-point face.
const QRectF kClient(3975, 4785, 5730, 3555);
constexpr double kDesignPoints = 8.25;

QLabel* label(QWidget* form, const char* name, const QRect& rect, const QString& text)
{
    auto* l = new QLabel(form);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(rect);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(true);
    l->setText(text);
    return l;
}

// A line in one of the palette's colours, so that it follows a dark theme.
QWidget* line(QWidget* parent, const char* name, QPalette::ColorRole role, const QRect& rect)
{
    auto* w = new QWidget(parent);
    w->setObjectName(QLatin1String(name));
    w->setBackgroundRole(role);
    w->setAutoFillBackground(true);
    w->setGeometry(rect);
    return w;
}

} // namespace

frmAbout::frmAbout(const SystemPaths& paths, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_paths(paths), m_starter([paths](const QString& commandLine, int windowStyle) {
          return startCommandLine(commandLine, windowStyle, paths);
      })
{
    initResources();
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About MyApp"));
    // No icon of its own, and none borrowed from the main window.
    setWindowIcon(QIcon());
    m_scale = layoutScale(this, twipsToPixels(QRectF(QPointF(), kClient.size()), this).size());
    setDesignFont();
    placeWindow();
    // Children in stacking order, back to front.
    makeIcon();
    makeLabels();
    makeRule();
    makeButtons();
    setTabOrders();
    Form_Load();
    // Placed at a fixed spot on the screen, which at a large scale factor or
    // on a small screen may lie partly off it once framed; shown modal, so
    // watched from within its own event loop.
    keepOnScreenWhilePlaced(this);
}

void frmAbout::setDesignFont()
{
    // The layout is designed for an 8-point sans-serif face; it grows with
    // the user's font together with the layout, so the texts keep fitting.
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(kDesignPoints);
    setFont(scaledFont(font, m_scale));
}

void frmAbout::placeWindow()
{
    // Client area placed and sized as designed, relative to the screen.
    QWidget* parent = parentWidget();
    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const QPoint origin = screen ? screen->geometry().topLeft() : QPoint();
    const QRect client(
        twipsToPixels(kClient.topLeft(), this),
        scaledTwipsToPixels(QRectF(QPointF(), kClient.size()), m_scale, this).size());
    setFixedSize(client.size());
    setGeometry(client.translated(origin));
}

void frmAbout::makeIcon()
{
    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    // A picture only: nothing to do with it, so the Tab key passes it by.
    picIcon->setFocusPolicy(Qt::NoFocus);
    picIcon->setAccessibleName(tr("Stelvo logo"));
    // The program icon at 32 x 32, larger with the layout; the picture box
    // takes the picture's size.
    const int side = qRound(32 * m_scale);
    const qreal ratio = devicePixelRatioF();
    QPixmap icon(QSize(side, side) * ratio);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    QSvgRenderer(QStringLiteral(":/stelvo/stelvo.svg"))
        .render(&painter, QRectF(QPointF(0, 0), icon.size()));
    painter.end();
    icon.setDevicePixelRatio(ratio);
    picIcon->setPixmap(icon);
    picIcon->move(scaledTwipsToPixels(QRectF(240, 240, 0, 0), m_scale, this).topLeft());
    picIcon->resize(side, side);
}

void frmAbout::makeLabels()
{
    lblTitle =
        label(this, "lblTitle", scaledTwipsToPixels(QRectF(1050, 240, 3885, 480), m_scale, this),
              QStringLiteral("Stelvo"));
    lblVersion =
        label(this, "lblVersion", scaledTwipsToPixels(QRectF(1050, 840, 1245, 225), m_scale, this),
              QStringLiteral("Version"));
    Label1 = label(this, "Label1", scaledTwipsToPixels(QRectF(2400, 840, 2415, 255), m_scale, this),
                   tr("Written by the Stelvo Developers"));
    lblDescription = label(this, "lblDescription",
                           scaledTwipsToPixels(QRectF(450, 1125, 4845, 1530), m_scale, this),
                           QStringLiteral("App Description"));
}

void frmAbout::makeRule()
{
    // Two lines make an etched rule: the palette's shadow side, and its lit
    // side drawn after it just below, as a sunken frame line draws them.
    const int ruleLeftGrey = twipsToPixels(90 * m_scale, this, Qt::Horizontal);
    const int ruleLeftWhite = twipsToPixels(105 * m_scale, this, Qt::Horizontal);
    const int ruleRight = twipsToPixels(5654 * m_scale, this, Qt::Horizontal);
    const int ruleTop = twipsToPixels(2880 * m_scale, this, Qt::Vertical);
    Line1_1 = line(this, "Line1_1", QPalette::Dark,
                   QRect(ruleLeftGrey, ruleTop, ruleRight - ruleLeftGrey, 1));
    Line1_0 = line(this, "Line1_0", QPalette::Light,
                   QRect(ruleLeftWhite, ruleTop + 1, ruleRight - ruleLeftWhite, 2));
}

void frmAbout::makeButtons()
{
    cmdOK = new QPushButton(tr("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(scaledTwipsToPixels(QRectF(2760, 3120, 1260, 345), m_scale, this));
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    cmdSysInfo = new QPushButton(tr("&System Info..."), this);
    cmdSysInfo->setAccessibleDescription(tr("Starts the system information tool."));
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setGeometry(scaledTwipsToPixels(QRectF(4260, 3120, 1245, 345), m_scale, this));
    cmdSysInfo->setAutoDefault(true);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
}

void frmAbout::setTabOrders()
{
    // Tab order: cmdOK, cmdSysInfo; labels and the icon never take the focus.
    for (QLabel* l : {lblTitle, lblVersion, Label1, lblDescription})
        l->setFocusPolicy(Qt::NoFocus);
    setTabOrder(cmdOK, cmdSysInfo);
    cmdOK->setFocus();
}

void frmAbout::setStarter(Starter starter)
{
    m_starter = std::move(starter);
}

void frmAbout::setServerInUse(const QString& server)
{
    const QString details =
        server.isEmpty() ? QString() : tr("Directory server in use: %1").arg(server);
    setToolTip(details);
    setAccessibleDescription(details);
}

QString frmAbout::usageText()
{
    return tr(
        "  This is a fairly simple program to use.  After your NDS tree shows up in the window, "
        "drill down to your workstation objects and select one by left-clicking on it, then "
        "right click to bring up the workstation menu.  You will see all the options you would "
        "normally see in NWAdmin and one extra... The last entry on the menu will place a "
        "shortcut on your desktop that will remote control the selected workstation!  Without "
        "running NWAdmin or Stelvo first!");
}

void frmAbout::Form_Load()
{
    const QString title = QString::fromLatin1(version::kTitle);
    setWindowTitle(tr("About %1").arg(title));
    lblVersion->setText(versionText());
    lblTitle->setText(title);
    lblDescription->setText(usageText());
}

void frmAbout::cmdOK_Click()
{
    accept();
}

void frmAbout::cmdSysInfo_Click()
{
    StartSysInfo();
}

void frmAbout::keyPressEvent(QKeyEvent* event)
{
    // Escape presses the cancel button, which is OK.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        cmdOK->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmAbout::StartSysInfo()
{
    try {
        const std::optional<SysInfoProgram> program =
            findSysInfoProgram(Registry(m_paths.registry));
        if (!program || !m_starter) {
            showUnavailable();
            return;
        }
        const StartResult result = m_starter(program->commandLine, kWindowNormalFocus);
        if (!result.started) {
            qWarning().noquote() << "System information tool" << program->path
                                 << "could not be started:" << result.error;
            showUnavailable();
        }
    } catch (const std::exception& e) {
        qWarning().noquote() << "System information tool:" << e.what();
        showUnavailable();
    } catch (...) {
        showUnavailable();
    }
}

void frmAbout::showUnavailable()
{
    messageBox(this, tr("System Information Is Unavailable At This Time"), QString(),
               QMessageBox::NoIcon);
}

} // namespace stelvo
