// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Every window stays readable with the user's theme, font and scale: texts
// contrast with what they are drawn on, nothing is cut off, and every window
// lies within its screen. Runs at scale factor 2 on a 1280 x 1024 screen
// (640 x 512 device-independent pixels), as a small laptop does.
#include "DarkPalette.h"
#include "FindWindow.h"
#include "MainWindowHarness.h"
#include "SVsplash.h"
#include "frmAbout.h"

#include <QApplication>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTemporaryFile>
#include <QTest>
#include <cmath>
#include <memory>

using namespace stelvo;

namespace {

// One of the program's windows, built and shown as the program shows it.
struct ShownWindow
{
    std::unique_ptr<test::MainWindowHarness> main;
    std::unique_ptr<QWidget> other;
    QWidget* find = nullptr; // the main window's find window, when that is the one

    QWidget* window() const
    {
        return find != nullptr ? find : main ? main->window.get() : other.get();
    }
};

ShownWindow showWindow(const QString& name)
{
    ShownWindow shown;
    if (name == u"main" || name == u"find") {
        shown.main = std::make_unique<test::MainWindowHarness>();
        shown.main->load();
        if (name == u"find") {
            FindWindow* find = shown.main->window->findWindow();
            find->open();
            find->findField()->setText(QStringLiteral("ws"));
            shown.find = find;
        }
    } else if (name == u"about") {
        shown.other = std::make_unique<frmAbout>();
    } else {
        shown.other = std::make_unique<SVsplash>();
    }
    shown.window()->show();
    if (!QTest::qWaitForWindowExposed(shown.window()))
        qWarning("%s not exposed", qPrintable(name));
    return shown;
}

// WCAG 2 relative luminance and contrast ratio.
double luminance(const QColor& colour)
{
    const auto linear = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The colour a widget's text is drawn on: the background of the nearest
// widget, itself included, that fills one.
QColor backgroundBehind(const QWidget* widget)
{
    for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        if (w->autoFillBackground() || w->isWindow())
            return w->palette().color(w->backgroundRole());
    }
    return {};
}

// The widgets that show text: labels with text and the status bar.
QList<QWidget*> textWidgets(QWidget* window)
{
    QList<QWidget*> found;
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (!label->text().isEmpty())
            found << label;
    }
    for (QStatusBar* bar : window->findChildren<QStatusBar*>())
        found << bar;
    return found;
}

// The program's own controls (Qt names its inner widgets qt_...).
QList<QWidget*> controls(QWidget* window)
{
    QList<QWidget*> found;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->objectName().isEmpty() && !w->objectName().startsWith(u"qt_") &&
            w->isVisibleTo(window))
            found << w;
    }
    return found;
}

// Why a label cannot show all its text, or an empty string.
QString clipped(const QLabel* label)
{
    const QSize need =
        label->wordWrap() ? QSize(0, label->heightForWidth(label->width())) : label->sizeHint();
    if (need.width() <= label->width() && need.height() <= label->height())
        return {};
    return QStringLiteral("%1 needs %2x%3, has %4x%5")
        .arg(label->objectName())
        .arg(need.width())
        .arg(need.height())
        .arg(label->width())
        .arg(label->height());
}

// Each text label's font size, by name.
QHash<QString, double> labelPoints(const QWidget* window)
{
    QHash<QString, double> points;
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        if (!label->text().isEmpty())
            points.insert(label->objectName(), label->font().pointSizeF());
    }
    return points;
}

