// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The registry read from a registry editor export file, and the handles
// opened on it.
#include "Registry.h"
#include "RegistryExport.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QStringList>
#include <QStringTokenizer>
#include <QtDebug>
#include <cstring>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unordered_map>

namespace stelvo {

namespace {

using registry::Hive;
using registry::isRoot;
using registry::Key;

std::shared_ptr<Hive> defaultHive()
{
    auto hive = registry::emptyHive();
    for (const char* program : {"hardinfo2", "hardinfo", "kinfocenter"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(program));
        if (path.isEmpty())
            continue;
        Key* key = &hive->roots[HKEY_LOCAL_MACHINE];
        for (const char* name : {"SOFTWARE", "Microsoft", "Shared Tools", "MSINFO"})
            key = &key->addSubkey(QString::fromLatin1(name));
        key->values[registry::foldedName(QStringLiteral("PATH"))] = registry::textValue(path);
        break;
    }
    return hive;
}

// ---------------------------------------------------------------------------
// The loaded registry and the open handles

struct FileStamp
{
    QString path;
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    bool operator==(const FileStamp& o) const
    {
        return path == o.path && exists == o.exists && device == o.device && inode == o.inode &&
               size == o.size && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec;
    }
};

FileStamp stampOf(const QString& path)
{
    FileStamp stamp;
    stamp.path = path;
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        stamp.exists = true;
        stamp.device = st.st_dev;
        stamp.inode = st.st_ino;
        stamp.size = st.st_size;
        stamp.modified = st.st_mtim;
    }
    return stamp;
}

struct OpenKey
{
    std::shared_ptr<const Hive> hive; // keeps the key alive across reloads
    const Key* key = nullptr;
    REGSAM access = 0;
};

struct State
{
    QMutex mutex;
    std::optional<FileStamp> loadedFrom; // empty: nothing loaded yet or the default
    bool defaultLoaded = false;
    std::shared_ptr<const Hive> hive;
    LONG loadStatus = ERROR_SUCCESS;
    QString loadError;
    std::unordered_map<HKEY, OpenKey> handles;
    HKEY nextHandle = 0x100;
};

State& state()
{
    static State s;
    return s;
}

void loadDefault(State& s)
{
    s.hive = defaultHive();
    s.loadStatus = ERROR_SUCCESS;
    s.loadError.clear();
    s.defaultLoaded = true;
    s.loadedFrom.reset();
}

// Reads the file into the state, or records why it cannot be read.
void loadFile(State& s, const QString& path, const FileStamp& stamp)
{
    s.defaultLoaded = false;
    s.loadedFrom = stamp;
    s.hive = registry::emptyHive();

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        s.loadStatus = ERROR_REGISTRY_IO_FAILED;
        s.loadError = QStringLiteral("%1: cannot read the registry file (STELVO_REGISTRY): %2")
                          .arg(path, file.errorString());
    } else {
        try {
            s.hive = registry::parseExport(file.readAll());
            s.loadStatus = ERROR_SUCCESS;
            s.loadError.clear();
        } catch (const registry::ExportError& e) {
            s.loadStatus = ERROR_REGISTRY_CORRUPT;
            s.loadError = QStringLiteral("%1:%2: %3").arg(path).arg(e.line).arg(e.reason);
        }
    }
    if (s.loadStatus != ERROR_SUCCESS)
        qWarning().noquote() << s.loadError;
}

// The hive of the file `path` (empty: the default) as it is now; called
// with the mutex held.
LONG currentHive(State& s, const QString& path, std::shared_ptr<const Hive>& hive)
{
    if (path.isEmpty()) {
        if (!s.defaultLoaded)
            loadDefault(s);
    } else {
        // Read again whenever the file changed, so that an edit shows at once.
        const FileStamp stamp = stampOf(path);
        if (s.defaultLoaded || !s.loadedFrom || !(*s.loadedFrom == stamp))
            loadFile(s, path, stamp);
    }
    hive = s.hive;
    return s.loadStatus;
}

constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK |
                                DELETE_ACCESS | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                GENERIC_ALL;

