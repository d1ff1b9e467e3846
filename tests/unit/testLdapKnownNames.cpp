// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The backend's table of names against a plain hash of the same entries,
// through random sequences of what the directory does to it: adds,
// replacements, removals, sweeps, and entries that move between the
// compact form and the general one.

#include "LdapKnownNames.h"

#include <QHash>
#include <QRandomGenerator>
#include <QTest>

using namespace stelvo;
using namespace stelvo::ldap;

namespace {

QString describe(const std::optional<KnownEntry>& entry)
{
    if (!entry)
        return QStringLiteral("none");
    return QStringLiteral("dn=%1 kind=%2 class=%3 searched=%4 refreshed=%5 host=%6")
        .arg(QString::fromUtf8(entry->dn))
        .arg(int(entry->kind))
        .arg(entry->classKnown)
        .arg(entry->searched)
        .arg(entry->refreshed)
        .arg(entry->host);
}

class Model
{
public:
    Model(quint32 seed, int names, int leafLength) : m_random(seed)
    {
        for (int i = 0; i < names; ++i) {
            QString leaf = QStringLiteral("WS%1").arg(i);
            if (leafLength > 0 && i % 7 == 0)
                leaf += QString(leafLength, u'x');
            m_names << QStringLiteral(R"(NDS:\\TREE\ORG\UNIT%1\%2)").arg(i % 13).arg(leaf);
        }
        // A few containers, also parents of workstations above.
        for (int i = 0; i < 13; ++i)
            m_names << QStringLiteral(R"(NDS:\\TREE\ORG\UNIT%1)").arg(i);
    }

    const QString& anyName() { return m_names.at(m_random.bounded(m_names.size())); }

    KnownEntry anyEntry()
    {
        KnownEntry entry;
        // Mostly what a search keeps of a workstation: no DN.
        const int shape = m_random.bounded(10);
        entry.kind = shape < 8 ? nds::Kind::Workstation
                               : (shape == 8 ? nds::Kind::OrganizationalUnit : nds::Kind::Other);
        if (shape == 7 || shape >= 8)
            entry.dn = "cn=x" + QByteArray::number(m_random.bounded(100));
        entry.classKnown = m_random.bounded(4) != 0;
        entry.searched = m_random.bounded(2) != 0;
        entry.refreshed = m_random.bounded(2) != 0;
        entry.host = m_random.bounded(3) == 0 ? 0 : m_random.generate();
        return entry;
    }

    int bounded(int n) { return m_random.bounded(n); }

private:
    QRandomGenerator m_random;
    QStringList m_names;
};

bool same(const std::optional<KnownEntry>& a, const std::optional<KnownEntry>& b)
{
    return describe(a) == describe(b);
}

} // namespace

class TestLdapKnownNames : public QObject
{
    Q_OBJECT

private slots:
    void matchesHash_data();
    void matchesHash();
};

void TestLdapKnownNames::matchesHash_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("names"); // how many names the operations pick from
    QTest::addColumn<int>("operations");
    QTest::addColumn<int>("leafLength"); // longer than the compact form takes, when set

    QTest::newRow("few names, many changes") << 1u << 40 << 20000 << 0;
    // Grows the index several times, and sweeps most of it away again.
    QTest::newRow("many names") << 2u << 30000 << 120000 << 0;
    QTest::newRow("long last components") << 3u << 500 << 20000 << 1100;
    QTest::newRow("another sequence") << 4u << 3000 << 60000 << 0;
}

void TestLdapKnownNames::matchesHash()
{
    QFETCH(quint32, seed);
    QFETCH(int, names);
    QFETCH(int, operations);
    QFETCH(int, leafLength);

    Model model(seed, names, leafLength);
    KnownNames table;
    QHash<QString, KnownEntry> reference;
    for (int step = 0; step < operations; ++step) {
        const QString& name = model.anyName();
        const int what = model.bounded(1000);
        if (what < 600) {
            const KnownEntry entry = model.anyEntry();
            table.insert(name, entry);
            reference.insert(name, entry);
        } else if (what < 990) {
            QCOMPARE(table.remove(name), reference.remove(name));
        } else {
            // A sweep: some go, the rest change, some leave the compact form.
            const quint32 cut = model.bounded(4);
            const auto keep = [cut](KnownEntry& entry) {
                if (entry.host % 4 == cut)
                    return false;
                entry.refreshed = !entry.refreshed;
                if (entry.host % 5 == 0)
                    entry.dn = "cn=moved";
                return true;
            };
            table.retain(keep);
            for (auto it = reference.begin(); it != reference.end();)
                it = keep(*it) ? std::next(it) : reference.erase(it);
        }
        QCOMPARE(table.size(), reference.size());
        const std::optional<KnownEntry> expected =
            reference.contains(name) ? std::optional(reference.value(name)) : std::nullopt;
        QVERIFY2(same(table.value(name), expected),
                 qPrintable(QStringLiteral("step %1, %2: %3, not %4")
                                .arg(step)
                                .arg(name, describe(table.value(name)), describe(expected))));
        QCOMPARE(table.contains(name), expected.has_value());
    }

    QHash<QString, QString> visited;
    table.forEach([&](const QString& name, const KnownEntry& entry) {
        QVERIFY2(!visited.contains(name), qPrintable(name));
        visited.insert(name, describe(entry));
    });
    QCOMPARE(visited.size(), reference.size());
    for (auto it = reference.cbegin(); it != reference.cend(); ++it) {
        QCOMPARE(visited.value(it.key()), describe(it.value()));
        QVERIFY(same(table.value(it.key()), it.value()));
    }
    table.clear();
    QVERIFY(table.isEmpty());
    QVERIFY(!table.contains(reference.isEmpty() ? model.anyName() : reference.cbegin().key()));
}

QTEST_GUILESS_MAIN(TestLdapKnownNames)
#include "testLdapKnownNames.moc"
