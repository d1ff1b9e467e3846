// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdifDirectory.h"

#include "FreeElsewhere.h"
#include "LdifTreeChanges.h"
#include "NdsMapping.h"
#include "RegularFile.h"
#include "SearchArguments.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <QMetaObject>
#include <QTimer>
#include <exception>
#include <span>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace stelvo {

namespace {

// The full names of the entries `indices` names. Directory order lists a
// container's entries together: their parent's full name is made once for
// all of them.
QStringList fullNames(const LdifTree& tree, std::span<const int> indices)
{
    QStringList names;
    names.reserve(qsizetype(indices.size()));
    int parent = -1;
    QString parentName = tree.rootName();
    for (const int index : indices) {
        if (tree.parent(index) != parent) {
            parent = tree.parent(index);
            parentName = parent < 0 ? tree.rootName() : tree.fullName(parent);
        }
        const QStringView own = tree.shortName(index);
        names << nds::childName(parentName, own);
    }
    return names;
}

// The same, a million names on two cores in about half the time: the
// second half on a thread of its own.
QStringList fullNamesOnTwoCores(const LdifTree& tree, std::span<const int> indices)
{
    constexpr size_t kWorthAThread = 100000;
    const size_t half = indices.size() >= kWorthAThread && std::thread::hardware_concurrency() > 1
                            ? indices.size() / 2
                            : indices.size();
    QStringList rest;
    std::exception_ptr failure; // out of memory on the second thread
    std::jthread second;        // joined on the way out, whatever happens
    if (half < indices.size())
        second = std::jthread([&] {
            try {
                rest = fullNames(tree, indices.subspan(half));
            } catch (...) {
                failure = std::current_exception();
            }
        });
    QStringList results = fullNames(tree, indices.first(half));
    if (second.joinable()) {
        second.join();
        if (failure)
            std::rethrow_exception(failure);
        results.append(std::move(rest));
    }
    return results;
}

// The search's result as the tree holds it: each name made when asked for.
class CompactResult final : public SearchResult::Source
{
public:
    CompactResult(std::shared_ptr<const LdifTree> tree, std::vector<int> found)
        : m_tree(std::move(tree)), m_found(std::move(found))
    {
        for (size_t at = 0; at < m_found.size(); ++at) {
            if (m_tree->isContainerKind(m_found[at]))
                m_containers.insert(m_found[at], qsizetype(at));
        }
    }

    qsizetype size() const override { return qsizetype(m_found.size()); }
    QString name(qsizetype at) const override { return m_tree->fullName(m_found[size_t(at)]); }
    // As ldif::entryOf gives it.
    SearchResult::Entry entry(qsizetype at) const override
    {
        const int index = m_found[size_t(at)];
        const int parent = m_tree->parent(index);
        return SearchResult::Entry{
            m_tree->isContainerKind(index), parent < 0 ? -1 : m_containers.value(parent, -1),
            m_tree->shortName(index), m_tree->hostName(index), m_tree->id(index)};
    }

private:
    std::shared_ptr<const LdifTree> m_tree;
    std::vector<int> m_found;
    QHash<int, qsizetype> m_containers; // by entry: its place among the results
};

} // namespace

LdifDirectory::LdifDirectory(const QString& path, const QString& context, QObject* parent)
    : LdifDirectory(path, context, Reader(), parent)
{}

LdifDirectory::LdifDirectory(const QString& path, const QString& context, Reader reader,
                             QObject* parent)
    : DirectoryControl(parent), m_path(path), m_context(context), m_read(std::move(reader))
{}

LdifDirectory::~LdifDirectory()
{
    stopWorker();
}

void LdifDirectory::stopWorker()
{
    if (!m_worker.joinable())
        return;
    m_worker.request_stop();
    m_worker.join();
}

QByteArray LdifDirectory::readDirectory(const QString& path)
{
    if (path.startsWith(QLatin1String(":/"))) {
        QFile resource(path);
        if (!resource.open(QIODevice::ReadOnly))
            throw DirectoryError(QStringLiteral("%1: %2").arg(path, resource.errorString()));
        return resource.readAll();
    }
    QByteArray data;
    QString error;
    if (!readRegularFile(QDir::toNativeSeparators(path), &data, &error))
        throw DirectoryError(error);
    return data;
}

