#include "frmAbout.h"

#include "MessageBox.h"
#include "NormalFile.h"
#include "Twips.h"
#include "VersionInfo.h"
#include "stelvo_version.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QSvgRenderer>
#include <QtDebug>
#include <exception>

// The icon lives in a resource object inside a static library; referring to
// its initialiser makes sure the linker keeps it.
static void initResources()
{
    Q_INIT_RESOURCE(stelvo);
}

using namespace stelvo;

namespace {

// Where the system information tool is registered: its full file name, or
// else the directory that holds MSINFO32.EXE.
const QString gREGKEYSYSINFO = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString gREGVALSYSINFO = QStringLiteral("PATH");
const QString gREGKEYSYSINFOLOC = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString gREGVALSYSINFOLOC = QStringLiteral("MSINFO");

constexpr DWORD kValueBufferSize = 1024;

// The icon picture box: it can hold the focus, so it shows where the focus is.
class PictureBox : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QLabel::paintEvent(event);
        if (!hasFocus())
            return;
        QPainter painter(this);
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.backgroundColor = palette().color(QPalette::Window);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
};

QWidget* line(QWidget* parent, const char* name, const QColor& colour, const QRect& rect)
{
    auto* w = new QWidget(parent);
    w->setObjectName(QLatin1String(name));
    QPalette palette = w->palette();
    palette.setColor(QPalette::Window, colour);
    w->setPalette(palette);
    w->setAutoFillBackground(true);
    w->setGeometry(rect);
    return w;
}

// A command line that names `path` as one program even when it holds blanks
// ("C:\Program Files\..."): the process start splits at unquoted blanks.
QString programCommandLine(const QString& path)
{
    const bool blank = path.contains(QLatin1Char(' ')) || path.contains(QLatin1Char('\t'));
    if (!blank || path.startsWith(QLatin1Char('"')))
        return path;
    return QLatin1Char('"') + path + QLatin1Char('"');
}

} // namespace

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_starter(&stelvo::Shell)
{
    initResources();
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About MyApp"));
    // The layout is designed for an 8-point sans-serif face; a larger desktop
    // font would cut the usage text off at the bottom of its label.
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    setFont(font);

    // Client area placed and sized as designed, relative to the screen.
    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const QPoint origin = screen ? screen->geometry().topLeft() : QPoint();
    const QRect client = twipsToPixels(QRectF(3975, 4785, 5730, 3555), this);
    setFixedSize(client.size());
    setGeometry(client.translated(origin));

    auto label = [this](const char* name, const QRectF& twips, const QString& text) {
        auto* l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(twipsToPixels(twips, this));
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setTextFormat(Qt::PlainText);
        l->setWordWrap(true);
        l->setText(text);
        return l;
    };

    picIcon = new PictureBox(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setFocusPolicy(Qt::TabFocus);
    {
        // The program icon at 32 x 32; the picture box takes the picture's size.
        const qreal ratio = devicePixelRatioF();
        QPixmap icon(QSize(32, 32) * ratio);
        icon.fill(Qt::transparent);
        QPainter painter(&icon);
        QSvgRenderer(QStringLiteral(":/stelvo/stelvo.svg"))
            .render(&painter, QRectF(QPointF(0, 0), icon.size()));
        painter.end();
        icon.setDevicePixelRatio(ratio);
        picIcon->setPixmap(icon);
        picIcon->move(twipsToPixels(QPointF(240, 240), this));
        picIcon->resize(32, 32);
    }

    QPalette black = palette();
    black.setColor(QPalette::WindowText, Qt::black);
    lblTitle = label("lblTitle", QRectF(1050, 240, 3885, 480), QStringLiteral("Stelvo"));
    lblTitle->setPalette(black);
    lblVersion = label("lblVersion", QRectF(1050, 840, 1245, 225), QStringLiteral("Version"));
    Label1 = label("Label1", QRectF(2400, 840, 2415, 255),
                   QStringLiteral("Written by the Stelvo Developers"));
    lblDescription =
        label("lblDescription", QRectF(450, 1125, 4845, 1530), QStringLiteral("App Description"));
    lblDescription->setPalette(black);

    // Two lines make an etched rule: grey, and white drawn after it just below.
    const int ruleLeftGrey = twipsToPixels(90, this, Qt::Horizontal);
    const int ruleLeftWhite = twipsToPixels(105, this, Qt::Horizontal);
    const int ruleRight = twipsToPixels(5654, this, Qt::Horizontal);
    const int ruleTop = twipsToPixels(2880, this, Qt::Vertical);
    Line1_1 = line(this, "Line1_1", QColor(0x80, 0x80, 0x80),
                   QRect(ruleLeftGrey, ruleTop, ruleRight - ruleLeftGrey, 1));
    Line1_0 = line(this, "Line1_0", Qt::white,
                   QRect(ruleLeftWhite, ruleTop + 1, ruleRight - ruleLeftWhite, 2));

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(twipsToPixels(QRectF(2760, 3120, 1260, 345), this));
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setGeometry(twipsToPixels(QRectF(4260, 3120, 1245, 345), this));
    cmdSysInfo->setAutoDefault(true);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);

    // Tab order: cmdOK, picIcon, cmdSysInfo; labels never take the focus.
    for (QLabel* l : {lblTitle, lblVersion, Label1, lblDescription})
        l->setFocusPolicy(Qt::NoFocus);
    setTabOrder(cmdOK, picIcon);
    setTabOrder(picIcon, cmdSysInfo);
    cmdOK->setFocus();

    Form_Load();
}

