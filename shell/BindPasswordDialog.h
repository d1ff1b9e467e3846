// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "Secret.h"

#include <QDialog>
#include <memory>

class QDialogButtonBox;
class QLineEdit;

namespace stelvo {

// Asks for the password of a simple bind: the bind DN and the server are
// named, the typed text is never shown, OK stays disabled while it is empty
// (an empty password would bind anonymously).
class BindPasswordDialog : public QDialog
{
    Q_OBJECT

public:
    BindPasswordDialog(const QString& bindDn, const QString& server, QWidget* parent = nullptr);

    // The typed password as UTF-8, wiping the line edit's copy; the caller
    // owns the only one left.
    std::shared_ptr<const Secret> takePassword();

private:
    QLineEdit* m_password;
    QDialogButtonBox* m_buttons;
};

// Shows the dialog modally and blocks until it is closed: the password on
// OK, nullptr on Cancel (or when the dialog is closed otherwise).
std::shared_ptr<const Secret> askBindPassword(const QString& bindDn, const QString& server,
                                              QWidget* parent = nullptr);

} // namespace stelvo
