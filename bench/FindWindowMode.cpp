// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "FindWindowMode.h"

#include "BenchSupport.h"
#include "FindResultsModel.h"
#include "FindWindow.h"
#include "FixedSessionControl.h"
#include "GenerateDirectory.h"
#include "LdifDirectory.h"
#include "TreeItemModel.h"
#include "WorkstationFinder.h"
#include "svWStation.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace stelvo::bench {

namespace {

struct WindowKey
{
    int key;
    QString text;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

// From the key to the count and the list painted: the key, what the
// event loop then has to do (the view's layout comes by a zero timer), and
// a paint of the whole window.
double windowKeystrokeMs(FindWindow& find, const WindowKey& stroke)
{
    QElapsedTimer t;
    t.start();
    QKeyEvent press(QEvent::KeyPress, stroke.key, stroke.modifiers, stroke.text);
    QApplication::sendEvent(find.findField(), &press);
    QKeyEvent release(QEvent::KeyRelease, stroke.key, stroke.modifiers, stroke.text);
    QApplication::sendEvent(find.findField(), &release);
    QCoreApplication::processEvents();
    find.repaint();
    return double(t.nsecsElapsed()) / 1e6;
}

bool runFindWindowSize(int workstations)
{
    DirectoryShape shape = shapeFor(workstations);
    shape.attributes = true;
    QByteArray deepest;
    const QByteArray ldif = generateLdif(shape, {}, &deepest);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.ldif"));
    if (!writeLdifFile(path, ldif))
        return false;

    QEventLoop loop;
    QElapsedTimer clock;
    auto directory = std::make_unique<LdifDirectory>(path, QStringLiteral("NDS:\\\\BENCH_TREE"));
    directory->setHostNameAttribute(QStringLiteral("dNSHostName"));
    svWStation window(std::move(directory),
                      std::make_unique<FixedSessionControl>(QStringLiteral("FS1")));
    window.EndProgram = [](int code) { std::fprintf(stderr, "start-up failed (%d)\n", code); };
    ShowWatcher watcher(loop, clock);
    window.installEventFilter(&watcher);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    clock.start();
    window.Form_Load();
    loop.exec();
    if (watcher.shownAt < 0) {
        std::fprintf(stderr, "the window was not shown\n");
        return false;
    }

    FindWindow& find = *window.findWindow();
    find.open();
    QCoreApplication::processEvents();
    const QString name = QString::fromUtf8(deepest).section(QLatin1Char('\\'), -1);
    std::vector<WindowKey> strokes;
    for (const QChar c : name)
        strokes.push_back(
            {c.isDigit() ? Qt::Key_0 + c.digitValue() : int(c.toUpper().unicode()), QString(c)});
    for (qsizetype i = 0; i < name.size(); ++i)
        strokes.push_back({Qt::Key_Backspace, QString()});
    strokes.push_back({Qt::Key_W, QStringLiteral("w")});
    strokes.push_back({Qt::Key_Down, QString()});
    strokes.push_back({Qt::Key_A, QStringLiteral("a"), Qt::ControlModifier});
    strokes.push_back({Qt::Key_S, QStringLiteral("s")});
    strokes.push_back({Qt::Key_A, QStringLiteral("a"), Qt::ControlModifier});
    strokes.push_back({Qt::Key_W, QStringLiteral("w")});

    // The whole sequence typed five times into an empty field; a
    // keystroke's figure is the median of its five, which keeps other
    // processes' hiccups, and what only the first painting costs, out.
    constexpr int kRounds = 5;
    std::vector<std::vector<double>> times(strokes.size());
    QStringList texts; // after each keystroke
    int matchesOfW = -1;
    for (int round = 0; round < kRounds; ++round) {
        find.findField()->clear();
        QCoreApplication::processEvents();
        find.repaint();
        for (size_t key = 0; key < strokes.size(); ++key) {
            times[key].push_back(windowKeystrokeMs(find, strokes[key]));
            if (round == 0)
                texts << find.findField()->text();
            if (find.findField()->text() == u"w")
                matchesOfW = find.results()->count();
        }
    }
    if (find.findField()->text() != u"w" || find.countLabel()->text().isEmpty() ||
        matchesOfW != workstations) {
        std::fprintf(stderr, "the find window did not find every workstation by \"w\" (%d)\n",
                     matchesOfW);
        return false;
    }
    // The finder alone, through the same texts.
    WorkstationFinder finder(window.Nodes(), window.TreeModel->hostNames());
    std::vector<std::vector<double>> finderTimes(strokes.size());
    for (int round = 0; round < kRounds; ++round) {
        finder.setText(QString());
        for (size_t key = 0; key < strokes.size(); ++key) {
            QElapsedTimer t;
            t.start();
            if (texts[qsizetype(key)] != finder.text())
                finder.setText(texts[qsizetype(key)]);
            finderTimes[key].push_back(double(t.nsecsElapsed()) / 1e6);
        }
    }
    std::vector<double> keys;
    size_t slowest = 0;
    for (size_t key = 0; key < strokes.size(); ++key) {
        keys.push_back(median(times[key]));
        if (keys[key] > keys[slowest])
            slowest = key;
    }
    const double worst = keys[slowest];
    const double finderMs = median(finderTimes[slowest]);
    const QString worstText = texts[qsizetype(slowest)];

    std::printf("%9d %10d %16.1f %16.1f %12.1f   (\"%s\")\n", workstations, matchesOfW, worst,
                median(keys), finderMs, qPrintable(worstText));
    std::fflush(stdout);
    return true;
}

} // namespace

bool runFindWindowSizes(const QList<int>& sizes)
{
    std::printf("%9s %10s %16s %16s %12s\n", "stations", "\"w\" finds", "worst key (ms)",
                "median key (ms)", "finder (ms)");
    for (const int size : sizes) {
        if (size <= 0 || !runFindWindowSize(size))
            return false;
    }
    return true;
}

} // namespace stelvo::bench