// The key a handle stands for, a root that of the file `path`; called with
// the mutex held.
LONG resolve(State& s, const QString& path, HKEY hKey, OpenKey& out)
{
    if (isRoot(hKey)) {
        std::shared_ptr<const Hive> hive;
        const LONG status = currentHive(s, path, hive);
        if (status != ERROR_SUCCESS)
            return status;
        out = OpenKey{hive, &hive->roots.at(hKey), KEY_READ};
        return ERROR_SUCCESS;
    }
    auto it = s.handles.find(hKey);
    if (it == s.handles.end())
        return ERROR_INVALID_HANDLE;
    out = it->second;
    return ERROR_SUCCESS;
}

// The key `subKey` names below `key`, or null when there is none.
const Key* findSubkey(const Key* key, const char* subKey)
{
    QString path = subKey ? QString::fromLocal8Bit(subKey) : QString();
    if (path.endsWith(QLatin1Char('\\')))
        path.chop(1); // the registry accepts one trailing separator
    if (path.isEmpty())
        return key;
    // One key at a time, without a list of them: a path may hold a million.
    for (const QStringView part : qTokenize(path, u'\\')) {
        key = part.isEmpty() ? nullptr : key->subkey(part);
        if (!key)
            return nullptr;
    }
    return key;
}

// A new handle for `open`; called with the mutex held.
HKEY addHandle(State& s, const OpenKey& open)
{
    while (s.handles.count(s.nextHandle) || isRoot(s.nextHandle) || s.nextHandle == 0)
        s.nextHandle = s.nextHandle >= 0x7FFFFFF0u ? 0x100 : s.nextHandle + 4;
    const HKEY handle = s.nextHandle;
    s.nextHandle += 4;
    s.handles[handle] = open;
    return handle;
}

} // namespace

LONG Registry::RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             HKEY* phkResult) const
{
    Q_UNUSED(ulOptions); // REG_OPTION_OPEN_LINK: the file format has no links
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = 0;

    State& s = state();
    QMutexLocker lock(&s.mutex);
    OpenKey parent;
    if (const LONG status = resolve(s, m_file, hKey, parent); status != ERROR_SUCCESS)
        return status;
    const Key* key = findSubkey(parent.key, lpSubKey);
    if (!key)
        return ERROR_FILE_NOT_FOUND;
    if (samDesired & kWriteRights)
        return ERROR_ACCESS_DENIED;

    REGSAM granted = samDesired;
    if (samDesired & (GENERIC_READ | MAXIMUM_ALLOWED))
        granted |= KEY_READ;
    *phkResult = addHandle(s, OpenKey{parent.hive, key, granted});
    return ERROR_SUCCESS;
}

LONG Registry::RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved,
                                DWORD* lpType, BYTE* lpData, DWORD* lpcbData) const
{
    if (lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;

    State& s = state();
    QMutexLocker lock(&s.mutex);
    OpenKey open;
    if (const LONG status = resolve(s, m_file, hKey, open); status != ERROR_SUCCESS)
        return status;
    if (!(open.access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;

    const registry::Value* value =
        open.key->value(lpValueName ? QString::fromLocal8Bit(lpValueName) : QString());
    if (!value)
        return ERROR_FILE_NOT_FOUND;

    if (lpType)
        *lpType = value->type;
    if (!lpcbData)
        return ERROR_SUCCESS;
    const auto size = DWORD(value->data.size());
    if (lpData && *lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (lpData && size > 0)
        std::memcpy(lpData, value->data.constData(), size);
    *lpcbData = size;
    return ERROR_SUCCESS;
}

LONG Registry::RegCloseKey(HKEY hKey) const
{
    if (isRoot(hKey))
        return ERROR_SUCCESS;
    State& s = state();
    QMutexLocker lock(&s.mutex);
    return s.handles.erase(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

QString Registry::registryLoadError() const
{
    State& s = state();
    QMutexLocker lock(&s.mutex);
    std::shared_ptr<const Hive> hive;
    currentHive(s, m_file, hive);
    return s.loadError;
}

} // namespace stelvo
