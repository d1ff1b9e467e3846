// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SearchArguments.h"

#include <QCoreApplication>

namespace stelvo {

SearchArguments SearchArguments::check(const QString& heldTree, const QString& treeName,
                                       qint32 scope, const QString& classList)
{
    SearchArguments arguments;
    if (treeName.compare(heldTree, Qt::CaseInsensitive) != 0) {
        arguments.fault = Fault::OtherTree;
        arguments.message = QCoreApplication::translate("SearchArguments",
                                                        "The directory holds no tree named \"%1\".")
                                .arg(treeName);
        return arguments;
    }
    if (scope < int(SearchScope::TreeRoot) || scope > int(SearchScope::Subtree)) {
        arguments.fault = Fault::UnknownScope;
        arguments.message =
            QCoreApplication::translate("SearchArguments", "Unknown search scope %1.").arg(scope);
        return arguments;
    }
    arguments.scope = SearchScope(scope);
    QStringList unknown;
    arguments.kinds = nds::kindsOfClassList(classList, &unknown);
    if (!unknown.isEmpty()) {
        arguments.fault = Fault::UnknownClass;
        arguments.message =
            QCoreApplication::translate("SearchArguments", "Unknown directory class: %1.")
                .arg(unknown.join(QLatin1String(", ")));
    }
    return arguments;
}

QString contextTreeName(const QString& context, QString* error)
{
    QString treeName = nds::treeNameOf(context).toString();
    if (treeName.isEmpty())
        *error =
            QCoreApplication::translate(
                "SearchArguments", "The context \"%1\" is not an NDS name (NDS:\\\\TREE\\...).")
                .arg(context);
    return treeName;
}

bool contextComponents(const QString& context, const QString& treeName, QStringList* topDown,
                       QString* error)
{
    if (nds::splitFullName(context, treeName, topDown))
        return true;
    *error = QCoreApplication::translate("SearchArguments",
                                         "The context \"%1\" is not a valid NDS name.")
                 .arg(context);
    return false;
}

} // namespace stelvo
