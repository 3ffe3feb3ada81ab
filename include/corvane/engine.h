// The engine boundary: the one place where corvane meets the PHP engine's declarations, for each
// engine version it builds for (PHP 7.3 and PHP 8.2, not thread-safe).
//
// It uses PHP's own declarations whenever PHP's headers are at hand: when CORVANE_PHP_HEADERS is set
// (by the build when a php-config is given, and by the installed package of such a build), when PHP's
// headers were included first, or when they are on the include path ($(php-config --includes)), so
// that the include order within an extension never changes the layout. Only without any of these
// does it use corvane's own declarations of the PHP 7.3 ABI. Either way the constants below are the
// engine's values, and what differs between the versions is stated here once, by name
// (docs/engine-boundary.md has the table).
#ifndef CORVANE_ENGINE_H
#define CORVANE_ENGINE_H

#if defined(CORVANE_PHP_HEADERS) || defined(ZEND_TYPES_H) || \
    (__has_include(<php_version.h>) && __has_include(<zend.h>))
#if !__has_include(<php_version.h>)
#error "corvane: PHP's headers are not on the include path; compile with $(php-config --includes), or with the flags of $(pkg-config --cflags corvane8.2) (or corvane7.3)"
#endif
#include <php_version.h>
#include <zend.h>
#include <zend_smart_str_public.h>
#include <zend_API.h>
#include <zend_exceptions.h>
#define CORVANE_USES_PHP_HEADERS 1
#define CORVANE_PHP_VERSION_ID PHP_VERSION_ID
#else
#include <corvane/php73_abi.h>
#define CORVANE_PHP_VERSION_ID 70300
#endif

#if CORVANE_PHP_VERSION_ID >= 70300 && CORVANE_PHP_VERSION_ID < 70400
#define CORVANE_PHP_MINOR_VERSION 73
#elif CORVANE_PHP_VERSION_ID >= 80200 && CORVANE_PHP_VERSION_ID < 80300
#define CORVANE_PHP_MINOR_VERSION 82
#else
#error "corvane builds for PHP 7.3 and PHP 8.2 only"
#endif

// An installed corvane marks the engines it was built for (corvane/engines/php73, php82). Code about
// to be compiled for an engine that no build in this install is for stops here, with what to do,
// instead of building against a library of another layout. The marks are looked for beside this
// header only (the quoted form), so a source tree, which has none, never meets an install's.
#define CORVANE_ENGINE_MARK_73 "engines/php73"
#define CORVANE_ENGINE_MARK_82 "engines/php82"
#if __has_include(CORVANE_ENGINE_MARK_73) || __has_include(CORVANE_ENGINE_MARK_82)
#if CORVANE_PHP_MINOR_VERSION == 73 && !__has_include(CORVANE_ENGINE_MARK_73)
#if defined(CORVANE_USES_PHP_HEADERS)
#error "corvane: these are PHP 7.3's headers, but this corvane is installed for PHP 8.2 only; use PHP 8.2's php-config, or install corvane7.3"
#else
#error "corvane: this corvane is installed for PHP 8.2 (corvane8.2): compile with $(pkg-config --cflags corvane8.2) or $(php-config --includes) of PHP 8.2, so that PHP's own headers are used"
#endif
#elif CORVANE_PHP_MINOR_VERSION == 82 && !__has_include(CORVANE_ENGINE_MARK_82)
#error "corvane: these are PHP 8.2's headers, but this corvane is installed for PHP 7.3 only; use PHP 7.3's php-config, or install corvane8.2"
#endif
#endif

