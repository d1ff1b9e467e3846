// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SlapdLdif.h"

#include <QString>
#include <cmath>
#include <cstring>
#include <ldap.h>
#include <ldif.h>

namespace stelvo::test {

namespace ldifText {

// One LDIF line, wrapped and base64-encoded where LDIF needs it.
void putLine(QByteArray* out, const char* type, const QByteArray& value)
{
    char* line = ldif_put_wrap(LDIF_PUT_VALUE, type, value.constData(),
                               static_cast<ber_len_t>(value.size()), 76);
    if (line != nullptr) {
        *out += line;
        ber_memfree(line);
    }
}

// Calls `visit` with the DN and the attribute lines (as LDIF) of each entry.
bool forEachEntry(
    const QByteArray& ldif,
    const std::function<bool(const QByteArray& dn, const QByteArray& attributes)>& visit,
    QString* error)
{
    QByteArray input = ldif; // ldif_open_mem reads from a buffer it does not own
    LDIFFP* stream = ldif_open_mem(input.data(), static_cast<size_t>(input.size()), "r");
    if (stream == nullptr) {
        *error = QStringLiteral("cannot read LDIF from memory");
        return false;
    }
    unsigned long line = 0;
    char* buffer = nullptr;
    int bufferSize = 0;
    bool ok = true;
    int rc = 0;
    while (ok && (rc = ldif_read_record(stream, &line, &buffer, &bufferSize)) > 0) {
        berval record{std::strlen(buffer), buffer};
        LDIFRecord parsed{};
        if (ldap_parse_ldif_record(&record, line, &parsed, "test LDIF",
                                   LDIF_DEFAULT_ADD | LDIF_ENTRIES_ONLY | LDIF_NO_CONTROLS) !=
            LDAP_SUCCESS) {
            *error = QStringLiteral("malformed LDIF record before line %1").arg(line);
            ok = false;
            break;
        }
        if (parsed.lr_op == LDAP_REQ_ADD && parsed.lrop_mods != nullptr) {
            QByteArray attributes;
            for (LDAPMod** mod = parsed.lrop_mods; *mod != nullptr; ++mod) {
                for (berval** value = (*mod)->mod_bvalues; value != nullptr && *value != nullptr;
                     ++value)
                    putLine(&attributes, (*mod)->mod_type,
                            QByteArray((*value)->bv_val, static_cast<qsizetype>((*value)->bv_len)));
            }
            ok = visit(QByteArray(parsed.lr_dn.bv_val, static_cast<qsizetype>(parsed.lr_dn.bv_len)),
                       attributes);
            if (!ok)
                *error = QStringLiteral("unexpected entry before line %1").arg(line);
        }
        ldap_ldif_record_done(&parsed);
    }
    ber_memfree(buffer);
    ldif_close(stream);
    if (ok && rc < 0) {
        *error = QStringLiteral("cannot read the LDIF near line %1").arg(line);
        ok = false;
    }
    return ok;
}

// The last RDN of `dn` (its top), as a DN string; empty when malformed.
QByteArray topOf(const QByteArray& dn)
{
    LDAPDN parsed = nullptr;
    if (ldap_str2dn(dn.constData(), &parsed, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS ||
        parsed == nullptr)
        return {};
    int last = 0;
    while (parsed[last + 1] != nullptr)
        ++last;
    char* text = nullptr;
    QByteArray top;
    if (ldap_rdn2str(parsed[last], &text, LDAP_DN_FORMAT_LDAPV3) == LDAP_SUCCESS) {
        top = QByteArray(text);
        ldap_memfree(text);
    }
    ldap_dnfree(parsed);
    return top;
}

} // namespace ldifText

using namespace ldifText;

namespace {

// The entry that stands for the tree root, from its RDN type.
bool suffixEntry(const QString& suffix, QByteArray* out, QString* error)
{
    LDAPDN dn = nullptr;
    const QByteArray text = suffix.toUtf8();
    if (ldap_str2dn(text.constData(), &dn, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS ||
        dn == nullptr) {
        *error = QStringLiteral("bad suffix \"%1\"").arg(suffix);
        return false;
    }
    const LDAPAVA* ava = dn[0][0];
    const QByteArray type =
        QByteArray(ava->la_attr.bv_val, static_cast<qsizetype>(ava->la_attr.bv_len)).toLower();
    const QByteArray value(ava->la_value.bv_val, static_cast<qsizetype>(ava->la_value.bv_len));
    ldap_dnfree(dn);
    const char* objectClass = type == "dc"   ? "domain"
                              : type == "o"  ? "organization"
                              : type == "ou" ? "organizationalUnit"
                                             : nullptr;
    if (objectClass == nullptr) {
        *error = QStringLiteral("suffix \"%1\" must start with dc=, o= or ou=").arg(suffix);
        return false;
    }
    putLine(out, "dn", text);
    putLine(out, "objectClass", objectClass);
    putLine(out, type.constData(), value);
    *out += '\n';
    return true;
}

} // namespace

bool rebaseLdif(const QByteArray& relative, const QString& suffix, QByteArray* out, QString* error)
{
    out->clear();
    if (!suffixEntry(suffix, out, error))
        return false;
    const QByteArray below = ',' + suffix.toUtf8();
    return forEachEntry(
        relative,
        [&](const QByteArray& dn, const QByteArray& attributes) {
            putLine(out, "dn", dn + below);
            *out += attributes + '\n';
            return true;
        },
        error);
}

QByteArray workstationTreeLdif(int workstations, int units, const QString& organization)
{
    units = std::max(units, 1);
    const int branching = std::max(1, static_cast<int>(std::lround(std::cbrt(units))));
    const int level1 = std::min(branching, units);
    const int level2 = std::min(branching * branching, units - level1);
    const int level3 = units - level1 - level2;

    QByteArray out = "version: 1\n\n";
    const QByteArray org = "o=" + organization.toUtf8();
    out += "dn: " + org + "\nobjectClass: organization\no: " + organization.toUtf8() + "\n\n";

    int unitsWritten = 0;
    int workstationsWritten = 0;
    // Workstations are shared out evenly, in unit order.
    const auto addUnit = [&](const QByteArray& name, const QByteArray& parentDn) {
        const QByteArray dn = "ou=" + name + ',' + parentDn;
        out += "dn: " + dn + "\nobjectClass: organizationalUnit\nou: " + name + "\n\n";
        ++unitsWritten;
        const int due = static_cast<int>(static_cast<qint64>(workstations) * unitsWritten / units);
        for (; workstationsWritten < due; ++workstationsWritten) {
            const QByteArray ws = QStringLiteral("WS%1")
                                      .arg(workstationsWritten + 1, 6, 10, QLatin1Char('0'))
                                      .toLatin1();
            out += "dn: cn=" + ws + ',' + dn + "\nobjectClass: Workstation\ncn: " + ws + "\n\n";
        }
        return dn;
    };
    const auto number = [](int n) {
        return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')).toLatin1();
    };
    for (int a = 0; a < level1; ++a) {
        const QByteArray nameA = 'U' + number(a + 1);
        const QByteArray dnA = addUnit(nameA, org);
        // Level-2 units of this level-1 unit, and their share of level 3.
        const int firstB = level2 * a / level1;
        const int endB = level2 * (a + 1) / level1;
        for (int b = firstB; b < endB; ++b) {
            const QByteArray nameB = nameA + '-' + number(b - firstB + 1);
            const QByteArray dnB = addUnit(nameB, dnA);
            const int firstC = level2 > 0 ? level3 * b / level2 : 0;
            const int endC = level2 > 0 ? level3 * (b + 1) / level2 : 0;
            for (int c = firstC; c < endC; ++c)
                addUnit(nameB + '-' + number(c - firstC + 1), dnB);
        }
    }
    return out;
}

} // namespace stelvo::test
