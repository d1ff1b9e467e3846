// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapLookup.h"

#include "LdapEntry.h"

#include <QCoreApplication>
#include <QList>
#include <ldap.h>

namespace stelvo::ldap {

namespace {

// The attributes entries are named by in a directory tree, for the lookup
// of a typeless name component.
constexpr const char* kNamingAttributes[] = {"cn", "ou", "o", "l", "c", "dc"};

QByteArray namingFilter(const QString& value)
{
    QByteArray escaped;
    for (const char c : value.toUtf8()) {
        if (c == '*' || c == '(' || c == ')' || c == '\\' || c == '\0')
            escaped += '\\' + QByteArray::number(static_cast<uchar>(c), 16).rightJustified(2, '0');
        else
            escaped += c;
    }
    QByteArray filter = "(|";
    for (const char* attribute : kNamingAttributes)
        filter += '(' + QByteArray(attribute) + '=' + escaped + ')';
    return filter + ')';
}

// The first value of the first RDN of `dn`; empty for a malformed DN.
QString firstRdnValue(const QByteArray& dn)
{
    QString value;
    splitFirstRdn(dn, &value);
    return value;
}

struct Candidate
{
    QByteArray dn;
    QString name;
    KnownEntry entry; // classKnown false for a naming context, read apart
};

// The name as it stands first; the server's matching ignores case, and so
// does a name typed differently.
const Candidate* choose(const QList<Candidate>& candidates, const QString& wanted)
{
    const Candidate* chosen = nullptr;
    for (const Candidate& candidate : candidates) {
        if (candidate.name == wanted)
            return &candidate;
        if (chosen == nullptr && candidate.name.compare(wanted, Qt::CaseInsensitive) == 0)
            chosen = &candidate;
    }
    return chosen;
}

// Finds a name level by level, from below its nearest known ancestor.
class NameLookup
{
public:
    NameLookup(const Requester& run, const Server& server, const nds::ClassMapping& classes,
               const QString& treeName, const QStringList& components,
               std::chrono::milliseconds timeout, KnownNames* known, QStringList* spelled)
        : m_run(run), m_server(server), m_classes(classes), m_treeName(treeName),
          m_components(components), m_timeout(timeout), m_known(known), m_spelled(spelled)
    {}

    Lookup find(KnownEntry* entry, QString* error)
    {
        *m_spelled = m_components;
        QByteArray parentDn = m_server.baseDn;
        for (qsizetype level = nearestKnown(&parentDn); level < m_components.size(); ++level) {
            const Lookup found = findLevel(level, parentDn, entry, error);
            if (found != Lookup::Found)
                return found;
            parentDn = entry->dn;
        }
        return Lookup::Found;
    }

private:
    // The first level to search; `parentDn` gets the DN of the level above
    // when it is known.
    qsizetype nearestKnown(QByteArray* parentDn) const
    {
        qsizetype level = m_components.size() - 1;
        for (; level > 0; --level) {
            const std::optional<KnownEntry> it =
                m_known->value(nds::fullName(m_treeName, m_components.mid(0, level)));
            if (it && !it->dn.isEmpty()) {
                *parentDn = it->dn;
                break;
            }
        }
        return level;
    }

    Lookup findLevel(qsizetype level, const QByteArray& parentDn, KnownEntry* entry, QString* error)
    {
        const QString& wanted = m_components.at(level);
        QList<Candidate> candidates;
        QString failure;
        const int rc = search(parentDn, wanted, &candidates, &failure);
        if (rc == LDAP_NO_SUCH_OBJECT)
            return Lookup::Missing;
        if (!failure.isEmpty() || (rc != LDAP_SUCCESS && rc != LDAP_SIZELIMIT_EXCEEDED)) {
            *error = QCoreApplication::translate(
                         "LdapLookup", "The directory server %1 could not look up \"%2\": %3")
                         .arg(m_server.display,
                              nds::fullName(m_treeName, m_components.mid(0, level + 1)),
                              failure.isEmpty() ? QString::fromUtf8(ldap_err2string(rc)) : failure);
            return Lookup::Failed;
        }
        const Candidate* chosen = choose(candidates, wanted);
        if (chosen == nullptr)
            return Lookup::Missing;
        KnownEntry found = chosen->entry;
        if (!found.classKnown) {
            const Lookup read =
                readEntry(m_run, m_server, m_classes, chosen->dn, m_timeout, &found, error);
            if (read != Lookup::Found)
                return read;
        }
        // Known by the name as the directory spells it.
        (*m_spelled)[level] = chosen->name;
        // What the search that built the tree said of a name stands until
        // the next search.
        const QString name = nds::fullName(m_treeName, m_spelled->mid(0, level + 1));
        const std::optional<KnownEntry> known = m_known->value(name);
        if (!known || !known->searched)
            m_known->insert(name, found);
        *entry = found;
        return Lookup::Found;
    }

