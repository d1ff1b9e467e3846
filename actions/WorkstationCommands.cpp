// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "WorkstationCommands.h"

#include "ToolCommand.h"
#include "VisibleText.h"

#include <QCoreApplication>
#include <iterator>

namespace stelvo {

namespace {

using Message = std::optional<CommandMessage>;

struct ToolAndFunction
{
    const char* tool;
    const char* function;
};

// In the order of ToolFunction.
constexpr ToolAndFunction kToolFunctions[] = {
    {tools::kRemoteControlTool, "Remote Control"},
    {tools::kRemoteControlTool, "Remote View"},
    {tools::kDesktopTool, "Ping"},
    {tools::kDesktopTool, "Chat"},
    {tools::kDesktopTool, "File Transfer"},
    {tools::kDesktopTool, "Remote Execute"},
    {tools::kDesktopTool, "Diagnostics"},
};
static_assert(std::size(kToolFunctions) == size_t(ToolFunction::Diagnostics) + 1);

CommandMessage warning(const QString& text)
{
    return {text};
}

// A quote in a name would end its option early and pass the rest to the
// tool as options of its own; a control character would cut the name short
// or split it. The name is shown with its control characters made visible,
// so the message carries none.
Message refuseUnquotable(const Selection& selection, const QString& dotted, const QString& what)
{
    const QString& tree = selection.treeName();
    if (tools::quotable(dotted) && tools::quotable(tree))
        return std::nullopt;
    return warning(QCoreApplication::translate(
                       "WorkstationCommands",
                       "The name %1 cannot be passed to %2: it holds a quote character or a "
                       "control character, or ends in a backslash. Nothing was started or written.")
                       .arg(visibleText(tools::quotable(dotted) ? tree : dotted), what));
}

// A directory that cannot answer is reported, and the command goes no further.
Message guarded(const std::function<Message()>& command)
{
    try {
        return command();
    } catch (const DirectoryError& error) {
        return warning(error.message());
    }
}

} // namespace

WorkstationCommands::WorkstationCommands(DirectoryControl& directory, QString serverSysPath,
                                         StartFunction start, LinkFunction link)
    : m_directory(directory), m_serverSysPath(std::move(serverSysPath)), m_start(std::move(start)),
      m_link(std::move(link))
{}

bool WorkstationCommands::isContainer(const Selection& selection)
{
    if (!selection.mayBeWorkstation())
        return true;
    // Only a workstation starts tools: a folder of any other class (a site's
    // own container class, a device a workstation was put under) would
    // otherwise pass its own name to the tool.
    const EntryClass entryClass = m_directory.EntryByName(selection.GetWSPath()).entryClass;
    return entryClass.container ||
           entryClass.name.compare(QLatin1String(kWorkstationClass), Qt::CaseInsensitive) != 0;
}

Message WorkstationCommands::runTool(const Selection& selection, ToolFunction function)
{
    return guarded([&]() -> Message {
        if (isContainer(selection))
            return std::nullopt;
        const ToolAndFunction& started = kToolFunctions[size_t(function)];
        return startTool(selection, QString::fromLatin1(started.tool),
                         QString::fromLatin1(started.function));
    });
}

Message WorkstationCommands::DeskTop(const Selection& selection, const QString& Func)
{
    return startTool(selection, QString::fromLatin1(tools::kDesktopTool), Func);
}

Message WorkstationCommands::startTool(const Selection& selection, const QString& tool,
                                       const QString& Func)
{
    const QString dotted = selection.ConvertDotted();
    if (Message refusal = refuseUnquotable(selection, dotted, tool))
        return refusal;
    const QString commandLine =
        tools::toolCommandLine(m_serverSysPath, tool, dotted, selection.treeName(), Func);
    const StartResult result = m_start(commandLine, kWindowMinimizedFocus);
    if (!result.started)
        return warning(startFailureText(result));
    return std::nullopt;
}

Message WorkstationCommands::createShortcut(const Selection& selection)
{
    if (!selection.mayBeWorkstation())
        return std::nullopt;
    return guarded([&] { return writeShortcut(selection); });
}

Message WorkstationCommands::writeShortcut(const Selection& selection)
{
    // The directory is asked twice, here and in isContainer.
    const DirectoryEntry entry = m_directory.EntryByName(selection.GetWSPath());
    if (isContainer(selection))
        return std::nullopt;
    const QString dotted = selection.ConvertDotted();
    const QString what = QCoreApplication::translate("WorkstationCommands", "the shortcut");
    if (Message refusal = refuseUnquotable(selection, dotted, what))
        return refusal;
    const ShellLinkResult result = m_link(
        QStringLiteral("..\\..\\Desktop"), QStringLiteral("Remote Control ") + entry.shortName,
        tools::toolPath(m_serverSysPath, QString::fromLatin1(tools::kRemoteControlTool)),
        tools::toolArguments(dotted, selection.treeName(), QStringLiteral("Remote Control")));
    if (!result.ok)
        return warning(QCoreApplication::translate("WorkstationCommands",
                                                   "The shortcut %1 cannot be created.\n\n%2")
                           .arg(result.path, result.error));
    return std::nullopt;
}

} // namespace stelvo
