// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "DirectoryControl.h"

#include "NdsName.h"

#include <QMetaObject>

namespace stelvo {

namespace {

// So that a search's result held in a QVariant (a queued signal, a signal
// spy) reads as the names it holds. Here, where every program that has a
// directory control links it.
const bool kResultReadsAsNames = QMetaType::registerConverter<SearchResult, QStringList>(
    [](const SearchResult& result) { return result.names(); });

} // namespace

DirectoryControl::~DirectoryControl() = default;

void DirectoryControl::searchAhead(const QString&, qint32, const QString&, const QString&) {}

void DirectoryControl::Refresh()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            emit RefreshFailed(
                tr("This directory cannot be searched again while the program runs."));
        },
        Qt::QueuedConnection);
}

void DirectoryControl::setLiveStatus(const LiveStatus& status)
{
    if (status.state == m_liveStatus.state && status.since == m_liveStatus.since &&
        status.reason == m_liveStatus.reason)
        return;
    m_liveStatus = status;
    emit LiveStatusChanged(m_liveStatus);
}

QString DirectoryControl::TreeNameOf(const QString& ndsName)
{
    return nds::treeNameOf(ndsName).toString();
}

} // namespace stelvo
