// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "FindWindow.h"
#include "MainWindowHarness.h"
#include "MessageBoxCatcher.h"
#include "SettingsError.h"
#include "Startup.h"
#include "Translations.h"
#include "svWStation.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

using Harness = stelvo::test::MainWindowHarness;

namespace {

QStringList captions(const QList<QAction*>& actions)
{
    QStringList texts;
    for (const QAction* action : actions)
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

} // namespace

// Runs as a German desktop session: main() sets the environment and installs
// the translators the way the program does.
class TestTranslations : public QObject
{
    Q_OBJECT

public:
    explicit TestTranslations(const stelvo::Startup& startup) : m_startup(startup) {}

private slots:
    void mainWindowSpeaksTheUsersLanguage()
    {
        Harness h;
        h.load();
        QCOMPARE(captions(h.window->menuBar()->actions()), QStringList({"&Datei", "&Hilfe"}));
        QCOMPARE(captions(h.window->FileMenu->actions()), QStringList{"&Beenden"});
        QCOMPARE(captions(h.window->HelpMenu->actions()), QStringList{"Ü&ber"});
        // clang-format off
        QCOMPARE(captions(h.window->WSMenu->actions()), QStringList({
            "&Fernsteuerung", "Fernan&sicht", "-", "Verwaltungssoftware an&pingen", "&Chat",
            "&Dateiübertragung", "Fern&ausführung", "D&iagnose", "-",
            "&Verknüpfung zur Fernsteuerung erstellen"}));
        // clang-format on
        QCOMPARE(h.window->SB1->currentMessage(), QStringLiteral("Bereit (\\\\FS1\\SYS\\)"));

        // Qt's own button texts come from Qt's catalogue.
        MessageBoxCatcher boxes(QMessageBox::Cancel);
        h.window->FileExit->trigger();
        QCOMPARE(boxes.shown().size(), 1);
        const MessageBoxCatcher::Shown& seen = boxes.shown().first();
        QCOMPARE(seen.title, QStringLiteral("Stelvo beenden?"));
        QCOMPARE(seen.text, QStringLiteral("Sie sind dabei, Stelvo zu beenden."));
        QCOMPARE(seen.buttonTexts, QStringList({"OK", "Abbrechen"}));
        QVERIFY(h.ends.isEmpty());
    }

    void findWindowCountsInTheUsersLanguage_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("count");
        // Plural forms from the German catalogue, not the English fallback's.
        QTest::newRow("one") << "ws0"
                             << "1 Arbeitsstation passt";
        QTest::newRow("several") << "ws"
                                 << "3 Arbeitsstationen passen";
        QTest::newRow("none") << "zz"
                              << "0 Arbeitsstationen passen";
    }

    void findWindowCountsInTheUsersLanguage()
    {
        QFETCH(QString, typed);
        QFETCH(QString, count);
        Harness h;
        h.load();
        stelvo::FindWindow* find = h.window->findWindow();
        find->open();
        QCOMPARE(find->windowTitle(), QStringLiteral("Arbeitsstation suchen"));
        find->findField()->setText(typed);
        QCOMPARE(find->countLabel()->text(), count);
    }

    // Found before the translators existed, shown in a window after.
    void settingsErrorSpeaksTheUsersLanguage()
    {
        QVERIFY(!m_startup.exitCode());
        try {
            m_startup.settings();
            QFAIL("STELVO_STARTTLS=ja was accepted");
        } catch (const stelvo::SettingsError& error) {
            QCOMPARE(error.message(),
                     QStringLiteral("STELVO_STARTTLS muss 1 oder 0 sein, nicht „ja“"));
        }
    }

private:
    const stelvo::Startup& m_startup;
};

int main(int argc, char** argv)
{
    // The language comes from the environment alone: the de_DE locale need
    // not be generated on this machine.
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
        qunsetenv(name);
    qputenv("LANG", "de_DE.UTF-8");

    // The settings are loaded before the application exists, as main() does
    // (it says the error on standard error, in English); no configuration
    // file or ldap.conf of the developer's takes part.
    const QTemporaryDir noConfig;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(noConfig.path()));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(noConfig.path()));
    qputenv("LDAPNOINIT", "1");
    qputenv("STELVO_STARTTLS", "ja");
    const stelvo::Startup startup = stelvo::Startup::prepare(1, argv, nullptr);
    qunsetenv("STELVO_STARTTLS");

    QApplication app(argc, argv);
    stelvo::installTranslations(app);
    TestTranslations test(startup);
    return QTest::qExec(&test, argc, argv);
}

#include "testTranslations.moc"
