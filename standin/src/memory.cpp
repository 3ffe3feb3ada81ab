// The engine's allocators, with a registry of every live block so that tests see leaks and every
// free through the wrong allocator aborts at once.
#include "internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" void __libc_free(void* ptr);
extern "C" void* __libc_calloc(size_t count, size_t size);

namespace standin::internal {
namespace {

enum class Kind : uint8_t { Request, Persistent, Interned };

struct Block {
    void* ptr;  // null marks a free slot
    size_t size;
    Kind kind;
};

// Open addressing with linear probing and backward-shift deletion. Its storage comes from glibc
// directly, so that the registry never re-enters the free() it watches.
class Registry {
public:
    Block* find(const void* ptr) {
        if (!slots_) return nullptr;
        for (size_t i = home(ptr);; i = next(i)) {
            if (slots_[i].ptr == ptr) return &slots_[i];
            if (!slots_[i].ptr) return nullptr;
        }
    }

    void insert(void* ptr, size_t size, Kind kind) {
        if ((count_ + 1) * 2 > capacity_) grow();
        size_t i = home(ptr);
        while (slots_[i].ptr && slots_[i].ptr != ptr) i = next(i);
        if (!slots_[i].ptr) ++count_;
        slots_[i] = Block{ptr, size, kind};
    }

    void erase(Block* block) {
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

    size_t count(Kind kind) const {
        size_t n = 0;
        for (size_t i = 0; i < capacity_; ++i) n += slots_[i].ptr && slots_[i].kind == kind;
        return n;
    }

    Block* first(Kind kind) {
        for (size_t i = 0; i < capacity_; ++i) {
            if (slots_[i].ptr && slots_[i].kind == kind) return &slots_[i];
        }
        return nullptr;
    }

private:
    size_t home(const void* ptr) const {
        auto bits = reinterpret_cast<uintptr_t>(ptr) >> 4;
        return static_cast<size_t>((bits * 0x9E3779B97F4A7C15ull) >> 20) & (capacity_ - 1);
    }
    size_t next(size_t i) const { return (i + 1) & (capacity_ - 1); }

    void grow() {
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
            if (old[i].ptr) insert(old[i].ptr, old[i].size, old[i].kind);
        }
        __libc_free(old);
    }

    Block* slots_ = nullptr;
    size_t capacity_ = 0;
    size_t count_ = 0;
};

Registry registry;

// Request blocks start this far into their heap block, so that handing one to free() is a fault
// that every heap implementation notices too.
constexpr size_t kRequestOffset = 16;

[[noreturn]] void fault(const char* what, const void* ptr) {
    std::fprintf(stderr, "standin: %s %p\n", what, ptr);
    std::fflush(stderr);
    std::abort();
}

void* heapAlloc(size_t size) {
    void* ptr = std::malloc(size ? size : 1);
    if (!ptr) fault("out of memory allocating", nullptr);
    return ptr;
}

void* allocateKind(size_t size, Kind kind) {
    if (kind == Kind::Request) {
        char* base = static_cast<char*>(heapAlloc(size + kRequestOffset));
        registry.insert(base + kRequestOffset, size, kind);
        return base + kRequestOffset;
    }
    void* ptr = heapAlloc(size);
    registry.insert(ptr, size, kind);
    return ptr;
}

void freeRequestBlock(Block* block) {
    char* base = static_cast<char*>(block->ptr) - kRequestOffset;
    registry.erase(block);
    std::free(base);
}

}  // namespace

void* allocate(size_t size, bool persistent) {
    return allocateKind(size, persistent ? Kind::Persistent : Kind::Request);
}

void release(void* ptr, bool persistent) {
    if (persistent) {
        std::free(ptr);  // seen by the free() below when it is in use
        if (Block* stale = registry.find(ptr)) registry.erase(stale);
    } else {
        _efree(ptr);
    }
}

void* allocateInterned(size_t size) { return allocateKind(size, Kind::Interned); }

void releaseInterned(void* ptr) {
    if (Block* block = registry.find(ptr)) registry.erase(block);
    std::free(ptr);
}

size_t sweepRequestBlocks() {
    size_t leaks = 0;
    while (Block* block = registry.first(Kind::Request)) {
        ++leaks;
        auto* header = static_cast<const zend_refcounted*>(block->ptr);
        bool hasHeader = block->size >= sizeof(zend_refcounted);
        std::fprintf(stderr, "standin: leak of %zu request bytes at %p (count %u, type info 0x%x)\n", block->size,
                     block->ptr, hasHeader ? corvane::engine::refcount(header) : 0u,
                     hasHeader ? corvane::engine::gcFlags(header) : 0u);
        freeRequestBlock(block);
    }
    return leaks;
}

}  // namespace standin::internal

