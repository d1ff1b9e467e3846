// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdifSearch.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

namespace stelvo::test::ldif {

QString n(const char* path)
{
    return QStringLiteral("NDS:\\\\ACME_TREE\\") + QString::fromUtf8(path);
}

Outcome runSearch(LdifDirectory& directory, const QString& tree, const QString& classes,
                  const QString& pattern)
{
    QSignalSpy completed(&directory, &DirectoryControl::SearchCompleted);
    QSignalSpy failed(&directory, &DirectoryControl::SearchFailed);
    directory.StartSearch(tree, 2, classes, pattern);
    // Never delivered inside StartSearch: the caller's thread must not wait.
    Outcome outcome;
    if (completed.count() + failed.count() != 0) {
        outcome.failure = QStringLiteral("delivered synchronously");
        return outcome;
    }
    QElapsedTimer clock;
    clock.start();
    while (completed.isEmpty() && failed.isEmpty() && clock.elapsed() < 10000)
        QTest::qWait(5);
    if (completed.isEmpty() && failed.isEmpty())
        return outcome;
    if (!completed.isEmpty()) {
        outcome.completed = true;
        outcome.results = completed.takeFirst().at(0).toStringList();
    } else {
        outcome.failure = failed.takeFirst().at(0).toString();
    }
    return outcome;
}

} // namespace stelvo::test::ldif
