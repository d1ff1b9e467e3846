#include "LdifDirectory.h"

#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <cstring>
#include <ldap.h>
#include <ldif.h>
#include <strings.h>

namespace stelvo {

namespace {

QString foldedKey(const QString& fullName)
{
    return fullName.toCaseFolded();
}

[[noreturn]] void fail(const QString& source, unsigned long line, const QString& what)
{
    throw DirectoryError(QStringLiteral("%1, line %2: %3").arg(source).arg(line).arg(what));
}

// Owns what libldap's LDIF reader hands out.
struct LdifReader
{
    LDIFFP* fp = nullptr;
    char* buffer = nullptr;
    int bufferSize = 0;
    ~LdifReader()
    {
        if (fp != nullptr)
            ldif_close(fp);
        ber_memfree(buffer);
    }
};

struct RecordGuard
{
    LDIFRecord record{};
    ~RecordGuard() { ldap_ldif_record_done(&record); }
};

// Skips the comment and blank lines that open a record, counting them, so
// that messages can name the line where the record really starts.
char* skipComments(char* text, unsigned long* line)
{
    while (*text == '#' || *text == '\n') {
        char* eol = std::strchr(text, '\n');
        if (eol == nullptr)
            return text + std::strlen(text);
        text = eol + 1;
        ++*line;
    }
    return text;
}

} // namespace

LdifTree LdifTree::parse(const QByteArray& data, const QString& source, const QString& treeName)
{
    LdifTree tree;
    QByteArray copy = data; // ldif_open_mem reads from a writable buffer
    LdifReader reader;
    reader.fp = ldif_open_mem(copy.data(), static_cast<size_t>(copy.size()), "r");
    if (reader.fp == nullptr)
        throw DirectoryError(QStringLiteral("%1: cannot be read").arg(source));

    unsigned long lineno = 0;
    bool firstRecord = true;
    std::vector<QStringList> components;
    for (;;) {
        const unsigned long linesBefore = lineno;
        const int rc = ldif_read_record(reader.fp, &lineno, &reader.buffer, &reader.bufferSize);
        if (rc == 0)
            break;
        if (rc < 0)
            fail(source, linesBefore + 1, QStringLiteral("the LDIF cannot be read"));
        unsigned long line = linesBefore + 1;
        char* text = skipComments(reader.buffer, &line);
        // "version: 1" may open the file, alone or as the first line of the
        // first record (RFC 2849); it is no part of any entry.
        if (firstRecord && std::strncmp(text, "version:", 8) == 0) {
            char* eol = std::strchr(text, '\n');
            text = eol != nullptr ? eol + 1 : text + std::strlen(text);
            ++line;
        }
        firstRecord = false;
        if (*text == '\0')
            continue;
        berval raw{static_cast<ber_len_t>(std::strlen(text)), text};
        RecordGuard guard;
        // Only plain entries make sense in an export; changetype records are
        // refused rather than half understood.
        if (ldap_parse_ldif_record(&raw, linesBefore, &guard.record, "stelvo",
                                   LDIF_DEFAULT_ADD | LDIF_NO_CONTROLS) != 0)
            fail(source, line, QStringLiteral("malformed LDIF record"));
        LDIFRecord& record = guard.record;
        if (record.lr_dn.bv_len == 0)
            fail(source, line, QStringLiteral("the entry has no DN"));
        if (record.lr_op != LDAP_REQ_ADD)
            fail(source, line, QStringLiteral("only entries are accepted, not change records"));

        const QByteArray dn(record.lr_dn.bv_val, static_cast<qsizetype>(record.lr_dn.bv_len));
        QStringList topDown;
        QString error;
        if (!nds::dnComponents(dn, &topDown, &error))
            fail(source, line, error);
        for (const QString& component : std::as_const(topDown)) {
            if (!nds::isRepresentable(component))
                fail(source, line,
                     QStringLiteral("\"%1\": a name that holds a backslash or is empty cannot be "
                                    "written as an NDS name")
                         .arg(QString::fromUtf8(dn)));
        }

        QList<QByteArray> objectClasses;
        for (LDAPMod** mod = record.lrop_mods; mod != nullptr && *mod != nullptr; ++mod) {
            if (strcasecmp((*mod)->mod_type, "objectClass") != 0)
                continue;
            for (berval** value = (*mod)->mod_bvalues; value != nullptr && *value != nullptr;
                 ++value)
                objectClasses << QByteArray((*value)->bv_val,
                                            static_cast<qsizetype>((*value)->bv_len));
        }

        LdifEntry entry;
        entry.kind = nds::classify(objectClasses, &entry.className);
        entry.fullName = nds::fullName(treeName, topDown);
        entry.shortName = topDown.constLast();
        entry.line = line;
        const QString key = foldedKey(entry.fullName);
        if (tree.m_byName.contains(key))
            fail(source, line,
                 QStringLiteral("\"%1\" is already in the directory (line %2)")
                     .arg(QString::fromUtf8(dn))
                     .arg(tree.m_entries[size_t(tree.m_byName.value(key))].line));
        tree.m_byName.insert(key, int(tree.m_entries.size()));
        tree.m_byExactName.insert(entry.fullName, int(tree.m_entries.size()));
        tree.m_entries.push_back(std::move(entry));
        components.push_back(std::move(topDown));
    }

    // Link parents only now, so that a file may list children before their
    // parents; the search still reports parents first.
    for (size_t i = 0; i < tree.m_entries.size(); ++i) {
        LdifEntry& entry = tree.m_entries[i];
        if (components[i].size() == 1) {
            tree.m_top.push_back(int(i));
            continue;
        }
        const QString parentName =
            nds::fullName(treeName, components[i].mid(0, components[i].size() - 1));
        const int parent = tree.m_byName.value(foldedKey(parentName), -1);
        if (parent < 0)
            fail(source, entry.line,
                 QStringLiteral(
                     "\"%1\" lies outside the tree: its parent %2 is not in the directory")
                     .arg(entry.fullName, parentName));
        LdifEntry& parentEntry = tree.m_entries[size_t(parent)];
        const bool parentIsContainer = parentEntry.kind == nds::Kind::OrganizationalUnit ||
                                       parentEntry.kind == nds::Kind::Container;
        if (!parentIsContainer)
            fail(source, entry.line,
                 QStringLiteral("\"%1\" lies below %2, which is not a container")
                     .arg(entry.fullName, parentName));
        entry.parent = parent;
        parentEntry.children.push_back(int(i));
    }
    tree.makeOrder();
    return tree;
}

int LdifTree::find(const QString& fullName) const
{
    // Names come back mostly as the directory wrote them; folding the case
    // (an allocation) is needed only for the others.
    if (const auto exact = m_byExactName.constFind(fullName); exact != m_byExactName.constEnd())
        return exact.value();
    return m_byName.value(foldedKey(fullName), -1);
}

void LdifTree::makeOrder()
{
    m_order.clear();
    m_order.reserve(m_entries.size());
    m_place.assign(m_entries.size(), 0);
    std::vector<int> stack(m_top.rbegin(), m_top.rend());
    while (!stack.empty()) {
        const int index = stack.back();
        stack.pop_back();
        m_place[size_t(index)] = m_order.size();
        m_order.push_back(index);
        const auto& children = m_entries[size_t(index)].children;
        stack.insert(stack.end(), children.rbegin(), children.rend());
    }
}

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
    const bool container =
        entry.kind == nds::Kind::OrganizationalUnit || entry.kind == nds::Kind::Container;
    return DirectoryEntry{entry.shortName, entry.fullName, EntryClass{entry.className, container}};
}

} // namespace stelvo
