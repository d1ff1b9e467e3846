// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "NdsMapping.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>
#include <stop_token>
#include <vector>

namespace stelvo {

// One entry of a directory read from LDIF, with its place in the tree.
struct LdifEntry
{
    QString fullName;  // NDS full name
    QString shortName; // last component
    QString className; // the system's name of its kind (see nds::systemClassName)
    nds::Kind kind = nds::Kind::Other;
    int parent = -1;           // index of the parent entry, -1 at the top
    std::vector<int> children; // in file order
    unsigned long line = 0;    // first line of its record
    QString hostName;          // a workstation's, when asked for and given

    // Whether other entries may lie below this one: anything but a
    // workstation.
    bool isContainerKind() const { return nds::isContainerKind(kind); }
};

// A whole tree read from LDIF. Entry DNs are relative to the tree root
// (cn=WS042,ou=SALES,o=ORG), so an entry's NDS full name is its RDN values
// from the top down, under the tree name.
class LdifTree
{
public:
    // Parses `data` with libldap's LDIF and DN parsers, after checking each
    // record's shape so that libldap is only given what it parses safely.
    // `source` names the data in messages. Throws DirectoryError naming the
    // source, the line and the cause for malformed records (URL values
    // "name:< URL" among them: an export never needs them), change records,
    // duplicate entries and entries whose parent is missing or is a
    // workstation; `classes` decides each entry's kind, and an entry of a
    // class it does not know may hold others (it is a folder). Entries whose names no NDS full name
    // can hold, and the entries below them, are left out of the tree and listed in leftOut().
    // A workstation's host name is the first value of `hostAttribute`
    // (any case), when that is not empty.
    // `stop` is checked at every record: once it is requested, returns
    // nothing.
    static std::optional<LdifTree> parse(const QByteArray& data, const QString& source,
                                         const QString& treeName,
                                         const nds::ClassMapping& classes = {},
                                         const QByteArray& hostAttribute = {},
                                         std::stop_token stop = {});

    const std::vector<LdifEntry>& entries() const { return m_entries; }
    // Index of the entry with this NDS full name (compared without regard to
    // case, as the directory does), or -1.
    int find(const QString& fullName) const;
    // Indices of the entries in directory order: each parent before its
    // children, siblings in file order. Made once, when the tree is parsed.
    const std::vector<int>& directoryOrder() const { return m_order; }
    // The place of entry `index` in directoryOrder().
    size_t placeOf(int index) const { return m_place[size_t(index)]; }
    // The entries left out, in file order, each as "<source>:<line>: <DN>"
    // with the DN as the file writes it (a NUL shown as the escape \00).
    const QStringList& leftOut() const { return m_leftOut; }

private:
    void add(LdifEntry entry, const QString& dn, const QString& source);
    void linkParents(const std::vector<QStringList>& paths, const QString& source,
                     const QString& treeName);
    void link(int child, const QString& parentName, const QString& source);
    void makeOrder();

    std::vector<LdifEntry> m_entries;
    std::vector<int> m_top;
    std::vector<int> m_order;
    std::vector<size_t> m_place;
    QStringList m_leftOut;
    QHash<QString, int> m_byName;      // case-folded full name -> index
    QHash<QString, int> m_byExactName; // full name as written -> index
};

} // namespace stelvo
