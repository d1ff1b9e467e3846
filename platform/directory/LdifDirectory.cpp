#include "LdifDirectory.h"

#include "NdsMapping.h"

#include <QDir>
#include <QFile>
#include <QMetaObject>

namespace stelvo {

LdifDirectory::LdifDirectory(const QString& path, const QString& context, QObject* parent)
    : DirectoryControl(parent), m_path(path), m_context(context)
{}

LdifDirectory::~LdifDirectory()
{
    if (m_worker.joinable())
        m_worker.join();
}

QStringList LdifDirectory::search(const LdifTree& tree, const QString& context,
                                  const QString& treeName, qint32 scope, const QString& classList,
                                  const QString& pattern)
{
    const QString contextTree = TreeNameOf(context);
    if (contextTree.isEmpty())
        throw DirectoryError(
            QStringLiteral("The context \"%1\" is not an NDS name (NDS:\\\\TREE\\...).")
                .arg(context));
    if (treeName.compare(contextTree, Qt::CaseInsensitive) != 0)
        throw DirectoryError(
            QStringLiteral("The directory holds no tree named \"%1\".").arg(treeName));
    QStringList contextPath;
    if (!nds::splitFullName(context, contextTree, &contextPath))
        throw DirectoryError(
            QStringLiteral("The context \"%1\" is not a valid NDS name.").arg(context));
    if (!contextPath.isEmpty() && tree.find(context) < 0)
        throw DirectoryError(
            QStringLiteral("The directory does not hold the context \"%1\".").arg(context));
    if (scope < 0 || scope > 2)
        throw DirectoryError(QStringLiteral("Unknown search scope %1.").arg(scope));
    QStringList unknown;
    const QList<nds::Kind> kinds = nds::kindsOfClassList(classList, &unknown);
    if (!unknown.isEmpty())
        throw DirectoryError(
            QStringLiteral("Unknown directory class: %1.").arg(unknown.join(QLatin1String(", "))));

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
    if (m_worker.joinable())
        m_worker.join();
    const QString attribute = SearchAttribute();
    const bool fullNames = SearchFlag();
    m_worker = std::thread([this, path = m_path, context = m_context, treeName, scope, classList,
                            pattern, attribute, fullNames] {
        std::shared_ptr<LdifTree> tree;
        QStringList results;
        QString failure;
        try {
            if (attribute.compare(QLatin1String("CN"), Qt::CaseInsensitive) != 0)
                throw DirectoryError(
                    QStringLiteral("Searching by attribute \"%1\" is not supported.")
                        .arg(attribute));
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                throw DirectoryError(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path),
                                                                  file.errorString()));
            tree = std::make_shared<LdifTree>(LdifTree::parse(
                file.readAll(), QDir::toNativeSeparators(path), TreeNameOf(context)));
            results = search(*tree, context, treeName, scope, classList, pattern);
            if (!fullNames) {
                for (QString& name : results)
                    name = name.mid(name.lastIndexOf(QLatin1Char('\\')) + 1);
            }
        } catch (const DirectoryError& error) {
            failure = error.message();
        }
        // Delivered on the control's own thread; dropped if it is gone.
        QMetaObject::invokeMethod(
            this,
            [this, tree = std::move(tree), results = std::move(results), failure] {
                if (!failure.isEmpty())
                    emit SearchFailed(failure);
                else
                    finishSearch(tree, results);
            },
            Qt::QueuedConnection);
    });
}

void LdifDirectory::finishSearch(std::shared_ptr<LdifTree> tree, const QStringList& results)
{
    m_tree = std::move(tree);
    m_cursor = 0;
    emit SearchCompleted(results);
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
        throw DirectoryError(QStringLiteral("%1 is not in the directory.").arg(ndsFullName));
    const LdifEntry& entry = m_tree->entries()[size_t(index)];
    return DirectoryEntry{entry.shortName, entry.fullName,
                          EntryClass{entry.className, entry.isContainerKind()}};
}

} // namespace stelvo
