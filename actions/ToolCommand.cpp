// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ToolCommand.h"

#include "CommandLine.h"

namespace stelvo::tools {

namespace {
const QChar kQuote(34);

QString option(const char* name, const QString& value)
{
    return QLatin1String(name) + kQuote + value + kQuote;
}
} // namespace

QString toolPath(const QString& serverSysPath, const QString& tool)
{
    return serverSysPath + QLatin1String("PUBLIC\\ZENWORKS\\") + tool;
}

QString toolArguments(const QString& dottedName, const QString& treeName, const QString& function)
{
    return option("-w", dottedName) + option(" -n", treeName) + option(" -c", function);
}

QString toolCommandLine(const QString& serverSysPath, const QString& tool,
                        const QString& dottedName, const QString& treeName, const QString& function)
{
    return toolPath(serverSysPath, tool) + QLatin1Char(' ') +
           toolArguments(dottedName, treeName, function);
}

bool quotable(const QString& value)
{
    // A backslash just before the closing quote would escape it on the tool's
    // side, with the same effect as a quote inside the value.
    return !value.contains(kQuote) && !value.endsWith(QLatin1Char('\\')) &&
           !cmdline::hasControlCharacter(value);
}

} // namespace stelvo::tools
