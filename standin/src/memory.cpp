// The engine's allocators, with a registry of every live block so that tests see leaks and every
// free through the wrong allocator aborts at once.
#include "internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" void __libc_free(void* ptr);

namespace standin::internal {
namespace {

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

void* allocateKind(size_t size, Kind kind, Content content = Content::Block) {
    if (kind == Kind::Request) {
        char* base = static_cast<char*>(heapAlloc(size + kRequestOffset));
        registry.insert(Block{base + kRequestOffset, size, kind, content, 0});
        return base + kRequestOffset;
    }
    void* ptr = heapAlloc(size);
    registry.insert(Block{ptr, size, kind, content, 0});
    return ptr;
}

// The checks of every request free: the block must be live request memory.
Block* blockToFree(void* ptr, const char* function) {
    Block* block = registry.find(ptr);
    if (!block) fault("_efree() of memory that is not live request memory (freed twice, or never from _emalloc):", ptr);
    if (block->kind == Kind::Freed) freedAgain(ptr, function);
    if (block->kind == Kind::Persistent) fault("_efree() of persistent memory (it belongs to free()):", ptr);
    if (block->kind == Kind::Interned) fault("_efree() of an interned string, which the engine owns:", ptr);
    return block;
}

// Asking whether to quarantine may allocate (once), which may move registry entries: the block is
// found again after it. Only a block going into the quarantine is looked at: an extension may free
// a buffer it filled only in part, and valgrind would see its unwritten bytes read.
void retire(void* ptr) {
    bool keep = quarantineActive();
    Block* block = registry.find(ptr);
    if (keep) {
        quarantine(block, classify(ptr, block->size, block->content));
    } else {
        freeRequestBlock(block);
    }
}

}  // namespace

void freeRequestBlock(Block* block) {
    char* base = static_cast<char*>(block->ptr) - kRequestOffset;
    registry.erase(block);
    std::free(base);
}

void* allocate(size_t size, bool persistent, Content content) {
    return allocateKind(size, persistent ? Kind::Persistent : Kind::Request, content);
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

namespace {

void printLeak(const Block& block, const Description& what) {
    if (what.content == Content::Block) {
        std::fprintf(stderr, "standin: leak: a block of %zu request bytes at %p\n", block.size, block.ptr);
    } else if (isCounted(what.content)) {
        std::fprintf(stderr, "standin: leak: %s, count %u, %zu request bytes at %p\n", nameOf(what).text,
                     corvane::engine::refcount(static_cast<const zend_refcounted*>(block.ptr)), block.size, block.ptr);
    } else {
        std::fprintf(stderr, "standin: leak: %s, %zu request bytes at %p\n", nameOf(what).text, block.size, block.ptr);
    }
}

void printSummary(size_t leaks, const size_t (&byKind)[kContentKinds]) {
    std::fprintf(stderr, "standin: %zu leaked request %s:", leaks, leaks == 1 ? "block" : "blocks");
    const char* separator = " ";
    for (size_t kind = 0; kind < kContentKinds; ++kind) {
        if (byKind[kind] == 0) continue;
        std::fprintf(stderr, "%s%zu %s", separator, byKind[kind],
                     kindName(static_cast<Content>(kind), byKind[kind] != 1));
        separator = ", ";
    }
    std::fputc('\n', stderr);
}

}  // namespace

size_t sweepRequestBlocks() {
    drainQuarantine();
    std::vector<Block> leaked;
    registry.forEach(Kind::Request, [&](const Block& block) { leaked.push_back(block); });
    if (leaked.empty()) return 0;

    size_t byKind[kContentKinds] = {};
    for (const Block& block : leaked) {
        Content content = classify(block.ptr, block.size, block.content);
        printLeak(block, describe(block.ptr, block.size, content));
        ++byKind[static_cast<size_t>(content)];
    }
    printSummary(leaked.size(), byKind);
    std::fflush(stderr);
    for (const Block& block : leaked) freeRequestBlock(registry.find(block.ptr));
    return leaked.size();
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
    blockToFree(ptr, "_efree");
    retire(ptr);
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
            if (block->kind == Kind::Freed) freedAgain(ptr, "free");
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
    return block && block->kind != Kind::Freed ? block->size : 0;
}

}  // namespace standin

// The size-class shortcuts that PHP's release headers turn emalloc(constant) and efree into: code
// compiled against those headers calls them, so the stand-in has them too.
#define STANDIN_SIZE_CLASS(size)                                  \
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
