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

struct FileDescriptor
{
    int fd = -1;
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

bool readToEnd(int fd, const QString& path, qint64 expectedSize, qint64 maxSize,
               QByteArray* content, QString* error)
{
    constexpr qsizetype kChunk = 64 * 1024;
    // One chunk to spare, so that the read that finds the end needs no more room.
    content->reserve(qsizetype(expectedSize) + kChunk);
    for (;;) {
        const qsizetype used = content->size();
        content->resize(used + kChunk);
        const ssize_t got = ::read(fd, content->data() + used, size_t(kChunk));
        if (got < 0 && errno == EINTR) {
            content->resize(used);
            continue;
        }
        if (got < 0) {
            const int code = errno;
            content->clear();
            return refuseWithErrno(path, code, error);
        }
        content->resize(used + got);
        if (got == 0)
            return true;
        // The file may have grown since it was looked at.
        if (maxSize >= 0 && content->size() > maxSize) {
            content->fill('\0');
            content->clear();
            return refuse(
                path,
                QCoreApplication::translate("RegularFile", "larger than %1 bytes").arg(maxSize),
                error);
        }
    }
}

} // namespace

bool readRegularFile(const QString& path, QByteArray* content, QString* error,
                     const RegularFileRules& rules)
{
    content->clear();
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
    FileDescriptor file;
    file.fd = ::open(local.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file.fd < 0)
        return refuseWithErrno(path, errno, error);
    if (::fstat(file.fd, &info) != 0)
        return refuseWithErrno(path, errno, error);
    if (!refuseUnlessRegular(path, info, error) || !refuseUnlessAllowed(path, info, rules, error))
        return false;
    return readToEnd(file.fd, path, qint64(info.st_size), rules.maxSize, content, error);
}

} // namespace stelvo
