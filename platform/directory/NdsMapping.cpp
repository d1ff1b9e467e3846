// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "NdsMapping.h"

#include <QCoreApplication>
#include <ldap.h>

namespace stelvo::nds {

bool dnComponents(const QByteArray& dn, QStringList* topDown, QString* error)
{
    topDown->clear();
    LDAPDN parsed = nullptr;
    const int rc = ldap_str2dn(dn.constData(), &parsed, LDAP_DN_FORMAT_LDAPV3);
    if (rc != LDAP_SUCCESS) {
        *error = QCoreApplication::translate("NdsMapping", "malformed DN \"%1\": %2")
                     .arg(QString::fromUtf8(dn), QString::fromUtf8(ldap_err2string(rc)));
        return false;
    }
    if (parsed == nullptr) {
        *error = QCoreApplication::translate("NdsMapping", "empty DN");
        return false;
    }
    for (int i = 0; parsed[i] != nullptr; ++i) {
        const LDAPAVA* ava = parsed[i][0];
        topDown->prepend(
            QString::fromUtf8(ava->la_value.bv_val, static_cast<qsizetype>(ava->la_value.bv_len)));
    }
    ldap_dnfree(parsed);
    return true;
}

Kind classify(const QList<QByteArray>& objectClasses, QString* className)
{
    static const struct
    {
        const char* name;
        Kind kind;
    } kClasses[] = {
        {"Workstation", Kind::Workstation}, {"organizationalUnit", Kind::OrganizationalUnit},
        {"organization", Kind::Container},  {"country", Kind::Container},
        {"locality", Kind::Container},      {"domain", Kind::Container},
    };
    for (const auto& known : kClasses) {
        for (const QByteArray& value : objectClasses) {
            if (value.compare(known.name, Qt::CaseInsensitive) == 0) {
                *className = QString::fromLatin1(known.name);
                return known.kind;
            }
        }
    }
    className->clear();
    return Kind::Other;
}

QList<Kind> kindsOfClassList(const QString& classList, QStringList* unknown)
{
    QList<Kind> kinds;
    unknown->clear();
    for (QString name : classList.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        name = name.simplified();
        // Directory class names are written with blanks ("Organizational
        // Unit"); the LDAP schema writes them as one word.
        const QString key = name.toLower().remove(QLatin1Char(' '));
        if (key == QLatin1String("workstation"))
            kinds << Kind::Workstation;
        else if (key == QLatin1String("organizationalunit"))
            kinds << Kind::OrganizationalUnit;
        else if (key == QLatin1String("organization") || key == QLatin1String("country") ||
                 key == QLatin1String("locality") || key == QLatin1String("domain"))
            kinds << Kind::Container;
        else if (!name.isEmpty())
            *unknown << name;
    }
    return kinds;
}

namespace {
bool matchFrom(const QString& value, qsizetype v, const QString& pattern, qsizetype p)
{
    // Iterative wildcard match with single-star backtracking: linear for the
    // patterns a search uses, never exponential.
    qsizetype starP = -1;
    qsizetype starV = 0;
    while (v < value.size()) {
        if (p < pattern.size() && (pattern.at(p) == QLatin1Char('?') ||
                                   (pattern.at(p) != QLatin1Char('*') &&
                                    pattern.at(p).toCaseFolded() == value.at(v).toCaseFolded()))) {
            ++p;
            ++v;
        } else if (p < pattern.size() && pattern.at(p) == QLatin1Char('*')) {
            starP = p++;
            starV = v;
        } else if (starP >= 0) {
            p = starP + 1;
            v = ++starV;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern.at(p) == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}
} // namespace

bool matchesPattern(const QString& value, const QString& pattern)
{
    if (pattern == QLatin1String("*"))
        return true;
    return matchFrom(value, 0, pattern, 0);
}

} // namespace stelvo::nds
