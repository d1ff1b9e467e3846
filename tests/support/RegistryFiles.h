// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace stelvo::test {

// Registry export files for a test, each made the machine's registry in
// turn: the registry file a test hands to the code under test is current().
class RegistryFiles
{
public:
    // Writes `contents` as a new file and makes it the current one; returns
    // its name. Each load gets a file of its own, so no change can hide behind
    // an unchanged size and time.
    QString use(const QByteArray& contents);
    // The same for a REGEDIT4 export whose sections and values are `body`.
    QString useRegedit4(const QByteArray& body) { return use("REGEDIT4\n\n" + body); }
    // The current file; empty before the first use and after useNone().
    QString current() const { return m_current; }
    // The file `name`, as it is (or is not), from now on.
    void useFile(const QString& name) { m_current = name; }
    // No file from now on: the desktop's own registry.
    void useNone() { m_current.clear(); }
    // The folder the files are written to.
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    int m_files = 0;
    QString m_current;
};

} // namespace stelvo::test
