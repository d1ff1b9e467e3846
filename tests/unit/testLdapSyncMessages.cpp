// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapSyncMessages.h"

#include <QTest>

using namespace stelvo::ldap;

namespace {

// Two entryUUIDs as the server sends them, hex.
const QByteArray kUuidA = "00112233445566778899aabbccddeeff";
const QByteArray kUuidB = "ffeeddccbbaa99887766554433221100";

QByteArray bytes(const QByteArray& hex)
{
    return QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
}

using OptionalBytes = std::optional<QByteArray>;

} // namespace

Q_DECLARE_METATYPE(OptionalBytes)
Q_DECLARE_METATYPE(sync::State::Kind)
Q_DECLARE_METATYPE(sync::Info::Kind)
Q_DECLARE_METATYPE(sync::Mode)

class TestLdapSyncMessages : public QObject
{
    Q_OBJECT

private slots:
    void encodeRequest_data();
    void encodeRequest();
    void decodeState_data();
    void decodeState();
    void decodeInfo_data();
    void decodeInfo();
    void decodeDone_data();
    void decodeDone();
};

void TestLdapSyncMessages::encodeRequest_data()
{
    QTest::addColumn<sync::Mode>("mode");
    QTest::addColumn<OptionalBytes>("cookie");
    QTest::addColumn<bool>("reloadHint");
    QTest::addColumn<QByteArray>("value");

    QTest::newRow("refreshAndPersist, no cookie")
        << sync::Mode::RefreshAndPersist << OptionalBytes() << false << bytes("30 03 0a 01 03");
    QTest::newRow("refreshOnly from a cookie") << sync::Mode::RefreshOnly << OptionalBytes("c1")
                                               << false << bytes("30 07 0a 01 01 04 02 6331");
    QTest::newRow("reloadHint") << sync::Mode::RefreshAndPersist << OptionalBytes() << true
                                << bytes("30 06 0a 01 03 01 01 ff");
}

void TestLdapSyncMessages::encodeRequest()
{
    QFETCH(sync::Mode, mode);
    QFETCH(OptionalBytes, cookie);
    QFETCH(bool, reloadHint);
    QFETCH(QByteArray, value);
    QCOMPARE(sync::encodeRequest(mode, cookie, reloadHint).toHex(' '), value.toHex(' '));
}

void TestLdapSyncMessages::decodeState_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<sync::State::Kind>("kind");
    QTest::addColumn<OptionalBytes>("cookie");
    // For a value refused: a part of the reason.
    QTest::addColumn<QString>("error");

    using Kind = sync::State::Kind;
    QTest::newRow("present") << bytes("30 15 0a 01 00 04 10" + kUuidA) << Kind::Present
                             << OptionalBytes() << QString();
    QTest::newRow("add") << bytes("30 15 0a 01 01 04 10" + kUuidA) << Kind::Add << OptionalBytes()
                         << QString();
    QTest::newRow("modify, empty cookie") << bytes("30 17 0a 01 02 04 10" + kUuidA + "04 00")
                                          << Kind::Modify << OptionalBytes("") << QString();
    QTest::newRow("delete with a cookie") << bytes("30 19 0a 01 03 04 10" + kUuidA + "04 02 6331")
                                          << Kind::Delete << OptionalBytes("c1") << QString();

    QTest::newRow("empty") << QByteArray() << Kind::Present << OptionalBytes() << "empty";
    QTest::newRow("truncated") << bytes("30 15 0a 01 01 04 10" + kUuidA).chopped(1) << Kind::Add
                               << OptionalBytes() << "syncStateValue is missing, truncated";
    QTest::newRow("longer than the value") << bytes("30 7f 0a 01 01 04 10" + kUuidA) << Kind::Add
                                           << OptionalBytes() << "syncStateValue";
    QTest::newRow("unknown state")
        << bytes("30 15 0a 01 04 04 10" + kUuidA) << Kind::Add << OptionalBytes() << "state 4";
    QTest::newRow("state as an integer")
        << bytes("30 15 02 01 01 04 10" + kUuidA) << Kind::Add << OptionalBytes() << "state";
    QTest::newRow("state of no bytes")
        << bytes("30 14 0a 00 04 10" + kUuidA) << Kind::Add << OptionalBytes() << "state";
    QTest::newRow("entryUUID of 15 bytes") << bytes("30 14 0a 01 01 04 0f" + kUuidA.left(30))
                                           << Kind::Add << OptionalBytes() << "15 bytes";
    QTest::newRow("entryUUID missing")
        << bytes("30 03 0a 01 01") << Kind::Add << OptionalBytes() << "entryUUID";
    QTest::newRow("entryUUID past the sequence")
        << bytes("30 05 0a 01 01 04 10" + kUuidA) << Kind::Add << OptionalBytes() << "entryUUID";
    QTest::newRow("more in the sequence") << bytes("30 18 0a 01 01 04 10" + kUuidA + "01 01 ff")
                                          << Kind::Add << OptionalBytes() << "more follows";
    QTest::newRow("more after the sequence") << bytes("30 15 0a 01 01 04 10" + kUuidA + "00")
                                             << Kind::Add << OptionalBytes() << "more follows";
    QTest::newRow("a set, not a sequence") << bytes("31 15 0a 01 01 04 10" + kUuidA) << Kind::Add
                                           << OptionalBytes() << "syncStateValue";
}

