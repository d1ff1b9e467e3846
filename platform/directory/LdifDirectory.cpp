// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdifDirectory.h"

#include "NdsMapping.h"
#include "RegularFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMetaObject>

namespace stelvo {

LdifDirectory::LdifDirectory(const QString& path, const QString& context, QObject* parent)
    : LdifDirectory(path, context, &LdifDirectory::readDirectory, parent)
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

QStringList LdifDirectory::search(const LdifTree& tree, const QString& context,
                                  const QString& treeName, qint32 scope, const QString& classList,
                                  const QString& pattern)
{
    const QString contextTree = TreeNameOf(context);
    if (contextTree.isEmpty())
        throw DirectoryError(
            QCoreApplication::translate(
                "LdifDirectory", "The context \"%1\" is not an NDS name (NDS:\\\\TREE\\...).")
                .arg(context));
    if (treeName.compare(contextTree, Qt::CaseInsensitive) != 0)
        throw DirectoryError(QCoreApplication::translate(
                                 "LdifDirectory", "The directory holds no tree named \"%1\".")
                                 .arg(treeName));
    QStringList contextPath;
    if (!nds::splitFullName(context, contextTree, &contextPath))
        throw DirectoryError(QCoreApplication::translate(
                                 "LdifDirectory", "The context \"%1\" is not a valid NDS name.")
                                 .arg(context));
    if (!contextPath.isEmpty() && tree.find(context) < 0)
        throw DirectoryError(QCoreApplication::translate(
                                 "LdifDirectory", "The directory does not hold the context \"%1\".")
                                 .arg(context));
    if (scope < 0 || scope > 2)
        throw DirectoryError(
            QCoreApplication::translate("LdifDirectory", "Unknown search scope %1.").arg(scope));
    QStringList unknown;
    const QList<nds::Kind> kinds = nds::kindsOfClassList(classList, &unknown);
    if (!unknown.isEmpty())
        throw DirectoryError(
            QCoreApplication::translate("LdifDirectory", "Unknown directory class: %1.")
                .arg(unknown.join(QLatin1String(", "))));

    QStringList results;
    for (const int index : tree.directoryOrder()) {
        const LdifEntry& entry = tree.entries()[size_t(index)];
        // scope 0 is the tree root itself, which is no entry of its own.
        if (scope == 0 || (scope == 1 && entry.parent >= 0))
            continue;
        if (!kinds.contains(entry.kind) || !nds::matchesPattern(entry.shortName, pattern))
            continue;
        results << entry.fullName;
    }
    return results;
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
    std::optional<LdifTree> tree = LdifTree::parse(
        read(request.path), QDir::toNativeSeparators(request.path), TreeNameOf(request.context),
        request.classes, request.hostAttribute, std::move(stop));
    if (!tree)
        return {};
    Outcome outcome;
    outcome.results = search(*tree, request.context, request.treeName, request.scope,
                             request.classList, request.pattern);
    if (!request.fullNames) {
        for (QString& name : outcome.results)
            name = name.mid(name.lastIndexOf(QLatin1Char('\\')) + 1);
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

int LdifDirectory::findEntry(const QString& ndsFullName)
{
    if (!m_tree)
        return -1;
    // Building the tree asks for every result in turn, in directory order:
    // looking just past the last answer first walks the entries in memory
    // order instead of hopping through the hash table.
    constexpr size_t kLookAhead = 16;
    const auto& entries = m_tree->entries();
    const auto& order = m_tree->directoryOrder();
    for (size_t place = m_cursor; place < order.size() && place < m_cursor + kLookAhead; ++place) {
        const QString& name = entries[size_t(order[place])].fullName;
        if (name.size() == ndsFullName.size() && name == ndsFullName) {
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
    const int index = findEntry(ndsFullName);
    if (index < 0)
        throw DirectoryError(
            QCoreApplication::translate("LdifDirectory", "%1 is not in the directory.")
                .arg(ndsFullName));
    const LdifEntry& entry = m_tree->entries()[size_t(index)];
    return DirectoryEntry{entry.shortName, entry.fullName,
                          EntryClass{entry.className, entry.isContainerKind()}, entry.hostName};
}

} // namespace stelvo
