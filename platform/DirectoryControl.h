#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <stdexcept>

namespace stelvo {

// The class of a directory entry, as the directory control reports it.
struct EntryClass
{
    QString name;           // the objectClass that decided the kind, e.g. "organizationalUnit"
    bool container = false; // true for organizations, units and the other container classes
};

// What EntryByName gives for an NDS full name.
struct DirectoryEntry
{
    QString shortName; // the last component of the full name
    QString fullName;  // "NDS:\\TREE\ORG\UNIT\NAME"
    EntryClass entryClass;
};

// Raised by the directory control when a call cannot be served: the entry is
// not in the directory, the server cannot be reached, the data is malformed.
// The message is meant for the administrator and names the cause.
class DirectoryError : public std::runtime_error
{
public:
    explicit DirectoryError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {}
    const QString& message() const { return m_message; }

private:
    QString m_message;
};

// The directory control: the only way the program reaches the directory.
//
// StartSearch never blocks the calling (user-interface) thread: it returns at
// once and the result arrives later on that thread, as SearchCompleted, or as
// SearchFailed when the directory cannot be searched at all. Every other call
// is made on the user-interface thread after the search has completed.
class DirectoryControl : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~DirectoryControl() override;

    // The control's current NDS full name; initially the stored context.
    virtual QString ContextPath() const = 0;

    // The tree name of an NDS full name: the text between "NDS:\\" and the
    // next "\" (or the end). Empty when the name does not start with "NDS:\\".
    static QString TreeNameOf(const QString& ndsName);

    // The naming attribute that the search pattern applies to ("CN").
    void SearchAttribute(const QString& attribute) { m_searchAttribute = attribute; }
    QString SearchAttribute() const { return m_searchAttribute; }

    // When true, results are reported as NDS full names (the only form this
    // program uses); when false the search reports short names only.
    void SearchFlag(bool fullNames) { m_searchFlag = fullNames; }
    bool SearchFlag() const { return m_searchFlag; }

    // Searches tree `treeName` for entries of the classes in `classList`
    // (comma-separated directory class names such as "Workstation,
    // Organizational Unit") whose SearchAttribute matches `pattern` ("*" and
    // "?" wildcards). `scope`: 0 the tree root only, 1 one level below it,
    // 2 the whole subtree. Returns at once; see the class comment.
    virtual void StartSearch(const QString& treeName, qint32 scope, const QString& classList,
                             const QString& pattern) = 0;

    // Looks an entry up by its NDS full name. Throws DirectoryError when it is
    // not there or the directory cannot be asked.
    virtual DirectoryEntry EntryByName(const QString& ndsFullName) = 0;

signals:
    // Names of all entries found, in directory order (parents before their
    // children). An empty list means nothing was found.
    void SearchCompleted(const QStringList& results);
    // The search could not be made; `message` names the cause for the user.
    void SearchFailed(const QString& message);

private:
    QString m_searchAttribute = QStringLiteral("CN");
    bool m_searchFlag = true;
};

// The session control: which servers the user is attached to.
class SessionControl
{
public:
    virtual ~SessionControl();
    // The name of the session's first server (item 0 of its server list).
    virtual QString FirstServerName() const = 0;
};

} // namespace stelvo
