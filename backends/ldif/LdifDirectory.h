// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "DirectoryControl.h"
#include "LdifTree.h"

#include <functional>
#include <memory>
#include <thread>

namespace stelvo {

// The directory control served from an LDIF file (or the embedded sample).
// The file is read on a worker thread when the search starts, so that even a
// large file never holds up the user interface.
class LdifDirectory : public DirectoryControl
{
    Q_OBJECT

public:
    // Gives the directory's data for `path`. Called on the worker thread; may
    // throw (DirectoryError with a message for the administrator).
    using Reader = std::function<QByteArray(const QString& path)>;

    // `path` may name a Qt resource (":/..."); any other path must name a
    // regular file (refused as readDirectory refuses), which is read a few
    // megabytes at a time. `context` is the initial NDS context; its tree is
    // the tree this directory holds.
    LdifDirectory(const QString& path, const QString& context, QObject* parent = nullptr);
    // The same, with the data read whole by `reader`.
    LdifDirectory(const QString& path, const QString& context, Reader reader,
                  QObject* parent = nullptr);
    // Stops a search under way at its next record and waits only for that;
    // its result is never delivered.
    ~LdifDirectory() override;

    // A sentence added to every search failure, saying why this directory
    // was the one searched.
    void setFailureNote(const QString& note) { m_failureNote = note; }
    // The site's classes of workstations and containers (default: the
    // defaults of nds::ClassMapping); used from the next search on.
    void setClassMapping(const nds::ClassMapping& classes) { m_classes = classes; }
    // The attribute whose first value EntryByName gives as a workstation's
    // host name (none by default); used from the next search on.
    void setHostNameAttribute(const QString& attribute) { m_hostAttribute = attribute.toUtf8(); }

    QString ContextPath() const override { return m_context; }
    // A search still under way is stopped; only the latest search's result is
    // ever delivered. Any failure on the worker, running out of memory
    // included, is delivered as SearchFailed.
    void StartSearch(const QString& treeName, qint32 scope, const QString& classList,
                     const QString& pattern) override;
    DirectoryEntry EntryByName(const QString& ndsFullName) override;

    // The search's result list for a loaded tree; exposed for the benchmark
    // and the tests. Throws DirectoryError for a search the tree cannot serve.
    static QStringList search(const LdifTree& tree, const QString& context, const QString& treeName,
                              qint32 scope, const QString& classList, const QString& pattern);

    // The data of a Qt resource (":/...") or of a regular file. Anything else
    // (a folder, a FIFO, a device) is refused at once, without waiting on it.
    // Throws DirectoryError naming the path and the cause.
    static QByteArray readDirectory(const QString& path);

private:
    struct Request
    {
        QString path;
        QString context;
        QString treeName;
        qint32 scope = 0;
        QString classList;
        QString pattern;
        QString attribute;
        bool fullNames = true;
        nds::ClassMapping classes;
        QByteArray hostAttribute;
    };
    struct Outcome
    {
        std::shared_ptr<const LdifTree> tree;
        QStringList results;
        QString failure; // empty on success
    };

    static Outcome runSearch(const Request& request, const Reader& read, std::stop_token stop);
    static Outcome searchData(const Request& request, const Reader& read, std::stop_token stop);
    // The tree of the file or Qt resource the request names.
    static std::optional<LdifTree> parseDirectory(const Request& request, std::stop_token stop);
    void deliver(quint64 generation, Outcome outcome);
    void stopWorker();
    // The entry named `ndsFullName`, or -1; `exact` tells whether it is
    // spelled as the file spells it.
    int findEntry(const QString& ndsFullName, bool* exact);

    QString m_path;
    QString m_context;
    QString m_failureNote;
    nds::ClassMapping m_classes;
    QByteArray m_hostAttribute;
    Reader m_read;

    std::shared_ptr<const LdifTree> m_tree;
    // The place in directory order just past the last entry asked for.
    size_t m_cursor = 0;
    // Counts the searches started; a result carries the count of its own
    // search, so that a superseded one is recognized when it arrives.
    quint64 m_generation = 0;
    std::jthread m_worker;
};

} // namespace stelvo
