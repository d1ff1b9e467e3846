// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "RegularFile.h"

#include <QCoreApplication>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace stelvo {

namespace {

QString whatItIs(mode_t mode)
{
    if (S_ISDIR(mode))
        return QCoreApplication::translate("RegularFile", "a folder");
    if (S_ISFIFO(mode))
        return QCoreApplication::translate("RegularFile", "a named pipe (FIFO)");
    if (S_ISCHR(mode))
        return QCoreApplication::translate("RegularFile", "a character device");
    if (S_ISBLK(mode))
        return QCoreApplication::translate("RegularFile", "a block device");
    if (S_ISSOCK(mode))
        return QCoreApplication::translate("RegularFile", "a socket");
    return QCoreApplication::translate("RegularFile", "a special file");
}

bool refuse(const QString& path, const QString& cause, QString* error)
{
    *error = QStringLiteral("%1: %2").arg(path, cause);
    return false;
}

bool refuseWithErrno(const QString& path, int code, QString* error)
{
    return refuse(path, QString::fromStdString(std::generic_category().message(code)), error);
}

bool refuseUnlessRegular(const QString& path, const struct stat& info, QString* error)
{
    if (S_ISREG(info.st_mode))
        return true;
    return refuse(path,
                  whatItIs(info.st_mode) +
                      QCoreApplication::translate("RegularFile", ", not a regular file"),
                  error);
}

bool refuseUnlessAllowed(const QString& path, const struct stat& info,
                         const RegularFileRules& rules, QString* error)
{
    if (rules.ownerOnly && (info.st_mode & 077) != 0) {
        return refuse(
            path,
            QCoreApplication::translate(
                "RegularFile", "other users may read or change it (permissions %1); make it "
                               "private to its owner with \"chmod 600 %2\"")
                .arg(QString::number(info.st_mode & 0777, 8).rightJustified(4, u'0'), path),
            error);
    }
    if (rules.maxSize >= 0 && qint64(info.st_size) > rules.maxSize)
        return refuse(
            path,
            QCoreApplication::translate("RegularFile", "larger than %1 bytes").arg(rules.maxSize),
            error);
    return true;
}

} // namespace

RegularFileReader::~RegularFileReader()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RegularFileReader::open(const QString& path, QString* error, const RegularFileRules& rules)
{
    const QByteArray local = QFile::encodeName(path);
    // Looked at before it is opened: opening a device can have effects of
    // its own (a tape rewinds, a modem line rises).
    struct stat info = {};
    if (::stat(local.constData(), &info) != 0)
        return refuseWithErrno(path, errno, error);
    if (!refuseUnlessRegular(path, info, error))
        return false;
    // O_NONBLOCK: should a FIFO have taken the file's place since, opening it
    // for reading would wait for a writer. A regular file ignores the flag.
    const int fd = ::open(local.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return refuseWithErrno(path, errno, error);
    m_fd = fd;
    if (::fstat(fd, &info) != 0)
        return refuseWithErrno(path, errno, error);
    if (!refuseUnlessRegular(path, info, error) || !refuseUnlessAllowed(path, info, rules, error))
        return false;
    m_size = qint64(info.st_size);
    m_path = path;
    m_maxSize = rules.maxSize;
    return true;
}

qsizetype RegularFileReader::read(char* buffer, qsizetype room, QString* error)
{
    ssize_t got = -1;
    do
        got = ::read(m_fd, buffer, size_t(room));
    while (got < 0 && errno == EINTR);
    if (got < 0) {
        refuseWithErrno(m_path, errno, error);
        return -1;
    }
    m_read += got;
    // The file may have grown since it was looked at.
    if (m_maxSize >= 0 && m_read > m_maxSize) {
        refuse(m_path,
               QCoreApplication::translate("RegularFile", "larger than %1 bytes").arg(m_maxSize),
               error);
        return -1;
    }
    return qsizetype(got);
}

bool readRegularFile(const QString& path, QByteArray* content, QString* error,
                     const RegularFileRules& rules)
{
    content->clear();
    RegularFileReader file;
    if (!file.open(path, error, rules))
        return false;
    constexpr qsizetype kChunk = 64 * 1024;
    // One chunk to spare, so that the read that finds the end needs no more room.
    content->reserve(qsizetype(file.size()) + kChunk);
    for (;;) {
        const qsizetype used = content->size();
        content->resize(used + kChunk);
        const qsizetype got = file.read(content->data() + used, kChunk, error);
        if (got < 0) {
            content->fill('\0');
            content->clear();
            return false;
        }
        content->resize(used + got);
        if (got == 0)
            return true;
    }
}

} // namespace stelvo
