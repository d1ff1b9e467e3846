// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdifChangesMode.h"

#include "BenchSupport.h"
#include "GenerateDirectory.h"
#include "LdifDirectory.h"
#include "LdifTree.h"
#include "LdifTreeChanges.h"
#include "TreeSearch.h"

#include <QElapsedTimer>
#include <cstdio>

namespace stelvo::bench {

namespace {

const QString kChangesTree = QStringLiteral("CHANGES_TREE");

// The generated text record by record: with an entryUUID each (`ids`), and
// (`changed`) one workstation in a hundred renamed, one in a thousand given
// another host name, and one added at the end.
QByteArray variant(const QByteArray& ldif, bool ids, bool changed)
{
    QByteArray out;
    out.reserve(ldif.size() + (ids ? ldif.count("dn: ") * 50 : 0));
    qsizetype at = 0;
    int record = 0;
    int workstation = 0;
    QByteArray lastUnit; // the DN above the last workstation
    while (at < ldif.size()) {
        qsizetype end = ldif.indexOf("\n\n", at);
        end = end < 0 ? ldif.size() : end + 2;
        QByteArray text = ldif.mid(at, end - at);
        at = end;
        const bool isWorkstation = text.startsWith("dn: cn=");
        if (changed && isWorkstation && workstation % 100 == 50)
            text.replace(text.indexOf(','), 0, "R");
        if (changed && isWorkstation && workstation % 1000 == 500)
            text.replace(".acme.test", ".other.test");
        if (ids) {
            const QByteArray uuid = "entryUUID: 7d3a0c52-8e1f-4b6a-9c2d-" +
                                    QByteArray::number(record, 16).rightJustified(12, '0') + '\n';
            text.insert(text.indexOf('\n') + 1, uuid);
        }
        if (isWorkstation) {
            ++workstation;
            lastUnit = text.mid(text.indexOf(',') + 1);
            lastUnit.truncate(lastUnit.indexOf('\n'));
        }
        ++record;
        out += text;
    }
    if (changed) {
        out += "dn: cn=ADDED," + lastUnit + "\nobjectClass: Workstation\n";
        if (ids)
            out += "entryUUID: 7d3a0c52-8e1f-4b6a-9c2d-ffffffffffff\n";
    }
    return out;
}

LdifTree parsed(const QByteArray& ldif)
{
    return LdifTree::parse(ldif, QStringLiteral("bench.ldif"), kChangesTree, {},
                           QByteArrayLiteral("dNSHostName"), true)
        .value();
}

std::vector<int> found(const LdifTree& tree)
{
    return LdifDirectory::select(tree, nds::rootName(kChangesTree), kChangesTree,
                                 treesearch::kScope, treesearch::kClasses, treesearch::kPattern);
}

} // namespace

bool runLdifChangesSizes(const QList<int>& sizes)
{
    std::printf("%10s %6s %8s %10s %10s\n", "size", "ids", "changes", "read ms", "compare ms");
    for (const int size : sizes) {
        DirectoryShape shape = shapeFor(size);
        shape.attributes = true;
        const QByteArray ldif = generateLdif(shape);
        for (const bool ids : {false, true}) {
            const QByteArray before = variant(ldif, ids, false);
            const QByteArray after = variant(ldif, ids, true);
            const LdifTree shown = parsed(before);
            std::vector<double> reads;
            std::vector<double> compares;
            qsizetype changes = 0;
            for (int run = 0; run < 3; ++run) {
                QElapsedTimer clock;
                clock.start();
                const LdifTree now = parsed(after);
                reads.push_back(double(clock.nsecsElapsed()) / 1e6);
                clock.restart();
                changes = ldif::changesBetween(shown, found(shown), now, found(now)).changes.size();
                compares.push_back(double(clock.nsecsElapsed()) / 1e6);
            }
            std::printf("%10d %6s %8lld %10.0f %10.0f\n", size, ids ? "yes" : "no",
                        static_cast<long long>(changes), median(reads), median(compares));
        }
    }
    return true;
}

} // namespace stelvo::bench
