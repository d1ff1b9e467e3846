// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "PasswordStore.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <qt6keychain/keychain.h>

namespace stelvo {

namespace {

// Whether there is a session bus to ask. Without one, libsecret's D-Bus
// library would try to start a bus of its own for the X display, which
// outlives the program: better to say that nothing is kept.
bool hasSessionBus(QString* reason)
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus")))
        return true;
    *reason = QCoreApplication::translate("PasswordStore", "there is no D-Bus session");
    return false;
}

// Runs `job` and waits at most `timeout` for it. A job that has not
// finished then is left to delete itself whenever it does: the keyring may
// still call back into it.
bool finishJob(QKeychain::Job* job, std::chrono::milliseconds timeout, QString* reason)
{
    job->setAutoDelete(false);
    job->setInsecureFallback(false); // never a plain-text file
    QEventLoop loop;
    bool finished = false;
    const QMetaObject::Connection done =
        QObject::connect(job, &QKeychain::Job::finished, &loop, [&finished, &loop] {
            finished = true;
            loop.quit();
        });
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    job->start();
    if (!finished) // a quit() before exec() would be lost
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    QObject::disconnect(done);
    if (!finished) {
        job->setAutoDelete(true);
        *reason =
            QCoreApplication::translate("PasswordStore", "the keyring did not answer in time");
        return false;
    }
    return true;
}

void wipe(QString* text)
{
    std::fill(text->begin(), text->end(), QChar(0));
    text->clear();
}

void wipe(QByteArray* bytes)
{
    std::fill(bytes->begin(), bytes->end(), '\0');
    bytes->clear();
}

} // namespace

KeychainPasswordStore::KeychainPasswordStore(std::chrono::milliseconds timeout) : m_timeout(timeout)
{}

QString KeychainPasswordStore::serviceOf(const QString& server)
{
    return QStringLiteral("Stelvo ") + server;
}

PasswordStore::Lookup KeychainPasswordStore::read(const QString& server, const QString& bindDn)
{
    Lookup lookup;
    if (!hasSessionBus(&lookup.reason))
        return lookup;
    auto* job = new QKeychain::ReadPasswordJob(serviceOf(server));
    job->setKey(bindDn);
    if (!finishJob(job, m_timeout, &lookup.reason))
        return lookup;
    switch (job->error()) {
    case QKeychain::NoError: {
        QString text = job->textData();
        QByteArray bytes = text.toUtf8();
        wipe(&text);
        delete job;
        lookup.status = Status::Found;
        lookup.password = std::make_shared<const Secret>(bytes);
        wipe(&bytes);
        return lookup;
    }
    case QKeychain::EntryNotFound:
        lookup.status = Status::Missing;
        break;
    default:
        lookup.reason = job->errorString();
        break;
    }
    delete job;
    return lookup;
}

bool KeychainPasswordStore::write(const QString& server, const QString& bindDn,
                                  const Secret& password, QString* reason)
{
    if (!hasSessionBus(reason))
        return false;
    auto* job = new QKeychain::WritePasswordJob(serviceOf(server));
    job->setKey(bindDn);
    QByteArray bytes = password.copy();
    QString text = QString::fromUtf8(bytes);
    wipe(&bytes);
    job->setTextData(text);
    wipe(&text);
    if (!finishJob(job, m_timeout, reason))
        return false;
    const bool stored = job->error() == QKeychain::NoError;
    if (!stored)
        *reason = job->errorString();
    delete job;
    return stored;
}

bool KeychainPasswordStore::remove(const QString& server, const QString& bindDn, QString* reason)
{
    if (!hasSessionBus(reason))
        return false;
    auto* job = new QKeychain::DeletePasswordJob(serviceOf(server));
    job->setKey(bindDn);
    if (!finishJob(job, m_timeout, reason))
        return false;
    const bool removed =
        job->error() == QKeychain::NoError || job->error() == QKeychain::EntryNotFound;
    if (!removed)
        *reason = job->errorString();
    delete job;
    return removed;
}

} // namespace stelvo
