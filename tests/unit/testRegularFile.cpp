// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "RegularFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace stelvo;

namespace {

enum class Make
{
    Regular,
    Empty,
    LinkToRegular,
    Folder,
    Fifo,
    LinkToFifo,
    Socket,
    Missing,
    DanglingLink,
};

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

bool makeSocket(const QString& path, int* fd)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray local = QFile::encodeName(path);
    if (size_t(local.size()) >= sizeof(address.sun_path))
        return false;
    std::copy(local.begin(), local.end(), address.sun_path);
    *fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    return *fd >= 0 && ::bind(*fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
           ::listen(*fd, 1) == 0;
}

// Makes `path` the kind of thing the row asks for; `content` for a file.
bool make(Make kind, const QString& path, const QByteArray& content, int* socketFd)
{
    const QString target = path + QStringLiteral(".target");
    switch (kind) {
    case Make::Regular:
        writeFile(path, content);
        return true;
    case Make::Empty:
        writeFile(path, {});
        return true;
    case Make::LinkToRegular:
        writeFile(target, content);
        return QFile::link(target, path);
    case Make::Folder:
        return ::mkdir(QFile::encodeName(path).constData(), 0700) == 0;
    case Make::Fifo:
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    case Make::LinkToFifo:
        return ::mkfifo(QFile::encodeName(target).constData(), 0600) == 0 &&
               QFile::link(target, path);
    case Make::Socket:
        return makeSocket(path, socketFd);
    case Make::Missing:
        return true;
    case Make::DanglingLink:
        return QFile::link(target, path);
    }
    return false;
}

} // namespace

class TestRegularFile : public QObject
{
    Q_OBJECT

private slots:
    void onlyRegularFilesAreRead_data()
    {
        QTest::addColumn<Make>("kind");
        QTest::addColumn<QString>("error"); // after "<path>: "; empty when read
        // clang-format off
        QTest::newRow("regular") << Make::Regular << "";
        QTest::newRow("empty") << Make::Empty << "";
        QTest::newRow("link to regular") << Make::LinkToRegular << "";
        QTest::newRow("folder") << Make::Folder << "a folder, not a regular file";
        QTest::newRow("fifo") << Make::Fifo << "a named pipe (FIFO), not a regular file";
        QTest::newRow("link to fifo") << Make::LinkToFifo << "a named pipe (FIFO), not a regular file";
        QTest::newRow("socket") << Make::Socket << "a socket, not a regular file";
        QTest::newRow("missing") << Make::Missing << "No such file or directory";
        QTest::newRow("dangling link") << Make::DanglingLink << "No such file or directory";
        // clang-format on
    }

    void onlyRegularFilesAreRead()
    {
        QFETCH(Make, kind);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f"));
        // More than one read's worth, with bytes a text read would change.
        QByteArray content(200000, 'x');
        content.insert(100, QByteArray("\0\r\n\xff", 4));
        int socketFd = -1;
        QVERIFY(make(kind, path, content, &socketFd));
        QByteArray read = "stale";
        QString message;
        const bool ok = readRegularFile(path, &read, &message);
        if (socketFd >= 0)
            ::close(socketFd);
        if (error.isEmpty()) {
            QVERIFY2(ok, qPrintable(message));
            QCOMPARE(read, kind == Make::Empty ? QByteArray() : content);
        } else {
            QVERIFY(!ok);
            QVERIFY(read.isEmpty());
            QCOMPARE(message, path + QStringLiteral(": ") + error);
        }
    }

    void devicesAreRefusedUnread_data()
    {
        QTest::addColumn<QString>("path");
        // /dev/zero would never end; /dev/tty may not be openable at all.
        // clang-format off
        QTest::newRow("endless") << "/dev/zero";
        QTest::newRow("terminal") << "/dev/tty";
        // clang-format on
    }

    void devicesAreRefusedUnread()
    {
        QFETCH(QString, path);
        QByteArray read;
        QString message;
        QVERIFY(!readRegularFile(path, &read, &message));
        QCOMPARE(message, path + QStringLiteral(": a character device, not a regular file"));
    }
};

QTEST_GUILESS_MAIN(TestRegularFile)
#include "testRegularFile.moc"
