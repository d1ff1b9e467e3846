// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The LDIF reader whole and in pieces: the same bytes parsed from memory at
// once and through a source that hands them over a few bytes at a time, as
// a file is read. Both must give the same tree (names, kinds, host names,
// lines, order and the entries left out) or the same error at the same line.
#include "DirectoryError.h"
#include "FuzzCheck.h"
#include "LdifTree.h"

#include <QByteArray>
#include <QStringList>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

namespace {

using namespace stelvo;

const QString kSource = QStringLiteral("fuzz.ldif");
const QString kTree = QStringLiteral("T");
const QByteArray kHostAttribute = QByteArrayLiteral("dNSHostName");

// What a parse gave, as text to compare: an error's message (which names the
// line), or each entry in directory order with its kind, line, parent and
// host name, then the entries left out.
QStringList outcomeOf(const auto& parse)
{
    QStringList outcome;
    try {
        // Empty only when stopped, and nothing stops it here.
        const LdifTree tree = parse().value();
        for (const int index : tree.directoryOrder()) {
            const int parent = tree.parent(index);
            outcome << QStringLiteral("%1 kind %2 line %3 below %4 host %5")
                           .arg(tree.fullName(index))
                           .arg(int(tree.kind(index)))
                           .arg(tree.line(index))
                           .arg(parent < 0 ? tree.rootName() : tree.fullName(parent))
                           .arg(tree.hostName(index));
        }
        for (const QString& left : tree.leftOut())
            outcome << QStringLiteral("left out ") + left;
    } catch (const DirectoryError& error) {
        outcome = QStringList{QStringLiteral("error ") + error.message()};
    }
    return outcome;
}

// Piece sizes of 1 to 64 bytes drawn from the input's own hash, so that the
// same input always meets the same piece edges and a changed one others.
class PieceSizes
{
public:
    explicit PieceSizes(QByteArrayView data) : m_state(0xcbf29ce484222325u)
    {
        for (const char c : data)
            m_state = (m_state ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
        m_state |= 1;
    }
    qsizetype next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return qsizetype(1 + m_state % 64);
    }

private:
    std::uint64_t m_state;
};

QString shownOutcome(const QStringList& outcome)
{
    QStringList lines;
    for (const QString& line : outcome)
        lines << fuzz::shown(line);
    return lines.join(QLatin1Char('\n'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList whole =
        outcomeOf([&] { return LdifTree::parse(bytes, kSource, kTree, {}, kHostAttribute); });

    PieceSizes sizes(bytes);
    qsizetype at = 0;
    const LdifTree::Source read = [&](char* buffer, qsizetype room) {
        const qsizetype count = std::min({room, sizes.next(), bytes.size() - at});
        std::memcpy(buffer, bytes.constData() + at, size_t(count));
        at += count;
        return count;
    };
    const QStringList pieces = outcomeOf(
        [&] { return LdifTree::parse(read, bytes.size(), kSource, kTree, {}, kHostAttribute); });

    fuzz::require(pieces == whole, "the same tree or error read in pieces as read whole", [&] {
        return QStringLiteral("whole:\n%1\nin pieces:\n%2")
            .arg(shownOutcome(whole), shownOutcome(pieces));
    });
    return 0;
}