std::optional<LdifTree> LdifDirectory::parseDirectory(const Request& request, std::stop_token stop)
{
    const QString shown = QDir::toNativeSeparators(request.path);
    const QString treeName = TreeNameOf(request.context);
    if (request.path.startsWith(QLatin1String(":/")))
        return LdifTree::parse(readDirectory(request.path), shown, treeName, request.classes,
                               request.hostAttribute, request.readIds, std::move(stop));
    // Read in pieces: a large export is never all in memory at once.
    RegularFileReader file;
    QString error;
    if (!file.open(shown, &error))
        throw DirectoryError(error);
    const LdifTree::Source source = [&file](char* buffer, qsizetype room) {
        QString failure;
        const qsizetype got = file.read(buffer, room, &failure);
        if (got < 0)
            throw DirectoryError(failure);
        return got;
    };
    return LdifTree::parse(source, file.size(), shown, treeName, request.classes,
                           request.hostAttribute, request.readIds, std::move(stop));
}

QStringList LdifDirectory::search(const LdifTree& tree, const QString& context,
                                  const QString& treeName, qint32 scope, const QString& classList,
                                  const QString& pattern)
{
    return fullNamesOnTwoCores(tree, select(tree, context, treeName, scope, classList, pattern));
}

std::vector<int> LdifDirectory::select(const LdifTree& tree, const QString& context,
                                       const QString& treeName, qint32 scope,
                                       const QString& classList, const QString& pattern)
{
    QString error;
    const QString contextTree = contextTreeName(context, &error);
    if (contextTree.isEmpty())
        throw DirectoryError(error);
    const SearchArguments arguments =
        SearchArguments::check(contextTree, treeName, scope, classList);
    if (!arguments.ok())
        throw DirectoryError(arguments.message);
    QStringList contextPath;
    if (!contextComponents(context, contextTree, &contextPath, &error))
        throw DirectoryError(error);
    if (!contextPath.isEmpty() && tree.find(context) < 0)
        throw DirectoryError(QCoreApplication::translate(
                                 "LdifDirectory", "The directory does not hold the context \"%1\".")
                                 .arg(context));

    const bool everyName = pattern == QLatin1String("*");
    std::vector<int> found;
    found.reserve(size_t(tree.count()));
    for (const int index : tree.directoryOrder()) {
        // scope 0 is the tree root itself, which is no entry of its own.
        if (arguments.scope == SearchScope::TreeRoot ||
            (arguments.scope == SearchScope::OneLevel && tree.parent(index) >= 0))
            continue;
        if (arguments.kinds.contains(tree.kind(index)) &&
            (everyName || nds::matchesPattern(tree.shortName(index).toString(), pattern)))
            found.push_back(index);
    }
    return found;
}

void LdifDirectory::StartSearch(const QString& treeName, qint32 scope, const QString& classList,
                                const QString& pattern)
{
    stopWorker();
    stopFollowing();
    ++m_generation;
    m_refreshPending = false;
    // Ids cost 16 bytes an entry and only serve to follow renames.
    m_request = Request{m_path,
                        m_context,
                        treeName,
                        scope,
                        classList,
                        pattern,
                        SearchAttribute(),
                        SearchFlag(),
                        m_classes,
                        m_hostAttribute,
                        liveUpdates() && !isResource()};
    launch(Job::Search);
}

void LdifDirectory::Refresh()
{
    if (!m_tree) {
        DirectoryControl::Refresh();
        return;
    }
    if (following())
        watchFile(); // in case it was lost with the file
    m_refreshPending = true;
    runPending();
}

void LdifDirectory::runPending()
{
    if (m_busy)
        return;
    if (m_refreshPending) {
        // A refresh reads the file as it is now: a re-read waiting is done
        // with it.
        m_refreshPending = m_followPending = m_forcePending = false;
        launch(Job::Refresh);
    } else if (m_followPending) {
        const bool force = m_forcePending;
        m_followPending = m_forcePending = false;
        launch(Job::Follow, force);
    }
}

void LdifDirectory::launch(Job job, bool force)
{
    m_busy = true;
    const quint64 generation = m_generation;
    Work work{job, m_request, m_read, job == Job::Follow ? m_tree : nullptr, m_stamp, force};
    m_worker = std::jthread([this, work = std::move(work), generation](std::stop_token stop) {
        Outcome outcome = runJob(work, stop);
        if (stop.stop_requested())
            return;
        // Delivered on the control's own thread, where a newer search drops it.
        QMetaObject::invokeMethod(
            this,
            [this, generation, job = work.job, outcome = std::move(outcome)]() mutable {
                deliver(generation, job, std::move(outcome));
            },
            Qt::QueuedConnection);
    });
}

