// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The dialog that asks for the bind password: never echoed, OK gives what
// was typed, Cancel gives nothing.
#include "BindPasswordDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using stelvo::BindPasswordDialog;
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
