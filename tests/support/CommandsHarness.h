// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "MessageBoxCatcher.h"
#include "svWStation.h"

#include <QAction>
#include <QByteArray>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace stelvo::test {

// The workstation commands with nothing replaced: the main window over the
// LDIF directory, the real process start and the real shortcut writer, with
// stand-in tools on the server volumes that record what they receive. Each
// test gets a temporary folder with the volumes and a home of its own; the
// environment it changes is restored afterwards.
class CommandsHarness : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

protected:
    static inline const QString kFixture = QStringLiteral(STELVO_TESTS_DIR "/data/acme.ldif");
    // As the server stores them; the command lines name them in upper case.
    static inline const QString kToolFolder = QStringLiteral("/fs1/sys/Public/ZENworks");
    static inline const QString kDesktopTool = QStringLiteral("DeskTop.exe");
    static inline const QString kRemoteControlTool = QStringLiteral("wviewnt.EXE");

    QString path(const QString& relative) const { return m_dir->path() + u'/' + relative; }
    QString volumes() const { return path(QStringLiteral("volumes")); }
    QString tool(const QString& name) const { return volumes() + kToolFolder + u'/' + name; }
    QString record(const QString& name) const { return path(name + QStringLiteral(".rec")); }
    QString desktop() const { return path(QStringLiteral("home/Desktop")); }

    // The main window over `ldif`, its search completed.
    bool load(const QString& ldif = kFixture);
    void select(const QStringList& path);
    // Triggers `item`; a message box it shows is answered with OK and
    // recorded in m_box.
    void trigger(QAction* svWStation::*item);
    // Runs a desktop entry with the desktop's own launcher.
    QString launch(const QString& entry);
    QString validate(const QString& entry);

    QString m_validatePath, m_gioPath;
    std::unique_ptr<QTemporaryDir> m_dir;
    QList<QPair<QByteArray, QByteArray>> m_saved;
    std::unique_ptr<svWStation> m_window;
    QList<int> m_ends;
    std::unique_ptr<MessageBoxCatcher> m_boxes;
    struct
    {
        bool seen = false;
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
    } m_box;
};

// Workstations `names` in ou=SALES,o=ORG, as base64 records.
QByteArray ldifWith(const QStringList& names);

// The arguments a tool gets for workstation `dotted` and `function`.
QStringList workstationArguments(const QString& dotted, const QString& function);

} // namespace stelvo::test
