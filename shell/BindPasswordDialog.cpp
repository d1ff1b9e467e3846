// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "BindPasswordDialog.h"

#include "stelvo_version.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace stelvo {

namespace {

QLabel* wrappedLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

QString refusalText(PasswordQuestion::Refusal refused)
{
    switch (refused) {
    case PasswordQuestion::Refusal::Stored:
        return QCoreApplication::translate(
            "BindPasswordDialog", "The directory server refused the password kept in the keyring.");
    case PasswordQuestion::Refusal::Typed:
        return QCoreApplication::translate("BindPasswordDialog",
                                           "The directory server refused this password.");
    case PasswordQuestion::Refusal::None:
        break;
    }
    return {};
}

} // namespace

BindPasswordDialog::BindPasswordDialog(const QString& bindDn, const QString& server,
                                       QWidget* parent)
    : BindPasswordDialog(bindDn, server, PasswordQuestion{}, parent)
{}

BindPasswordDialog::BindPasswordDialog(const QString& bindDn, const QString& server,
                                       const PasswordQuestion& question, QWidget* parent)
    : QDialog(parent), m_password(new QLineEdit(this)),
      m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setWindowTitle(QString::fromLatin1(version::kTitle));
    QLabel* label =
        wrappedLabel(QCoreApplication::translate("BindPasswordDialog",
                                                 "Password of \"%1\" on the directory server %2:")
                         .arg(bindDn, server),
                     this);
    label->setBuddy(m_password);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setAccessibleName(
        QCoreApplication::translate("BindPasswordDialog", "Bind password"));
    QPushButton* ok = m_buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    connect(m_password, &QLineEdit::textChanged, ok,
            [ok](const QString& text) { ok->setEnabled(!text.isEmpty()); });
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    const QString refusal = refusalText(question.refused);
    if (!refusal.isEmpty()) {
        QLabel* note = wrappedLabel(refusal, this);
        note->setObjectName(QStringLiteral("refusal"));
        layout->addWidget(note);
    }
    layout->addWidget(label);
    layout->addWidget(m_password);
    if (question.canRemember) {
        m_remember =
            new QCheckBox(QCoreApplication::translate("BindPasswordDialog",
                                                      "&Remember the password in the keyring"),
                          this);
        m_remember->setChecked(question.remember);
        layout->addWidget(m_remember);
        // Made after the buttons: Tab goes from the field to the box first.
        setTabOrder(m_password, m_remember);
        setTabOrder(m_remember, m_buttons);
    } else {
        const QString text =
            question.notKept.isEmpty()
                ? QCoreApplication::translate("BindPasswordDialog",
                                              "The password is not kept: no keyring is available.")
                : QCoreApplication::translate(
                      "BindPasswordDialog",
                      "The password is not kept: no keyring is available (%1).")
                      .arg(question.notKept);
        QLabel* note = wrappedLabel(text, this);
        note->setObjectName(QStringLiteral("notKept"));
        layout->addWidget(note);
    }
    layout->addWidget(m_buttons);
    m_password->setFocus();
}

std::shared_ptr<const Secret> BindPasswordDialog::takePassword()
{
    QString text = m_password->text();
    m_password->clear();
    auto secret = std::make_shared<const Secret>(text.toUtf8());
    // The line edit's own buffer is gone with clear(); this copy goes too.
    std::fill(text.begin(), text.end(), QChar(0));
    return secret;
}

bool BindPasswordDialog::remember() const
{
    return m_remember != nullptr && m_remember->isChecked();
}

std::shared_ptr<const Secret> askBindPassword(const QString& bindDn, const QString& server,
                                              QWidget* parent)
{
    return askBindPassword(bindDn, server, PasswordQuestion{}, parent).password;
}

PasswordAnswer askBindPassword(const QString& bindDn, const QString& server,
                               const PasswordQuestion& question, QWidget* parent)
{
    BindPasswordDialog dialog(bindDn, server, question, parent);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return {dialog.takePassword(), dialog.remember()};
}

void sayPasswordNotKept(const QString& reason, QWidget* parent)
{
    QMessageBox::warning(
        parent, QString::fromLatin1(version::kTitle),
        QCoreApplication::translate("BindPasswordDialog",
                                    "The password could not be kept in the keyring: %1")
            .arg(reason));
}

} // namespace stelvo
