// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapCollector.h"

#include "LdapOrder.h"
#include "LdapWatch.h"
#include "NdsName.h"

#include <QCoreApplication>
#include <algorithm>
#include <ldap.h>

namespace stelvo::ldap {

namespace {

// Entries a refresh hands over at a time: few enough to be applied between
// two paints, many enough that handing over costs nothing.
constexpr qsizetype kStreamSet = 1000;

} // namespace

Collector::Collector(const SearchRequest& request, SearchOutcome* outcome)
    : m_request(request), m_outcome(outcome)
{}

void Collector::setRootDepth(int rootDepth)
{
    m_rootDepth = rootDepth;
    m_parents.clear();
}

bool Collector::add(::ldap* ld, LDAPMessage* entry, QString* error)
{
    QByteArray dn;
    if (!entryDn(ld, entry, &dn)) {
        *error =
            QCoreApplication::translate(
                "LdapCollector", "The directory server %1 sent an entry without a DN, so the tree "
                                 "would be incomplete")
                .arg(m_request.server.display);
        return false;
    }
    QString name;
    QByteArray parentDn;
    const Parent* found = splitFirstRdn(dn, &name, &parentDn) ? parentOf(parentDn) : nullptr;
    if (found == nullptr) {
        *error = QCoreApplication::translate(
                     "LdapCollector",
                     "The directory server %1 sent the entry \"%2\", whose DN cannot be "
                     "read, so the tree would be incomplete")
                     .arg(m_request.server.display, QString::fromUtf8(dn));
        return false;
    }
    const Parent parent = *found; // a copy: inserting below may rehash
    if (!parent.inTree)
        return true; // the tree root's own entry
    const int depth = parent.depth + 1;
    if (m_request.maxDepth >= 0 && depth > m_request.maxDepth)
        return true;
    const Parent self{nds::childName(parent.fullName, name),
                      depth,
                      true,
                      parent.representable && nds::isRepresentable(name),
                      true,
                      -1};
    KnownEntry known = knownEntry(ld, entry, dn, m_request.classes);
    QString hostName;
    if (known.kind == nds::Kind::Workstation && !m_request.hostAttribute.isEmpty())
        hostName = firstValue(ld, entry, m_request.hostAttribute.constData());
    const QByteArray id = m_request.ids ? entryId(ld, entry) : QByteArray();
    keep(std::move(known), name, parent, self, hostName, id);
    return true;
}

// Makes `entry` the parent of those below it, and keeps it when it is sought
// or a container that places what is.
void Collector::keep(KnownEntry entry, const QString& name, const Parent& parent, Parent self,
                     const QString& hostName, const QByteArray& id)
{
    const bool selected =
        m_request.kinds.contains(entry.kind) &&
        (m_request.namePattern.isEmpty() || nds::matchesPattern(name, m_request.namePattern));
    // Containers that are not sought still place the rest in order.
    const bool carrier = !selected && entry.kind == nds::Kind::Container && self.representable;
    self.item = (selected || carrier) ? m_itemParent.size() : -1;
    if (entry.kind != nds::Kind::Workstation)
        m_parents.insert(entry.dn, self);
    if (selected && !self.representable) {
        // No NDS name can hold it or, below such an entry, its parent.
        m_outcome->leftOut.append(QString::fromUtf8(entry.dn));
        return;
    }
    if (!selected && !carrier)
        return;
    entry.searched = true;
    if (entry.kind == nds::Kind::Workstation)
        entry.dn = QByteArray(); // see KnownEntry
    record(std::move(entry), parent, self, selected, hostName, id);
}

void Collector::record(KnownEntry entry, const Parent& parent, const Parent& self, bool selected,
                       const QString& hostName, const QByteArray& id)
{
    if (m_request.stream) {
        stream(std::move(entry), self, selected, hostName, id);
        return;
    }
    std::optional<KnownEntry> known = m_outcome->known.value(self.fullName);
    const bool stands = !known || !known->classKnown;
    if (stands && (!hostName.isEmpty() || !id.isEmpty())) {
        // Numbered from 1 in the order found; kept compactly, apart from the
        // entries, and only where there is one.
        entry.host =
            std::max(quint32(std::max(1, m_outcome->hostNames.size())), m_outcome->ids.next());
        m_outcome->hostNames.set(HostNameTable::Index(entry.host), hostName);
        m_outcome->ids.set(entry.host, id);
    }
    if (stands) {
        m_outcome->known.insert(self.fullName, entry);
        known = std::move(entry);
    }
    // Parents usually come first; only an entry whose parent had not come as
    // an entry before it may belong below one that comes later.
    if (!parent.fromEntry)
        m_suspects.append(self.item);
    m_itemParent.push_back(parent.item);
    m_itemNames.append(self.fullName);
    m_itemResult.push_back(selected ? m_outcome->names.size() : -1);
    if (selected) {
        m_outcome->names.append(self.fullName);
        // Two entries may share a name; the first one found stands for both.
        m_outcome->kinds.push_back(known->kind);
        m_outcome->hosts.push_back(known->host);
    }
}

void Collector::stream(KnownEntry entry, const Parent& self, bool selected, const QString& hostName,
                       const QByteArray& id)
{
    DirectoryChange change;
    change.id = id;
    change.entry.id = id;
    change.entry.fullName = self.fullName;
    change.entry.shortName = nds::lastComponent(self.fullName).toString();
    change.entry.entryClass.name = entry.className();
    change.entry.entryClass.container = nds::isContainerKind(entry.kind);
    change.entry.hostName = hostName;
    // Units and organizations stay when empty; a generic container, sought
    // or only placing what is, shows while something lies below it.
    change.shownWhenEmpty = selected && entry.kind != nds::Kind::Container;
    if (entry.kind != nds::Kind::Workstation)
        m_set.known.emplace_back(self.fullName, std::move(entry));
    m_set.changes.append(std::move(change));
    if (m_set.changes.size() >= kStreamSet)
        flush();
}

void Collector::flush()
{
    if (m_set.changes.isEmpty() && m_set.known.empty())
        return;
    m_request.stream(std::exchange(m_set, {}));
}

void Collector::putInDirectoryOrder()
{
    if (m_request.stream)
        return; // handed over as it came: the receiver places each entry itself
    bool parentsCameFirst = true;
    for (const qsizetype i : std::as_const(m_suspects)) {
        const QString& name = m_itemNames.at(i);
        const std::optional<KnownEntry> parent = m_outcome->known.value(nds::parentName(name));
        if (parent && parent->classKnown)
            parentsCameFirst = false;
    }
    // Servers mostly send a tree in that order already; a million names
    // then need no reordering.
    if (parentsCameFirst && isPreorder(m_itemParent))
        return;
    const std::vector<qsizetype> order =
        parentsCameFirst ? orderFromParents(m_itemParent) : directoryOrder(m_itemNames);
    QStringList ordered;
    ordered.reserve(m_outcome->names.size());
    std::vector<nds::Kind> kinds;
    kinds.reserve(m_outcome->kinds.size());
    std::vector<quint32> hosts;
    hosts.reserve(m_outcome->hosts.size());
    bool unchanged = true;
    for (const qsizetype item : order) {
        const qsizetype result = m_itemResult[static_cast<std::size_t>(item)];
        if (result < 0)
            continue;
        unchanged = unchanged && result == ordered.size();
        ordered.append(m_outcome->names.at(result));
        kinds.push_back(m_outcome->kinds[static_cast<std::size_t>(result)]);
        hosts.push_back(m_outcome->hosts[static_cast<std::size_t>(result)]);
    }
    if (!unchanged) {
        m_outcome->names = std::move(ordered);
        m_outcome->kinds = std::move(kinds);
        m_outcome->hosts = std::move(hosts);
    }
}

const Collector::Parent* Collector::parentOf(const QByteArray& parentDn)
{
    auto it = m_parents.constFind(parentDn);
    if (it != m_parents.constEnd())
        return &*it;
    Parent parent;
    if (!parseParent(parentDn, &parent))
        return nullptr;
    return &*m_parents.insert(parentDn, parent);
}

bool Collector::parseParent(const QByteArray& parentDn, Parent* parsed)
{
    LDAPDN dn = nullptr;
    if (!parentDn.isEmpty() &&
        ldap_str2dn(parentDn.constData(), &dn, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS)
        return false;
    Parent& parent = *parsed;
    int rdns = 0;
    while (dn != nullptr && dn[rdns] != nullptr)
        ++rdns;
    if (rdns < m_rootDepth) {
        ldap_dnfree(dn);
        return true;
    }
    parent.inTree = true;
    parent.depth = rdns - m_rootDepth;
    QStringList topDown;
    for (int i = parent.depth - 1; i >= 0; --i) {
        const berval& value = dn[i][0]->la_value;
        topDown << QString::fromUtf8(value.bv_val, static_cast<qsizetype>(value.bv_len));
    }
    parent.representable = std::all_of(topDown.cbegin(), topDown.cend(), nds::isRepresentable);
    parent.fullName = nds::fullName(m_request.treeName, topDown);
    if (parent.representable) {
        // Each container on the way down is named by the tail of this DN.
        for (int i = 0; i < parent.depth; ++i) {
            char* ancestor = nullptr;
            if (ldap_dn2str(&dn[i], &ancestor, LDAP_DN_FORMAT_LDAPV3) == LDAP_SUCCESS &&
                ancestor != nullptr) {
                const QString name =
                    nds::fullName(m_request.treeName, topDown.mid(0, parent.depth - i));
                if (m_request.stream) {
                    if (!m_streamedAbove.contains(name)) {
                        m_streamedAbove.insert(name);
                        m_set.known.emplace_back(
                            name, KnownEntry{QByteArray(ancestor), nds::Kind::Other, false});
                    }
                } else if (!m_outcome->known.contains(name)) {
                    m_outcome->known.insert(
                        name, KnownEntry{QByteArray(ancestor), nds::Kind::Other, false});
                }
                ldap_memfree(ancestor);
            }
        }
    }
    ldap_dnfree(dn);
    return true;
}

} // namespace stelvo::ldap
