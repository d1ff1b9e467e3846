// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "NdsMapping.h"

#include <QList>
#include <QString>
#include <QStringList>

// What DirectoryControl::StartSearch is given, and the context a directory
// is opened with, checked the same way by every backend, with one message
// for each fault.
namespace stelvo {

// StartSearch's `scope`.
enum class SearchScope
{
    TreeRoot = 0,
    OneLevel = 1,
    Subtree = 2,
};

struct SearchArguments
{
    enum class Fault
    {
        None,
        OtherTree, // `message` names the tree asked for; a backend may say more
        UnknownScope,
        UnknownClass,
    };

    // Checks StartSearch's arguments against `heldTree`, the tree the
    // directory holds: `treeName` must name it (in any case), `scope` must
    // be 0, 1 or 2 and every class of `classList` must be known
    // (nds::kindsOfClassList). The first fault in that order is reported.
    // Any pattern is valid: it needs no check.
    static SearchArguments check(const QString& heldTree, const QString& treeName, qint32 scope,
                                 const QString& classList);

    bool ok() const { return fault == Fault::None; }

    Fault fault = Fault::None;
    QString message; // for the user; empty when ok()
    SearchScope scope = SearchScope::Subtree;
    QList<nds::Kind> kinds; // the classes of `classList`
};

// The tree name of the context a directory is opened with; empty, with
// `error` set, when the context is not an NDS name.
QString contextTreeName(const QString& context, QString* error);

// The components of `context` below tree `treeName` (none for the tree
// itself); false, with `error` set, when it is no valid name in that tree.
bool contextComponents(const QString& context, const QString& treeName, QStringList* topDown,
                       QString* error);

} // namespace stelvo
