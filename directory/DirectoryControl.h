// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "DirectoryEntry.h"
#include "DirectoryError.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace stelvo {

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

    // The tree name of an NDS full name; empty when it is none (see
    // nds::treeNameOf).
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

    // Starts now, before the program is ready to ask, the search that a
    // StartSearch with the same arguments and SearchAttribute will ask for,
    // so that reaching the directory overlaps the program's own start-up.
    // Delivers nothing itself: the next StartSearch with the same arguments
    // takes it over; any other one searches anew. Does not block. Backends
    // with nothing to gain from it (a file read in moments) do nothing.
    virtual void searchAhead(const QString& treeName, qint32 scope, const QString& classList,
                             const QString& pattern);

    // The server the directory is read from, by its host name, for the user
    // to see; empty for a directory read from a file. May wait for the
    // directory to be reached.
    virtual QString serverInUse() const { return {}; }

    // Looks an entry up by its NDS full name. Throws DirectoryError when it is
    // not there or the directory cannot be asked.
    virtual DirectoryEntry EntryByName(const QString& ndsFullName) = 0;

    // The entries the last search found but left out of its result because
    // no NDS full name can hold their names (see nds::isRepresentable), and
    // the entries below them, each as the directory writes it (its DN, with
    // the file and line for a file). Complete when SearchCompleted is
    // delivered; the rest of the result is unaffected by them.
    const QStringList& LeftOut() const { return m_leftOut; }

signals:
    // Names of all entries found, in directory order (parents before their
    // children). An empty list means nothing was found.
    void SearchCompleted(const QStringList& results);
    // The search could not be made; `message` names the cause for the user.
    void SearchFailed(const QString& message);

protected:
    void setLeftOut(QStringList leftOut) { m_leftOut = std::move(leftOut); }

private:
    QStringList m_leftOut;
    QString m_searchAttribute = QStringLiteral("CN");
    bool m_searchFlag = true;
};

} // namespace stelvo
