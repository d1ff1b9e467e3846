// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "DirectoryControl.h"
#include "LdifTree.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <functional>
#include <memory>
#include <thread>

class QFileSystemWatcher;
class QTimer;

namespace stelvo {

// The directory control served from an LDIF file (or the embedded sample).
// The file is read on a worker thread when the search starts, so that even a
// large file never holds up the user interface.
//
// With live updates on, a file (not the sample) is followed once the search
// has completed: when it changes, or another file is renamed over it, it is
// read again on the worker after a short quiet time, compared there with the
// tree shown, and the differences are delivered as EntriesChanged. A file
// that cannot be read or parsed leaves the tree as it was (LiveStatus
// Behind) until it reads well again.
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
    // Reads the file again with the last search's request, on the worker.
    void Refresh() override;

    // The search's result list for a loaded tree; exposed for the benchmark
    // and the tests. Throws DirectoryError for a search the tree cannot serve.
    static QStringList search(const LdifTree& tree, const QString& context, const QString& treeName,
                              qint32 scope, const QString& classList, const QString& pattern);
    // The same search's result as entry indices, in directory order.
    static std::vector<int> select(const LdifTree& tree, const QString& context,
                                   const QString& treeName, qint32 scope, const QString& classList,
                                   const QString& pattern);

    // How long the file must stay unchanged before it is read again, so
    // that a file written in several steps is read once.
    static constexpr int kQuietMilliseconds = 200;
    // The longest a read waits for quiet once a change is seen.
    static constexpr int kLongestWaitMilliseconds = 2000;

    // The data of a Qt resource (":/...") or of a regular file. Anything else
    // (a folder, a FIFO, a device) is refused at once, without waiting on it.
    // Throws DirectoryError naming the path and the cause.
    static QByteArray readDirectory(const QString& path);

private:
    enum class Job
    {
        Search,
        Refresh,
        Follow, // read again after a change, compared with the tree shown
    };
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
        bool readIds = false;
    };
    // What the file was when it was read; another stamp means it changed.
    struct Stamp
    {
        bool exists = false;
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 modified = 0; // nanoseconds
        qint64 changed = 0;
        bool operator==(const Stamp&) const = default;
    };
    struct Outcome
    {
        std::shared_ptr<const LdifTree> tree;
        QStringList results; // a refresh's
        SearchResult result; // a search's
        DirectoryChanges changes;
        QString failure; // empty on success
        QDateTime readAt;
        Stamp stamp;
        bool unchanged = false; // Follow: the file is as it was last read
    };
    struct Work
    {
        Job job = Job::Search;
        Request request;
        Reader read;
        std::shared_ptr<const LdifTree> shown; // Follow: what to compare with
        Stamp lastStamp;
        bool force = true; // Follow: read even when the stamp is the same
    };

    static Stamp stampOf(const QString& path);
    static Outcome runJob(const Work& work, std::stop_token stop);
    static Outcome searchData(const Request& request, const Reader& read, Job job,
                              std::stop_token stop);
    static Outcome followData(const Work& work, std::stop_token stop);
    static std::optional<LdifTree> readTree(const Request& request, const Reader& read,
                                            std::stop_token stop);
    // The tree of the file or Qt resource the request names.
    static std::optional<LdifTree> parseDirectory(const Request& request, std::stop_token stop);
    void launch(Job job, bool force = true);
    void deliver(quint64 generation, Job job, Outcome outcome);
    void deliverFollow(Outcome outcome);
    // Starts the refresh or the re-read waiting for the worker, if any.
    void runPending();
    void stopWorker();
    void takeTree(Outcome& outcome);
    bool isResource() const { return m_path.startsWith(QLatin1String(":/")); }
    bool following() const { return m_watcher != nullptr; }
    void startFollowing();
    void stopFollowing();
    // Watches the file as it is now: one renamed over it is another inode.
    void watchFile();
    void fileTouched(bool itself);
    void setBehind(const QString& reason);
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

    // The last search's request, which a refresh and a re-read repeat.
    Request m_request;
    bool m_busy = false; // the worker runs a job whose outcome is awaited
    bool m_refreshPending = false;
    bool m_followPending = false;
    bool m_forcePending = false; // the file itself was seen to change
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_quiet = nullptr;
    QElapsedTimer m_touched;  // since the first change the quiet timer waits out
    Stamp m_stamp;            // of the last read, good or bad
    QDateTime m_lastGoodRead; // when the tree shown was read
};

} // namespace stelvo