using namespace standin::internal;

extern "C" {

void* _emalloc(size_t size) {
    countCall();
    return allocateKind(size, Kind::Request);
}

void _efree(void* ptr) {
    countCall();
    Block* block = registry.find(ptr);
    if (!block) fault("_efree() of memory that is not live request memory (freed twice, or never from _emalloc):", ptr);
    if (block->kind == Kind::Persistent) fault("_efree() of persistent memory (it belongs to free()):", ptr);
    if (block->kind == Kind::Interned) fault("_efree() of an interned string, which the engine owns:", ptr);
    freeRequestBlock(block);
}

void* __zend_malloc(size_t size) {
    countCall();
    return allocateKind(size, Kind::Persistent);
}

// Every free() in the process passes here while no sanitizer has taken free() over: persistent
// blocks are counted down, and frees of request memory or interned strings abort.
void free(void* ptr) noexcept {
    if (ptr) {
        if (Block* block = registry.find(ptr)) {
            if (block->kind == Kind::Request) fault("free() of request memory (it belongs to _efree()):", ptr);
            if (block->kind == Kind::Interned) fault("free() of an interned string, which the engine owns:", ptr);
            registry.erase(block);
        }
    }
    __libc_free(ptr);
}

}  // extern "C"

namespace standin {

size_t liveRequestBlocks() { return registry.count(Kind::Request); }

size_t livePersistentBlocks() { return registry.count(Kind::Persistent); }

bool persistentFreesVisible() {
    void* probe = allocateKind(1, Kind::Persistent);
    std::free(probe);
    Block* stale = registry.find(probe);
    if (!stale) return true;
    registry.erase(stale);
    return false;
}

size_t blockSize(const void* ptr) {
    Block* block = registry.find(ptr);
    return block ? block->size : 0;
}

}  // namespace standin

// The size-class shortcuts that PHP's release headers turn emalloc(constant) and efree into: code
// compiled against those headers calls them, so the stand-in has them too.
#define STANDIN_SIZE_CLASS(size)                                   \
    extern "C" void* _emalloc_##size() { return _emalloc(size); } \
    extern "C" void _efree_##size(void* ptr) { _efree(ptr); }
STANDIN_SIZE_CLASS(8)
STANDIN_SIZE_CLASS(16)
STANDIN_SIZE_CLASS(24)
STANDIN_SIZE_CLASS(32)
STANDIN_SIZE_CLASS(40)
STANDIN_SIZE_CLASS(48)
STANDIN_SIZE_CLASS(56)
STANDIN_SIZE_CLASS(64)
STANDIN_SIZE_CLASS(80)
STANDIN_SIZE_CLASS(96)
STANDIN_SIZE_CLASS(112)
STANDIN_SIZE_CLASS(128)
STANDIN_SIZE_CLASS(160)
STANDIN_SIZE_CLASS(192)
STANDIN_SIZE_CLASS(224)
STANDIN_SIZE_CLASS(256)
STANDIN_SIZE_CLASS(320)
STANDIN_SIZE_CLASS(384)
STANDIN_SIZE_CLASS(448)
STANDIN_SIZE_CLASS(512)
STANDIN_SIZE_CLASS(640)
STANDIN_SIZE_CLASS(768)
STANDIN_SIZE_CLASS(896)
STANDIN_SIZE_CLASS(1024)
STANDIN_SIZE_CLASS(1280)
STANDIN_SIZE_CLASS(1536)
STANDIN_SIZE_CLASS(1792)
STANDIN_SIZE_CLASS(2048)
STANDIN_SIZE_CLASS(2560)
STANDIN_SIZE_CLASS(3072)
#undef STANDIN_SIZE_CLASS

extern "C" void* _emalloc_large(size_t size) { return _emalloc(size); }
extern "C" void* _emalloc_huge(size_t size) { return _emalloc(size); }
extern "C" void _efree_large(void* ptr, size_t) { _efree(ptr); }
extern "C" void _efree_huge(void* ptr, size_t) { _efree(ptr); }
