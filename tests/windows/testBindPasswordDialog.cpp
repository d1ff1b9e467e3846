// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The dialog that asks for the bind password: never echoed, OK gives what
// was typed, Cancel gives nothing.
#include "BindPasswordDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using stelvo::BindPasswordDialog;
using stelvo::PasswordQuestion;
using stelvo::Secret;

class TestBindPasswordDialog : public QObject
{
    Q_OBJECT

private:
    // Types `typed` into the modal dialog once it shows, then presses `button`.
    static void answerDialog(const QString& typed, QDialogButtonBox::StandardButton button)
    {
        QTimer::singleShot(0, [typed, button] {
            auto* dialog = qobject_cast<BindPasswordDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            auto* edit = dialog->findChild<QLineEdit*>();
            // Key by key, with the text that keyClicks cannot send beyond ASCII.
            for (const QChar c : typed)
                QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c),
                                    Qt::NoModifier);
            dialog->findChild<QDialogButtonBox*>()->button(button)->click();
        });
    }

private slots:
    void neverEchoed()
    {
        BindPasswordDialog dialog(u"cn=reader,dc=tree"_qs, u"ldap://dir.example.org"_qs);
        auto* edit = dialog.findChild<QLineEdit*>();
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
        QVERIFY(!edit->accessibleName().isEmpty());
        const QString label = dialog.findChild<QLabel*>()->text();
        QVERIFY2(label.contains(u"cn=reader,dc=tree"_qs), qPrintable(label));
        QVERIFY2(label.contains(u"ldap://dir.example.org"_qs), qPrintable(label));
        // An empty password would bind anonymously.
        QPushButton* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        QVERIFY(!ok->isEnabled());
        QTest::keyClicks(edit, u"x"_qs);
        QVERIFY(ok->isEnabled());
    }

    void answered_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("ok");

        // clang-format off
        QTest::newRow("OK")             << u"s3cret \"$`%"_qs << true;
        QTest::newRow("OK, non-ASCII")  << u"Grüße"_qs << true;
        QTest::newRow("Cancel")         << u"s3cret"_qs << false;
        // clang-format on
    }

    void answered()
    {
        QFETCH(QString, typed);
        QFETCH(bool, ok);

        answerDialog(typed, ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel);
        const std::shared_ptr<const Secret> password =
            stelvo::askBindPassword(u"cn=reader,dc=tree"_qs, u"ldap://dir.example.org"_qs);
        if (!ok) {
            QVERIFY(password == nullptr);
            return;
        }
        QVERIFY(password != nullptr);
        QCOMPARE(password->copy(), typed.toUtf8());
    }

    // What the dialog says of the keyring, and whether it offers to remember.
    void keyring_data()
    {
        QTest::addColumn<bool>("canRemember");
        QTest::addColumn<bool>("remember");
        QTest::addColumn<int>("refused");
        QTest::addColumn<QString>("refusal"); // the text above the field; empty: none
        QTest::addColumn<QString>("notKept"); // the text below it; empty: none

        const int none = int(PasswordQuestion::Refusal::None);
        const int stored = int(PasswordQuestion::Refusal::Stored);
        const int typed = int(PasswordQuestion::Refusal::Typed);
        // clang-format off
        QTest::newRow("nothing kept yet")   << true << false << none << QString() << QString();
        QTest::newRow("kept one refused")   << true << true << stored
            << u"The directory server refused the password kept in the keyring."_qs << QString();
        QTest::newRow("typed one refused")  << true << true << typed
            << u"The directory server refused this password."_qs << QString();
        QTest::newRow("no keyring")         << false << false << none << QString()
            << u"The password is not kept: no keyring is available (there is no D-Bus session)."_qs;
        // clang-format on
    }

    void keyring()
    {
        QFETCH(bool, canRemember);
        QFETCH(bool, remember);
        QFETCH(int, refused);
        QFETCH(QString, refusal);
        QFETCH(QString, notKept);

        PasswordQuestion question;
        question.canRemember = canRemember;
        question.remember = remember;
        question.refused = PasswordQuestion::Refusal(refused);
        if (!canRemember)
            question.notKept = u"there is no D-Bus session"_qs;
        BindPasswordDialog dialog(u"cn=reader,dc=tree"_qs, u"ldap://h"_qs, question);
        auto* box = dialog.findChild<QCheckBox*>();
        QCOMPARE(box != nullptr, canRemember);
        if (box) {
            QCOMPARE(box->isChecked(), remember);
            QCOMPARE(box->text(), u"&Remember the password in the keyring"_qs);
        }
        const auto* refusalLabel = dialog.findChild<QLabel*>(u"refusal"_qs);
        QCOMPARE(refusalLabel ? refusalLabel->text() : QString(), refusal);
        const auto* notKeptLabel = dialog.findChild<QLabel*>(u"notKept"_qs);
        QCOMPARE(notKeptLabel ? notKeptLabel->text() : QString(), notKept);
        // The field is where typing goes, whatever is said around it.
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(QApplication::focusWidget(), dialog.findChild<QLineEdit*>());
    }

    void remembered_data()
    {
        QTest::addColumn<bool>("tick");
        QTest::newRow("ticked") << true;
        QTest::newRow("left alone") << false;
    }

    void remembered()
    {
        QFETCH(bool, tick);

        PasswordQuestion question;
        question.canRemember = true;
        QTimer::singleShot(0, [tick] {
            auto* dialog = qobject_cast<BindPasswordDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            auto* edit = dialog->findChild<QLineEdit*>();
            QTest::keyClicks(edit, u"s3cret"_qs);
            if (tick) { // from the keyboard: the box comes next after the field
                QTest::keyClick(edit, Qt::Key_Tab);
                QCOMPARE(QApplication::focusWidget(), dialog->findChild<QCheckBox*>());
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
            }
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        const stelvo::PasswordAnswer answer =
            stelvo::askBindPassword(u"cn=reader,dc=tree"_qs, u"ldap://h"_qs, question);
        QVERIFY(answer.password != nullptr);
        QCOMPARE(answer.password->copy(), QByteArray("s3cret"));
        QCOMPARE(answer.remember, tick);
    }

    void lineEditClearedAfterReading()
    {
        BindPasswordDialog dialog(u"cn=reader,dc=tree"_qs, u"ldap://h"_qs);
        auto* edit = dialog.findChild<QLineEdit*>();
        QTest::keyClicks(edit, u"s3cret"_qs);
        QCOMPARE(dialog.takePassword()->copy(), QByteArray("s3cret"));
        QVERIFY(edit->text().isEmpty());
    }
};

QTEST_MAIN(TestBindPasswordDialog)
#include "testBindPasswordDialog.moc"
