// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "DirectoryControl.h"
#include "ProcessStart.h"
#include "Selection.h"
#include "ShellLink.h"
#include "SiteTools.h"

#include <QString>
#include <functional>
#include <optional>

namespace stelvo {

// What a command has to tell the user, for the window to show as a warning:
// what was asked for was not done, and why.
struct CommandMessage
{
    QString text;
};

// What a command on a workstation that has left the directory says; `dotted`
// is its dotted name as the tree showed it.
CommandMessage noLongerInDirectory(const QString& dotted);

// The workstation commands, without a window: they ask the directory what
// the selection is, build the tool's command line or the shortcut, and hand
// it to the start or link function given. A call blocks for as long as the
// directory lookup and that function do.
//
// A command returns what the user must be told: a name that cannot be
// quoted or holds a control character (then nothing is started or
// written), a tool that cannot start, a shortcut that cannot be written, a
// selected workstation the directory no longer holds, a directory failure. It returns nothing when
// all went well, and does nothing and returns nothing for a container, the root or no selection.
// Commands do not throw.
class WorkstationCommands
{
public:
    using StartFunction = std::function<StartResult(const QString& commandLine, int windowStyle)>;
    using LinkFunction =
        std::function<ShellLinkResult(const QString& folder, const QString& linkName,
                                      const QString& target, const QString& arguments)>;

    using ProgramStartFunction = std::function<StartResult(
        const QString& program, const QStringList& arguments, int windowStyle)>;

    // `serverSysPath` is the server's SYS volume the tools live on
    // ("\\FS1\SYS\"). The directory is borrowed for the object's lifetime.
    WorkstationCommands(DirectoryControl& directory, QString serverSysPath, StartFunction start,
                        LinkFunction link);

    // A site's own commands: each one given replaces its default tool (the
    // shortcut's too) and is started by `start` with the words of its
    // expansion (ToolTemplate::expand), never through a command line. A
    // name a command cannot take (ToolTemplate::expand refuses it, or a
    // host name the directory does not hold) is reported, and nothing is
    // started or written; names with quotes or control characters need no
    // refusal here, as each word reaches the program whole.
    void setSiteTools(SiteTools tools, ProgramStartFunction start);

    // Starts the tool for `function`, one of the seven tool commands of the
    // workstation menu (SiteTools.h; the shortcut is createShortcut's), on
    // the selected workstation, minimized and active. The selection is
    // looked up once.
    std::optional<CommandMessage> runTool(const Selection& selection, SiteTool function);

    // Starts the desktop tool with function `Func` for the selection as it
    // is, without asking the directory what it is.
    std::optional<CommandMessage> DeskTop(const Selection& selection, const QString& Func);

    // Writes the desktop shortcut "Remote Control <short name>" that starts
    // remote control of the selected workstation. The selection is looked up
    // twice: for its short name, and for its class.
    std::optional<CommandMessage> createShortcut(const Selection& selection);

    // True for anything that is not a workstation (the directory names a
    // container or another class), and for the root or no selection, which
    // are not looked up. Throws DirectoryError.
    bool isContainer(const Selection& selection);

private:
    std::optional<CommandMessage> startTool(const Selection& selection, const QString& tool,
                                            const QString& Func);
    std::optional<CommandMessage> writeShortcut(const Selection& selection);
    // The site's command with the selection's values; a message when it
    // refuses them.
    std::optional<CommandMessage> expandSiteTool(const Selection& selection,
                                                 const ToolTemplate& command,
                                                 const QString& function, QStringList* words);
    std::optional<CommandMessage>
    startSiteTool(const Selection& selection, const ToolTemplate& command, const QString& function);
    std::optional<CommandMessage> link(const QString& linkName, const QString& target,
                                       const QString& arguments);

    DirectoryControl& m_directory;
    QString m_serverSysPath;
    StartFunction m_start;
    LinkFunction m_link;
    SiteTools m_tools;
    ProgramStartFunction m_startProgram;
};

} // namespace stelvo
