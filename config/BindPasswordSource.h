// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "BindCheck.h"
#include "PasswordStore.h"
#include "Secret.h"

#include <QString>
#include <functional>
#include <memory>

namespace stelvo {

// What the password dialog is asked to show.
struct PasswordQuestion
{
    enum class Refusal
    {
        None,
        Stored, // the password kept in the keyring was refused
        Typed   // the password typed last was refused
    };
    bool canRemember = false; // the keyring can keep the password
    bool remember = false;    // the "remember" box starts ticked
    Refusal refused = Refusal::None;
    QString notKept; // why nothing can be kept, when !canRemember
};

struct PasswordAnswer
{
    std::shared_ptr<const Secret> password; // nullptr: cancelled
    bool remember = false;
};

// The bind password for `bindDn` on `server`, and what became of keeping it.
struct BindPassword
{
    std::shared_ptr<const Secret> password; // nullptr: the user cancelled
    QString notStored; // why a password the user asked to remember was not kept
};

using AskPassword = std::function<PasswordAnswer(const PasswordQuestion&)>;
using CheckPassword =
    std::function<BindCheck(const std::shared_ptr<const Secret>& password, QString* error)>;

// Where the password of a simple bind comes from at start-up:
//  - a password kept in `store` is checked with `check` and used when the
//    server accepts it, without asking;
//  - otherwise `ask` is asked, saying when the kept password was refused;
//  - a password the user asks to remember is checked first and kept only
//    once the server accepts it (a refused one is asked for again, with
//    the box still ticked); it replaces the refused one;
//  - a password typed without asking to remember is not checked here (the
//    search binds with it as ever) and a refused kept password is then
//    forgotten.
// Throws DirectoryError with the check's message when the server could not
// be asked (the start-up would fail the same way).
BindPassword bindPassword(PasswordStore& store, const QString& server, const QString& bindDn,
                          const AskPassword& ask, const CheckPassword& check);

} // namespace stelvo