QString describe(const QRect& r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

class TestReadability : public QObject
{
    Q_OBJECT

    QPalette m_palette;
    QFont m_font;

private slots:
    void initTestCase()
    {
        m_palette = QApplication::palette();
        m_font = QApplication::font();
        const QScreen* screen = QGuiApplication::primaryScreen();
        QCOMPARE(screen->geometry().size(), QSize(640, 512));
        QCOMPARE(screen->devicePixelRatio(), 2.0);
    }
    void cleanup()
    {
        QApplication::setPalette(m_palette);
        QApplication::setFont(m_font);
    }

    void textsContrastWithTheirBackground_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QPalette>("palette");
        const QPalette light = QApplication::style()->standardPalette();
        // clang-format off
        QTest::newRow("main window, light") << "main"   << light;
        QTest::newRow("main window, dark")  << "main"   << test::darkPalette();
        QTest::newRow("about box, light")   << "about"  << light;
        QTest::newRow("about box, dark")    << "about"  << test::darkPalette();
        QTest::newRow("splash, light")      << "splash" << light;
        QTest::newRow("splash, dark")       << "splash" << test::darkPalette();
        QTest::newRow("find window, light") << "find"   << light;
        QTest::newRow("find window, dark")  << "find"   << test::darkPalette();
        // clang-format on
    }
    void textsContrastWithTheirBackground()
    {
        QFETCH(QString, window);
        QFETCH(QPalette, palette);
        QApplication::setPalette(palette);
        const ShownWindow shown = showWindow(window);
        const QList<QWidget*> texts = textWidgets(shown.window());
        QVERIFY(!texts.isEmpty());
        for (const QWidget* w : texts) {
            const QColor text = w->palette().color(w->foregroundRole());
            const QColor background = backgroundBehind(w);
            const double ratio = contrast(text, background);
            QVERIFY2(ratio >= 4.5,
                     qPrintable(QStringLiteral("%1: %2 on %3 is %4:1")
                                    .arg(w->objectName(), text.name(), background.name())
                                    .arg(ratio, 0, 'f', 1)));
        }
    }

    void fitsFontAndScreen_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<double>("points"); // the application font; 0 for the default
        // clang-format off
        QTest::newRow("main window, default font") << "main"   << 0.0;
        QTest::newRow("main window, 16 pt")        << "main"   << 16.0;
        QTest::newRow("about box, default font")   << "about"  << 0.0;
        QTest::newRow("about box, 16 pt")          << "about"  << 16.0;
        QTest::newRow("splash, default font")      << "splash" << 0.0;
        QTest::newRow("splash, 16 pt")             << "splash" << 16.0;
        QTest::newRow("find window, default font") << "find"   << 0.0;
        QTest::newRow("find window, 16 pt")        << "find"   << 16.0;
        // clang-format on
    }
    void fitsFontAndScreen()
    {
        QFETCH(QString, window);
        QFETCH(double, points);
        QHash<QString, double> designed; // with the default font
        if (points > 0) {
            designed = labelPoints(showWindow(window).window());
            QFont font = m_font;
            font.setPointSizeF(points);
            QApplication::setFont(font);
        }
        const ShownWindow shown = showWindow(window);
        QWidget* top = shown.window();
        const QRect screen = top->screen()->availableGeometry();
        QVERIFY2(screen.contains(top->frameGeometry()),
                 qPrintable(describe(top->frameGeometry()) + " outside " + describe(screen)));
        // Every control inside its parent, so none is cut off.
        for (const QWidget* w : controls(top)) {
            QVERIFY2(w->parentWidget()->rect().contains(w->geometry()),
                     qPrintable(w->objectName() + ' ' + describe(w->geometry()) + " outside " +
                                describe(w->parentWidget()->rect())));
        }
        for (const QLabel* label : top->findChildren<QLabel*>()) {
            if (label->text().isEmpty())
                continue;
            QVERIFY2(clipped(label).isEmpty(), qPrintable(clipped(label)));
            // The designed faces follow the user's larger font.
            if (points > 0)
                QVERIFY2(label->font().pointSizeF() > designed.value(label->objectName()),
                         qPrintable(label->objectName()));
        }
        for (const QStatusBar* bar : top->findChildren<QStatusBar*>())
            QVERIFY(bar->height() >= bar->fontMetrics().height() + 2);
    }
};

int main(int argc, char** argv)
{
    // The offscreen platform with a 1280 x 1024 screen, scaled by 2.
    QTemporaryFile config;
    if (!config.open())
        qFatal("cannot write the screen configuration");
    config.write(R"({"screens": [{"name": "laptop", "x": 0, "y": 0, "width": 1280, "height": 1024,
                                  "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    config.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config.fileName()));
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestReadability test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "testReadability.moc"
