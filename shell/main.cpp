// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "BindPasswordDialog.h"
#include "BindPasswordSource.h"
#include "DirectoryFactory.h"
#include "PasswordStore.h"
#include "SVsplash.h"
#include "SettingsError.h"
#include "Startup.h"
#include "Translations.h"
#include "TreeItemModel.h"
#include "TreeSearch.h"
#include "VersionInfo.h"
#include "stelvo_version.h"
#include "svWStation.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

// Starts the tree search Form_Load asks for before the window is built, so
// that connecting, binding and the first pages overlap building it;
// Form_Load's StartSearch takes the search over, and shows and says
// everything as ever.
void startTreeSearchEarly(stelvo::DirectoryControl* directory)
{
    namespace treesearch = stelvo::treesearch;
    directory->SearchAttribute(treesearch::kAttribute);
    directory->searchAhead(stelvo::DirectoryControl::TreeNameOf(directory->ContextPath()),
                           treesearch::kScope, treesearch::kClasses, treesearch::kPattern);
}

// Says why the program cannot start, and gives its exit status.
int failure(const QString& message)
{
    QMessageBox::critical(nullptr, QString::fromLatin1(stelvo::version::kTitle), message);
    return 1;
}

// The password of a simple bind: the one kept in the keyring when the
// server takes it, else the dialog's (kept when the user asks and the
// server takes it). nullptr when the user cancels. Throws DirectoryError
// when the server cannot be asked.
std::shared_ptr<const stelvo::Secret> askedBindPassword(const stelvo::Settings& settings)
{
    const QString bindDn = settings.value(stelvo::SettingKey::BindDn);
    const QString directory = settings.value(stelvo::SettingKey::Directory);
    const QString shown = directory.isEmpty() ? settings.value(stelvo::SettingKey::Domain)
                                              : directory.section(u'/', 0, 2);
    stelvo::KeychainPasswordStore keyring;
    const stelvo::BindPassword result = stelvo::bindPassword(
        keyring, stelvo::bindPasswordServer(settings), bindDn,
        [&](const stelvo::PasswordQuestion& question) {
            return stelvo::askBindPassword(bindDn, shown, question);
        },
        [&settings](const std::shared_ptr<const stelvo::Secret>& password, QString* error) {
            return stelvo::checkBindPassword(settings, password, error);
        });
    if (!result.notStored.isEmpty())
        stelvo::sayPasswordNotKept(result.notStored);
    return result.password;
}

// With STELVO_TRACE_FD set (by the benchmark), one line per event of the
// live tree on that descriptor: monotonic nanoseconds, what, a number, and
// the nodes the tree holds, so that it can be timed from outside.
int traceFd = -1;
const stelvo::svWStation* tracedWindow = nullptr;

void trace(const char* what, qsizetype number)
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const long long nodes = tracedWindow != nullptr ? tracedWindow->Nodes().count() : 0;
    char line[96];
    const int length = std::snprintf(line, sizeof line, "%lld%09ld %s %lld %lld\n",
                                     static_cast<long long>(now.tv_sec), now.tv_nsec, what,
                                     static_cast<long long>(number), nodes);
    // The reader keeps up; a line it cannot take is dropped, never waited for.
    if (::write(traceFd, line, size_t(length)) < 0)
        return;
}

// Before the window connects its own handlers, so that what arrives is
// traced before what the window makes of it.
void traceDirectory(stelvo::DirectoryControl* directory)
{
    bool set = false;
    traceFd = qEnvironmentVariableIntValue("STELVO_TRACE_FD", &set);
    if (!set) {
        traceFd = -1;
        return;
    }
    using stelvo::DirectoryControl;
    QObject::connect(
        directory, &DirectoryControl::LiveStatusChanged,
        [](const stelvo::LiveStatus& status) { trace("live", static_cast<int>(status.state)); });
    QObject::connect(
        directory, &DirectoryControl::EntriesChanged,
        [](const stelvo::DirectoryChanges& changes) { trace("received", changes.changes.size()); });
    QObject::connect(directory, &DirectoryControl::RefreshCompleted,
                     [](const QStringList& results) { trace("refreshed", results.size()); });
    QObject::connect(directory, &DirectoryControl::RefreshDelivered, [] { trace("refreshed", 0); });
}

void traceTree(const stelvo::svWStation& window)
{
    if (traceFd < 0)
        return;
    tracedWindow = &window;
    QObject::connect(window.TreeModel, &stelvo::TreeItemModel::changesApplied,
                     [] { trace("applied", 0); });
    QObject::connect(window.TreeModel, &stelvo::TreeItemModel::idle, [] { trace("idle", 0); });
}

} // namespace

int main(int argc, char** argv)
{
    // Before QApplication: --help, --version and argument errors need no display.
    const stelvo::Startup startup = stelvo::Startup::prepare(argc, argv, stelvo::directoryClient());
    if (startup.exitCode())
        return *startup.exitCode();

    QApplication app(argc, argv);
    stelvo::installTranslations(app);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.stelvo.Stelvo"));
    stelvo::applyVersionInfo();

    stelvo::Controls controls;
    stelvo::SiteTools tools;
    stelvo::SystemPaths paths;
    try {
        // Throws the error a setting from a file or the environment holds,
        // now worded in the user's language.
        const stelvo::Settings& settings = startup.settings();
        std::shared_ptr<const stelvo::Secret> password;
        if (stelvo::needsBindPassword(settings)) {
            password = askedBindPassword(settings);
            // Cancel is the administrator's choice: nothing more to say.
            if (!password)
                return 1;
        }
        controls =
            stelvo::makeControls(stelvo::svWStation::kDesignContext, settings, std::move(password));
        tools = settings.siteTools();
        paths = stelvo::systemPathsOf(settings);
    } catch (const stelvo::SettingsError& error) {
        return failure(error.message());
    } catch (const stelvo::DirectoryError& error) {
        return failure(error.message());
    }
    startTreeSearchEarly(controls.directory.get());
    traceDirectory(controls.directory.get());
    stelvo::svWStation window(std::move(controls.directory), std::move(controls.session), paths);
    traceTree(window);
    window.SiteCommands = tools;
    window.MakeSplash = [] { return new stelvo::SVsplash; };
    window.Form_Load();
    return QApplication::exec();
}
