// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "SystemPaths.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace stelvo::test {

// What each shortcut test writes into and runs: a home of its own, the
// recording remote-control tool below a volumes folder whose name holds
// what a shell would expand, and the launcher built beside the program.
// HOME, PATH and the XDG folders are restored after each test.
class ShellLinkFixture : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

protected:
    QString home() const { return m_dir->path() + QStringLiteral("/home"); }
    QString desktop() const { return home() + QStringLiteral("/Desktop"); }
    QString record() const { return m_dir->path() + QStringLiteral("/wviewnt.rec"); }
    QString volumes() const { return m_dir->path() + QStringLiteral("/vol $x %y 'z\\w"); }

    std::unique_ptr<QTemporaryDir> m_dir;
    // What the settings would give the shortcut writer.
    SystemPaths m_paths;
    // PATH as the test found it.
    QByteArray m_savedPath;

private:
    QByteArray m_savedHome;
};

} // namespace stelvo::test
