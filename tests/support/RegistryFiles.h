// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace stelvo::test {

// Registry export files for a test, each made the machine's registry in
// turn through STELVO_REGISTRY.
class RegistryFiles
{
public:
    // Writes `contents` as a new file and points STELVO_REGISTRY at it; returns
    // its name. Each load gets a file of its own, so no change can hide behind
    // an unchanged size and time.
    QString use(const QByteArray& contents);
    // The same for a REGEDIT4 export whose sections and values are `body`.
    QString useRegedit4(const QByteArray& body) { return use("REGEDIT4\n\n" + body); }
    // The folder the files are written to.
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    int m_files = 0;
};

} // namespace stelvo::test
