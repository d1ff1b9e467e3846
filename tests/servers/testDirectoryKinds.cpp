// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The kinds of entries on real sites' directories (Active Directory's
// computers and containers, 389's nsContainer, a class nobody maps), read
// from one fixture by both backends: the same tree, the same classes, the
// same answers to isContainer.

#include "DirectorySearch.h"
#include "LdapDirectory.h"
#include "LdifDirectory.h"
#include "NdsMapping.h"
#include "SlapdServer.h"
#include "WorkstationCommands.h"

#include <QSignalSpy>
#include <QTest>
#include <memory>

using namespace stelvo;
using stelvo::test::SlapdConfig;
using stelvo::test::SlapdServer;

enum class Backend
{
    Ldif,
    Ldap,
};
Q_DECLARE_METATYPE(Backend)

namespace {

const QString kFixture = QStringLiteral(STELVO_TESTS_DIR "/data/sites.ldif");
const QString kTreeName = QStringLiteral("SITES_TREE");
const QString kContext = QStringLiteral("NDS:\\\\SITES_TREE\\CORP");

QString inTree(const QString& path)
{
    return QStringLiteral("NDS:\\\\SITES_TREE\\") + path;
}

// The tree below `node`, one line per node: its depth in blanks, its text,
// and "/" after a folder.
void render(const NodeTree& tree, NodeTree::Index node, int depth, QStringList* lines)
{
    for (const NodeTree::Index child : tree.children(node)) {
        const bool folder = tree.image(child) == NodeTree::kImageContainer;
        *lines << QString(depth * 2, u' ') + tree.text(child).toString() +
                      (folder ? QStringLiteral("/") : QString());
        render(tree, child, depth + 1, lines);
    }
}

} // namespace

