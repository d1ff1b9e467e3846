#pragma once

#include "DirectoryControl.h"
#include "LdifTree.h"

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
    // `path` may name a Qt resource (":/..."). `context` is the initial NDS
    // context; its tree is the tree this directory holds.
    LdifDirectory(const QString& path, const QString& context, QObject* parent = nullptr);
    ~LdifDirectory() override;

    QString ContextPath() const override { return m_context; }
    void StartSearch(const QString& treeName, qint32 scope, const QString& classList,
                     const QString& pattern) override;
    DirectoryEntry EntryByName(const QString& ndsFullName) override;

    // The search's result list for a loaded tree; exposed for the benchmark
    // and the tests. Throws DirectoryError for a search the tree cannot serve.
    static QStringList search(const LdifTree& tree, const QString& context, const QString& treeName,
                              qint32 scope, const QString& classList, const QString& pattern);

private:
    void finishSearch(std::shared_ptr<LdifTree> tree, const QStringList& results);
    int findEntry(const QString& ndsFullName);

    QString m_path;
    QString m_context;

    std::shared_ptr<const LdifTree> m_tree;
    // The place in directory order just past the last entry asked for.
    size_t m_cursor = 0;
    std::thread m_worker;
};

} // namespace stelvo
