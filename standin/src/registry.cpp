#include "registry.h"

#include <cstdio>
#include <cstdlib>

extern "C" void __libc_free(void* ptr);
extern "C" void* __libc_calloc(size_t count, size_t size);

namespace standin::internal {

Registry registry;

Block* Registry::find(const void* ptr) {
    if (!slots_) return nullptr;
    for (size_t i = home(ptr);; i = next(i)) {
        if (slots_[i].ptr == ptr) return &slots_[i];
        if (!slots_[i].ptr) return nullptr;
    }
}

void Registry::insert(const Block& block) {
    if ((count_ + 1) * 2 > capacity_) grow();
    size_t i = home(block.ptr);
    while (slots_[i].ptr && slots_[i].ptr != block.ptr) i = next(i);
    if (!slots_[i].ptr) ++count_;
    slots_[i] = block;
}

void Registry::erase(Block* block) {
    size_t hole = static_cast<size_t>(block - slots_);
    slots_[hole].ptr = nullptr;
    --count_;
    for (size_t i = next(hole); slots_[i].ptr; i = next(i)) {
        size_t want = home(slots_[i].ptr);
        // Move the entry back into the hole unless its home lies cyclically in (hole, i].
        bool homeBetween = hole < i ? (want > hole && want <= i) : (want > hole || want <= i);
        if (homeBetween) continue;
        slots_[hole] = slots_[i];
        slots_[i].ptr = nullptr;
        hole = i;
    }
}

size_t Registry::count(Kind kind) const {
    size_t n = 0;
    for (size_t i = 0; i < capacity_; ++i) n += slots_[i].ptr && slots_[i].kind == kind;
    return n;
}

size_t Registry::home(const void* ptr) const {
    auto bits = reinterpret_cast<uintptr_t>(ptr) >> 4;
    return static_cast<size_t>((bits * 0x9E3779B97F4A7C15ull) >> 20) & (capacity_ - 1);
}

void Registry::grow() {
    Block* old = slots_;
    size_t oldCapacity = capacity_;
    capacity_ = capacity_ ? capacity_ * 2 : 1024;
    slots_ = static_cast<Block*>(__libc_calloc(capacity_, sizeof(Block)));
    if (!slots_) {
        std::fputs("standin: out of memory for the allocation registry\n", stderr);
        std::abort();
    }
    count_ = 0;
    for (size_t i = 0; i < oldCapacity; ++i) {
        if (old[i].ptr) insert(old[i]);
    }
    __libc_free(old);
}

}  // namespace standin::internal