class TestDirectoryKinds : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        SlapdConfig config;
        config.fixtureFile = kFixture;
        m_server = std::make_unique<SlapdServer>(config);
        QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    }

    void classify_data()
    {
        QTest::addColumn<QString>("objectClasses");      // as the entry lists them
        QTest::addColumn<QString>("workstationClasses"); // the site's; empty: the defaults
        QTest::addColumn<QString>("containerClasses");
        QTest::addColumn<QString>("className"); // the system's name of the kind; empty: Other

        const QString d;
        // clang-format off
        QTest::newRow("eDirectory workstation") << "top,Workstation" << d << d << "Workstation";
        QTest::newRow("AD computer")            << "top,person,organizationalPerson,user,computer" << d << d << "Workstation";
        QTest::newRow("other case")             << "TOP,COMPUTER" << d << d << "Workstation";
        QTest::newRow("AD user")                << "top,person,organizationalPerson,user" << d << d << "";
        QTest::newRow("unit")                   << "top,organizationalUnit" << d << d << "organizationalUnit";
        QTest::newRow("AD container")           << "top,container" << d << d << "organization";
        QTest::newRow("389 nsContainer")        << "top,nsContainer" << d << d << "organization";
        QTest::newRow("organization")           << "top,organization" << d << d << "organization";
        QTest::newRow("domain and dcObject")    << "top,domain,dcObject" << d << d << "organization";
        QTest::newRow("AD builtinDomain")       << "top,builtinDomain" << d << d << "organization";
        QTest::newRow("country")                << "country" << d << d << "organization";
        QTest::newRow("unit before its top")    << "dcObject,organizationalUnit" << d << d << "organizationalUnit";
        QTest::newRow("workstation wins")       << "container,computer" << d << d << "Workstation";
        QTest::newRow("device")                 << "top,device" << d << d << "";
        QTest::newRow("no class")               << "" << d << d << "";
        QTest::newRow("site's workstation")     << "top,device" << "device" << d << "Workstation";
        QTest::newRow("site replaces defaults") << "top,computer" << "device" << d << "";
        QTest::newRow("site's container")       << "top,Site" << d << "SITE" << "organizationalUnit";
        QTest::newRow("site's top container")   << "top,organization" << d << "site,Organization" << "organization";
        QTest::newRow("unmapped container")     << "top,container" << d << "organizationalUnit" << "";
        // clang-format on
    }

    void classify()
    {
        QFETCH(QString, objectClasses);
        QFETCH(QString, workstationClasses);
        QFETCH(QString, containerClasses);
        QFETCH(QString, className);
        QList<QByteArray> values;
        for (const QString& value : objectClasses.split(u',', Qt::SkipEmptyParts))
            values << value.toUtf8();
        const nds::ClassMapping mapping(nds::ClassMapping::parseList(workstationClasses),
                                        nds::ClassMapping::parseList(containerClasses));
        QCOMPARE(nds::systemClassName(mapping.classify(values)), className);
    }

    void sameTreeOnBothBackends_data()
    {
        QTest::addColumn<Backend>("backend");
        QTest::addColumn<QString>("workstationClasses"); // the site's; empty: the defaults
        QTest::addColumn<QString>("containerClasses");
        QTest::addColumn<QStringList>("tree");

        // Users, a generic container holding no workstation, is left out as
        // an empty organization is; Rack 7 (a device) shows only because it
        // holds one.
        const QStringList defaults{
            "CORP/",      "  Computers/", "    PC-01",   "    PC-02",   "  Lab/",
            "    LAB-01", "  SALES/",     "    Rack 7/", "      RK-01", "    SL-01",
        };
        // Only the computers and the units a site names: CN=Computers is a
        // folder only because its computers are below it.
        const QStringList computersOnly{
            "CORP/", "  Computers/", "    PC-01", "    PC-02", "  SALES/",
        };
        // clang-format off
        QTest::newRow("LDIF, defaults") << Backend::Ldif << QString() << QString() << defaults;
        QTest::newRow("LDAP, defaults") << Backend::Ldap << QString() << QString() << defaults;
        QTest::newRow("LDIF, site's classes") << Backend::Ldif << "COMPUTER" << "organization, organizationalUnit" << computersOnly;
        QTest::newRow("LDAP, site's classes") << Backend::Ldap << "COMPUTER" << "organization, organizationalUnit" << computersOnly;
        // clang-format on
    }

    void sameTreeOnBothBackends()
    {
        QFETCH(Backend, backend);
        QFETCH(QString, workstationClasses);
        QFETCH(QString, containerClasses);
        QFETCH(QStringList, tree);
        const std::unique_ptr<DirectoryControl> directory =
            open(backend, nds::ClassMapping(nds::ClassMapping::parseList(workstationClasses),
                                            nds::ClassMapping::parseList(containerClasses)));
        NodeTree nodes;
        QVERIFY(build(*directory, &nodes));
        QStringList lines;
        render(nodes, NodeTree::kRoot, 0, &lines);
        QCOMPARE(lines, tree);
    }

    void onlyWorkstationsStartTools_data()
    {
        QTest::addColumn<Backend>("backend");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("className"); // as the directory control reports it
        QTest::addColumn<bool>("container");

        // clang-format off
        const struct { const char* row; const char* path; const char* className; bool container; } rows[] = {
            {"organization",            "CORP",                     "organization",       true},
            {"unit",                    "CORP\\SALES",              "organizationalUnit", true},
            {"workstation",             "CORP\\SALES\\SL-01",       "Workstation",        false},
            {"AD container",            "CORP\\Computers",          "organization",       true},
            {"AD computer",             "CORP\\Computers\\PC-01",   "Workstation",        false},
            {"389 nsContainer",         "CORP\\Lab",                "organization",       true},
            {"below an nsContainer",    "CORP\\Lab\\LAB-01",        "Workstation",        false},
            {"device",                  "CORP\\SALES\\Rack 7",      "",                   true},
            {"below a device",          "CORP\\SALES\\Rack 7\\RK-01", "Workstation",      false},
        };
        // clang-format on
        for (const Backend backend : {Backend::Ldif, Backend::Ldap}) {
            for (const auto& row : rows) {
                QTest::addRow("%s, %s", backend == Backend::Ldif ? "LDIF" : "LDAP", row.row)
                    << backend << QString::fromLatin1(row.path)
                    << QString::fromLatin1(row.className) << row.container;
            }
        }
    }

    void onlyWorkstationsStartTools()
    {
        QFETCH(Backend, backend);
        QFETCH(QString, path);
        QFETCH(QString, className);
        QFETCH(bool, container);
        const std::unique_ptr<DirectoryControl> directory = open(backend, {});
        NodeTree nodes;
        QVERIFY(build(*directory, &nodes));
        const NodeTree::Index node = stelvo::test::findNode(nodes, path);
        QVERIFY2(node != NodeTree::kNone, qPrintable(path));

        QCOMPARE(directory->EntryByName(inTree(path)).entryClass.name, className);
        int starts = 0;
        WorkstationCommands commands(
            *directory, QStringLiteral("\\\\FS1\\SYS\\"),
            [&starts](const QString&, int) {
                ++starts;
                return StartResult{true, {}, {}, {}, 0};
            },
            [](const QString&, const QString&, const QString&, const QString&) {
                return ShellLinkResult{false, {}, {}};
            });
        const Selection selection(nodes, node, kTreeName);
        QCOMPARE(commands.isContainer(selection), container);
        QVERIFY(!commands.runTool(selection, SiteTool::Ping));
        QCOMPARE(starts, container ? 0 : 1);
    }

private:
    std::unique_ptr<DirectoryControl> open(Backend backend, const nds::ClassMapping& classes)
    {
        if (backend == Backend::Ldif) {
            auto ldif = std::make_unique<LdifDirectory>(kFixture, kContext);
            ldif->setClassMapping(classes);
            return ldif;
        }
        LdapOptions options;
        options.networkTimeout = std::chrono::milliseconds(3000);
        auto ldap = std::make_unique<LdapDirectory>(m_server->url(), kContext, options);
        ldap->setClassMapping(classes);
        return ldap;
    }

    static bool build(DirectoryControl& directory, NodeTree* nodes)
    {
        const stelvo::test::SearchOutcome outcome =
            stelvo::test::searchWholeTree(directory, kTreeName, 20000);
        if (!outcome.failure.isEmpty()) {
            qWarning("search failed: %s", qPrintable(outcome.failure));
            return false;
        }
        stelvo::test::buildTree(nodes, kTreeName, outcome.names, directory);
        return true;
    }

    std::unique_ptr<SlapdServer> m_server;
};

QTEST_GUILESS_MAIN(TestDirectoryKinds)
#include "testDirectoryKinds.moc"
