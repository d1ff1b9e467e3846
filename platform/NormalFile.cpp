#include "NormalFile.h"

#include <QFileInfo>

namespace stelvo {

bool normalFileExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    QString local = path;
    local.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QFileInfo info(local);
    // The "hidden" attribute belongs to the file itself, not to its folders.
    return info.isFile() && !info.fileName().startsWith(QLatin1Char('.'));
}

} // namespace stelvo
