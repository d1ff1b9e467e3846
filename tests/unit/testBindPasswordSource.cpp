// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Where the bind password comes from at start-up: the keyring's, checked
// with the server; the dialog's, kept once the server takes it.
#include "BindPasswordSource.h"
#include "DirectoryError.h"

#include <QTest>
#include <optional>

using stelvo::BindCheck;
using stelvo::PasswordAnswer;
using stelvo::PasswordQuestion;
using stelvo::PasswordStore;
using stelvo::Secret;

namespace {

// One account's keyring in memory.
class MemoryStore : public PasswordStore
{
public:
    bool available = true;
    bool writable = true;
    std::optional<QByteArray> kept;

    Lookup read(const QString&, const QString&) override
    {
        Lookup lookup;
        if (!available) {
            lookup.reason = u"no keyring here"_qs;
            return lookup;
        }
        lookup.status = kept ? Status::Found : Status::Missing;
        if (kept)
            lookup.password = std::make_shared<const Secret>(*kept);
        return lookup;
    }
    bool write(const QString&, const QString&, const Secret& password, QString* reason) override
    {
        if (!available || !writable) {
            *reason = u"locked"_qs;
            return false;
        }
        kept = password.copy();
        return true;
    }
    bool remove(const QString&, const QString&, QString*) override
    {
        kept.reset();
        return true;
    }
};

// How the dialog was asked: "-" nothing refused, "stored", "typed"; "+" when the box starts
// ticked; "no keyring (REASON)" when nothing can be kept.
QString describe(const PasswordQuestion& question)
{
    if (!question.canRemember)
        return u"no keyring ("_qs + question.notKept + u')';
    QString text = question.refused == PasswordQuestion::Refusal::Stored  ? u"stored"_qs
                   : question.refused == PasswordQuestion::Refusal::Typed ? u"typed"_qs
                                                                          : u"-"_qs;
    return question.remember ? text + u'+' : text;
}

} // namespace

class TestBindPasswordSource : public QObject
{
    Q_OBJECT

private slots:
    void source_data()
    {
        // The server takes "right"; "down" stands for a server that cannot be reached.
        QTest::addColumn<QString>("kept");      // empty: nothing kept; "-": no keyring
        QTest::addColumn<QStringList>("typed"); // "PASSWORD" or "PASSWORD+" (remember); "" cancels
        QTest::addColumn<QStringList>("asked"); // describe() of each question
        QTest::addColumn<QString>("used");      // empty: cancelled
        QTest::addColumn<QString>("keptAfter"); // empty: nothing kept
        QTest::addColumn<int>("checks");

        // clang-format off
        QTest::newRow("kept, taken: no dialog")
            << u"right"_qs << QStringList{} << QStringList{} << u"right"_qs << u"right"_qs << 1;
        QTest::newRow("kept, refused: asked, replaced")
            << u"old"_qs << QStringList{u"right+"_qs} << QStringList{u"stored+"_qs}
            << u"right"_qs << u"right"_qs << 2;
        QTest::newRow("kept, refused, not to be remembered: forgotten")
            << u"old"_qs << QStringList{u"right"_qs} << QStringList{u"stored+"_qs}
            << u"right"_qs << QString() << 1;
        QTest::newRow("nothing kept, remembered")
            << QString() << QStringList{u"right+"_qs} << QStringList{u"-"_qs}
            << u"right"_qs << u"right"_qs << 1;
        QTest::newRow("nothing kept, not remembered: the search checks it")
            << QString() << QStringList{u"wrong"_qs} << QStringList{u"-"_qs}
            << u"wrong"_qs << QString() << 0;
        QTest::newRow("typed one refused: asked again, never kept")
            << QString() << QStringList{u"wrong+"_qs, u"right+"_qs}
            << QStringList{u"-"_qs, u"typed+"_qs} << u"right"_qs << u"right"_qs << 2;
        QTest::newRow("refused, then cancelled: the old one stays")
            << u"old"_qs << QStringList{u"wrong+"_qs, QString()}
            << QStringList{u"stored+"_qs, u"typed+"_qs} << QString() << u"old"_qs << 2;
        QTest::newRow("no keyring: asked, nothing kept")
            << u"-"_qs << QStringList{u"right"_qs} << QStringList{u"no keyring (no keyring here)"_qs}
            << u"right"_qs << QString() << 0;
        QTest::newRow("cancelled")
            << QString() << QStringList{QString()} << QStringList{u"-"_qs} << QString() << QString() << 0;
        // clang-format on
    }

