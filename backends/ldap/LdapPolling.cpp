// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Following a server that pushes nothing: the tree search again, every
// pollSeconds, reported as a complete state.

#include "LdapSearch.h"
#include "LdapWatch.h"
#include "LdapWatchRunner.h"
#include "NdsName.h"

#include <QSet>

namespace stelvo::ldap {

namespace {

class Polling final : public Watch
{
public:
    Polling(const WatchRequest& request, WatchSink sink)
        : m_request(request), m_sink(std::move(sink))
    {
        m_request.search.ids = true;
        m_request.search.opened.reset();
        m_runner.start([this] { run(); });
    }
    ~Polling() override { m_runner.stop(); }

private:
    void run();
    void report(const SearchOutcome& outcome);

    WatchRequest m_request;
    WatchSink m_sink;
    WatchRunner m_runner;
};

void Polling::run()
{
    QDateTime matched = QDateTime::currentDateTimeUtc();
    m_sink.status(liveNow());
    const std::chrono::seconds interval(std::max(1, m_request.pollSeconds));
    while (m_runner.sleep(interval)) {
        const std::shared_ptr<Cancellation> cancellation = m_runner.newCancellation();
        SearchOutcome outcome;
        const QDateTime started = QDateTime::currentDateTimeUtc();
        runSearch(m_request.search, *cancellation, &outcome);
        outcome.connection.reset(); // one connection a poll: nothing held between
        if (m_runner.stopped())
            return;
        if (!outcome.ok) {
            m_sink.status(behind(matched, outcome.error));
            continue;
        }
        report(outcome);
        matched = started;
        m_sink.status(liveNow());
    }
}

void Polling::report(const SearchOutcome& outcome)
{
    ChangeSets sets(m_sink);
    sets.begin(true);
    // The generic containers the search came across place the rest; each
    // goes before the first entry below it.
    QSet<QString> placed;
    const auto place = [&](const QString& name) {
        QStringList above;
        for (QString parent = nds::parentName(name); parent.contains(nds::kSeparator);
             parent = nds::parentName(parent)) {
            if (placed.contains(parent))
                break;
            placed.insert(parent);
            above.prepend(parent);
        }
        for (const QString& container : std::as_const(above)) {
            const std::optional<KnownEntry> known = outcome.known.value(container);
            if (!known || !known->searched || known->kind != nds::Kind::Container)
                continue;
            DirectoryChange change;
            change.id = outcome.ids.at(known->host);
            change.entry.shortName = nds::lastComponent(container).toString();
            change.entry.fullName = container;
            change.entry.entryClass.name = known->className();
            change.entry.entryClass.container = true;
            change.entry.id = change.id;
            change.shownWhenEmpty = false;
            sets.add(std::move(change));
        }
    };
    for (qsizetype i = 0; i < outcome.names.size(); ++i) {
        const QString& name = outcome.names.at(i);
        place(name);
        placed.insert(name);
        const nds::Kind kind = outcome.kinds[std::size_t(i)];
        const quint32 number = outcome.hosts[std::size_t(i)];
        DirectoryChange change;
        change.id = outcome.ids.at(number);
        change.entry.shortName = nds::lastComponent(name).toString();
        change.entry.fullName = name;
        change.entry.entryClass.name = nds::systemClassName(kind);
        change.entry.entryClass.container = nds::isContainerKind(kind);
        change.entry.hostName = outcome.hostNames.at(HostNameTable::Index(number));
        change.entry.id = change.id;
        change.shownWhenEmpty = kind != nds::Kind::Container;
        sets.add(std::move(change));
    }
    sets.finish();
}

} // namespace

std::unique_ptr<Watch> startPolling(const WatchRequest& request, WatchSink sink)
{
    return std::make_unique<Polling>(request, std::move(sink));
}

} // namespace stelvo::ldap
