// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SVsplash.h"

#include "ScreenFit.h"
#include "Twips.h"
#include "VersionInfo.h"

#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>
#include <qdrawutil.h>

// The icon lives in a resource object inside a static library; referring to
// its initialiser makes sure the linker keeps it.
static void initResources()
{
    Q_INIT_RESOURCE(stelvo);
}

namespace stelvo {

namespace {

const char* const kDesignRect = "stelvoDesignRect";
const QRectF kWindow(0, 0, 7380, 4245);

// The panel inside the splash. A click counts only where no label or the
// logo covers the frame: those ignore the press, which then arrives here with
// the child still under the mouse.
class SplashFrame : public QFrame
{
    Q_OBJECT

public:
    using QFrame::QFrame;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        m_pressed = event->button() == Qt::LeftButton && bare(event->position().toPoint());
        event->setAccepted(m_pressed);
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        const QPoint at = event->position().toPoint();
        const bool click =
            m_pressed && event->button() == Qt::LeftButton && rect().contains(at) && bare(at);
        m_pressed = false;
        if (click)
            emit clicked();
    }

private:
    bool bare(const QPoint& at) const { return childAt(at) == nullptr; }

    bool m_pressed = false;
};

QFont arial(double points, bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

} // namespace

SVsplash::SVsplash(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    initResources();
    m_scale = layoutScale(this, twipsToPixels(kWindow, this).size());
    setUpWindow();
    makeFrame();
    // The frame's children in stacking order, back to front; none takes the
    // focus, so every key reaches the form.
    makeLogo();
    makeLabels();
    for (QWidget* child : Frame1->findChildren<QWidget*>())
        child->setFocusPolicy(Qt::NoFocus);
    centreOnScreen();
    Form_Load();
}

void SVsplash::setUpWindow()
{
    setObjectName(QStringLiteral("SVsplash"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Closing the splash early must never end the program while the main
    // window is still hidden waiting for the search.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFocusPolicy(Qt::StrongFocus);
    setWindowIcon(QIcon(QStringLiteral(":/stelvo/stelvo.svg")));
    // A frameless window has no title for a screen reader to announce.
    setAccessibleName(tr("Stelvo is starting"));
    setAccessibleDescription(tr("Shown while the directory is searched. Any key closes it."));
    setFixedSize(scaledTwipsToPixels(kWindow, m_scale, this).size());
}

void SVsplash::makeFrame()
{
    Frame1 = new SplashFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Frame1->setGeometry(scaledTwipsToPixels(QRectF(150, 60, 7080, 4050), m_scale, this));
    connect(static_cast<SplashFrame*>(Frame1), &SplashFrame::clicked, this,
            &SVsplash::Frame1_Click);
}

void SVsplash::makeLogo()
{
    imgLogo = new QLabel(Frame1);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setAccessibleName(tr("Stelvo logo"));
    imgLogo->setGeometry(scaledTwipsToPixels(QRectF(240, 2400, 975, 1305), m_scale, this));
    // The program icon stretched to fill the control, drawn at the
    // control's size rather than enlarged from a small bitmap.
    const qreal ratio = devicePixelRatioF();
    QPixmap logo(imgLogo->size() * ratio);
    logo.fill(Qt::transparent);
    QPainter painter(&logo);
    QSvgRenderer renderer(QStringLiteral(":/stelvo/stelvo.svg"));
    renderer.setAspectRatioMode(Qt::IgnoreAspectRatio);
    renderer.render(&painter, QRectF(QPointF(0, 0), logo.size()));
    painter.end();
    logo.setDevicePixelRatio(ratio);
    imgLogo->setPixmap(logo);
}

void SVsplash::makeLabels()
{
    struct LabelDesign
    {
        QLabel*& label;
        const char* name;
        QRectF twips;
        QString text;
        double points;
        bool bold;
        Qt::Alignment alignment;
        bool autoSize;
    };
    // In stacking order, back to front.
    const LabelDesign labels[] = {
        {lblCopyright, "lblCopyright", QRectF(3720, 3060, 3255, 255),
         tr("Copyright © Stelvo Developers"), 8.25, false, Qt::AlignLeft | Qt::AlignTop, false},
        {lblVersion, "lblVersion", QRectF(5220, 2700, 1635, 285), QStringLiteral("Version beta 1"),
         12, true, Qt::AlignRight | Qt::AlignTop, true},
        {lblPlatform, "lblPlatform", QRectF(4740, 2340, 2115, 360), QStringLiteral("Win95/Win NT"),
         15.75, true, Qt::AlignRight | Qt::AlignTop, true},
        {lblProductName, "lblProductName", QRectF(1080, 1140, 5280, 765), QStringLiteral("Stelvo"),
         32.25, true, Qt::AlignLeft | Qt::AlignTop, true},
        {lblCompanyProduct, "lblCompanyProduct", QRectF(2160, 705, 2865, 435),
         tr("Stelvo Developers"), 18, true, Qt::AlignLeft | Qt::AlignTop, true},
    };
    for (const LabelDesign& d : labels) {
        d.label = new QLabel(Frame1);
        d.label->setObjectName(QLatin1String(d.name));
        // The designed faces, grown with the layout for a larger user font.
        d.label->setFont(arial(d.points * m_scale, d.bold));
        d.label->setAlignment(d.alignment);
        d.label->setTextFormat(Qt::PlainText);
        const QRect rect = scaledTwipsToPixels(d.twips, m_scale, this);
        d.label->setGeometry(rect);
        d.label->setText(d.text);
        if (d.autoSize) {
            d.label->setProperty(kDesignRect, rect);
            autoSize(d.label);
        }
    }
}

void SVsplash::centreOnScreen()
{
    // Centred on the part of the screen it will appear on that windows may use.
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect area(QPoint(0, 0), size());
        area.moveCenter(screen->availableGeometry().center());
        move(area.topLeft());
    }
}

void SVsplash::Form_Load()
{
    lblVersion->setText(versionText());
    autoSize(lblVersion);
}

void SVsplash::autoSize(QLabel* label)
{
    const QRect design = label->property(kDesignRect).toRect();
    label->adjustSize();
    if (label->alignment() & Qt::AlignRight)
        label->move(design.left() + design.width() - label->width(), design.top());
    else
        label->move(design.topLeft());
}

void SVsplash::Form_KeyPress(int KeyAscii)
{
    Q_UNUSED(KeyAscii); // any character dismisses the splash
    unload();
}

void SVsplash::Frame1_Click()
{
    unload();
}

void SVsplash::unload()
{
    m_unloaded = true;
    close();
}

void SVsplash::setVisible(bool visible)
{
    if (visible && m_unloaded)
        return;
    QWidget::setVisible(visible);
}

void SVsplash::keyPressEvent(QKeyEvent* event)
{
    // Character keys only, as the window's key preview sees them: letters,
    // digits, space, Enter, Escape, Backspace, Tab and control characters.
    // Shift, arrows and function keys carry no character.
    const QString text = event->text();
    if (text.isEmpty()) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    Form_KeyPress(text.at(0).unicode());
}

void SVsplash::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    keepOnScreen(this);
    // A splash window is not always given the focus by the window manager;
    // ask for it so that a key press reaches it.
    activateWindow();
}

void SVsplash::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    // The dialog frame's raised edge, so that the panel stands out from the
    // desktop without a title bar.
    QPainter painter(this);
    qDrawWinPanel(&painter, rect(), palette(), false);
}

bool SVsplash::focusNextPrevChild(bool next)
{
    Q_UNUSED(next); // nothing here takes the focus: Tab is a key press like any other
    return false;
}

} // namespace stelvo

#include "SVsplash.moc"
