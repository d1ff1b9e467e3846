// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The LDIF reader from the bytes of a file to the names of the tree it
// builds: the parser, the program's search, tree building from the result
// list, and the NDS and dotted names of every node. A DirectoryError is the
// expected answer to a file that cannot be read as a tree; any other way out
// is a bug.
#include "DirectoryControl.h"
#include "FuzzCheck.h"
#include "LdifDirectory.h"
#include "LdifTree.h"
#include "Naming.h"
#include "NodeTree.h"
#include "TreeBuilder.h"

#include <QByteArray>
#include <QMetaObject>
#include <cstddef>
#include <cstdint>

namespace {

using namespace stelvo;

const QString kTree = QStringLiteral("T");
const QString kClasses = QStringLiteral("Workstation, Organizational Unit");

// The directory control over a tree already parsed. LdifDirectory itself
// reads a file on a worker thread and answers through the event loop, which
// a fuzz run has not got; this one answers the lookups of tree building from
// memory, as LdifDirectory does once its search has completed.
class ParsedDirectory : public DirectoryControl
{
public:
    explicit ParsedDirectory(const LdifTree& tree) : m_tree(tree) {}

    QString ContextPath() const override { return nds::kPrefix + kTree; }

    void StartSearch(const QString& treeName, qint32 scope, const QString& classList,
                     const QString& pattern) override
    {
        QStringList results;
        QString failure;
        try {
            results =
                LdifDirectory::search(m_tree, ContextPath(), treeName, scope, classList, pattern);
        } catch (const DirectoryError& error) {
            failure = error.message();
        }
        // Delivered later, as the contract asks, even though the answer is known.
        QMetaObject::invokeMethod(
            this,
            [this, results, failure] {
                if (failure.isEmpty())
                    emit SearchCompleted(results);
                else
                    emit SearchFailed(failure);
            },
            Qt::QueuedConnection);
    }

    DirectoryEntry EntryByName(const QString& ndsFullName) override
    {
        const int index = m_tree.find(ndsFullName);
        if (index < 0)
            throw DirectoryError(ndsFullName + QStringLiteral(" is not in the directory."));
        return DirectoryEntry{
            m_tree.shortName(index).toString(), m_tree.fullName(index),
            EntryClass{nds::systemClassName(m_tree.kind(index)), m_tree.isContainerKind(index)},
            m_tree.hostName(index)};
    }

private:
    const LdifTree& m_tree;
};

// The tools get a workstation's dotted name and the shortcut its full name:
// for every node below the root, the dotted name must lead back to the full
// name, or the two would name different workstations.
void checkNames(const NodeTree& nodes)
{
    for (NodeTree::Index node = NodeTree::kRoot + 1; node <= nodes.count(); ++node) {
        const QString path = naming::GetWSPath(nodes, node);
        const QString dotted = naming::ConvertDotted(nodes, node);
        const QString back = naming::ConvertNDS(dotted, kTree);
        fuzz::require(back == path, "ConvertNDS(ConvertDotted(node)) == GetWSPath(node)", [&] {
            return QStringLiteral("GetWSPath     %1\nConvertDotted %2\nConvertNDS    %3")
                .arg(fuzz::shown(path), fuzz::shown(dotted), fuzz::shown(back));
        });
    }
}

// Parses, searches and builds the tree as the main window does; throws
// DirectoryError where the program would report the file as unusable.
void buildTree(const QByteArray& data, NodeTree& nodes)
{
    // Empty only when stopped, and nothing stops it here.
    const LdifTree tree = LdifTree::parse(data, QStringLiteral("fuzz"), kTree).value();
    const QStringList results =
        LdifDirectory::search(tree, nds::kPrefix + kTree, kTree, 2, kClasses, QStringLiteral("*"));
    ParsedDirectory directory(tree);
    TreeBuilder builder(nodes);
    builder.Start(kTree);
    builder.AddResults(results, directory);
    builder.Finish();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    NodeTree nodes;
    try {
        buildTree(bytes, nodes);
    } catch (const DirectoryError&) {
        return 0;
    }
    checkNames(nodes);
    return 0;
}
