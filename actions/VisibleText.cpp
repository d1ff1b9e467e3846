#include "VisibleText.h"

namespace stelvo {

bool isControlCharacter(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7F;
}

QString visibleText(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (isControlCharacter(c))
            shown += QLatin1String("\\u") +
                     QString::number(c.unicode(), 16).rightJustified(4, QLatin1Char('0')).toUpper();
        else
            shown += c;
    }
    return shown;
}

} // namespace stelvo
