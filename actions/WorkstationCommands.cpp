// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "WorkstationCommands.h"

#include "CommandLine.h"
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

// The default tool of each menu command, in the order of SiteTool.
constexpr ToolAndFunction kToolFunctions[] = {
    {tools::kRemoteControlTool, "Remote Control"},
    {tools::kRemoteControlTool, "Remote View"},
    {tools::kDesktopTool, "Ping"},
    {tools::kDesktopTool, "Chat"},
    {tools::kDesktopTool, "File Transfer"},
    {tools::kDesktopTool, "Remote Execute"},
    {tools::kDesktopTool, "Diagnostics"},
};
constexpr char kShortcutFunction[] = "Remote Control";
static_assert(std::size(kToolFunctions) == size_t(SiteTool::Shortcut));

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

// Why the site's command cannot take the value of `refused`.
CommandMessage refuseValue(const QString& dotted, const QString& program, Placeholder refused,
                           const QString& value, const QString& hostAttribute)
{
    if (refused == Placeholder::Host && value.isEmpty())
        return warning(QCoreApplication::translate(
                           "WorkstationCommands",
                           "The workstation %1 has no host name in the directory: its attribute "
                           "%2 is missing or empty. Nothing was started or written.")
                           .arg(visibleText(dotted), hostAttribute));
    return warning(QCoreApplication::translate(
                       "WorkstationCommands",
                       "The %1 of the workstation %2 cannot be passed to %3: it is empty, holds a "
                       "NUL character, or begins with \"-\" where %3 would take it for an "
                       "option. Nothing was started or written.")
                       .arg(placeholderName(refused), visibleText(dotted), program));
}

// A directory that cannot answer is reported, and the command goes no
// further; an entry that has gone is named as the tree shows it.
Message guarded(const Selection& selection, const std::function<Message()>& command)
{
    try {
        return command();
    } catch (const MissingEntryError&) {
        return noLongerInDirectory(selection.ConvertDotted());
    } catch (const DirectoryError& error) {
        return warning(error.message());
    }
}

} // namespace

CommandMessage noLongerInDirectory(const QString& dotted)
{
    return warning(QCoreApplication::translate(
                       "WorkstationCommands",
                       "%1 is no longer in the directory. Nothing was started or written.")
                       .arg(visibleText(dotted)));
}

WorkstationCommands::WorkstationCommands(DirectoryControl& directory, QString serverSysPath,
                                         StartFunction start, LinkFunction link)
    : m_directory(directory), m_serverSysPath(std::move(serverSysPath)), m_start(std::move(start)),
      m_link(std::move(link))
{}

void WorkstationCommands::setSiteTools(SiteTools tools, ProgramStartFunction start)
{
    m_tools = std::move(tools);
    m_startProgram = std::move(start);
}

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

Message WorkstationCommands::runTool(const Selection& selection, SiteTool function)
{
    return guarded(selection, [&]() -> Message {
        if (isContainer(selection))
            return std::nullopt;
        Q_ASSERT(function != SiteTool::Shortcut);
        const ToolAndFunction& started = kToolFunctions[size_t(function)];
        if (const ToolTemplate* command = m_tools.command(function))
            return startSiteTool(selection, *command, QString::fromLatin1(started.function));
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

Message WorkstationCommands::expandSiteTool(const Selection& selection, const ToolTemplate& command,
                                            const QString& function, QStringList* words)
{
    const DirectoryEntry entry = m_directory.EntryByName(selection.GetWSPath());
    PlaceholderValues values;
    values[size_t(Placeholder::Dotted)] = selection.ConvertDotted();
    values[size_t(Placeholder::Tree)] = selection.treeName();
    values[size_t(Placeholder::Function)] = function;
    values[size_t(Placeholder::Short)] = entry.shortName;
    values[size_t(Placeholder::Host)] = entry.hostName;
    Placeholder refused = Placeholder::Dotted;
    if (command.expand(values, words, &refused))
        return std::nullopt;
    return refuseValue(values[size_t(Placeholder::Dotted)], command.program(), refused,
                       values[size_t(refused)], m_tools.hostNameAttribute);
}

Message WorkstationCommands::startSiteTool(const Selection& selection, const ToolTemplate& command,
                                           const QString& function)
{
    QStringList words;
    if (Message refusal = expandSiteTool(selection, command, function, &words))
        return refusal;
    const QString program = words.takeFirst();
    const StartResult result = m_startProgram(program, words, kWindowMinimizedFocus);
    if (!result.started)
        return warning(startFailureText(result));
    return std::nullopt;
}

Message WorkstationCommands::createShortcut(const Selection& selection)
{
    if (!selection.mayBeWorkstation())
        return std::nullopt;
    return guarded(selection, [&] { return writeShortcut(selection); });
}

Message WorkstationCommands::writeShortcut(const Selection& selection)
{
    // The directory is asked twice, here and in isContainer.
    const DirectoryEntry entry = m_directory.EntryByName(selection.GetWSPath());
    if (isContainer(selection))
        return std::nullopt;
    const QString linkName = QStringLiteral("Remote Control ") + entry.shortName;
    if (const ToolTemplate* command = m_tools.command(SiteTool::Shortcut)) {
        QStringList words;
        if (Message refusal =
                expandSiteTool(selection, *command, QString::fromLatin1(kShortcutFunction), &words))
            return refusal;
        // The launcher the shortcut runs splits this line back into the words.
        const QString program = words.takeFirst();
        return link(linkName, program, cmdline::argumentsLine(words));
    }
    const QString dotted = selection.ConvertDotted();
    const QString what = QCoreApplication::translate("WorkstationCommands", "the shortcut");
    if (Message refusal = refuseUnquotable(selection, dotted, what))
        return refusal;
    return link(
        linkName, tools::toolPath(m_serverSysPath, QString::fromLatin1(tools::kRemoteControlTool)),
        tools::toolArguments(dotted, selection.treeName(), QString::fromLatin1(kShortcutFunction)));
}

Message WorkstationCommands::link(const QString& linkName, const QString& target,
                                  const QString& arguments)
{
    const ShellLinkResult result =
        m_link(QStringLiteral("..\\..\\Desktop"), linkName, target, arguments);
    if (!result.ok)
        return warning(QCoreApplication::translate("WorkstationCommands",
                                                   "The shortcut %1 cannot be created.\n\n%2")
                           .arg(result.path, result.error));
    return std::nullopt;
}

} // namespace stelvo
