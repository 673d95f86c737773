// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/model/ladder.h"

#include <mutex>
#include <new>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define RUNGPAD_ROWS_FROM_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RUNGPAD_ROWS_FROM_HEAP 1
#endif
#endif

namespace rungpad {

#ifdef RUNGPAD_ROWS_FROM_HEAP

// Under AddressSanitizer every row is its own allocation, so a use after free is still caught.
void* LadderRow::operator new(std::size_t size) { return ::operator new(size); }
void LadderRow::operator delete(void* row, std::size_t) noexcept { ::operator delete(row); }

#else

namespace {

// Each thread keeps a list of free rows, carved from slabs that are never given back: a row
// freed on another thread joins that thread's list, and its slab is still there. What the
// pool holds is bounded by the most rows that were alive at once.
union FreeRow {
    FreeRow* next;
    alignas(LadderRow) unsigned char bytes[sizeof(LadderRow)];
};

constexpr std::size_t kSlabRows = 512;

struct RowPool {
    FreeRow* free = nullptr;
    void refill()
    {
        auto* slab = static_cast<FreeRow*>(::operator new(sizeof(FreeRow) * kSlabRows));
        {
            // Kept for the process's life (see above), and reachable for leak checkers.
            static std::mutex guard;
            static auto* slabs = new std::vector<void*>;
            const std::lock_guard<std::mutex> lock(guard);
            slabs->push_back(slab);
        }
        for (std::size_t i = kSlabRows; i-- > 0;) {
            slab[i].next = free;
            free = &slab[i];
        }
    }
};

thread_local RowPool pool;

}  // namespace

void* LadderRow::operator new(std::size_t size)
{
    if (size != sizeof(LadderRow))
        return ::operator new(size);
    if (!pool.free)
        pool.refill();
    FreeRow* row = pool.free;
    pool.free = row->next;
    return row;
}

void LadderRow::operator delete(void* row, std::size_t size) noexcept
{
    if (!row)
        return;
    if (size != sizeof(LadderRow)) {
        ::operator delete(row);
        return;
    }
    auto* freed = static_cast<FreeRow*>(row);
    freed->next = pool.free;
    pool.free = freed;
}

#endif

}  // namespace rungpad
