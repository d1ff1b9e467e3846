// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapFixture.h"

#include "AcmeTree.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <sys/stat.h>

namespace stelvo::test {

Outcome search(DirectoryControl& directory, const QString& pattern)
{
    QSignalSpy completed(&directory, &DirectoryControl::SearchCompleted);
    QSignalSpy failed(&directory, &DirectoryControl::SearchFailed);
    directory.SearchAttribute(QStringLiteral("CN"));
    directory.SearchFlag(true);
    directory.StartSearch(DirectoryControl::TreeNameOf(directory.ContextPath()), 2, kClasses,
                          pattern);
    Outcome outcome;
    if (!completed.isEmpty() || !failed.isEmpty()) {
        outcome.message = QStringLiteral("delivered before StartSearch returned");
        outcome.failed = true;
        return outcome;
    }
    QElapsedTimer timer;
    timer.start();
    while (completed.isEmpty() && failed.isEmpty() && timer.elapsed() < 120000)
        QTest::qWait(10);
    // Nothing else may follow the one signal.
    QTest::qWait(50);
    outcome.completed = completed.size() == 1;
    outcome.failed = failed.size() == 1;
    if (outcome.completed)
        outcome.names = completed.at(0).at(0).toStringList();
    if (outcome.failed)
        outcome.message = failed.at(0).at(0).toString();
    if (completed.size() + failed.size() != 1)
        outcome.message += QStringLiteral(" [%1 completed, %2 failed signals]")
                               .arg(completed.size())
                               .arg(failed.size());
    return outcome;
}

LdapOptions quickOptions()
{
    LdapOptions options;
    options.networkTimeout = std::chrono::milliseconds(3000);
    options.operationTimeout = std::chrono::milliseconds(5000);
    return options;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content,
                  int mode)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(content) != content.size())
        return {};
    file.close();
    if (::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)) != 0)
        return {};
    return path;
}

FakeLdapServer::Reply success()
{
    return FakeLdapServer::Reply{};
}

} // namespace stelvo::test