void TestLdapSyncMessages::decodeState()
{
    QFETCH(QByteArray, value);
    QFETCH(sync::State::Kind, kind);
    QFETCH(OptionalBytes, cookie);
    QFETCH(QString, error);

    QString why;
    const std::optional<sync::State> state = sync::decodeState(value, &why);
    if (!error.isEmpty()) {
        QVERIFY(!state);
        QVERIFY2(why.contains(error), qPrintable(why));
        return;
    }
    QVERIFY2(state, qPrintable(why));
    QCOMPARE(state->kind, kind);
    QCOMPARE(state->uuid, QByteArray::fromHex(kUuidA));
    QCOMPARE(state->cookie, cookie);
}

void TestLdapSyncMessages::decodeInfo_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<sync::Info::Kind>("kind");
    QTest::addColumn<OptionalBytes>("cookie");
    QTest::addColumn<bool>("refreshDone");
    QTest::addColumn<bool>("refreshDeletes");
    QTest::addColumn<QByteArrayList>("uuids");
    QTest::addColumn<QString>("error");

    using Kind = sync::Info::Kind;
    const QByteArrayList none;
    const QByteArrayList both{QByteArray::fromHex(kUuidA), QByteArray::fromHex(kUuidB)};
    QTest::newRow("newcookie") << bytes("80 02 6331") << Kind::NewCookie << OptionalBytes("c1")
                               << true << false << none << QString();
    QTest::newRow("newcookie, empty") << bytes("80 00") << Kind::NewCookie << OptionalBytes("")
                                      << true << false << none << QString();
    QTest::newRow("refreshDelete, all defaults")
        << bytes("a1 00") << Kind::RefreshDelete << OptionalBytes() << true << false << none
        << QString();
    QTest::newRow("refreshPresent, cookie, not done")
        << bytes("a2 07 04 02 6331 01 01 00") << Kind::RefreshPresent << OptionalBytes("c1")
        << false << false << none << QString();
    QTest::newRow("refreshPresent, done said")
        << bytes("a2 03 01 01 ff") << Kind::RefreshPresent << OptionalBytes() << true << false
        << none << QString();
    QTest::newRow("syncIdSet of deletions, with a cookie")
        << bytes("a3 2d 04 02 6331 01 01 ff 31 24 04 10" + kUuidA + "04 10" + kUuidB) << Kind::IdSet
        << OptionalBytes("c1") << true << true << both << QString();
    QTest::newRow("syncIdSet of present ids")
        << bytes("a3 14 31 12 04 10" + kUuidA) << Kind::IdSet << OptionalBytes() << true << false
        << QByteArrayList{both.first()} << QString();
    QTest::newRow("syncIdSet, empty") << bytes("a3 02 31 00") << Kind::IdSet << OptionalBytes()
                                      << true << false << none << QString();

    const auto refused = [&](const char* name, const QByteArray& value, const char* error) {
        QTest::newRow(name) << value << Kind::NewCookie << OptionalBytes() << true << false << none
                            << QString::fromLatin1(error);
    };
    refused("empty", QByteArray(), "empty");
    refused("unknown kind", bytes("84 00"), "tag 0x84");
    refused("newcookie truncated", bytes("80 02 63"), "truncated");
    refused("more after newcookie", bytes("80 00 00"), "more follows");
    refused("refreshDone of two bytes", bytes("a2 04 01 02 00 ff"), "refreshDone");
    refused("refreshDone before the cookie", bytes("a2 07 01 01 00 04 02 6331"), "more follows");
    refused("refreshDelete holding an integer", bytes("a1 03 02 01 00"), "more follows");
    refused("syncIdSet without its set", bytes("a3 00"), "syncUUIDs");
    refused("syncIdSet truncated", bytes("a3 14 31 12 04 10" + kUuidA).chopped(1), "truncated");
    refused("syncUUID of 15 bytes", bytes("a3 13 31 11 04 0f" + kUuidA.left(30)), "15 bytes");
    refused("syncUUID as an integer", bytes("a3 14 31 12 02 10" + kUuidA), "syncUUID");
    refused("syncUUID past its set", bytes("a3 14 31 02 04 10" + kUuidA), "syncUUID");
    refused("set longer than the syncIdSet", bytes("a3 04 31 12 04 10" + kUuidA), "longer");
}

