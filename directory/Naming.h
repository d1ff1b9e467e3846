// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "NodeTree.h"

#include <QString>
#include <QStringList>

// The names of a tree node: its NDS full name and its dotted name. Both are
// rebuilt from the node tree on every call; nothing is cached.
namespace stelvo::naming {

// Texts from the root down to `node` (the root's text first).
QStringList pathOf(const NodeTree& tree, NodeTree::Index node);

// "NDS:\\" + the root's text + "\" + each ancestor's text + "\" + the node's
// text. Empty for kNone.
QString GetWSPath(const NodeTree& tree, NodeTree::Index node);

// The node's text, then "." and each container's text from its own
// container outward, without the tree name. A "." or "\" inside a component
// is written "\." or "\\", so the name stays unambiguous. Empty for the root
// and for kNone.
QString ConvertDotted(const NodeTree& tree, NodeTree::Index node);

// The reverse: the dotted name's components, outermost first, under tree
// `treeName`, as an NDS full name.
QString ConvertNDS(const QString& Dotted, const QString& treeName);

// Splits a dotted name at its unescaped dots and removes the escapes;
// returns the components as written (object first).
QStringList splitDotted(const QString& dotted);

} // namespace stelvo::naming