// PHP 8.2 keeps the elements of a packed array (integer keys in order, HASH_FLAG_PACKED) as bare
// zvals (arPacked), the key being the element's index; PHP 7.3 keeps them in Buckets like any other.
// The one difference of the data model that class code sees: the reading walk has two layouts.
#if CORVANE_PHP_MINOR_VERSION >= 82
#define CORVANE_PACKED_ELEMENTS_ARE_ZVALS 1
#else
#define CORVANE_PACKED_ELEMENTS_ARE_ZVALS 0
#endif

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace corvane::engine {

// The engine version this code is compiled for: 73 or 82.
constexpr int kVersion = CORVANE_PHP_MINOR_VERSION;

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
// A slot that points at another zval (symbol tables, object property tables): 13 on PHP 7.3, 12 on
// PHP 8.2 (where 13 is the engine-internal pointer type and 12 was no value type on 7.3).
constexpr uint8_t kIndirect = kVersion >= 82 ? 12 : 13;

// Whole type-info values that corvane writes into a zval. The type flags byte says that the value
// is counted (1); PHP 8.2 also flags the values its cycle collector must look at (2): arrays.
constexpr uint32_t kRefcountedFlag = 1u << 8;
constexpr uint32_t kCollectableFlag = kVersion >= 82 ? 2u << 8 : 0;
constexpr uint32_t kInternedStringInfo = kString;
constexpr uint32_t kStringInfo = kString | kRefcountedFlag;
constexpr uint32_t kArrayInfo = kArray | kRefcountedFlag | kCollectableFlag;

// Flag bits of the type info in the header of every counted engine object; the same on both versions.
constexpr uint32_t kGcProtected = 0x20;  // marks an array that is being walked
constexpr uint32_t kGcImmutable = 0x40;  // interned string or immutable array
constexpr uint32_t kGcPersistent = 0x80;
// Bit 0x10 speaks about the cycle collector, the other way round on each version: PHP 7.3 sets
// COLLECTABLE on arrays, PHP 8.2 sets NOT_COLLECTABLE on strings. corvane only writes string headers.
constexpr uint32_t kGcNotCollectable = kVersion >= 82 ? 0x10 : 0;

// Header type info of strings corvane creates: 6 and 0x86 on PHP 7.3, 0x16 and 0x96 on PHP 8.2.
constexpr uint32_t kNewStringInfo = kString | kGcNotCollectable;
constexpr uint32_t kNewPersistentStringInfo = kString | kGcNotCollectable | kGcPersistent;

// The hash-table flag of a packed array (the flags byte of zend_array::u), the same on both versions.
constexpr uint32_t kHashPacked = 1u << 2;

inline uint8_t typeOf(const zval& v) { return static_cast<uint8_t>(v.u1.type_info & 0xff); }
inline uint8_t typeFlagsOf(uint32_t typeInfo) { return static_cast<uint8_t>((typeInfo >> 8) & 0xff); }
inline uint8_t typeFlagsOf(const zval& v) { return typeFlagsOf(v.u1.type_info); }

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
// The object's engine type (string 6, array 7, ...), the low bits of the header's type info.
template <typename Counted>
inline uint32_t gcType(const Counted* counted) {
    return gcFlags(counted) & 0x0f;
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

// --- Engine calls -------------------------------------------------------------------------------
// The engine is C: its functions never throw. Said here once, so that a value being handed to a
// table need not be kept in memory, ready for an unwinding that cannot happen. What the engine
// calls back while in them (a table's pDestructor, an object's handlers) must not throw either:
// an exception leaving such a callback through these ends the process (std::terminate), where
// it would otherwise unwind through C frames that were never built for it. Each forwards to
// the engine function of the same name; the deletes answer whether the engine said SUCCESS (0).

inline HashTable* newArray(uint32_t size) noexcept { return _zend_new_array(size); }
inline uint32_t arrayCount(HashTable* ht) noexcept { return zend_array_count(ht); }
inline zval* hashAdd(HashTable* ht, zend_string* key, zval* data) noexcept { return zend_hash_add(ht, key, data); }
inline zval* hashUpdate(HashTable* ht, zend_string* key, zval* data) noexcept {
    return zend_hash_update(ht, key, data);
}
inline zval* hashStrAdd(HashTable* ht, const char* key, size_t len, zval* data) noexcept {
    return zend_hash_str_add(ht, key, len, data);
}
inline zval* hashStrUpdate(HashTable* ht, const char* key, size_t len, zval* data) noexcept {
    return zend_hash_str_update(ht, key, len, data);
}
inline zval* hashIndexAdd(HashTable* ht, zend_ulong h, zval* data) noexcept { return zend_hash_index_add(ht, h, data); }
inline zval* hashIndexUpdate(HashTable* ht, zend_ulong h, zval* data) noexcept {
    return zend_hash_index_update(ht, h, data);
}
inline zval* hashNextIndexInsert(HashTable* ht, zval* data) noexcept { return zend_hash_next_index_insert(ht, data); }
inline zval* hashFind(const HashTable* ht, zend_string* key) noexcept { return zend_hash_find(ht, key); }
inline zval* hashStrFind(const HashTable* ht, const char* key, size_t len) noexcept {
    return zend_hash_str_find(ht, key, len);
}
inline zval* hashIndexFind(const HashTable* ht, zend_ulong h) noexcept { return zend_hash_index_find(ht, h); }
inline bool hashDel(HashTable* ht, zend_string* key) noexcept { return zend_hash_del(ht, key) == 0; }
inline bool hashStrDel(HashTable* ht, const char* key, size_t len) noexcept {
    return zend_hash_str_del(ht, key, len) == 0;
}
inline bool hashIndexDel(HashTable* ht, zend_ulong h) noexcept { return zend_hash_index_del(ht, h) == 0; }
inline void valueDestroy(zval* value) noexcept { zval_ptr_dtor(value); }
// Whether the table's destructor is the engine's internal one, made for tables of persistent
// strings: it frees those with free, and stops the process on the last reference of anything else.
inline bool destroysStringsOnly(const HashTable* ht) { return ht->pDestructor == ZVAL_INTERNAL_PTR_DTOR; }
// The engine's static empty array: immutable, in no request's memory, alive for the process.
inline bool isStaticEmptyArray(const zend_array* array) { return array == &zend_empty_array; }
// What a table does with an element it lets go: its own destructor, when it has one.
inline void destroyElement(HashTable* ht, zval* element) noexcept {
    if (ht->pDestructor) ht->pDestructor(element);
}
inline zend_ulong stringHash(zend_string* str) noexcept { return zend_string_hash_func(str); }

// --- Where an array's elements sit -----------------------------------------------------------------
// An array's used slots, deleted ones included, are its first nNumUsed elements. They are Buckets
// (value, h, key) on PHP 7.3, and on PHP 8.2 except in a packed array, whose slots are bare zvals.

inline bool isPacked(const zend_array* array) { return (array->u.flags & kHashPacked) != 0; }

#if !CORVANE_PACKED_ELEMENTS_ARE_ZVALS
// Bucket positions, where every element sits in a Bucket (PHP 7.3): the first used Bucket, one past
// the last, the last, and one before the first.
inline Bucket* firstBucket(const zend_array* array) { return array->arData; }
inline Bucket* bucketsEnd(const zend_array* array) { return array->arData + static_cast<size_t>(array->nNumUsed); }
inline Bucket* lastBucket(const zend_array* array) { return bucketsEnd(array) - 1; }
inline Bucket* beforeFirstBucket(const zend_array* array) { return array->arData - 1; }
#endif

// The used slots as the reading walk reads them, deleted ones included: from first to stop, each
// beginning with its element's value. The walk steps over the storage's bytes, so that one loop
// serves both layouts, as the engine's own loop (ZEND_HASH_FOREACH) does.
static_assert(offsetof(Bucket, val) == 0, "a Bucket begins with its value");

// How the slots lie: step bytes apart (a Bucket, or on PHP 8.2 a packed array's bare zval); packed
// is a packed array's first element, whose key is 0, and null where the slots are Buckets.
#if CORVANE_PACKED_ELEMENTS_ARE_ZVALS
struct SlotLayout {
    std::ptrdiff_t step;
    const zval* packed;
};
#else
// PHP 7.3: always Buckets, which the compiler then knows at every step.
struct SlotLayout {
    constexpr SlotLayout(std::ptrdiff_t, const zval*) {}
    static constexpr std::ptrdiff_t step = sizeof(Bucket);
    static constexpr const zval* packed = nullptr;
};
#endif

struct UsedSlots {
    char* first;
    char* stop;
    SlotLayout layout;
};

inline UsedSlots usedSlots(const zend_array* array) {
    const size_t used = array->nNumUsed;
#if CORVANE_PACKED_ELEMENTS_ARE_ZVALS
    if (isPacked(array)) {
        zval* first = array->arPacked;
        return {reinterpret_cast<char*>(first), reinterpret_cast<char*>(first + used), {sizeof(zval), first}};
    }
#endif
    // An uninitialised table's arData is the engine's shared pair of hash slots: nothing is used,
    // so nothing there is read.
    Bucket* first = array->arData;
    return {reinterpret_cast<char*>(first), reinterpret_cast<char*>(first + used), {sizeof(Bucket), nullptr}};
}

// No slots: an empty handle's walk.
inline UsedSlots noSlots() { return {nullptr, nullptr, {sizeof(Bucket), nullptr}}; }

// The element's value at slot, as stored (a reference or indirect slot is not followed).
inline const zval& slotValue(const char* slot) { return *reinterpret_cast<const zval*>(slot); }
// The element's string key, borrowed; null for an integer key, and for every packed element.
inline zend_string* slotKey(const char* slot, const SlotLayout& layout) {
    if (layout.packed) return nullptr;
    return reinterpret_cast<const Bucket*>(slot)->key;
}
// The element's integer key (h): a packed element's is its index, its distance from the first.
inline zend_ulong slotIndex(const char* slot, const SlotLayout& layout) {
    if (layout.packed) {
        return static_cast<zend_ulong>(reinterpret_cast<const zval*>(slot) - layout.packed);
    }
    return reinterpret_cast<const Bucket*>(slot)->h;
}

// --- Separating, one-probe stores, references, exceptions -------------------------------------------

// The engine's copy of an array: a new request array (count 1) sharing every element (each counted
// once more), its holes closed. A reference held only by the source is copied as its value.
inline HashTable* arrayDup(HashTable* source) noexcept { return zend_array_dup(source); }
// Stores without looking for the key: only for a key just looked for and not found.
inline zval* hashAddNew(HashTable* ht, zend_string* key, zval* data) noexcept { return zend_hash_add_new(ht, key, data); }
inline zval* hashStrAddNew(HashTable* ht, const char* key, size_t len, zval* data) noexcept {
    return zend_hash_str_add_new(ht, key, len, data);
}
inline zval* hashIndexAddNew(HashTable* ht, zend_ulong h, zval* data) noexcept {
    return zend_hash_index_add_new(ht, h, data);
}

#if CORVANE_PHP_MINOR_VERSION >= 82
// Finds the key or stores null under it, in one probe: PHP 8.2 has it, PHP 7.3 does not.
#define CORVANE_HAS_HASH_LOOKUP 1
inline zval* hashLookup(HashTable* ht, zend_string* key) noexcept { return zend_hash_lookup(ht, key); }
inline zval* hashIndexLookup(HashTable* ht, zend_ulong h) noexcept { return zend_hash_index_lookup(ht, h); }
#else
#define CORVANE_HAS_HASH_LOOKUP 0
#endif

}  // namespace corvane::engine

// PHP's output layer (main/php_output.h), which only PHP's main header declares, and no engine
// header does: declared here as PHP declares it, the same in every supported version.
extern "C" size_t php_output_write(const char* str, size_t len);

namespace corvane::engine {

// Writes len bytes through PHP's output layer, as echo does: into the innermost output buffer
// (ob_start), or to the SAPI; the engine copies them where they go.
inline void outputWrite(const char* text, size_t len) noexcept { php_output_write(text, len); }

// Raises PHP's Exception with message (code 0); PHP code sees it when the function returns.
inline void throwException(const char* message) noexcept { zend_throw_exception(zend_ce_exception, message, 0); }
// Whether the engine can make an object of type: not an interface, a trait or an abstract class
// (the engine would then raise with no object at all). Known only with PHP's headers, which
// declare the class's layout; the stand-in's classes are all concrete.
inline bool isInstantiable(const zend_class_entry* type) noexcept {
#if defined(CORVANE_USES_PHP_HEADERS)
    return (type->ce_flags & (ZEND_ACC_INTERFACE | ZEND_ACC_TRAIT | ZEND_ACC_IMPLICIT_ABSTRACT_CLASS |
                              ZEND_ACC_EXPLICIT_ABSTRACT_CLASS)) == 0;
#else
    (void)type;
    return true;
#endif
}

// The same with an object of type, a concrete class that implements Throwable (Error and its kind
// too); a null type, or one the engine cannot make an object of, raises Exception.
inline void throwException(zend_class_entry* type, const char* message) noexcept {
    zend_throw_exception(type && isInstantiable(type) ? type : zend_ce_exception, message, 0);
}

// A PHP reference: the value type info of one, and the header of a new one (10 on PHP 7.3, with
// NOT_COLLECTABLE on PHP 8.2).
constexpr uint32_t kReferenceInfo = kReference | kRefcountedFlag;
constexpr uint32_t kNewReferenceHeader = kReference | kGcNotCollectable;

// A new reference (count 1) in request memory holding value, which it takes over, as ZVAL_NEW_REF.
inline zend_reference* newReference(const zval& value) {
    auto* ref = static_cast<zend_reference*>(requestAlloc(sizeof(zend_reference)));
    initHeader(ref, 1, kNewReferenceHeader);
    ref->val.value = value.value;
    ref->val.u1.type_info = value.u1.type_info;
#if CORVANE_PHP_MINOR_VERSION >= 82
    ref->sources.ptr = nullptr;
#endif
    return ref;
}

// PHP 8.2's typed properties type the references made to them: a write into one must pass the
// engine's check first. PHP 7.3 has none.
inline bool referenceIsTyped(const zend_reference* ref) {
#if CORVANE_PHP_MINOR_VERSION >= 82
    return ref->sources.ptr != nullptr;
#else
    (void)ref;
    return false;
#endif
}
// The engine's check of a write into a typed reference, with the calling PHP code's strict_types:
// it may coerce value in place (1 to 1.0, "5" to 5, and may call __toString to do it), or refuse it
// and throw TypeError. It neither stores nor releases anything, so the caller can store the value
// before it releases the old one (zend_try_assign_typed_ref releases first).
inline bool typedReferenceAccepts(zend_reference* ref, zval* value) noexcept {
#if CORVANE_PHP_MINOR_VERSION >= 82
    // Outside any PHP call (an embedding host between scripts) there is no caller to ask.
    bool strict = EG(current_execute_data) && ZEND_ARG_USES_STRICT_TYPES();
    return zend_verify_ref_assignable_zval(ref, value, strict);
#else
    (void)ref;
    (void)value;
    return true;
#endif
}

}  // namespace corvane::engine

#if defined(CORVANE_USES_PHP_HEADERS)
static_assert(corvane::engine::kReferenceInfo == IS_REFERENCE_EX, "reference type info");
#if CORVANE_PHP_MINOR_VERSION >= 82
static_assert(corvane::engine::kNewReferenceHeader == GC_REFERENCE, "reference header");
#else
static_assert(corvane::engine::kNewReferenceHeader == IS_REFERENCE, "reference header");
#endif
#endif

#if defined(CORVANE_USES_PHP_HEADERS)
static_assert(corvane::engine::kString == IS_STRING && corvane::engine::kArray == IS_ARRAY, "type codes");
static_assert(corvane::engine::kIndirect == IS_INDIRECT, "type codes");
static_assert(corvane::engine::kHashPacked == HASH_FLAG_PACKED, "hash flags");
#if CORVANE_PHP_MINOR_VERSION >= 82
static_assert(corvane::engine::kGcNotCollectable == GC_NOT_COLLECTABLE, "GC flags");
static_assert(corvane::engine::kNewStringInfo == GC_STRING, "string header");
static_assert(corvane::engine::kCollectableFlag == (IS_TYPE_COLLECTABLE << Z_TYPE_FLAGS_SHIFT), "type flags");
#else
static_assert(GC_COLLECTABLE == 0x10, "GC flags");
static_assert(corvane::engine::kNewStringInfo == IS_STRING, "string header");
#endif
static_assert(corvane::engine::kStringInfo == IS_STRING_EX && corvane::engine::kArrayInfo == IS_ARRAY_EX,
              "type info");
static_assert(corvane::engine::kGcProtected == GC_PROTECTED && corvane::engine::kGcImmutable == GC_IMMUTABLE &&
                  corvane::engine::kGcPersistent == GC_PERSISTENT,
              "GC flags");
#endif

#endif
