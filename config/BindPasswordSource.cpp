// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "BindPasswordSource.h"

#include "DirectoryError.h"

#include <QtGlobal>

namespace stelvo {

BindPassword bindPassword(PasswordStore& store, const QString& server, const QString& bindDn,
                          const AskPassword& ask, const CheckPassword& check)
{
    using Refusal = PasswordQuestion::Refusal;
    const PasswordStore::Lookup kept = store.read(server, bindDn);
    PasswordQuestion question;
    question.canRemember = kept.status != PasswordStore::Status::Unavailable;
    question.notKept = kept.reason;
    QString error;
    if (kept.status == PasswordStore::Status::Found) {
        switch (check(kept.password, &error)) {
        case BindCheck::Accepted:
            return {kept.password, {}};
        case BindCheck::Failed:
            throw DirectoryError(error);
        case BindCheck::Refused:
            question.refused = Refusal::Stored;
            question.remember = true; // as the user chose when it was kept
            break;
        }
    }
    for (;;) {
        PasswordAnswer answer = ask(question);
        if (!answer.password)
            return {};
        if (!question.canRemember || !answer.remember) {
            // A kept password the server refused is of no use any more.
            QString reason;
            if (kept.status == PasswordStore::Status::Found &&
                !store.remove(server, bindDn, &reason))
                qWarning("The refused password of %s on %s stays in the keyring: %s",
                         qUtf8Printable(bindDn), qUtf8Printable(server), qUtf8Printable(reason));
            return {std::move(answer.password), {}};
        }
        switch (check(answer.password, &error)) {
        case BindCheck::Accepted: {
            BindPassword result{std::move(answer.password), {}};
            store.write(server, bindDn, *result.password, &result.notStored);
            return result;
        }
        case BindCheck::Failed:
            throw DirectoryError(error);
        case BindCheck::Refused:
            question.refused = Refusal::Typed;
            question.remember = true;
            break;
        }
    }
}

} // namespace stelvo
