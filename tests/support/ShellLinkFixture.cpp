// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ShellLinkFixture.h"

#include "DesktopEntries.h"
#include "ShellLink.h"
#include "StandInTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace stelvo::test {

void ShellLinkFixture::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_savedHome = qgetenv("HOME");
    m_savedPath = qgetenv("PATH");
    QVERIFY(QDir().mkpath(home()));
    qputenv("HOME", QFile::encodeName(home()));
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_DATA_HOME");
    QVERIFY(writeRecordingTool(volumes() + "/Fs1/Sys/Public/ZenWorks/WViewNT.Exe", record()));
    m_paths = {volumes(), {}};
    QVERIFY(QFileInfo(launcherBinary()).isExecutable());
    setShellLinkLauncher(launcherBinary());
}

void ShellLinkFixture::cleanup()
{
    setShellLinkLauncher({});
    qputenv("HOME", m_savedHome);
    qputenv("PATH", m_savedPath);
    qunsetenv("XDG_CONFIG_HOME");
    m_paths = {};
    m_dir.reset();
}

} // namespace stelvo::test
