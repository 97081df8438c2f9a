// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/shared_block.h"

#include <cstdlib>
#include <mutex>
#include <unordered_map>

namespace {

struct Registry {
    std::mutex lock;
    std::unordered_map<std::uint32_t, void*> blocks;
    std::uint32_t lastHandle = 0;
    std::optional<std::size_t> budget;
};

Registry& registry()
{
    static Registry r;
    return r;
}

// A handle is never 0 and never names two live blocks; after a wrap of the
// 32-bit counter the handles still in use are skipped.
std::uint32_t nextFreeHandle(Registry& r)
{
    do {
        ++r.lastHandle;
    } while (r.lastHandle == 0 || r.blocks.contains(r.lastHandle));
    return r.lastHandle;
}

} // namespace

void* AllocSharedBlock(std::uint32_t Size, std::uint32_t& Handle)
{
    Handle = 0;
    if (Size == 0)
        return nullptr;
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    if (r.budget) {
        if (*r.budget == 0)
            return nullptr;
        --*r.budget;
    }
    void* block = std::calloc(1, Size);
    if (!block)
        return nullptr;
    try {
        const std::uint32_t handle = nextFreeHandle(r);
        r.blocks.emplace(handle, block);
        Handle = handle;
    } catch (...) {
        std::free(block);
        return nullptr;
    }
    return block;
}

void FreeSharedBlock(std::uint32_t Handle, void*)
{
    if (Handle == 0)
        return;
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    const auto found = r.blocks.find(Handle);
    if (found == r.blocks.end())
        return;
    std::free(found->second);
    r.blocks.erase(found);
}

std::size_t SharedBlockCount()
{
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    return r.blocks.size();
}

void SetSharedBlockAllocationBudget(std::optional<std::size_t> Budget)
{
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    r.budget = Budget;
}
