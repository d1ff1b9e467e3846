// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "FakeDirectory.h"
#include "svWStation.h"

#include <QModelIndex>
#include <QPair>
#include <memory>

namespace stelvo::test {

// The main window over a fake directory holding tree ACME_TREE:
//   ORG\SALES with WS042, WS"1 and pc.lab; OTHER\SALES with WS900; PC
// directly below the root. Program ends, process starts and shortcuts are
// recorded instead of carried out.
struct MainWindowHarness
{
    static const QString kTree; // "NDS:\\ACME_TREE"

    FakeDirectory* directory;
    std::unique_ptr<svWStation> window;
    QList<int> ends;
    QList<QPair<QString, int>> starts;
    StartResult startResult;  // what the recorded starts report
    QList<QStringList> links; // folder, link name, target, arguments

    MainWindowHarness();

    // Form_Load, then the search completes with every entry.
    void load();
    // The node at `path` below the root ("" for the root).
    NodeTree::Index node(const QString& path) const;
    QModelIndex index(const QString& path) const;
    // Makes `path` the current node; a null string clears the selection.
    void select(const QString& path);
    // A point inside the node's row, scrolled into view.
    QPoint visiblePoint(const QString& path);
};

} // namespace stelvo::test
