// Freed request blocks are kept back for a while: a counted header gets count 1 and a type info
// that marks it freed, and every byte after it a poison pattern, so that stale reads see garbage and
// stale writes show when the block leaves. A release after the last one then falls
// to 0 again and reaches _efree() or zend_array_destroy() with a block that is known to be freed,
// and zval_ptr_dtor() and the table functions see the mark first; each aborts naming the block.
//
// Off when free() is not the stand-in's (AddressSanitizer or valgrind own the heap): those tools keep
// freed memory back themselves and report its first use with where it was freed, which a block
// still live in the C heap's eyes would hide.
#include "internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace standin::internal {
namespace {

// Type info of a freed counted block: type 15, which the engine never uses, no flags (so that the
// handles' inline code takes neither the immutable nor the persistent way out), and a pattern above.
constexpr uint32_t kFreedTypeInfo = 0xdead000f;
constexpr unsigned char kPoison = 0xdb;

// Where the poisoned bytes start: after the counted header, which has a mark of its own.
size_t poisonStart(const Description& what) { return isCounted(what.content) ? sizeof(zend_refcounted_h) : 0; }

struct Held {
    void* ptr;
    Description what;
};

// Oldest first, as a ring.
Held held[kQuarantineBlocks];
size_t oldest = 0;
size_t heldCount = 0;
size_t heldBytes = 0;
int active = -1;  // not asked yet

const Description& descriptionOf(const void* ptr) {
    Block* block = registry.find(ptr);
    return held[block->slot].what;
}

[[noreturn]] void abortWith(const char* fault, const void* ptr, const char* detail) {
    std::fprintf(stderr, "standin: %s: %s%s\n", fault, nameOf(descriptionOf(ptr)).text, detail);
    std::fflush(stderr);
    std::abort();
}

// A write through a stale pointer left a byte that is not the poison.
void checkPoison(const Held& entry) {
    auto* bytes = static_cast<const unsigned char*>(entry.ptr);
    for (size_t i = poisonStart(entry.what); i < entry.what.size; ++i) {
        if (bytes[i] == kPoison) continue;
        std::fprintf(stderr, "standin: use after free: %s was written after it was freed at offset %zu\n",
                     nameOf(entry.what).text, i);
        std::fflush(stderr);
        std::abort();
    }
}

// Whatever touched a freed header without releasing it (a reference taken, a flag set) shows here.
void checkUntouched(const Held& entry) {
    if (!isCounted(entry.what.content)) return;
    auto* header = static_cast<const zend_refcounted*>(entry.ptr);
    uint32_t count = corvane::engine::refcount(header);
    uint32_t typeInfo = corvane::engine::gcFlags(header);
    if (count == 1 && typeInfo == kFreedTypeInfo) return;
    std::fprintf(stderr, "standin: use after free: %s was changed after it was freed (count %+lld, type info 0x%x)\n",
                 nameOf(entry.what).text, static_cast<long long>(count) - 1, typeInfo);
    std::fflush(stderr);
    std::abort();
}

void evictOldest() {
    Held& entry = held[oldest];
    checkUntouched(entry);
    checkPoison(entry);
    oldest = (oldest + 1) % kQuarantineBlocks;
    --heldCount;
    heldBytes -= entry.what.size;
    freeRequestBlock(registry.find(entry.ptr));
}

}  // namespace

bool quarantineActive() {
    if (active < 0) active = standin::persistentFreesVisible() ? 1 : 0;
    return active == 1;
}

void quarantine(Block* block, Content content) {
    void* ptr = block->ptr;  // evicting moves registry entries: block is stale after it
    size_t size = block->size;
    Description what = describe(ptr, size, content);
    while (heldCount == kQuarantineBlocks || (heldCount > 0 && heldBytes + size > kQuarantineBytes)) evictOldest();
    size_t slot = (oldest + heldCount) % kQuarantineBlocks;
    held[slot] = Held{ptr, what};
    ++heldCount;
    heldBytes += size;
    block = registry.find(ptr);
    block->kind = Kind::Freed;
    block->slot = static_cast<uint32_t>(slot);
    if (isCounted(content)) corvane::engine::initHeader(static_cast<zend_refcounted*>(ptr), 1, kFreedTypeInfo);
    size_t start = poisonStart(what);
    if (size > start) std::memset(static_cast<char*>(ptr) + start, kPoison, size - start);
}

void drainQuarantine() {
    while (heldCount > 0) evictOldest();
}

size_t quarantinedCount() { return heldCount; }

// The registry decides, not the mark: a flag set on a freed header changes the mark.
bool isFreed(const void* counted) {
    Block* block = registry.find(counted);
    return block && block->kind == Kind::Freed;
}

void overReleased(const void* ptr, const char* function) {
    char detail[96];
    std::snprintf(detail, sizeof detail, " was released again after its last reference freed it (in %s())", function);
    abortWith("over-release", ptr, detail);
}

void freedAgain(const void* ptr, const char* function) {
    const Description& what = descriptionOf(ptr);
    // A handle or the engine dropped a reference and reached 0 a second time.
    if (isCounted(what.content) && corvane::engine::refcount(static_cast<const zend_refcounted*>(ptr)) == 0) {
        overReleased(ptr, function);
    }
    std::fprintf(stderr, "standin: double free: %s() of %s, which was already freed\n", function, nameOf(what).text);
    std::fflush(stderr);
    std::abort();
}

void usedAfterFree(const void* ptr, const char* function) {
    const Description& what = descriptionOf(ptr);
    std::fprintf(stderr, "standin: use of a freed %s: %s() on %s, which was already freed\n",
                 kindName(what.content, false), function, nameOf(what).text);
    std::fflush(stderr);
    std::abort();
}

}  // namespace standin::internal

namespace standin {

bool quarantineActive() { return internal::quarantineActive(); }

void setQuarantine(bool on) {
    if (!on) internal::drainQuarantine();
    internal::active = on && persistentFreesVisible() ? 1 : 0;
}

size_t quarantinedBlocks() { return internal::quarantinedCount(); }

bool isQuarantined(const void* ptr) {
    internal::Block* block = internal::registry.find(ptr);
    return block && block->kind == internal::Kind::Freed;
}

}  // namespace standin
