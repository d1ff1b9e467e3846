// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "Startup.h"

#include "ProgramArguments.h"
#include "SettingsLoader.h"

#include <QFileInfo>
#include <cstdio>

namespace stelvo {

namespace {

void write(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace

Startup Startup::prepare(int argc, char** argv, std::shared_ptr<const DirectoryClient> client)
{
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments << QString::fromLocal8Bit(argv[index]);
    const QString program =
        arguments.isEmpty() ? QStringLiteral("stelvo") : QFileInfo(arguments.first()).fileName();
    const ProgramArguments parsed = parseProgramArguments(arguments);

    Startup startup;
    switch (parsed.action) {
    case ProgramArguments::Action::Help:
        write(stdout, programHelp(program));
        startup.m_exitCode = 0;
        return startup;
    case ProgramArguments::Action::Version:
        write(stdout, programVersion() + QLatin1Char('\n'));
        startup.m_exitCode = 0;
        return startup;
    case ProgramArguments::Action::Error:
        write(stderr,
              QStringLiteral("%1: %2\n%3\n").arg(program, parsed.error, programUsage(program)));
        startup.m_exitCode = 2;
        return startup;
    case ProgramArguments::Action::Run:
        break;
    }

    startup.m_inputs = {parsed.settings,   QProcessEnvironment::systemEnvironment(),
                        parsed.configFile, userConfigFiles(),
                        siteConfigFiles(), std::move(client)};
    QStringList warnings;
    try {
        startup.m_settings = loadSettings(startup.m_inputs, &warnings);
    } catch (const SettingsError& error) {
        write(stderr, QStringLiteral("%1: %2\n").arg(program, error.message()));
        if (error.fromCommandLine()) {
            write(stderr, programUsage(program) + QLatin1Char('\n'));
            startup.m_exitCode = 2;
        }
        startup.m_error = error;
    }
    for (const QString& warning : warnings)
        write(stderr, QStringLiteral("%1: %2\n").arg(program, warning));
    return startup;
}

const Settings& Startup::settings() const
{
    if (!m_error)
        return m_settings;
    // The first load ran before any translator existed: loading again words
    // the message in the language installed since. Should the files have
    // been mended in between, the first finding stands all the same.
    loadSettings(m_inputs, nullptr);
    throw *m_error;
}

} // namespace stelvo
