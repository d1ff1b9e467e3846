#include "LdifTree.h"

#include "DirectoryControl.h"

#include <cstring>
#include <functional>
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

// Where the entry of a record read whole starts; empty when it holds none.
char* entryText(char* buffer, bool firstRecord, unsigned long* line)
{
    char* text = skipComments(buffer, line);
    // "version: 1" may open the file, alone or as the first line of the
    // first record (RFC 2849); it is no part of any entry.
    if (firstRecord && std::strncmp(text, "version:", 8) == 0) {
        char* eol = std::strchr(text, '\n');
        text = eol != nullptr ? eol + 1 : text + std::strlen(text);
        ++*line;
    }
    return text;
}

void parseRecord(char* text, unsigned long linesBefore, unsigned long line, const QString& source,
                 LDIFRecord* record)
{
    berval raw{static_cast<ber_len_t>(std::strlen(text)), text};
    // Only plain entries make sense in an export; changetype records are
    // refused rather than half understood.
    if (ldap_parse_ldif_record(&raw, linesBefore, record, "stelvo",
                               LDIF_DEFAULT_ADD | LDIF_NO_CONTROLS) != 0)
        fail(source, line, QStringLiteral("malformed LDIF record"));
    if (record->lr_dn.bv_len == 0)
        fail(source, line, QStringLiteral("the entry has no DN"));
    if (record->lr_op != LDAP_REQ_ADD)
        fail(source, line, QStringLiteral("only entries are accepted, not change records"));
}

using TakeRecord = std::function<void(const LDIFRecord& record, unsigned long line)>;

// Hands each entry record of `data` to `take` with the line it starts on.
// The record points into the reader's buffer, so it is gone once `take`
// returns.
void readRecords(const QByteArray& data, const QString& source, const TakeRecord& take)
{
    QByteArray copy = data; // ldif_open_mem reads from a writable buffer
    LdifReader reader;
    reader.fp = ldif_open_mem(copy.data(), static_cast<size_t>(copy.size()), "r");
    if (reader.fp == nullptr)
        throw DirectoryError(QStringLiteral("%1: cannot be read").arg(source));

    unsigned long lineno = 0;
    bool firstRecord = true;
    for (;;) {
        const unsigned long linesBefore = lineno;
        const int rc = ldif_read_record(reader.fp, &lineno, &reader.buffer, &reader.bufferSize);
        if (rc == 0)
            break;
        if (rc < 0)
            fail(source, linesBefore + 1, QStringLiteral("the LDIF cannot be read"));
        unsigned long line = linesBefore + 1;
        char* text = entryText(reader.buffer, firstRecord, &line);
        firstRecord = false;
        if (*text == '\0')
            continue;
        RecordGuard guard;
        parseRecord(text, linesBefore, line, source, &guard.record);
        take(guard.record, line);
    }
}

// The DN's RDN values from the top down, refusing names that an NDS full
// name cannot hold.
QStringList dnPath(const QByteArray& dn, const QString& source, unsigned long line)
{
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
    return topDown;
}

QList<QByteArray> objectClassesOf(const LDIFRecord& record)
{
    QList<QByteArray> objectClasses;
    for (LDAPMod** mod = record.lrop_mods; mod != nullptr && *mod != nullptr; ++mod) {
        if (strcasecmp((*mod)->mod_type, "objectClass") != 0)
            continue;
        for (berval** value = (*mod)->mod_bvalues; value != nullptr && *value != nullptr; ++value)
            objectClasses << QByteArray((*value)->bv_val, static_cast<qsizetype>((*value)->bv_len));
    }
    return objectClasses;
}

LdifEntry entryOf(const LDIFRecord& record, const QStringList& path, const QString& treeName,
                  unsigned long line)
{
    LdifEntry entry;
    entry.kind = nds::classify(objectClassesOf(record), &entry.className);
    entry.fullName = nds::fullName(treeName, path);
    entry.shortName = path.constLast();
    entry.line = line;
    return entry;
}

} // namespace

LdifTree LdifTree::parse(const QByteArray& data, const QString& source, const QString& treeName)
{
    LdifTree tree;
    std::vector<QStringList> paths; // each entry's RDN values, top down
    readRecords(data, source, [&](const LDIFRecord& record, unsigned long line) {
        const QByteArray dn(record.lr_dn.bv_val, static_cast<qsizetype>(record.lr_dn.bv_len));
        QStringList path = dnPath(dn, source, line);
        tree.add(entryOf(record, path, treeName, line), QString::fromUtf8(dn), source);
        paths.push_back(std::move(path));
    });
    tree.linkParents(paths, source, treeName);
    tree.makeOrder();
    return tree;
}

void LdifTree::add(LdifEntry entry, const QString& dn, const QString& source)
{
    const QString key = foldedKey(entry.fullName);
    if (m_byName.contains(key))
        fail(source, entry.line,
             QStringLiteral("\"%1\" is already in the directory (line %2)")
                 .arg(dn)
                 .arg(m_entries[size_t(m_byName.value(key))].line));
    m_byName.insert(key, int(m_entries.size()));
    m_byExactName.insert(entry.fullName, int(m_entries.size()));
    m_entries.push_back(std::move(entry));
}

void LdifTree::linkParents(const std::vector<QStringList>& paths, const QString& source,
                           const QString& treeName)
{
    // Link parents only now, so that a file may list children before their
    // parents; the search still reports parents first.
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (paths[i].size() == 1)
            m_top.push_back(int(i));
        else
            link(int(i), nds::fullName(treeName, paths[i].mid(0, paths[i].size() - 1)), source);
    }
}

void LdifTree::link(int child, const QString& parentName, const QString& source)
{
    LdifEntry& entry = m_entries[size_t(child)];
    const int parent = m_byName.value(foldedKey(parentName), -1);
    if (parent < 0)
        fail(source, entry.line,
             QStringLiteral("\"%1\" lies outside the tree: its parent %2 is not in the directory")
                 .arg(entry.fullName, parentName));
    LdifEntry& parentEntry = m_entries[size_t(parent)];
    if (!parentEntry.isContainerKind())
        fail(source, entry.line,
             QStringLiteral("\"%1\" lies below %2, which is not a container")
                 .arg(entry.fullName, parentName));
    entry.parent = parent;
    parentEntry.children.push_back(child);
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

} // namespace stelvo