void TestLdapSyncMessages::decodeInfo()
{
    QFETCH(QByteArray, value);
    QFETCH(sync::Info::Kind, kind);
    QFETCH(OptionalBytes, cookie);
    QFETCH(bool, refreshDone);
    QFETCH(bool, refreshDeletes);
    QFETCH(QByteArrayList, uuids);
    QFETCH(QString, error);

    QString why;
    const std::optional<sync::Info> info = sync::decodeInfo(value, &why);
    if (!error.isEmpty()) {
        QVERIFY(!info);
        QVERIFY2(why.contains(error), qPrintable(why));
        return;
    }
    QVERIFY2(info, qPrintable(why));
    QCOMPARE(info->kind, kind);
    QCOMPARE(info->cookie, cookie);
    QCOMPARE(info->refreshDone, refreshDone);
    QCOMPARE(info->refreshDeletes, refreshDeletes);
    QCOMPARE(info->uuids, uuids);
}

void TestLdapSyncMessages::decodeDone_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<OptionalBytes>("cookie");
    QTest::addColumn<bool>("refreshDeletes");
    QTest::addColumn<QString>("error");

    QTest::newRow("all defaults") << bytes("30 00") << OptionalBytes() << false << QString();
    QTest::newRow("cookie and refreshDeletes")
        << bytes("30 07 04 02 6331 01 01 ff") << OptionalBytes("c1") << true << QString();
    QTest::newRow("refreshDeletes alone")
        << bytes("30 03 01 01 ff") << OptionalBytes() << true << QString();

    QTest::newRow("empty") << QByteArray() << OptionalBytes() << false << "empty";
    QTest::newRow("truncated cookie")
        << bytes("30 04 04 02 63") << OptionalBytes() << false << "syncDoneValue";
    QTest::newRow("a set, not a sequence")
        << bytes("31 00") << OptionalBytes() << false << "syncDoneValue";
    QTest::newRow("more after the sequence")
        << bytes("30 00 30 00") << OptionalBytes() << false << "more follows";
}

void TestLdapSyncMessages::decodeDone()
{
    QFETCH(QByteArray, value);
    QFETCH(OptionalBytes, cookie);
    QFETCH(bool, refreshDeletes);
    QFETCH(QString, error);

    QString why;
    const std::optional<sync::Done> done = sync::decodeDone(value, &why);
    if (!error.isEmpty()) {
        QVERIFY(!done);
        QVERIFY2(why.contains(error), qPrintable(why));
        return;
    }
    QVERIFY2(done, qPrintable(why));
    QCOMPARE(done->cookie, cookie);
    QCOMPARE(done->refreshDeletes, refreshDeletes);
}

QTEST_GUILESS_MAIN(TestLdapSyncMessages)
#include "testLdapSyncMessages.moc"
