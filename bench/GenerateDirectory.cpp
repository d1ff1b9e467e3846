// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "GenerateDirectory.h"

#include <QFile>
#include <cstdio>

namespace stelvo::bench {

const char kExportedSchema[] =
    "dn: cn=exported,cn=schema,cn=config\nobjectClass: olcSchemaConfig\ncn: exported\n"
    "olcAttributeTypes: ( 1.3.6.1.3.1.65261.3.1 NAME 'dNSHostName' EQUALITY caseIgnoreMatch "
    "SUBSTR caseIgnoreSubstringsMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 SINGLE-VALUE )\n"
    "olcAttributeTypes: ( 1.3.6.1.3.1.65261.3.2 NAME 'operatingSystem' EQUALITY "
    "caseIgnoreMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 SINGLE-VALUE )\n"
    "olcObjectClasses: ( 1.3.6.1.3.1.65261.3.3 NAME 'exportedHost' AUXILIARY "
    "MAY ( dNSHostName $ operatingSystem ) )\n";

QByteArray workstationAttributes(const DirectoryShape& shape, int number, const QByteArray& org,
                                 int region, int site, const QByteArray& unit, int desk)
{
    const QByteArray ws = "ws" + QByteArray::number(number).rightJustified(6, '0');
    const auto byte = [number](int shift) { return QByteArray::number((number >> shift) & 0xff); };
    QByteArray out;
    if (shape.ldapClasses)
        out += "objectClass: exportedHost\nobjectClass: ipHost\nobjectClass: ieee802Device\n";
    out += "dNSHostName: " + ws + ".site" + QByteArray::number(site) + "-r" +
           QByteArray::number(region) + "." + org.toLower() + ".acme.test\nipHostNumber: 10." +
           byte(16) + "." + byte(8) + "." + byte(0) +
           "\noperatingSystem: Windows 11 Enterprise\n"
           "description: " +
           unit + " desk " + QByteArray::number(desk) + "\n";
    if (shape.ldapClasses || shape.macAddress) {
        const auto hex = [number](int shift) {
            return QByteArray::number((number >> shift) & 0xff, 16).rightJustified(2, '0');
        };
        out += "macAddress: 02:00:00:" + hex(16) + ":" + hex(8) + ":" + hex(0) + "\n";
    }
    return out;
}

DirectoryShape siteShapeFor(int workstations)
{
    DirectoryShape shape;
    shape.workstations = workstations;
    shape.everyUnit = true;
    shape.organizations = 20;
    shape.level1 = 10;
    shape.level2 = 9;
    return shape;
}

namespace {

void appendEntry(QByteArray* out, const QByteArray& dn, const char* objectClass,
                 const char* attribute, const QByteArray& value)
{
    *out +=
        "dn: " + dn + "\nobjectClass: " + objectClass + "\n" + attribute + ": " + value + "\n\n";
}

QByteArray generateSite(const DirectoryShape& shape, const QByteArray& suffix,
                        QByteArray* deepestLeaf)
{
    QByteArray out;
    out.reserve(qsizetype(shape.workstations) * (shape.attributes ? 260 : 90) +
                shape.holdingUnits() * 200);
    const auto entry = [&out, &suffix](const QByteArray& dn, const char* objectClass,
                                       const char* attribute, const QByteArray& value) {
        appendEntry(&out, dn + suffix, objectClass, attribute, value);
    };
    const int perUnit = shape.workstations / shape.holdingUnits();
    int remainder = shape.workstations % shape.holdingUnits();
    int number = 0;
    const auto workstations = [&](const QByteArray& org, int region, int site,
                                  const QByteArray& unit, const QByteArray& unitDn,
                                  const QByteArray& path) {
        const int count = perUnit + (remainder-- > 0 ? 1 : 0);
        for (int w = 0; w < count; ++w) {
            const QByteArray ws = "WS" + QByteArray::number(number).rightJustified(6, '0');
            entry("cn=" + ws + "," + unitDn, "Workstation", "cn", ws);
            if (shape.attributes) {
                out.chop(1); // the entry's blank line
                out += workstationAttributes(shape, number, org, region, site, unit, w) + '\n';
            }
            ++number;
            if (deepestLeaf != nullptr)
                *deepestLeaf = path + "\\" + ws;
        }
    };
    for (int o = 0; o < shape.organizations; ++o) {
        const QByteArray org = "ORG" + QByteArray::number(o);
        const QByteArray orgDn = "o=" + org;
        entry(orgDn, "organization", "o", org);
        for (int a = 0; a < shape.level1; ++a) {
            const QByteArray unit = "UNIT" + QByteArray::number(a);
            const QByteArray unitDn = "ou=" + unit + "," + orgDn;
            entry(unitDn, "organizationalUnit", "ou", unit);
            // Its workstations first, then its sub-units: as an export
            // lists a unit's entries.
            workstations(org, a, 0, unit, unitDn, org + "\\" + unit);
            for (int b = 0; b < shape.level2; ++b) {
                const QByteArray sub = "SUB" + QByteArray::number(b);
                const QByteArray subDn = "ou=" + sub + "," + unitDn;
                entry(subDn, "organizationalUnit", "ou", sub);
                workstations(org, a, b + 1, sub, subDn, org + "\\" + unit + "\\" + sub);
            }
        }
    }
    return out;
}

} // namespace

DirectoryShape shapeFor(int workstations)
{
    DirectoryShape shape;
    shape.workstations = workstations;
    if (workstations >= 50000) {
        shape.level1 = 10;
        shape.level2 = 10;
        shape.level3 = 10;
    }
    return shape;
}

QByteArray generateLdif(const DirectoryShape& shape, const QByteArray& suffix,
                        QByteArray* deepestLeaf)
{
    if (shape.everyUnit)
        return generateSite(shape, suffix, deepestLeaf);
    QByteArray out;
    out.reserve(qsizetype(shape.workstations) * (shape.attributes ? 230 : 90) +
                shape.leafUnits() * 200);
    const auto entry = [&out, &suffix](const QByteArray& dn, const char* objectClass,
                                       const char* attribute, const QByteArray& value) {
        appendEntry(&out, dn + suffix, objectClass, attribute, value);
    };
    const int perUnit = shape.workstations / shape.leafUnits();
    int remainder = shape.workstations % shape.leafUnits();
    int number = 0;
    for (int o = 0; o < 2; ++o) {
        const QByteArray org = "ORG" + QByteArray::number(o);
        const QByteArray orgDn = "o=" + org;
        entry(orgDn, "organization", "o", org);
        for (int a = 0; a < shape.level1; ++a) {
            const QByteArray ua = "REGION" + QByteArray::number(a);
            const QByteArray uaDn = "ou=" + ua + "," + orgDn;
            entry(uaDn, "organizationalUnit", "ou", ua);
            for (int b = 0; b < shape.level2; ++b) {
                const QByteArray ub = "SITE" + QByteArray::number(b);
                const QByteArray ubDn = "ou=" + ub + "," + uaDn;
                entry(ubDn, "organizationalUnit", "ou", ub);
                for (int c = 0; c < shape.level3; ++c) {
                    const QByteArray uc = "DEPT" + QByteArray::number(c);
                    const QByteArray ucDn = "ou=" + uc + "," + ubDn;
                    entry(ucDn, "organizationalUnit", "ou", uc);
                    const int count = perUnit + (remainder-- > 0 ? 1 : 0);
                    for (int w = 0; w < count; ++w) {
                        const QByteArray ws =
                            "WS" + QByteArray::number(number).rightJustified(6, '0');
                        entry("cn=" + ws + "," + ucDn, "Workstation", "cn", ws);
                        if (shape.attributes) {
                            out.chop(1); // the entry's blank line
                            out += workstationAttributes(shape, number, org, a, b, uc, w) + '\n';
                        }
                        ++number;
                        if (deepestLeaf != nullptr)
                            *deepestLeaf = org + "\\" + ua + "\\" + ub + "\\" + uc + "\\" + ws;
                    }
                }
            }
        }
    }
    return out;
}

QString writeExportedSchema(const QString& folder)
{
    const QString path = folder + QStringLiteral("/exported.ldif");
    QFile schema(path);
    if (!schema.open(QIODevice::WriteOnly) || schema.write(kExportedSchema) < 0) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return {};
    }
    return path;
}

bool writeLdifFile(const QString& path, const QByteArray& ldif)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(ldif) != ldif.size() || !file.flush()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace stelvo::bench
