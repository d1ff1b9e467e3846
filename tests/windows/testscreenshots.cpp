// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Renders the splash, the about box and the main window as they appear on
// screen, the latter two also with a dark theme's palette, and checks that
// the pictures hold what the windows show. With STELVO_SCREENSHOT_DIR set
// (scripts/screenshots does, under Xvfb) the pictures are also saved there:
// splash.png, about.png, about-dark.png, main-window.png,
// main-window-dark.png. The windows speak the session's language, as the
// program's do; in another language than English the names say which
// (main-window-de.png).
#include "DarkPalette.h"
#include "DirectoryFactory.h"
#include "SVsplash.h"
#include "Translations.h"
#include "TreeItemModel.h"
#include "frmAbout.h"
#include "svWStation.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QTest>

namespace {

// How many pixels inside `area` differ clearly from the colour at its
// top-left corner: text or a picture drawn there.
int inked(const QImage& image, const QRect& area)
{
    const QRect r = area.intersected(image.rect());
    const QColor background = image.pixelColor(r.topLeft());
    int count = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.red() - background.red()) + qAbs(c.green() - background.green()) +
                    qAbs(c.blue() - background.blue()) >
                120)
                ++count;
        }
    }
    return count;
}

// "" in English, "-de" in German.
QString languageSuffix()
{
    const QLocale::Language language = QLocale().language();
    if (language == QLocale::English || language == QLocale::C)
        return {};
    return QLatin1Char('-') + QLocale::languageToCode(language);
}

// Saves `image` as NAME.png, NAME-de.png in a German session.
void save(const QImage& image, const QString& name)
{
    const QString dir = qEnvironmentVariable("STELVO_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    // A picture named after a language must show it, not English.
    QVERIFY2(languageSuffix().isEmpty() ||
                 QCoreApplication::translate("stelvo::svWStation", "&File") != u"&File",
             qPrintable("no translation for " + QLocale().name()));
    QDir().mkpath(dir);
    const QString file = QDir(dir).filePath(name + languageSuffix() + QStringLiteral(".png"));
    QVERIFY2(image.save(file), qPrintable("cannot write " + file));
    qInfo("wrote %s", qPrintable(file));
}

} // namespace

// The rows of a window shown with the desktop's palette and with a dark one.
void addThemes(const QString& name)
{
    QTest::addColumn<bool>("dark");
    QTest::addColumn<QString>("name"); // the picture's
    QTest::newRow("light") << false << name;
    QTest::newRow("dark") << true << name + QStringLiteral("-dark");
}

class TestScreenshots : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_palette = QApplication::palette(); }
    void cleanup() { QApplication::setPalette(m_palette); }

    void splash()
    {
        stelvo::SVsplash splash;
        splash.show();
        QVERIFY(QTest::qWaitForWindowExposed(&splash));
        QTest::qWait(50);
        const QImage image = splash.grab().toImage();
        QCOMPARE(image.size() / image.devicePixelRatio(), splash.size());
        for (const char* name : {"lblProductName", "lblVersion", "lblPlatform", "lblCompanyProduct",
                                 "lblCopyright", "imgLogo"}) {
            auto* w = splash.findChild<QWidget*>(QLatin1String(name));
            const QRect area(w->mapTo(&splash, QPoint(0, 0)) * image.devicePixelRatio(),
                             w->size() * image.devicePixelRatio());
            QVERIFY2(inked(image, area) > 10, name);
        }
        save(image, QStringLiteral("splash"));
    }

    void about_data() { addThemes(QStringLiteral("about")); }
    void about()
    {
        QFETCH(bool, dark);
        QFETCH(QString, name);
        if (dark)
            QApplication::setPalette(stelvo::test::darkPalette());
        stelvo::frmAbout dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::qWait(50);
        const QImage image = dlg.grab().toImage();
        QCOMPARE(image.size() / image.devicePixelRatio(), dlg.size());
        for (const char* control : {"picIcon", "lblTitle", "lblVersion", "Label1", "lblDescription",
                                    "cmdOK", "cmdSysInfo"}) {
            auto* w = dlg.findChild<QWidget*>(QLatin1String(control));
            const QRect area(w->pos() * image.devicePixelRatio(),
                             w->size() * image.devicePixelRatio());
            QVERIFY2(inked(image, area) > 10, control);
        }
        // The usage text's last line is inside its label, not cut off.
        auto* description = dlg.findChild<QLabel*>(QStringLiteral("lblDescription"));
        QVERIFY(description->heightForWidth(description->width()) <= description->height());
        save(image, name);
    }

    void mainWindow_data() { addThemes(QStringLiteral("main-window")); }
    void mainWindow()
    {
        QFETCH(bool, dark);
        QFETCH(QString, name);
        if (dark)
            QApplication::setPalette(stelvo::test::darkPalette());
        // The program as it starts: the embedded sample directory, a
        // workstation selected and its pop-up menu open.
        stelvo::Controls controls =
            stelvo::makeControls(stelvo::svWStation::kDesignContext, QProcessEnvironment());
        stelvo::svWStation window(std::move(controls.directory), std::move(controls.session));
        window.EndProgram = [](int code) { QFAIL(qPrintable(QString::number(code))); };
        window.Form_Load();
        QTRY_VERIFY_WITH_TIMEOUT(window.isVisible(), 10000);
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        stelvo::NodeTree::Index unit =
            window.Tree().ContainerTable.value(QStringLiteral("acme\\sales\\east"));
        QVERIFY(unit != stelvo::NodeTree::kNone);
        const stelvo::NodeTree::Index leaf = window.Nodes().children(unit).at(1);
        const QModelIndex index = window.TreeModel->indexOf(leaf);
        window.TreeView1->setCurrentIndex(index);
        window.TreeView1->scrollTo(index);
        QCOMPARE(window.ConvertDotted(), QStringLiteral("WS002.EAST.SALES.ACME"));
        window.WSMenu->popup(window.TreeView1->viewport()->mapToGlobal(
            window.TreeView1->visualRect(index).center()));
        QTRY_VERIFY(window.WSMenu->isVisible());
        QTest::qWait(100);
        QImage image;
        if (QGuiApplication::platformName() == QLatin1String("xcb")) {
            // The whole screen area of the window and its menu.
            const QRect area =
                window.frameGeometry().united(window.WSMenu->geometry()).adjusted(-8, -8, 8, 8);
            image = window.screen()
                        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                        .toImage();
        } else {
            image = window.grab().toImage();
        }
        QVERIFY(inked(image, QRect(QPoint(0, 0), image.size())) > 1000);
        window.WSMenu->hide();
        save(image, name);
    }

private:
    QPalette m_palette;
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    stelvo::installTranslations(app);
    TestScreenshots test;
    return QTest::qExec(&test, argc, argv);
}

#include "testscreenshots.moc"
