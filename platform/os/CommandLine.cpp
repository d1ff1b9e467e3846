#include "CommandLine.h"

namespace stelvo::cmdline {

namespace {
const QChar kQuote(u'"');
const QChar kBackslash(u'\\');

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}
} // namespace

QStringList splitCommandLine(const QString& commandLine)
{
    QStringList words;
    const qsizetype n = commandLine.size();
    qsizetype i = 0;

    // The runtime takes the program name as it is, even after leading
    // blanks; skipping them here only avoids an empty program word.
    while (i < n && isBlank(commandLine[i]))
        ++i;
    if (i == n)
        return words;

    QString program;
    bool inQuotes = false;
    for (; i < n && (inQuotes || !isBlank(commandLine[i])); ++i) {
        if (commandLine[i] == kQuote)
            inQuotes = !inQuotes;
        else
            program += commandLine[i];
    }
    words << program;

    for (;;) {
        while (i < n && isBlank(commandLine[i]))
            ++i;
        if (i == n)
            break;

        QString word;
        inQuotes = false;
        while (i < n) {
            qsizetype backslashes = 0;
            while (i < n && commandLine[i] == kBackslash) {
                ++backslashes;
                ++i;
            }
            if (i < n && commandLine[i] == kQuote) {
                word += QString(backslashes / 2, kBackslash);
                if (backslashes % 2 == 1) {
                    word += kQuote;
                } else if (inQuotes && i + 1 < n && commandLine[i + 1] == kQuote) {
                    word += kQuote;
                    ++i;
                } else {
                    inQuotes = !inQuotes;
                }
                ++i;
                continue;
            }
            word += QString(backslashes, kBackslash);
            if (i == n || (!inQuotes && isBlank(commandLine[i])))
                break;
            word += commandLine[i];
            ++i;
        }
        words << word;
    }
    return words;
}

QString programWord(const QString& program)
{
    if (program.isEmpty() || program.contains(kQuote))
        return {};
    if (program.contains(u' ') || program.contains(u'\t'))
        return kQuote + program + kQuote;
    return program;
}

} // namespace stelvo::cmdline
