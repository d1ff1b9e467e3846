// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "DirectoryEntry.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

namespace stelvo {

// One change of what the directory holds, in the program's own terms (NDS
// full names and system classes), as a directory that pushes its changes
// (or a file that is watched) reports it after the first search.
struct DirectoryChange
{
    enum class Type
    {
        // The entry exists now as `entry` says: added, changed, renamed or
        // moved. A container's rename or move is one Put for the container
        // alone; the names of everything below it follow from it.
        Put,
        // Only in a complete set: the entry `id` is there, unchanged.
        Keep,
        // The entry has gone, with everything below it.
        Remove,
    };
    Type type = Type::Put;
    // The entry's unique id, which survives renames and moves (entryUUID,
    // nsUniqueId, objectGUID): 16 bytes, or empty when the directory gives
    // none, and the entry is then known by its full name alone.
    QByteArray id;
    // Put: the entry as it is now. Remove without an id: entry.fullName
    // names the entry as it was last reported.
    DirectoryEntry entry;
    // Put of a container: false for a generic container, which is shown
    // only while a workstation lies below it; true for a unit or an
    // organization, which is shown even when it holds nothing.
    bool shownWhenEmpty = true;
};

// Changes in the order they are to be applied.
struct DirectoryChanges
{
    QList<DirectoryChange> changes;
    // The changes name every entry the directory now holds (as Put or
    // Keep): any entry shown that they do not name has gone.
    bool complete = false;
    // Complete, and further sets of the same state follow: a large state
    // comes in several, and what none of them names has gone only once the
    // last (continued false) has come.
    bool continued = false;
    // Complete, and not the first set of its state: it goes on with the sets
    // just before it. A set that does not resume begins a state afresh, so
    // that a state cut short (a connection lost in the middle) is forgotten;
    // one that resumes a state its receiver did not see begin (it was
    // refreshed meanwhile) is applied but says nothing of what has gone.
    bool resumes = false;
    // Complete, and the state ends here unfinished (a refresh that failed
    // half way): what its sets named is applied, but nothing has gone.
    bool abandoned = false;
};

// Whether the tree follows the directory as it changes.
struct LiveStatus
{
    enum class State
    {
        Off,    // read once, at start (and by each refresh): nothing is pushed
        Live,   // changes are applied as the directory reports them
        Behind, // changes cannot be received now: the tree is as it was at `since`
    };
    State state = State::Off;
    // Behind: when the tree last matched the directory.
    QDateTime since;
    // Behind, or Off when live updates were asked for but cannot be had:
    // why, and what to change, for the user.
    QString reason;
};

} // namespace stelvo
