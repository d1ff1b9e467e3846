// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "BindPasswordSource.h"
#include "Secret.h"

#include <QDialog>
#include <memory>

class QCheckBox;
class QDialogButtonBox;
class QLineEdit;

namespace stelvo {

// Asks for the password of a simple bind: the bind DN and the server are
// named, the typed text is never shown, OK stays disabled while it is empty
// (an empty password would bind anonymously). When the keyring can keep
// the password a box offers to remember it; otherwise the dialog says that
// the password is not kept. A kept or typed password the server refused is
// said above the field.
class BindPasswordDialog : public QDialog
{
    Q_OBJECT

public:
    BindPasswordDialog(const QString& bindDn, const QString& server, QWidget* parent = nullptr);
    BindPasswordDialog(const QString& bindDn, const QString& server,
                       const PasswordQuestion& question, QWidget* parent = nullptr);

    // The typed password as UTF-8, wiping the line edit's copy; the caller
    // owns the only one left.
    std::shared_ptr<const Secret> takePassword();
    // Whether the user asked to keep the password in the keyring.
    bool remember() const;

private:
    QLineEdit* m_password;
    QCheckBox* m_remember = nullptr; // none when nothing can be kept
    QDialogButtonBox* m_buttons;
};

// Shows the dialog modally and blocks until it is closed: the password on
// OK, nullptr on Cancel (or when the dialog is closed otherwise).
std::shared_ptr<const Secret> askBindPassword(const QString& bindDn, const QString& server,
                                              QWidget* parent = nullptr);
// The same with the keyring's part: the password (nullptr on Cancel) and
// whether to remember it.
PasswordAnswer askBindPassword(const QString& bindDn, const QString& server,
                               const PasswordQuestion& question, QWidget* parent = nullptr);

// Warns that the keyring did not keep the password the user asked it to
// remember, and why; the program goes on with the password.
void sayPasswordNotKept(const QString& reason, QWidget* parent = nullptr);

} // namespace stelvo
