// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdifDirectory.h"

#include "NdsMapping.h"
#include "RegularFile.h"
#include "SearchArguments.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <exception>
#include <span>
#include <thread>
#include <vector>

namespace stelvo {

namespace {

// Made once: every lookup hands one out.
const QString& classNameOf(nds::Kind kind)
{
    static const QString other = nds::systemClassName(nds::Kind::Other);
    static const QString workstation = nds::systemClassName(nds::Kind::Workstation);
    static const QString unit = nds::systemClassName(nds::Kind::OrganizationalUnit);
    static const QString container = nds::systemClassName(nds::Kind::Container);
    switch (kind) {
    case nds::Kind::Workstation:
        return workstation;
    case nds::Kind::OrganizationalUnit:
        return unit;
    case nds::Kind::Container:
        return container;
    case nds::Kind::Other:
        break;
    }
    return other;
}

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
                               request.hostAttribute, std::move(stop));
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
                           request.hostAttribute, std::move(stop));
}

QStringList LdifDirectory::search(const LdifTree& tree, const QString& context,
                                  const QString& treeName, qint32 scope, const QString& classList,
                                  const QString& pattern)
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
    return fullNamesOnTwoCores(tree, found);
}

void LdifDirectory::StartSearch(const QString& treeName, qint32 scope, const QString& classList,
                                const QString& pattern)
{
    stopWorker();
    const quint64 generation = ++m_generation;
    Request request{m_path,  m_context,         treeName,     scope,     classList,
                    pattern, SearchAttribute(), SearchFlag(), m_classes, m_hostAttribute};
    m_worker = std::jthread(
        [this, request = std::move(request), read = m_read, generation](std::stop_token stop) {
            Outcome outcome = runSearch(request, read, stop);
            if (stop.stop_requested())
                return;
            // Delivered on the control's own thread, where a newer search drops it.
            QMetaObject::invokeMethod(
                this,
                [this, generation, outcome = std::move(outcome)]() mutable {
                    deliver(generation, std::move(outcome));
                },
                Qt::QueuedConnection);
        });
}

LdifDirectory::Outcome LdifDirectory::runSearch(const Request& request, const Reader& read,
                                                std::stop_token stop)
{
    // Nothing may escape the worker: an exception there would end the program.
    Outcome failed;
    QString cause;
    try {
        return searchData(request, read, std::move(stop));
    } catch (const DirectoryError& error) {
        failed.failure = error.message();
        return failed;
    } catch (...) {
        cause = currentExceptionReason();
    }
    failed.failure = QCoreApplication::translate("LdifDirectory", "%1 cannot be read: %2.")
                         .arg(QDir::toNativeSeparators(request.path), cause);
    return failed;
}

LdifDirectory::Outcome LdifDirectory::searchData(const Request& request, const Reader& read,
                                                 std::stop_token stop)
{
    if (request.attribute.compare(QLatin1String("CN"), Qt::CaseInsensitive) != 0)
        throw DirectoryError(QCoreApplication::translate(
                                 "LdifDirectory", "Searching by attribute \"%1\" is not supported.")
                                 .arg(request.attribute));
    std::optional<LdifTree> tree =
        read ? LdifTree::parse(read(request.path), QDir::toNativeSeparators(request.path),
                               TreeNameOf(request.context), request.classes, request.hostAttribute,
                               std::move(stop))
             : parseDirectory(request, std::move(stop));
    if (!tree)
        return {};
    Outcome outcome;
    outcome.results = search(*tree, request.context, request.treeName, request.scope,
                             request.classList, request.pattern);
    if (!request.fullNames) {
        for (QString& name : outcome.results)
            name = nds::lastComponent(name).toString();
    }
    outcome.tree = std::make_shared<const LdifTree>(std::move(*tree));
    return outcome;
}

void LdifDirectory::deliver(quint64 generation, Outcome outcome)
{
    if (generation != m_generation)
        return;
    if (!outcome.failure.isEmpty()) {
        setLeftOut({});
        emit SearchFailed(m_failureNote.isEmpty() ? outcome.failure
                                                  : outcome.failure + u' ' + m_failureNote);
        return;
    }
    m_tree = std::move(outcome.tree);
    m_cursor = 0;
    setLeftOut(m_tree->leftOut());
    emit SearchCompleted(outcome.results);
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
    QString fullName =
        exact || m_tree->isNamed(index, ndsFullName) ? ndsFullName : m_tree->fullName(index);
    return DirectoryEntry{
        m_tree->shortName(index).toString(), std::move(fullName),
        EntryClass{classNameOf(m_tree->kind(index)), m_tree->isContainerKind(index)},
        m_tree->hostName(index)};
}

} // namespace stelvo
