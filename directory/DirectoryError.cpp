// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "DirectoryError.h"

#include <QCoreApplication>
#include <exception>
#include <new>

namespace stelvo {

QString currentExceptionReason()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return QCoreApplication::translate("DirectoryError", "out of memory");
    } catch (const std::exception& error) {
        return QString::fromLocal8Bit(error.what());
    } catch (...) {
        return QCoreApplication::translate("DirectoryError", "an unexpected error");
    }
}

} // namespace stelvo
