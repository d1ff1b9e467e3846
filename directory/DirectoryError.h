// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <stdexcept>

namespace stelvo {

// Raised by the directory control when a call cannot be served: the entry is
// not in the directory, the server cannot be reached, the data is malformed.
// The message is meant for the administrator and names the cause.
class DirectoryError : public std::runtime_error
{
public:
    explicit DirectoryError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {}
    const QString& message() const { return m_message; }

private:
    QString m_message;
};

// The entry asked for is not in the directory, which could be asked: it has
// gone (or never was), unlike a directory that cannot answer.
class MissingEntryError : public DirectoryError
{
public:
    using DirectoryError::DirectoryError;
};

// Why the exception being handled was thrown, for a message: "out of
// memory" for std::bad_alloc, the what() text of another standard exception,
// "an unexpected error" for anything else. Call only inside a catch block.
QString currentExceptionReason();

} // namespace stelvo
