// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "MainWindowHarness.h"

#include "DirectoryFactory.h"
#include "FixedSessionControl.h"
#include "TreeItemModel.h"

namespace stelvo::test {

const QString MainWindowHarness::kTree = QStringLiteral("NDS:\\\\ACME_TREE");

namespace {
// clang-format off
const char* const kContainers[] = {"ORG", "ORG\\SALES", "OTHER", "OTHER\\SALES"};
const char* const kWorkstations[] = {"ORG\\SALES\\WS042", "ORG\\SALES\\WS\"1", "ORG\\SALES\\pc.lab",
                                     "OTHER\\SALES\\WS900", "PC"};
// clang-format on
} // namespace

MainWindowHarness::MainWindowHarness()
{
    auto owned = std::make_unique<FakeDirectory>(kTree + QStringLiteral("\\ORG\\SALES"));
    directory = owned.get();
    window = std::make_unique<svWStation>(
        std::move(owned), std::make_unique<FixedSessionControl>(QStringLiteral("FS1")));
    window->EndProgram = [this](int code) { ends << code; };
    startResult.started = true;
    window->StartProcess = [this](const QString& commandLine, int style) {
        starts << qMakePair(commandLine, style);
        StartResult result = startResult;
        result.program = commandLine.section(QLatin1Char(' '), 0, 0);
        return result;
    };
    window->CreateShellLink = [this](const QString& folder, const QString& name,
                                     const QString& target, const QString& arguments) {
        links << QStringList{folder, name, target, arguments};
        return ShellLinkResult{true, QStringLiteral("/tmp/x.desktop"), QString()};
    };
    for (const char* name : kContainers)
        directory->add(kTree + QLatin1Char('\\') + QString::fromUtf8(name), true);
    for (const char* name : kWorkstations)
        directory->add(kTree + QLatin1Char('\\') + QString::fromUtf8(name), false);
}

void MainWindowHarness::load()
{
    window->Form_Load();
    QStringList results;
    for (const char* name : {"ORG\\SALES", "OTHER\\SALES"})
        results << kTree + QLatin1Char('\\') + QString::fromUtf8(name);
    for (const char* name : kWorkstations)
        results << kTree + QLatin1Char('\\') + QString::fromUtf8(name);
    directory->complete(results);
}

NodeTree::Index MainWindowHarness::node(const QString& path) const
{
    NodeTree::Index current = NodeTree::kRoot;
    const NodeTree& tree = window->Nodes();
    for (const QString& part : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        NodeTree::Index next = NodeTree::kNone;
        for (const NodeTree::Index child : tree.children(current)) {
            if (tree.text(child) == part)
                next = child;
        }
        if (next == NodeTree::kNone)
            qFatal("no node %s", qPrintable(path));
        current = next;
    }
    return current;
}

QModelIndex MainWindowHarness::index(const QString& path) const
{
    return window->TreeModel->indexOf(node(path));
}

void MainWindowHarness::select(const QString& path)
{
    window->TreeView1->setCurrentIndex(path.isNull() ? QModelIndex() : index(path));
}

QPoint MainWindowHarness::visiblePoint(const QString& path)
{
    const QModelIndex i = index(path);
    window->TreeView1->scrollTo(i);
    return window->TreeView1->visualRect(i).center();
}

} // namespace stelvo::test
