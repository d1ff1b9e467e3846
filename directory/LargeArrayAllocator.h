// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <sys/mman.h>
#include <vector>

namespace stelvo {

// For the arrays a million entries fill (a few dozen megabytes each): their
// memory is mapped on its own and asked of the kernel in 2 MiB pages where
// it can, so that filling one takes a few dozen page faults instead of
// thousands, each of which costs microseconds (far more on a virtual
// machine). Smaller arrays come from the usual heap.
template <typename T> class LargeArrayAllocator
{
public:
    using value_type = T;

    LargeArrayAllocator() = default;
    template <typename U> LargeArrayAllocator(const LargeArrayAllocator<U>&) noexcept {}

    T* allocate(std::size_t count)
    {
        const std::size_t bytes = count * sizeof(T);
        if (count > std::size_t(-1) / sizeof(T))
            throw std::bad_array_new_length();
        if (bytes < kMapped)
            return std::allocator<T>().allocate(count);
        void* memory =
            ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED)
            throw std::bad_alloc();
        // Advice only: without transparent huge pages the pages are small.
        ::madvise(memory, bytes, MADV_HUGEPAGE);
        return static_cast<T*>(memory);
    }

    void deallocate(T* memory, std::size_t count) noexcept
    {
        const std::size_t bytes = count * sizeof(T);
        if (bytes < kMapped)
            std::allocator<T>().deallocate(memory, count);
        else
            ::munmap(memory, bytes);
    }

    template <typename U> bool operator==(const LargeArrayAllocator<U>&) const noexcept
    {
        return true;
    }

private:
    static constexpr std::size_t kMapped = std::size_t(4) << 20;
};

template <typename T> using LargeArray = std::vector<T, LargeArrayAllocator<T>>;

} // namespace stelvo
