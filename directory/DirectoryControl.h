// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "DirectoryChange.h"
#include "DirectoryEntry.h"
#include "DirectoryError.h"
#include "SearchResult.h"

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

    // Searches again as the last StartSearch did, without the splash and
    // without blocking: delivers RefreshCompleted with the names found (a
    // complete state, to be compared with what is shown), or RefreshFailed,
    // which leaves the state as it was. Call only after SearchCompleted.
    // EntryByName answers the refreshed state once RefreshCompleted is
    // emitted. A directory that hands the refreshed state over as it comes
    // (a million entries are never held twice) emits it instead as a
    // complete state through EntriesChanged, in sets, then RefreshDelivered;
    // a failure then ends the state with an abandoned set before
    // RefreshFailed, and what the sets changed stays. The default fails: the
    // directory cannot be searched again.
    virtual void Refresh();

    // Whether the directory is followed after the first search: when true
    // (the default), a backend that can be told of changes (a server that
    // pushes them, a file that is watched, a server polled every
    // `pollSeconds` when it pushes nothing; 0: not polled) starts following
    // it once SearchCompleted is delivered, emitting EntriesChanged and
    // LiveStatusChanged. When false nothing is followed and the tree stays
    // as the first search built it. Call before StartSearch.
    void setLiveUpdates(bool follow, int pollSeconds = 0)
    {
        m_live = follow;
        m_pollSeconds = pollSeconds;
    }
    bool liveUpdates() const { return m_live; }
    int pollSeconds() const { return m_pollSeconds; }
    // The state of following the directory, as last reported.
    const LiveStatus& liveStatus() const { return m_liveStatus; }

signals:
    // Names of all entries found, in directory order (parents before their
    // children), as a list or in the backend's compact form. An empty result
    // means nothing was found.
    void SearchCompleted(const stelvo::SearchResult& results);
    // The search could not be made; `message` names the cause for the user.
    void SearchFailed(const QString& message);
    // A refresh found `results`, as SearchCompleted does: the directory's
    // whole state now, to be compared with what is shown.
    void RefreshCompleted(const QStringList& results);
    // A refresh's state came through EntriesChanged, whose sets are all
    // emitted: nothing more is to come of it.
    void RefreshDelivered();
    // A refresh could not be made; what is shown stays.
    void RefreshFailed(const QString& message);
    // The directory changed since the first search (or the last change);
    // EntryByName answers the new state from this signal on.
    void EntriesChanged(const stelvo::DirectoryChanges& changes);
    void LiveStatusChanged(const stelvo::LiveStatus& status);

protected:
    void setLeftOut(QStringList leftOut) { m_leftOut = std::move(leftOut); }
    // Records `status` and emits LiveStatusChanged when it differs.
    void setLiveStatus(const LiveStatus& status);

private:
    QStringList m_leftOut;
    QString m_searchAttribute = QStringLiteral("CN");
    bool m_searchFlag = true;
    bool m_live = true;
    int m_pollSeconds = 0;
    LiveStatus m_liveStatus;
};

} // namespace stelvo
