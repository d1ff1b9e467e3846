// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to LdapDirectory: following the directory after the first search.
// A watch runs on a thread of its own, over a connection of its own, and
// reports through the sink, from that thread; LdapDirectory posts what it
// reports to the user-interface thread.

#include "DirectoryChange.h"
#include "LdapSearch.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

struct ldap;                        // libldap's LDAP handle
typedef struct ldapmsg LDAPMessage; // libldap's message, as ldap.h names it

namespace stelvo::ldap {

// What a watch follows: the tree search's own request (server, sign-on,
// base, scope, depth, classes, pattern, host attribute), and how often a
// server that pushes nothing is read again (0: never).
struct WatchRequest
{
    SearchRequest search;
    int pollSeconds = 0;
    // How often a server that pushes changes but not deletions (Active
    // Directory) is read whole, for what has gone since (0: never).
    int rereadSeconds = 120;
};

// Where a watch reports. Both are called on the watch's thread and must not
// block for long.
struct WatchSink
{
    std::function<void(DirectoryChanges)> changes;
    std::function<void(LiveStatus)> status;
};

// The attributes that carry an entry's unique id on the servers served:
// slapd's entryUUID, 389's nsUniqueId, Active Directory's objectGUID.
inline constexpr const char* kIdAttributes[] = {"entryUUID", "nsUniqueId", "objectGUID"};

// The 16 bytes of an entry's unique id from whichever of kIdAttributes it
// carries (entryUUID and nsUniqueId as text, objectGUID as its bytes);
// empty when it carries none that can be read.
QByteArray entryId(::ldap* ld, LDAPMessage* entry);
// The same from one value of `attribute`, one of kIdAttributes (any case):
// the 32 hex digits of entryUUID or nsUniqueId, their dashes left out, or
// objectGUID's 16 bytes; empty for a value that is none of these.
QByteArray idFromValue(QByteArrayView attribute, QByteArrayView value);

// Turns what a server says of one entry (its DN, the classes it has, its
// host name) into a change of the tree, by the tree search's rules: the
// entry must lie below the tree root within the search's depth, be of a
// kind sought (workstations, units, organizations) or a generic container,
// and match the name pattern, and every name from the tree root down must
// be one an NDS name can hold. An entry that fails these (moved out of the
// searched part of the directory, renamed to a name that does not match)
// becomes a Remove of its id.
class ChangeNamer
{
public:
    // The tree root is the request's base DN until setRootDn says otherwise.
    explicit ChangeNamer(const SearchRequest& request);
    // The DN of the tree root, found by the first search (the entry the
    // context names at the tree's top, or empty for the naming contexts,
    // each of which is then an entry just below the tree root).
    void setRootDn(const QByteArray& rootDn);

    // The change for `entry` (a search entry, or a sync entry), whose id is
    // `id` (see entryId); nothing for an entry that neither is nor was
    // shown (the tree root itself, an entry of an unsought class), unless
    // `id` is set, when it is a Remove. `unnamed`, when given, gets the DN
    // of an entry left out because no NDS name can hold its name.
    std::optional<DirectoryChange> change(::ldap* ld, LDAPMessage* entry, const QByteArray& id,
                                          QString* unnamed = nullptr) const;
    // The same from a DN and the kind its classes map to, for a server that
    // sends those without an entry.
    std::optional<DirectoryChange> change(const QByteArray& dn, nds::Kind kind,
                                          const QString& hostName, const QByteArray& id,
                                          QString* unnamed = nullptr) const;
    // The NDS full name of the entry at `dn`, when it lies below the tree
    // root within the search's depth and every name on the way can be held;
    // empty otherwise (the tree root itself included).
    QString fullName(const QByteArray& dn) const;

private:
    // The RDN values of `dn` below the tree root, from the top down; false
    // for a DN that is malformed or does not lie below the root within the
    // search's depth.
    bool below(const QByteArray& dn, QStringList* topDown) const;

    SearchRequest m_request;
    QByteArray m_rootDn;
    int m_rootDepth = 0;
    // The root's RDNs, each type and value folded to lower case, from the
    // DN's start: a DN below it ends with them.
    QList<QPair<QString, QString>> m_rootRdns;
};

// A watch; destroying it stops its thread within about a tenth of a second.
class Watch
{
public:
    virtual ~Watch() = default;
};

// Follows the directory as the server allows, on a thread of its own: reads
// the root DSE's supportedControl (again, with growing delays, while the
// server cannot be reached), then runs the watch chooseWatch picks.
std::unique_ptr<Watch> startWatch(const WatchRequest& request, WatchSink sink);
// The watch for a server that names `controls` in its root DSE: content
// synchronisation where offered, else polling when pollSeconds is set;
// otherwise none, reported to the sink as Off with the reason.
std::unique_ptr<Watch> chooseWatch(const QList<QByteArray>& controls, const WatchRequest& request,
                                   const WatchSink& sink);

// RFC 4533 content synchronisation (slapd's syncprov, 389's Content
// Synchronization plugin), refreshAndPersist, keeping the cookie across
// reconnects.
std::unique_ptr<Watch> startContentSync(const WatchRequest& request, WatchSink sink);
// Active Directory's change notification, with a periodic re-read of the
// objectGUIDs shown for the deletions it does not send, or uSNChanged polling
// where notifications are refused.
std::unique_ptr<Watch> startChangeNotification(const WatchRequest& request, WatchSink sink);
// A server that pushes nothing: the tree search again every pollSeconds,
// reported as a complete set.
std::unique_ptr<Watch> startPolling(const WatchRequest& request, WatchSink sink);

} // namespace stelvo::ldap
