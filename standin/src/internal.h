// Shared internals of the stand-in engine.
#ifndef CORVANE_STANDIN_INTERNAL_H
#define CORVANE_STANDIN_INTERNAL_H

#include "describe.h"
#include "registry.h"

#include <standin/standin.h>

#include <cstddef>
#include <cstdint>

namespace standin::internal {

// Engine type codes and header flags, as the engine defines them.
constexpr uint32_t kUndef = 0, kNull = 1, kString = 6, kArray = 7, kObject = 8, kResource = 9, kReference = 10,
                   kIndirect = 13;
constexpr uint32_t kGcTypeMask = 0x0f;
constexpr uint32_t kGcCollectable = 0x10, kGcImmutable = 0x40, kGcPersistent = 0x80, kGcPermanent = 0x100;
// Objects use flag 0x100 for "destructor called"; the bits above the flags are the collector's
// (root buffer place and colour), zero while a value is in no buffer.
constexpr uint32_t kObjDestructorCalled = 0x100;
constexpr uint32_t kGcInfoMask = 0xfffffc00;

inline uint32_t gcType(const void* counted) {
    return corvane::engine::gcFlags(static_cast<const zend_refcounted*>(counted)) & kGcTypeMask;
}
inline bool gcHas(const void* counted, uint32_t flag) {
    return (corvane::engine::gcFlags(static_cast<const zend_refcounted*>(counted)) & flag) != 0;
}
inline uint32_t zType(const zval& v) { return v.u1.type_info & 0xff; }
inline bool zRefcounted(const zval& v) { return (v.u1.type_info & 0xff00) != 0; }

// Counts a call of an engine entry point.
void countCall();

// Allocation by the engine's rules; persistent memory is the C heap.
// content: what the block is made for, for fault and leak messages.
void* allocate(size_t size, bool persistent, Content content = Content::Block);
void release(void* ptr, bool persistent);
// Engine-owned memory that no one may free: interned strings.
void* allocateInterned(size_t size);
void releaseInterned(void* ptr);
// Ends the request: reports and frees the request blocks still live.
size_t sweepRequestBlocks();

// The quarantine of freed request blocks.
bool quarantineActive();
// Keeps a request block that is being freed instead of freeing it; content says what it held.
void quarantine(Block* block, Content content);
// Checks every quarantined block for writes since it was freed, and frees them all.
void drainQuarantine();
size_t quarantinedCount();
// Whether a counted header is that of a quarantined block.
bool isFreed(const void* counted);
// Aborts naming the quarantined block at ptr: a reference of it was dropped again; it was freed
// again (an over-release if its count fell to 0 once more, else a double free); it was passed to
// an engine function.
[[noreturn]] void overReleased(const void* ptr, const char* function);
[[noreturn]] void freedAgain(const void* ptr, const char* function);
[[noreturn]] void usedAfterFree(const void* ptr, const char* function);

// Strings.
zend_ulong hashBytes(const char* str, size_t len);
zend_string* newString(const char* str, size_t len, bool persistent);
// Drops one reference of a string, freeing it by its own persistent flag.
void releaseString(zend_string* str);
void freeRequestInternedStrings();

// Values.
void destroyCounted(zend_refcounted* counted);
// Aborts naming a persistent block that function, a request destructor, would free with _efree().
[[noreturn]] void persistentInRequestDestructor(const void* object, const char* function);

// Just enough of the engine's reference: the header and the value it refers to.
struct Reference {
    zend_refcounted_h gc;
    zval val;
    void* sources;
};

// The last reference of an object is gone: runs its destructor (once), frees it unless revived.
void destroyObject(zend_refcounted* object);
// Request end: drops the callbacks of the objects still live (leaks), without running them.
void dropLiveObjectCallbacks();

// The cycle collector's entry from zval_ptr_dtor: a reference of counted was dropped and others remain.
void checkPossibleRoot(zend_refcounted* counted);
// Request end and shutdown: a collection that never came is forgotten.
void disarmCycleCollection();

// Exceptions: zend_ce_exception is set at start-up.
void startupExceptions();

}  // namespace standin::internal

#endif
