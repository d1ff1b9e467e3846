// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The mapping between the directory's LDAP forms and the NDS names: DN
// components, class lists and kinds, the search pattern, and full names.
// The whole input is a DN; its lines, read as text, are a tree name and the
// components of a full name, a value and a pattern, two site class lists
// and an entry's objectClass values. What the mapping says must agree with
// libldap, with a simple wildcard matcher written here, and with itself.
#include "FuzzCheck.h"
#include "NdsMapping.h"
#include "NdsName.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ldap.h>
#include <vector>

namespace {

using namespace stelvo;

QString shownList(const QStringList& items)
{
    QStringList shown;
    for (const QString& item : items)
        shown << fuzz::shown(item);
    return QLatin1Char('[') + shown.join(QLatin1String(", ")) + QLatin1Char(']');
}

// The RDNs libldap reads in `dn`, or -1 for a DN it refuses.
int rdnCount(const QByteArray& dn)
{
    LDAPDN parsed = nullptr;
    if (ldap_str2dn(dn.constData(), &parsed, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS)
        return -1;
    int count = 0;
    while (parsed != nullptr && parsed[count] != nullptr)
        ++count;
    ldap_dnfree(parsed);
    return count;
}

// A DN of cn RDNs holding `topDown`, every byte of every value escaped.
QByteArray dnOf(const QStringList& topDown)
{
    QByteArrayList rdns;
    for (const QString& component : topDown) {
        QByteArray rdn("cn=");
        for (const char c : component.toUtf8())
            rdn += '\\' + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
        rdns.prepend(rdn);
    }
    return rdns.join(',');
}

void checkDn(const QByteArray& dn)
{
    QStringList topDown;
    QString error;
    const bool parsed = nds::dnComponents(dn, &topDown, &error);
    const int rdns = rdnCount(dn);
    const auto detail = [&] {
        return QStringLiteral("dn %1\nlibldap %2 RDNs, got %3 %4")
            .arg(fuzz::shown(QString::fromUtf8(dn)))
            .arg(rdns)
            .arg(parsed ? shownList(topDown) : QStringLiteral("error ") + error);
    };
    fuzz::require(parsed == (rdns > 0), "a DN is taken exactly when libldap reads RDNs in it",
                  detail);
    if (!parsed) {
        fuzz::require(!error.isEmpty() && topDown.isEmpty(), "a refused DN says why", detail);
        return;
    }
    fuzz::require(topDown.size() == rdns, "one component for each RDN", detail);
    // The values written again, escaped, read back as themselves.
    QStringList again;
    const QByteArray written = dnOf(topDown);
    fuzz::require(nds::dnComponents(written, &again, &error) && again == topDown,
                  "components written as a DN read back the same", [&] {
                      return detail() + QStringLiteral("\nwritten %1\nread %2")
                                            .arg(QString::fromLatin1(written), shownList(again));
                  });
}

void checkFullName(const QString& tree, const QStringList& topDown)
{
    const QString name = nds::fullName(tree, topDown);
    const auto detail = [&] {
        return QStringLiteral("tree %1 components %2\nname %3")
            .arg(fuzz::shown(tree), shownList(topDown), fuzz::shown(name));
    };
    if (!tree.contains(nds::kSeparator))
        fuzz::require(nds::treeNameOf(name) == tree, "treeNameOf(fullName(t, c)) == t", detail);
    const std::optional<QStringView> below = nds::pathBelow(name, nds::rootName(tree));
    fuzz::require(below && *below == topDown.join(nds::kSeparator),
                  "the path below the root is the components joined", detail);
    QStringList back;
    const bool split = nds::splitFullName(name, tree, &back);
    // A NUL splits as well as any character; only an empty component or a
    // separator in one keeps the components from coming back.
    const bool separable = std::all_of(topDown.cbegin(), topDown.cend(), [](const QString& c) {
        return !c.isEmpty() && !c.contains(nds::kSeparator);
    });
    fuzz::require(
        (split && back == topDown) == separable,
        "splitFullName(fullName(t, c)) == c exactly when no component is empty or holds \\", [&] {
            return detail() + QStringLiteral("\nback %1 (%2)").arg(shownList(back)).arg(split);
        });
    const bool representable = std::all_of(
        topDown.cbegin(), topDown.cend(), [](const QString& c) { return nds::isRepresentable(c); });
    if (representable)
        fuzz::require(split && back == topDown, "representable components round-trip", detail);
}

// The wildcard match, written the obvious way: recursion with a table, so
// that a pattern of many stars stays quadratic.
bool modelMatch(const QString& value, const QString& pattern)
{
    const qsizetype width = pattern.size() + 1;
    std::vector<signed char> memo(size_t((value.size() + 1) * width), -1);
    const auto match = [&](auto& self, qsizetype v, qsizetype p) -> bool {
        signed char& known = memo[size_t(v * width + p)];
        if (known >= 0)
            return known;
        bool result;
        if (p == pattern.size())
            result = v == value.size();
        else if (pattern.at(p) == u'*')
            result = self(self, v, p + 1) || (v < value.size() && self(self, v + 1, p));
        else
            result = v < value.size() &&
                     (pattern.at(p) == u'?' ||
                      pattern.at(p).toCaseFolded() == value.at(v).toCaseFolded()) &&
                     self(self, v + 1, p + 1);
        known = result;
        return result;
    };
    return match(match, 0, 0);
}

void checkPattern(const QString& value, const QString& pattern)
{
    // The model's recursion is as deep as the value is long.
    if (value.size() > 256 || pattern.size() > 256)
        return;
    const bool got = nds::matchesPattern(value, pattern);
    fuzz::require(got == modelMatch(value, pattern), "matchesPattern agrees with a plain matcher",
                  [&] {
                      return QStringLiteral("value %1 pattern %2: %3")
                          .arg(fuzz::shown(value), fuzz::shown(pattern))
                          .arg(got);
                  });
}

QByteArray asciiLower(QByteArray text)
{
    for (char& c : text)
        c = (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
    return text;
}

bool anyIn(const QList<QByteArray>& objectClasses, const QStringList& classes)
{
    return std::any_of(objectClasses.cbegin(), objectClasses.cend(), [&](const QByteArray& value) {
        return std::any_of(classes.cbegin(), classes.cend(), [&](const QString& name) {
            return asciiLower(name.toUtf8()) == asciiLower(value);
        });
    });
}

void checkClasses(const QString& workstationList, const QString& containerList,
                  const QList<QByteArray>& objectClasses)
{
    const QStringList workstations = nds::ClassMapping::parseList(workstationList);
    const QStringList containers = nds::ClassMapping::parseList(containerList);
    for (const QString& name : workstations + containers) {
        fuzz::require(!name.isEmpty() && !name.contains(u',') && name.trimmed() == name,
                      "a listed class is one trimmed name",
                      [&] { return shownList(workstations) + shownList(containers); });
    }
    const nds::ClassMapping mapping(workstations, containers);
    // What classesOf says each kind is made of decides what an entry is: a
    // workstation class wins, then an organizational unit's, then a container's.
    using nds::Kind;
    Kind expected = Kind::Other;
    for (const Kind kind : {Kind::Container, Kind::OrganizationalUnit, Kind::Workstation}) {
        if (anyIn(objectClasses, mapping.classesOf(kind)))
            expected = kind;
    }
    const Kind got = mapping.classify(objectClasses);
    fuzz::require(got == expected, "classify agrees with classesOf", [&] {
        QStringList values;
        for (const QByteArray& value : objectClasses)
            values << QString::fromUtf8(value);
        return QStringLiteral("workstations %1 containers %2 objectClass %3: %4, expected %5")
            .arg(shownList(workstations), shownList(containers), shownList(values))
            .arg(int(got))
            .arg(int(expected));
    });
    fuzz::require(mapping.classesOf(Kind::Other).isEmpty(), "no class makes Other");
}

// The search's class list: each name alone is one kind whose classes (by
// the defaults, blanks dropped) hold it, or is returned as unknown; the
// whole list is its names' answers in order.
void checkClassList(const QString& classList)
{
    QStringList unknown;
    const QList<nds::Kind> kinds = nds::kindsOfClassList(classList, &unknown);
    const nds::ClassMapping defaults;
    QList<nds::Kind> eachKinds;
    QStringList eachUnknown;
    for (const QString& item : classList.split(u',', Qt::SkipEmptyParts)) {
        QStringList itemUnknown;
        const QList<nds::Kind> itemKinds = nds::kindsOfClassList(item, &itemUnknown);
        const QString name = item.simplified();
        const QString key = name.toLower().remove(u' ');
        const bool known = itemKinds.size() == 1 && itemUnknown.isEmpty() &&
                           defaults.classesOf(itemKinds.first()).contains(key, Qt::CaseInsensitive);
        const bool unknownName =
            itemKinds.isEmpty() &&
            (name.isEmpty() ? itemUnknown.isEmpty() : itemUnknown == QStringList{name});
        fuzz::require(known || unknownName, "a class name is a kind holding that class, or unknown",
                      [&] {
                          return fuzz::shown(item) +
                                 QStringLiteral(" -> %1 kinds, unknown ").arg(itemKinds.size()) +
                                 shownList(itemUnknown);
                      });
        eachKinds << itemKinds;
        eachUnknown << itemUnknown;
    }
    fuzz::require(
        kinds == eachKinds && unknown == eachUnknown,
        "a class list gives its names' kinds and unknown names in order",
        [&] { return fuzz::shown(classList) + QStringLiteral(" unknown ") + shownList(unknown); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    checkDn(bytes);

    const QString text = QString::fromUtf8(bytes);
    const QStringList lines = text.split(u'\n');
    checkFullName(lines.first(), lines.mid(1));
    checkPattern(lines.value(0), lines.value(1));
    checkClassList(text);
    QList<QByteArray> objectClasses;
    for (const QByteArray& value : bytes.split('\n').mid(2))
        objectClasses << value;
    checkClasses(lines.value(0), lines.value(1), objectClasses);
    return 0;
}