LdifDirectory::Stamp LdifDirectory::stampOf(const QString& path)
{
    struct stat status = {};
    if (path.startsWith(QLatin1String(":/")) ||
        ::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return Stamp{true,
                 quint64(status.st_dev),
                 quint64(status.st_ino),
                 qint64(status.st_size),
                 qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec,
                 qint64(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec};
}

LdifDirectory::Outcome LdifDirectory::runJob(const Work& work, std::stop_token stop)
{
    // Nothing may escape the worker: an exception there would end the program.
    Outcome failed;
    failed.stamp = stampOf(work.request.path);
    QString cause;
    try {
        return work.job == Job::Follow
                   ? followData(work, std::move(stop))
                   : searchData(work.request, work.read, work.job, std::move(stop));
    } catch (const DirectoryError& error) {
        failed.failure = error.message();
        return failed;
    } catch (...) {
        cause = currentExceptionReason();
    }
    failed.failure = QCoreApplication::translate("LdifDirectory", "%1 cannot be read: %2.")
                         .arg(QDir::toNativeSeparators(work.request.path), cause);
    return failed;
}

std::optional<LdifTree> LdifDirectory::readTree(const Request& request, const Reader& read,
                                                std::stop_token stop)
{
    return read ? LdifTree::parse(read(request.path), QDir::toNativeSeparators(request.path),
                                  TreeNameOf(request.context), request.classes,
                                  request.hostAttribute, request.readIds, std::move(stop))
                : parseDirectory(request, std::move(stop));
}

LdifDirectory::Outcome LdifDirectory::searchData(const Request& request, const Reader& read,
                                                 Job job, std::stop_token stop)
{
    if (request.attribute.compare(QLatin1String("CN"), Qt::CaseInsensitive) != 0)
        throw DirectoryError(QCoreApplication::translate(
                                 "LdifDirectory", "Searching by attribute \"%1\" is not supported.")
                                 .arg(request.attribute));
    Outcome outcome;
    // Taken before the read: a change made while it reads shows later.
    outcome.stamp = stampOf(request.path);
    outcome.readAt = QDateTime::currentDateTime();
    std::optional<LdifTree> tree = readTree(request, read, std::move(stop));
    if (!tree)
        return {};
    outcome.tree = std::make_shared<const LdifTree>(std::move(*tree));
    if (job == Job::Search && request.fullNames) {
        outcome.result = SearchResult(std::make_shared<const CompactResult>(
            outcome.tree, select(*outcome.tree, request.context, request.treeName, request.scope,
                                 request.classList, request.pattern)));
        return outcome;
    }
    outcome.results = search(*outcome.tree, request.context, request.treeName, request.scope,
                             request.classList, request.pattern);
    if (!request.fullNames) {
        for (QString& name : outcome.results)
            name = nds::lastComponent(name).toString();
    }
    outcome.result = SearchResult(outcome.results);
    return outcome;
}

LdifDirectory::Outcome LdifDirectory::followData(const Work& work, std::stop_token stop)
{
    Outcome outcome;
    outcome.stamp = stampOf(work.request.path);
    // Anything else in the folder changing tells only that the file may
    // have: its stamp says whether it did.
    if (!work.force && outcome.stamp == work.lastStamp && outcome.stamp.exists) {
        outcome.unchanged = true;
        return outcome;
    }
    outcome.readAt = QDateTime::currentDateTime();
    const Request& request = work.request;
    std::optional<LdifTree> tree = readTree(request, work.read, std::move(stop));
    if (!tree)
        return {};
    const auto found = [&request](const LdifTree& searched) {
        return select(searched, request.context, request.treeName, request.scope, request.classList,
                      request.pattern);
    };
    outcome.changes = ldif::changesBetween(*work.shown, found(*work.shown), *tree, found(*tree));
    outcome.tree = std::make_shared<const LdifTree>(std::move(*tree));
    return outcome;
}

void LdifDirectory::takeTree(Outcome& outcome)
{
    // The tree replaced may be as large as the new one: freed off this thread.
    freeElsewhere(std::exchange(m_tree, std::move(outcome.tree)));
    m_cursor = 0;
    m_lastGoodRead = outcome.readAt;
    setLeftOut(m_tree->leftOut());
}

void LdifDirectory::deliver(quint64 generation, Job job, Outcome outcome)
{
    if (generation != m_generation)
        return;
    m_busy = false;
    m_stamp = outcome.stamp;
    switch (job) {
    case Job::Search:
        if (!outcome.failure.isEmpty()) {
            setLeftOut({});
            emit SearchFailed(m_failureNote.isEmpty() ? outcome.failure
                                                      : outcome.failure + u' ' + m_failureNote);
            break;
        }
        takeTree(outcome);
        emit SearchCompleted(outcome.result);
        // A receiver may have started another search.
        if (generation == m_generation && liveUpdates())
            startFollowing();
        break;
    case Job::Refresh:
        if (!outcome.failure.isEmpty()) {
            if (following())
                setBehind(outcome.failure);
            emit RefreshFailed(outcome.failure);
        } else {
            takeTree(outcome);
            if (following())
                setLiveStatus(LiveStatus{LiveStatus::State::Live, {}, {}});
            emit RefreshCompleted(outcome.results);
        }
        break;
    case Job::Follow:
        deliverFollow(std::move(outcome));
        break;
    }
    if (generation == m_generation)
        runPending();
}

void LdifDirectory::deliverFollow(Outcome outcome)
{
    if (outcome.unchanged)
        return;
    if (!outcome.failure.isEmpty()) {
        // A read that a newer change already follows may have met the file
        // half written: only the newer read tells.
        if (!m_followPending)
            setBehind(outcome.failure);
        return;
    }
    takeTree(outcome);
    const quint64 generation = m_generation;
    if (!outcome.changes.changes.isEmpty())
        emit EntriesChanged(outcome.changes);
    if (generation == m_generation)
        setLiveStatus(LiveStatus{LiveStatus::State::Live, {}, {}});
}

void LdifDirectory::setBehind(const QString& reason)
{
    setLiveStatus(LiveStatus{LiveStatus::State::Behind, m_lastGoodRead, reason});
}

void LdifDirectory::startFollowing()
{
    // The sample is part of the program: it never changes.
    if (isResource())
        return;
    m_watcher = new QFileSystemWatcher(this);
    m_quiet = new QTimer(this);
    m_quiet->setSingleShot(true);
    m_quiet->setInterval(kQuietMilliseconds);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { fileTouched(true); });
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { fileTouched(false); });
    connect(m_quiet, &QTimer::timeout, this, [this] {
        watchFile();
        m_followPending = true;
        runPending();
    });
    // The folder tells of a file renamed over this one, or deleted and made
    // again, which the file's own watch (on its inode) never sees.
    const QString folder = QFileInfo(m_path).absolutePath();
    const bool folderWatched = m_watcher->addPath(folder);
    watchFile();
    if (!folderWatched && m_watcher->files().isEmpty()) {
        stopFollowing();
        setLiveStatus(LiveStatus{
            LiveStatus::State::Off,
            {},
            QCoreApplication::translate("LdifDirectory",
                                        "Changes to %1 are not followed: the system would not "
                                        "watch it or its folder. Press F5 to read it again.")
                .arg(QDir::toNativeSeparators(m_path))});
        return;
    }
    setLiveStatus(LiveStatus{LiveStatus::State::Live, {}, {}});
    // A change made since the search read the file shows in its stamp.
    m_followPending = true;
    runPending();
}