    void source()
    {
        QFETCH(QString, kept);
        QFETCH(QStringList, typed);
        QFETCH(QStringList, asked);
        QFETCH(QString, used);
        QFETCH(QString, keptAfter);
        QFETCH(int, checks);

        MemoryStore store;
        store.available = kept != u"-";
        if (store.available && !kept.isEmpty())
            store.kept = kept.toUtf8();
        QStringList questions;
        int checked = 0;
        const stelvo::BindPassword result = stelvo::bindPassword(
            store, u"ldap://h:389"_qs, u"cn=reader,dc=tree"_qs,
            [&](const PasswordQuestion& question) {
                questions << describe(question);
                if (questions.size() > typed.size())
                    return PasswordAnswer{};
                QString answer = typed.at(questions.size() - 1);
                if (answer.isEmpty())
                    return PasswordAnswer{};
                const bool remember = answer.endsWith(u'+');
                answer.remove(u'+');
                return PasswordAnswer{std::make_shared<const Secret>(answer.toUtf8()), remember};
            },
            [&](const std::shared_ptr<const Secret>& password, QString*) {
                ++checked;
                return password->copy() == "right" ? BindCheck::Accepted : BindCheck::Refused;
            });

        QCOMPARE(questions, asked);
        QCOMPARE(result.password ? QString::fromUtf8(result.password->copy()) : QString(), used);
        QCOMPARE(store.kept ? QString::fromUtf8(*store.kept) : QString(), keptAfter);
        QCOMPARE(checked, checks);
        QVERIFY(result.notStored.isEmpty());
    }

    // A server that cannot be asked fails the start-up with its message, before any dialog.
    void unreachableServer()
    {
        MemoryStore store;
        store.kept = "right";
        bool asked = false;
        try {
            stelvo::bindPassword(
                store, u"ldap://h:389"_qs, u"cn=reader,dc=tree"_qs,
                [&](const PasswordQuestion&) {
                    asked = true;
                    return PasswordAnswer{};
                },
                [](const std::shared_ptr<const Secret>&, QString* error) {
                    *error = u"Cannot connect to the directory server ldap://h:389"_qs;
                    return BindCheck::Failed;
                });
            QFAIL("no DirectoryError");
        } catch (const stelvo::DirectoryError& error) {
            QCOMPARE(error.message(), u"Cannot connect to the directory server ldap://h:389"_qs);
        }
        QVERIFY(!asked);
        QCOMPARE(store.kept, std::optional(QByteArray("right")));
    }

    // A keyring that refuses to keep the password: the password is used, and the failure said.
    void notStored()
    {
        MemoryStore store;
        store.writable = false;
        const stelvo::BindPassword result = stelvo::bindPassword(
            store, u"ldap://h:389"_qs, u"cn=reader,dc=tree"_qs,
            [](const PasswordQuestion&) {
                return PasswordAnswer{std::make_shared<const Secret>("right"), true};
            },
            [](const std::shared_ptr<const Secret>&, QString*) { return BindCheck::Accepted; });
        QCOMPARE(result.password->copy(), QByteArray("right"));
        QCOMPARE(result.notStored, u"locked"_qs);
    }
};

QTEST_APPLESS_MAIN(TestBindPasswordSource)
#include "testBindPasswordSource.moc"
