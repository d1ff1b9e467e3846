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

} // namespace stelvo
