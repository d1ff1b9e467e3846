// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QThreadPool>
#include <memory>
#include <tuple>
#include <type_traits>

namespace stelvo {

// Frees `values` on a thread of Qt's global pool instead of the caller's: the
// state of a million entries takes a third of a second to free, which the
// window must not wait for when a refresh replaces it. The pool is waited
// for when the application ends, so nothing is left half freed.
template <typename... T> void freeElsewhere(T&&... values)
{
    static_assert((!std::is_lvalue_reference_v<T> && ...), "pass what is to go by value");
    auto held = std::make_shared<std::tuple<std::decay_t<T>...>>(std::forward<T>(values)...);
    QThreadPool::globalInstance()->start([held = std::move(held)]() mutable { held.reset(); });
}

} // namespace stelvo
