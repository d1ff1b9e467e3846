// Renders the splash and the about box as they appear on screen and checks
// that the pictures hold what the windows show. With STELVO_SCREENSHOT_DIR
// set (scripts/screenshots does, under Xvfb) the pictures are also saved
// there as splash.png and about.png.
#include "SVsplash.h"
#include "frmAbout.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPixmap>
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

void save(const QImage& image, const char* name)
{
    const QString dir = qEnvironmentVariable("STELVO_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    const QString file = QDir(dir).filePath(QLatin1String(name));
    QVERIFY2(image.save(file), qPrintable("cannot write " + file));
    qInfo("wrote %s", qPrintable(file));
}

} // namespace

class TestScreenshots : public QObject
{
    Q_OBJECT

private slots:
    void splash()
    {
        SVsplash splash;
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
        save(image, "splash.png");
    }

    void about()
    {
        frmAbout dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::qWait(50);
        const QImage image = dlg.grab().toImage();
        QCOMPARE(image.size() / image.devicePixelRatio(), dlg.size());
        for (const char* name : {"picIcon", "lblTitle", "lblVersion", "Label1", "lblDescription",
                                 "cmdOK", "cmdSysInfo"}) {
            auto* w = dlg.findChild<QWidget*>(QLatin1String(name));
            const QRect area(w->pos() * image.devicePixelRatio(),
                             w->size() * image.devicePixelRatio());
            QVERIFY2(inked(image, area) > 10, name);
        }
        // The usage text's last line is inside its label, not cut off.
        auto* description = dlg.findChild<QLabel*>(QStringLiteral("lblDescription"));
        QVERIFY(description->heightForWidth(description->width()) <= description->height());
        save(image, "about.png");
    }
};

QTEST_MAIN(TestScreenshots)
#include "testscreenshots.moc"
