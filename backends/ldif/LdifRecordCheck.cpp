// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdifRecordCheck.h"

#include "LdifFault.h"

#include <QCoreApplication>
#include <algorithm>

namespace stelvo::ldif {

namespace {

// ASCII only, as the grammar means it: every line's name is checked, and the
// C library's isalnum asks the locale for each character.
bool isAsciiAlnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// RFC 2849's AttributeDescription: a name or an OID, with options after ";".
bool isAttributeDescription(QByteArrayView name)
{
    if (name.isEmpty() || !isAsciiAlnum(name.front()))
        return false;
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return isAsciiAlnum(c) || c == '-' || c == ';' || c == '.'; });
}

// The attribute description of a line ("dn", "objectClass"); empty when it
// has none.
QByteArrayView typeOf(const LdifLine& line)
{
    return QByteArrayView(line.text).first(std::max<qsizetype>(line.text.indexOf(':'), 0));
}

bool isType(const LdifLine& line, const char* type)
{
    return typeOf(line).compare(QByteArrayView(type), Qt::CaseInsensitive) == 0;
}

// isType(line, "dn"), asked of every line, without looking for its colon.
bool isDnLine(const LdifLine& line)
{
    const QByteArrayView text = line.text;
    return text.size() >= 3 && char(text[0] | 0x20) == 'd' && char(text[1] | 0x20) == 'n' &&
           text[2] == ':';
}

// Refuses the lines libldap must never be given: those it dereferences a
// missing attribute name for ("-", ": x"), and URL values, which it would
// fetch (and wait on, for a FIFO).
void checkLine(const LdifLine& line, const QString& source)
{
    const qsizetype colon = line.text.indexOf(':');
    if (colon < 0)
        malformed(source, line.number, "the line is not of the form \"name: value\"");
    if (!isAttributeDescription(QByteArrayView(line.text).first(colon)))
        malformed(source, line.number, "the line has no valid attribute name");
    if (line.text.size() > colon + 1 && line.text[colon + 1] == '<')
        malformed(source, line.number, "URL values (\"name:< URL\") are not accepted");
    if (line.text.contains('\r'))
        malformed(source, line.number, "the line holds a carriage return");
}

bool isChangeRecord(const RawRecord& record)
{
    if (record.lines.size() < 2)
        return false;
    const LdifLine& second = record.lines[1];
    if (isType(second, "control"))
        return true;
    const QByteArrayView value = second.text.sliced(second.text.indexOf(':') + 1).trimmed();
    return isType(second, "changetype") && value.compare("add", Qt::CaseInsensitive) != 0;
}

} // namespace

// An entry record: its DN first and nowhere else, no change operations.
void checkRecord(const RawRecord& record, const QString& source)
{
    const unsigned long first = record.lines.front().number;
    // Before the lines, whose "-" separators would be called malformed.
    if (isChangeRecord(record))
        fail(source, first,
             QCoreApplication::translate("LdifTree",
                                         "only entries are accepted, not change records"));
    for (const LdifLine& line : record.lines)
        checkLine(line, source);
    const auto dn = std::find_if(record.lines.begin(), record.lines.end(), isDnLine);
    if (dn == record.lines.end())
        fail(source, first, QCoreApplication::translate("LdifTree", "the entry has no DN"));
    if (dn != record.lines.begin())
        malformed(source, dn->number, "the DN is not the record's first line");
    for (auto line = dn + 1; line != record.lines.end(); ++line) {
        if (isDnLine(*line))
            malformed(source, line->number, "a second DN in one record (a blank line missing?)");
    }
}

void dropVersion(RawRecord* record)
{
    const LdifLine& first = record->lines.front();
    if (isType(first, "version"))
        record->lines.erase(record->lines.begin());
}

} // namespace stelvo::ldif
