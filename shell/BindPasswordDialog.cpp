// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "BindPasswordDialog.h"

#include "stelvo_version.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace stelvo {

BindPasswordDialog::BindPasswordDialog(const QString& bindDn, const QString& server,
                                       QWidget* parent)
    : QDialog(parent), m_password(new QLineEdit(this)),
      m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setWindowTitle(QString::fromLatin1(version::kTitle));
    auto* label =
        new QLabel(QCoreApplication::translate("BindPasswordDialog",
                                               "Password of \"%1\" on the directory server %2:")
                       .arg(bindDn, server),
                   this);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
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
    layout->addWidget(label);
    layout->addWidget(m_password);
    layout->addWidget(m_buttons);
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

std::shared_ptr<const Secret> askBindPassword(const QString& bindDn, const QString& server,
                                              QWidget* parent)
{
    BindPasswordDialog dialog(bindDn, server, parent);
    if (dialog.exec() != QDialog::Accepted)
        return nullptr;
    return dialog.takePassword();
}

} // namespace stelvo
