// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "DirectoryFactory.h"

#include "FixedSessionControl.h"
#include "LdapDirectory.h"
#include "LdifDirectory.h"

#include <QRegularExpression>

namespace stelvo {

Controls makeControls(const QString& designContext, const QProcessEnvironment& env)
{
    const QString directory = env.value(QStringLiteral("STELVO_DIRECTORY"));
    const QString context = env.value(QStringLiteral("STELVO_CONTEXT"), designContext);
    if (DirectoryControl::TreeNameOf(context).isEmpty())
        throw DirectoryError(
            QStringLiteral("STELVO_CONTEXT \"%1\" is not an NDS name of the form NDS:\\\\TREE\\...")
                .arg(context));
    QString server = env.value(QStringLiteral("STELVO_SERVER"));

    Controls controls;
    if (directory.isEmpty()) {
        controls.directory =
            std::make_unique<LdifDirectory>(QString::fromLatin1(kSampleDirectory), context);
    } else if (LdapDirectory::isLdapUrl(directory)) {
        controls.directory =
            std::make_unique<LdapDirectory>(directory, context, LdapOptions::fromEnvironment(env));
        if (server.isEmpty())
            server = LdapDirectory::serverNameOf(directory);
    } else {
        controls.directory = std::make_unique<LdifDirectory>(directory, context);
    }
    if (server.isEmpty())
        server = QString::fromLatin1(kDefaultServer);
    // The server name becomes part of every tool's path (\\SERVER\SYS\...).
    static const QRegularExpression plainName(QStringLiteral("^[^\\\\/\"\\s]+$"));
    if (!plainName.match(server).hasMatch())
        throw DirectoryError(
            QStringLiteral("STELVO_SERVER \"%1\" is not a server name.").arg(server));
    controls.session = std::make_unique<FixedSessionControl>(server);
    return controls;
}

} // namespace stelvo