void LdifDirectory::stopFollowing()
{
    delete m_watcher;
    m_watcher = nullptr;
    delete m_quiet;
    m_quiet = nullptr;
    m_followPending = m_forcePending = false;
    setLiveStatus(LiveStatus{});
}

void LdifDirectory::watchFile()
{
    if (!m_watcher->files().isEmpty())
        m_watcher->removePaths(m_watcher->files());
    if (QFileInfo::exists(m_path))
        m_watcher->addPath(m_path);
}

void LdifDirectory::fileTouched(bool itself)
{
    m_forcePending = m_forcePending || itself;
    // The quiet time counts from the last change; but a folder where some
    // other file changes all the time must not put the read off for ever.
    if (!m_quiet->isActive())
        m_touched.start();
    if (m_touched.elapsed() < kLongestWaitMilliseconds)
        m_quiet->start();
}

int LdifDirectory::findEntry(const QString& ndsFullName, bool* exact)
{
    *exact = false;
    if (!m_tree)
        return -1;
    // Building the tree asks for every result in turn, in directory order:
    // looking just past the last answer first finds most names without
    // taking them apart.
    constexpr size_t kLookAhead = 16;
    const auto& order = m_tree->directoryOrder();
    for (size_t place = m_cursor; place < order.size() && place < m_cursor + kLookAhead; ++place) {
        if (m_tree->isNamed(order[place], ndsFullName)) {
            *exact = true;
            m_cursor = place + 1;
            return order[place];
        }
    }
    const int index = m_tree->find(ndsFullName);
    if (index >= 0)
        m_cursor = m_tree->placeOf(index) + 1;
    return index;
}

DirectoryEntry LdifDirectory::EntryByName(const QString& ndsFullName)
{
    bool exact = false;
    const int index = findEntry(ndsFullName, &exact);
    if (index < 0)
        throw MissingEntryError(
            QCoreApplication::translate("LdifDirectory", "%1 is not in the directory.")
                .arg(ndsFullName));
    // The name as the file spells it, which is most often the name asked for.
    return ldif::entryOf(*m_tree, index,
                         exact || m_tree->isNamed(index, ndsFullName) ? ndsFullName : QString());
}

} // namespace stelvo
