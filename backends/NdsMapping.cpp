// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "NdsMapping.h"

#include "DirectoryEntry.h"

#include <QCoreApplication>
#include <QSet>
#include <QVarLengthArray>
#include <algorithm>
#include <ldap.h>
#include <vector>

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

QString systemClassName(Kind kind)
{
    switch (kind) {
    case Kind::Workstation:
        return QLatin1String(kWorkstationClass);
    case Kind::OrganizationalUnit:
        return QStringLiteral("organizationalUnit");
    case Kind::Container:
        return QStringLiteral("organization");
    case Kind::Other:
        break;
    }
    return {};
}

namespace {

// Class names are ASCII: lower case is their case-free form.
QSet<QByteArray> keysOf(const QStringList& classes)
{
    QSet<QByteArray> keys;
    for (const QString& name : classes)
        keys.insert(name.toUtf8().toLower());
    return keys;
}

// The container classes shown only when something sought lies below them:
// the tops of a tree, and the servers' generic containers, of which Active
// Directory keeps a dozen for itself (System, Program Data, ...) that no
// administrator looks for workstations in.
bool showsOnlyWithContent(const QString& name)
{
    static const QStringList kClasses{
        QStringLiteral("organization"), QStringLiteral("country"),
        QStringLiteral("locality"),     QStringLiteral("domain"),
        QStringLiteral("dcObject"),     QStringLiteral("builtinDomain"),
        QStringLiteral("container"),    QStringLiteral("nsContainer"),
    };
    return kClasses.contains(name, Qt::CaseInsensitive);
}

} // namespace

ClassMapping::ClassMapping() : ClassMapping({}, {}) {}

ClassMapping::ClassMapping(QStringList workstationClasses, QStringList containerClasses)
    : m_workstation(workstationClasses.isEmpty() ? defaultWorkstationClasses()
                                                 : std::move(workstationClasses)),
      m_container(containerClasses.isEmpty() ? defaultContainerClasses()
                                             : std::move(containerClasses)),
      m_workstationKeys(keysOf(m_workstation)), m_containerKeys(keysOf(m_container))
{}

QStringList ClassMapping::defaultWorkstationClasses()
{
    return {QStringLiteral("Workstation"), QStringLiteral("computer")};
}

QStringList ClassMapping::defaultContainerClasses()
{
    return {QStringLiteral("organization"), QStringLiteral("organizationalUnit"),
            QStringLiteral("container"),    QStringLiteral("nsContainer"),
            QStringLiteral("domain"),       QStringLiteral("dcObject"),
            QStringLiteral("country"),      QStringLiteral("locality"),
            QStringLiteral("builtinDomain")};
}

QStringList ClassMapping::parseList(const QString& text)
{
    QStringList classes;
    for (const QString& item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString name = item.trimmed();
        if (!name.isEmpty())
            classes << name;
    }
    return classes;
}

Kind ClassMapping::classify(const QList<QByteArray>& objectClasses) const
{
    std::vector<QByteArrayView> values(objectClasses.cbegin(), objectClasses.cend());
    return classify(values);
}

Kind ClassMapping::classify(std::span<const QByteArrayView> objectClasses) const
{
    // AD lists a computer's whole chain (top, person, ..., user, computer):
    // the workstation class decides wherever it stands.
    Kind kind = Kind::Other;
    QVarLengthArray<char, 64> lower;
    for (const QByteArrayView value : objectClasses) {
        lower.resize(value.size());
        std::transform(value.begin(), value.end(), lower.begin(),
                       [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c; });
        // A view of the lowered name, without a copy of its own.
        const QByteArray key = QByteArray::fromRawData(lower.constData(), lower.size());
        if (m_workstationKeys.contains(key))
            return Kind::Workstation;
        if (kind != Kind::OrganizationalUnit && m_containerKeys.contains(key))
            kind = showsOnlyWithContent(QString::fromUtf8(value)) ? Kind::Container
                                                                  : Kind::OrganizationalUnit;
    }
    return kind;
}

QStringList ClassMapping::classesOf(Kind kind) const
{
    switch (kind) {
    case Kind::Workstation:
        return m_workstation;
    case Kind::OrganizationalUnit:
    case Kind::Container: {
        QStringList classes;
        for (const QString& name : m_container) {
            if (showsOnlyWithContent(name) == (kind == Kind::Container))
                classes << name;
        }
        return classes;
    }
    case Kind::Other:
        break;
    }
    return {};
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