void frmAbout::setStarter(Starter starter)
{
    m_starter = std::move(starter);
}

QString frmAbout::usageText()
{
    return QStringLiteral(
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
    setWindowTitle(QStringLiteral("About ") + title);
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
        QString SysInfoPath;
        if (GetKeyValue(HKEY_LOCAL_MACHINE, gREGKEYSYSINFO, gREGVALSYSINFO, SysInfoPath)) {
            // A registered full file name is used as it stands.
        } else if (GetKeyValue(HKEY_LOCAL_MACHINE, gREGKEYSYSINFOLOC, gREGVALSYSINFOLOC,
                               SysInfoPath)) {
            const QString program = SysInfoPath + QStringLiteral("\\MSINFO32.EXE");
            if (!normalFileExists(program)) {
                qWarning().noquote() << "System information tool not found:" << program;
                showUnavailable();
                return;
            }
            // Started as the file that was tested, in this system's form.
            SysInfoPath = localPathOf(program);
        } else {
            const QString loadError = registryLoadError();
            if (!loadError.isEmpty())
                qWarning().noquote() << "System information tool: " + loadError;
            showUnavailable();
            return;
        }

        // A value of another type leaves the path empty: there is nothing to start.
        if (SysInfoPath.isEmpty() || !m_starter) {
            showUnavailable();
            return;
        }
        const StartResult result = m_starter(programCommandLine(SysInfoPath), kWindowNormalFocus);
        if (!result.started) {
            qWarning().noquote() << "System information tool" << SysInfoPath
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
    messageBox(this, QStringLiteral("System Information Is Unavailable At This Time"), QString(),
               QMessageBox::NoIcon);
}

bool frmAbout::GetKeyValue(HKEY KeyRoot, const QString& KeyName, const QString& SubKeyRef,
                           QString& KeyVal)
{
    HKEY hKey = 0;
    auto fail = [&]() {
        KeyVal.clear();
        if (hKey)
            RegCloseKey(hKey);
        return false;
    };

    // Reading needs no write rights, which an ordinary account lacks on the
    // machine's keys.
    const QByteArray keyName = KeyName.toLocal8Bit();
    if (RegOpenKeyExA(KeyRoot, keyName.constData(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return fail();

    QByteArray tmpVal(kValueBufferSize, '\0');
    DWORD KeyValSize = kValueBufferSize;
    DWORD KeyValType = REG_NONE;
    const QByteArray valueName = SubKeyRef.toLocal8Bit();
    if (RegQueryValueExA(hKey, valueName.constData(), nullptr, &KeyValType,
                         reinterpret_cast<BYTE*>(tmpVal.data()), &KeyValSize) != ERROR_SUCCESS)
        return fail();
    // Empty data is no usable value here; the caller goes on to its next place.
    if (KeyValSize == 0)
        return fail();
    const QByteArray data = tmpVal.left(KeyValSize);

    switch (KeyValType) {
    case REG_SZ: {
        QByteArray text = data.endsWith('\0') ? data.left(data.size() - 1) : data;
        // The text ends at a NUL inside it, as it does for every program that reads it.
        if (const qsizetype nul = text.indexOf('\0'); nul >= 0)
            text.truncate(nul);
        if (text.isEmpty())
            return fail();
        KeyVal = QString::fromLocal8Bit(text);
        break;
    }
    case REG_DWORD: {
        quint32 number = 0;
        for (qsizetype i = 0; i < data.size() && i < 4; ++i)
            number |= quint32(quint8(data.at(i))) << (8 * i);
        KeyVal = QStringLiteral("&h") + QString::number(number, 16).toUpper();
        break;
    }
    default:
        break;
    }
    RegCloseKey(hKey);
    return true;
}