    // The entries below `parentDn` that may be named `wanted`. Below the root
    // DSE there is no one-level search: the naming contexts are the entries
    // of the first level. Returns the request's result code.
    int search(const QByteArray& parentDn, const QString& wanted, QList<Candidate>* candidates,
               QString* failure) const
    {
        const bool atServerRoot = parentDn.isEmpty();
        const QByteArray filter = namingFilter(wanted);
        return m_run([&](Connection& connection) {
            // A request retried on a new connection starts afresh.
            candidates->clear();
            failure->clear();
            char objectClass[] = "objectClass";
            char contexts[] = "namingContexts";
            char* attributes[] = {atServerRoot ? contexts : objectClass, nullptr};
            LDAPMessage* result = nullptr;
            const int code =
                atServerRoot ? connection.search("", LDAP_SCOPE_BASE, "(objectClass=*)", attributes,
                                                 1, m_timeout, &result)
                             : connection.search(parentDn, LDAP_SCOPE_ONELEVEL, filter.constData(),
                                                 attributes, LDAP_NO_LIMIT, m_timeout, &result);
            ::ldap* ld = connection.handle();
            if (result != nullptr && atServerRoot)
                addContexts(ld, result, candidates);
            else if (result != nullptr)
                addChildren(ld, result, candidates);
            if (code != LDAP_SUCCESS && code != LDAP_NO_SUCH_OBJECT &&
                code != LDAP_SIZELIMIT_EXCEEDED)
                *failure = errorText(ld, code) + connection.refusalHint(code);
            ldap_msgfree(result);
            return code;
        });
    }

    static void addContexts(::ldap* ld, LDAPMessage* result, QList<Candidate>* candidates)
    {
        for (const QByteArray& dn : namingContextsOf(ld, result))
            candidates->append({dn, firstRdnValue(dn), KnownEntry{}});
    }

    void addChildren(::ldap* ld, LDAPMessage* result, QList<Candidate>* candidates) const
    {
        for (LDAPMessage* message = ldap_first_entry(ld, result); message != nullptr;
             message = ldap_next_entry(ld, message)) {
            QByteArray dn;
            if (entryDn(ld, message, &dn))
                candidates->append({dn, firstRdnValue(dn), knownEntry(ld, message, dn, m_classes)});
        }
    }

    const Requester& m_run;
    const Server& m_server;
    const nds::ClassMapping& m_classes;
    const QString& m_treeName;
    const QStringList& m_components;
    std::chrono::milliseconds m_timeout;
    KnownNames* m_known;
    QStringList* m_spelled;
};

} // namespace

Lookup readEntry(const Requester& run, const Server& server, const nds::ClassMapping& classes,
                 const QByteArray& dn, std::chrono::milliseconds timeout, KnownEntry* entry,
                 QString* error)
{
    bool found = false;
    QString failure;
    const int rc = run([&](Connection& connection) {
        failure.clear(); // a retry on a new connection starts afresh
        char attribute[] = "objectClass";
        char* attributes[] = {attribute, nullptr};
        LDAPMessage* result = nullptr;
        const int code = connection.search(dn, LDAP_SCOPE_BASE, "(objectClass=*)", attributes, 1,
                                           timeout, &result);
        ::ldap* ld = connection.handle();
        LDAPMessage* message = code == LDAP_SUCCESS ? ldap_first_entry(ld, result) : nullptr;
        found = message != nullptr; // none: not visible to this user
        if (found)
            *entry = knownEntry(ld, message, dn, classes);
        if (code != LDAP_SUCCESS && code != LDAP_NO_SUCH_OBJECT)
            failure = errorText(ld, code) + connection.refusalHint(code);
        ldap_msgfree(result);
        return code;
    });
    if (rc == LDAP_SUCCESS || rc == LDAP_NO_SUCH_OBJECT)
        return found ? Lookup::Found : Lookup::Missing;
    *error = QCoreApplication::translate("LdapLookup",
                                         "The directory server %1 could not read \"%2\": %3")
                 .arg(server.display, QString::fromUtf8(dn), failure);
    return Lookup::Failed;
}

Lookup lookUp(const Requester& run, const Server& server, const nds::ClassMapping& classes,
              const QString& treeName, const QStringList& components,
              std::chrono::milliseconds timeout, KnownNames* known, KnownEntry* entry,
              QStringList* spelled, QString* error)
{
    return NameLookup(run, server, classes, treeName, components, timeout, known, spelled)
        .find(entry, error);
}

} // namespace stelvo::ldap
