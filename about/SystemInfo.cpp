// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SystemInfo.h"

#include "FileExistence.h"

#include <QtDebug>

namespace stelvo {

namespace {

// Where the system information tool is registered: its full file name, or
// else the directory that holds MSINFO32.EXE.
const QString gREGKEYSYSINFO = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString gREGVALSYSINFO = QStringLiteral("PATH");
const QString gREGKEYSYSINFOLOC = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString gREGVALSYSINFOLOC = QStringLiteral("MSINFO");

constexpr DWORD kValueBufferSize = 1024;

// A command line that names `path` as one program even when it holds blanks
// ("C:\Program Files\..."): the process start splits at unquoted blanks.
QString programCommandLine(const QString& path)
{
    const bool blank = path.contains(QLatin1Char(' ')) || path.contains(QLatin1Char('\t'));
    if (!blank || path.startsWith(QLatin1Char('"')))
        return path;
    return QLatin1Char('"') + path + QLatin1Char('"');
}

} // namespace

std::optional<SysInfoProgram> findSysInfoProgram(const Registry& registry)
{
    QString SysInfoPath;
    if (GetKeyValue(registry, HKEY_LOCAL_MACHINE, gREGKEYSYSINFO, gREGVALSYSINFO, SysInfoPath)) {
        // A registered full file name is used as it stands.
    } else if (GetKeyValue(registry, HKEY_LOCAL_MACHINE, gREGKEYSYSINFOLOC, gREGVALSYSINFOLOC,
                           SysInfoPath)) {
        const QString program = SysInfoPath + QStringLiteral("\\MSINFO32.EXE");
        if (!normalFileExists(program)) {
            qWarning().noquote() << "System information tool not found:" << program;
            return std::nullopt;
        }
        // Started as the file that was tested, in this system's form.
        SysInfoPath = localPathOf(program);
    } else {
        const QString loadError = registry.registryLoadError();
        if (!loadError.isEmpty())
            qWarning().noquote() << "System information tool: " + loadError;
        return std::nullopt;
    }

    // A value of another type leaves the path empty: there is nothing to start.
    if (SysInfoPath.isEmpty())
        return std::nullopt;
    return SysInfoProgram{SysInfoPath, programCommandLine(SysInfoPath)};
}

bool GetKeyValue(const Registry& registry, HKEY KeyRoot, const QString& KeyName,
                 const QString& SubKeyRef, QString& KeyVal)
{
    HKEY hKey = 0;
    auto fail = [&]() {
        KeyVal.clear();
        if (hKey)
            registry.RegCloseKey(hKey);
        return false;
    };

    // Reading needs no write rights, which an ordinary account lacks on the
    // machine's keys.
    const QByteArray keyName = KeyName.toLocal8Bit();
    if (registry.RegOpenKeyExA(KeyRoot, keyName.constData(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return fail();

    QByteArray tmpVal(kValueBufferSize, '\0');
    DWORD KeyValSize = kValueBufferSize;
    DWORD KeyValType = REG_NONE;
    const QByteArray valueName = SubKeyRef.toLocal8Bit();
    if (registry.RegQueryValueExA(hKey, valueName.constData(), nullptr, &KeyValType,
                                  reinterpret_cast<BYTE*>(tmpVal.data()),
                                  &KeyValSize) != ERROR_SUCCESS)
        return fail();
    // Empty data is no usable value here; the caller goes on to its next place.
    if (KeyValSize == 0)
        return fail();
    const QByteArray data = tmpVal.left(KeyValSize);

    switch (KeyValType) {
    case REG_SZ: {
        QByteArray text = data.endsWith('\0') ? data.left(data.size() - 1) : data;
        // The text ends at a NUL inside it, as it does for every program that reads it.
        if (const qsizetype nul = text.indexOf('\0'); nul >= 0)
            text.truncate(nul);
        if (text.isEmpty())
            return fail();
        KeyVal = QString::fromLocal8Bit(text);
        break;
    }
    case REG_DWORD: {
        quint32 number = 0;
        for (qsizetype i = 0; i < data.size() && i < 4; ++i)
            number |= quint32(quint8(data.at(i))) << (8 * i);
        KeyVal = QStringLiteral("&h") + QString::number(number, 16).toUpper();
        break;
    }
    default:
        break;
    }
    registry.RegCloseKey(hKey);
    return true;
}

} // namespace stelvo
