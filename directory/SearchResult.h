// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArrayView>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <memory>

namespace stelvo {

// What a search found: NDS full names in directory order (parents before
// their children). Either a list of names, or a backend's own compact form
// of them, which makes each name only when it is asked for and tells the
// tree what it needs of each result without one: a million full names take
// more memory than the whole tree, and the tree would only take them apart
// again.
class SearchResult
{
public:
    // What a result is, short of its full name.
    struct Entry
    {
        bool container = false;
        // The result this one lies directly below, or -1 when that is none
        // of the results (the tree, or a container not searched for).
        qsizetype parent = -1;
        QStringView shortName; // valid as long as the result
        QString hostName;      // a workstation's, as EntryByName gives it
        QByteArrayView id;     // as EntryByName gives it; valid as long as the result
    };

    // A backend's compact form: the same names and entries EntryByName would
    // give for them. Used from the user-interface thread only.
    class Source
    {
    public:
        virtual ~Source() = default;
        virtual qsizetype size() const = 0;
        virtual QString name(qsizetype index) const = 0;
        virtual Entry entry(qsizetype index) const = 0;
    };

    SearchResult() = default;
    // A list of names is a result.
    SearchResult(QStringList names) : m_names(std::move(names)) {}
    explicit SearchResult(std::shared_ptr<const Source> source) : m_source(std::move(source)) {}

    qsizetype size() const { return m_source ? m_source->size() : m_names.size(); }
    bool isEmpty() const { return size() == 0; }
    QString at(qsizetype index) const
    {
        return m_source ? m_source->name(index) : m_names.at(index);
    }
    // Every name, made now for a compact result.
    QStringList names() const;
    // For what reads a result as names, as the program did before results
    // came in compact form.
    operator QStringList() const { return names(); }
    // The compact form; null for a list of names.
    const Source* source() const { return m_source.get(); }

private:
    QStringList m_names;
    std::shared_ptr<const Source> m_source;
};

} // namespace stelvo

Q_DECLARE_METATYPE(stelvo::SearchResult)
