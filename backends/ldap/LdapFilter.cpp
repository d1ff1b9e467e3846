// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapFilter.h"

#include "LdapDirectory.h"
#include "SettingsCheck.h"

#include <QCoreApplication>
#include <algorithm>

namespace stelvo {

namespace {

// RFC 4515 escaping of an assertion value; `wildcards` keeps "*" (and turns
// "?" into "*", the nearest the server offers), collapsing runs of them.
QByteArray filterValue(const QString& value, bool wildcards)
{
    QByteArray out;
    const QByteArray utf8 = value.toUtf8();
    out.reserve(utf8.size());
    for (const char c : utf8) {
        if (wildcards && (c == '*' || c == '?')) {
            if (!out.endsWith('*'))
                out += '*';
            continue;
        }
        switch (c) {
        case '*':
            out += "\\2a";
            break;
        case '(':
            out += "\\28";
            break;
        case ')':
            out += "\\29";
            break;
        case '\\':
            out += "\\5c";
            break;
        case '\0':
            out += "\\00";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// One "(objectClass=...)" term for each class of `kinds`.
QByteArray classTerms(const QList<nds::Kind>& kinds, const nds::ClassMapping& classes)
{
    QByteArray terms;
    for (const nds::Kind kind : kinds) {
        for (const QString& name : classes.classesOf(kind))
            terms += "(objectClass=" + filterValue(name, false) + ')';
    }
    return terms;
}

// A filter that matches when any of `terms` does.
QByteArray anyOf(const QByteArray& terms)
{
    return terms.count('(') > 1 ? "(|" + terms + ')' : terms;
}

} // namespace

namespace ldap {

bool onlyStars(const QString& pattern)
{
    return !pattern.isEmpty() &&
           std::all_of(pattern.cbegin(), pattern.cend(), [](QChar c) { return c == u'*'; });
}

} // namespace ldap

QByteArray LdapDirectory::searchFilter(const QList<nds::Kind>& kinds,
                                       const nds::ClassMapping& classes, const QString& attribute,
                                       const QString& pattern, QString* error)
{
    const bool byName = attribute.compare(QLatin1String("CN"), Qt::CaseInsensitive) == 0;
    if (!byName && !isLdapDescriptor(attribute)) {
        *error =
            QCoreApplication::translate("LdapDirectory", "\"%1\" is not a directory attribute name")
                .arg(attribute);
        return {};
    }
    const QByteArray terms = classTerms(kinds, classes);
    if (terms.isEmpty()) {
        *error = QCoreApplication::translate("LdapDirectory",
                                             "The search names no directory class to look for");
        return {};
    }
    QByteArray sought = anyOf(terms);
    if (!ldap::onlyStars(pattern)) {
        const QByteArray value = filterValue(pattern, true);
        // Units are named by ou, not cn: for "CN" the pattern applies to the name.
        const QByteArray names = byName ? "(|(cn=" + value + ")(ou=" + value + "))"
                                        : '(' + attribute.toLatin1() + '=' + value + ')';
        sought = "(&" + sought + names + ')';
    }
    if (kinds.contains(nds::Kind::Container))
        return sought;
    // The containers above what is sought come too, only so that the result
    // can be put in directory order; they are not part of it.
    const QByteArray carriers = classTerms({nds::Kind::Container}, classes);
    if (carriers.isEmpty())
        return sought;
    if (sought.startsWith("(|"))
        return sought.chopped(1) + carriers + ')';
    return "(|" + sought + carriers + ')';
}

} // namespace stelvo
