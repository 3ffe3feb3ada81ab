// The engine boundary: the one place where corvane meets the PHP 7.3 engine's declarations.
//
// Built against PHP's own headers (CORVANE_PHP_HEADERS, set by the build when a php-config is given),
// or included after them by an extension, it uses PHP's declarations. Otherwise it uses corvane's own
// declarations of the same ABI. Either way the constants below are the engine's values.
#ifndef CORVANE_ENGINE_H
#define CORVANE_ENGINE_H

#if defined(CORVANE_PHP_HEADERS) || defined(ZEND_TYPES_H)
#include <zend.h>
#include <zend_smart_str_public.h>
#define CORVANE_USES_PHP_HEADERS 1
#else
#include <corvane/php73_abi.h>
#endif

#include <cstdint>
#include <cstdlib>

namespace corvane::engine {

// Type codes: the low byte of a zval's type info.
constexpr uint8_t kUndef = 0;
constexpr uint8_t kNull = 1;
constexpr uint8_t kFalse = 2;
constexpr uint8_t kTrue = 3;
constexpr uint8_t kLong = 4;
constexpr uint8_t kDouble = 5;
constexpr uint8_t kString = 6;
constexpr uint8_t kArray = 7;
constexpr uint8_t kObject = 8;
constexpr uint8_t kResource = 9;
constexpr uint8_t kReference = 10;
constexpr uint8_t kConstantAst = 11;
constexpr uint8_t kIndirect = 13;

// Whole type-info values that corvane writes into a zval.
constexpr uint32_t kRefcountedFlag = 1u << 8;  // type flags byte = 1
constexpr uint32_t kInternedStringInfo = kString;
constexpr uint32_t kStringInfo = kString | kRefcountedFlag;
constexpr uint32_t kArrayInfo = kArray | kRefcountedFlag;

// Flag bits of the type info in the header of every counted engine object.
constexpr uint32_t kGcProtected = 0x20;  // marks an array that is being walked
constexpr uint32_t kGcImmutable = 0x40;  // interned string or immutable array
constexpr uint32_t kGcPersistent = 0x80;

// Header type info of strings corvane creates.
constexpr uint32_t kNewStringInfo = kString;
constexpr uint32_t kNewPersistentStringInfo = kString | kGcPersistent;

inline uint8_t typeOf(const zval& v) { return static_cast<uint8_t>(v.u1.type_info & 0xff); }
inline uint8_t typeFlagsOf(const zval& v) { return static_cast<uint8_t>((v.u1.type_info >> 8) & 0xff); }

// --- The header of every counted object ----------------------------------------------------------
// Strings, arrays and every other counted object begin with a zend_refcounted_h named gc. It is
// reached only through these helpers, through that member's own type, as the engine's GC_* macros
// reach it. An optimiser then sees every count and flag access as the same kind of memory, whatever
// struct the header sits in; reaching it as zend_array::gc here and zend_refcounted::gc there lets
// it assume the two never alias, and lose or reorder count changes.

template <typename Counted>
inline zend_refcounted_h* header(Counted* counted) {
    return &counted->gc;
}
template <typename Counted>
inline const zend_refcounted_h* header(const Counted* counted) {
    return &counted->gc;
}

template <typename Counted>
inline uint32_t refcount(const Counted* counted) {
    return header(counted)->refcount;
}
// Add or drop one reference; each returns the new count.
template <typename Counted>
inline uint32_t addRef(Counted* counted) {
    return ++header(counted)->refcount;
}
template <typename Counted>
inline uint32_t delRef(Counted* counted) {
    return --header(counted)->refcount;
}
// The header's whole type info: the object's type in the low bits, then its GC flags.
template <typename Counted>
inline uint32_t gcFlags(const Counted* counted) {
    return header(counted)->u.type_info;
}
template <typename Counted>
inline void setGcFlags(Counted* counted, uint32_t flags) {
    header(counted)->u.type_info |= flags;
}
template <typename Counted>
inline void clearGcFlags(Counted* counted, uint32_t flags) {
    header(counted)->u.type_info &= ~flags;
}
// A new object's header: its count and its whole type info.
template <typename Counted>
inline void initHeader(Counted* counted, uint32_t refcount, uint32_t typeInfo) {
    header(counted)->refcount = refcount;
    header(counted)->u.type_info = typeInfo;
}
template <typename Counted>
inline bool isImmutable(const Counted* counted) {
    return (gcFlags(counted) & kGcImmutable) != 0;
}
template <typename Counted>
inline bool isPersistent(const Counted* counted) {
    return (gcFlags(counted) & kGcPersistent) != 0;
}

// The engine's two allocators; neither returns on exhaustion. Request memory lives at most until
// the engine ends the current request; persistent memory is the engine's malloc, given back with
// the standard free.
// With PHP's headers, exactly as extensions allocate: a release engine's headers send constant
// sizes to the engine's size-class entry points, and debug headers add the file and line.
inline void* requestAlloc(size_t size) {
#if defined(CORVANE_USES_PHP_HEADERS)
    return emalloc(size);
#else
    return _emalloc(size);
#endif
}

inline void requestFree(void* ptr) {
#if defined(CORVANE_USES_PHP_HEADERS)
    efree(ptr);
#else
    _efree(ptr);
#endif
}

inline void* persistentAlloc(size_t size) { return __zend_malloc(size); }

inline void persistentFree(void* ptr) { std::free(ptr); }

}  // namespace corvane::engine

#if defined(CORVANE_USES_PHP_HEADERS)
static_assert(corvane::engine::kString == IS_STRING && corvane::engine::kArray == IS_ARRAY, "type codes");
static_assert(corvane::engine::kIndirect == IS_INDIRECT, "type codes");
static_assert(corvane::engine::kStringInfo == IS_STRING_EX && corvane::engine::kArrayInfo == IS_ARRAY_EX,
              "type info");
static_assert(corvane::engine::kGcProtected == GC_PROTECTED && corvane::engine::kGcImmutable == GC_IMMUTABLE &&
                  corvane::engine::kGcPersistent == GC_PERSISTENT,
              "GC flags");
#endif

#endif
