// ZendArray: an owning, counting handle on one engine array (zend_array), with keyed access and
// iteration over its buckets.
#ifndef CORVANE_ZENDARRAY_H
#define CORVANE_ZENDARRAY_H

#include <corvane/ZVal.h>
#include <corvane/ZendRefCounted.h>
#include <corvane/ZendString.h>
#include <corvane/compiler.h>

#include <cstddef>
#include <iterator>
#include <string_view>
#include <type_traits>

// Whether begin()/end() and rbegin()/rend() walk an array (1): where every element sits in a Bucket
// (PHP 7.3). On PHP 8.2 (0) they do not compile; items() walks on both. Test it with #if.
#if CORVANE_PACKED_ELEMENTS_ARE_ZVALS
#define CORVANE_HAS_POSITIONS 0
#else
#define CORVANE_HAS_POSITIONS 1
#endif

#if !CORVANE_HAS_POSITIONS
namespace corvane::walk {
// False for every type: a static_assert on it fails only where a refused member is used.
template <typename>
constexpr bool kNoBuckets = false;
}  // namespace corvane::walk
#define CORVANE_POSITIONS_REFUSED                                                                       \
    "ZendArray positions stand on Buckets, and PHP 8.2 keeps a list's elements outside them: walk with " \
    "items(), as in for (auto [key, value] : array.items())"
#endif

// Copies share the array (one more reference); nothing is ever duplicated, so a write through one
// handle is seen through every handle on the same array. Immutable arrays are held without counting.
class CORVANE_API ZendArray : public ZendRefCounted {
public:
    class Iterator;
    class RIterator;

    // --- Lifecycle -------------------------------------------------------------------------------

    // Empty handle; no array is created.
    CORVANE_INLINE ZendArray();
    // A new engine array (count 1) sized for the low 32 bits of the hint.
    CORVANE_INLINE explicit ZendArray(unsigned long long size);
    // Any integer size hint; spares `ZendArray(0)` from meaning a null pointer. NULL is an integer
    // to the compiler but a pointer to its writer, so it is left out: `ZendArray(NULL)` does not
    // compile (ambiguous), rather than making an array.
    template <typename Int, corvane::IfIntegerArgument<Int> = 0>
    explicit ZendArray(Int size) : ZendArray(static_cast<unsigned long long>(size)) {}
    // Shares array (+1 unless immutable); the caller keeps its own reference. Null gives an empty handle.
    CORVANE_INLINE ZendArray(zend_array* array);
    CORVANE_INLINE ZendArray(const ZendArray& other);
    CORVANE_INLINE ZendArray(ZendArray&& other) noexcept;
    CORVANE_INLINE ~ZendArray() override;

    CORVANE_INLINE ZendArray& operator=(ZendArray&& other) noexcept;
    CORVANE_INLINE ZendArray& operator=(const ZendArray& other);
    // Gives up the held array and shares this one; assigning the held pointer keeps it alive.
    CORVANE_INLINE ZendArray& operator=(zend_array* array);

    // Drops the reference; the last one destroys the array and its elements (a persistent array
    // is emptied with zend_hash_destroy and freed with free, as the engine allocated it).
    CORVANE_INLINE void release() override;
    // Writes the array and all its elements as indented text; arrays that contain themselves are
    // shown as *RECURSION*.
    std::ostream& dump(std::ostream& out, int indent = 0) const override;

    // Lends the held array; the handle keeps its reference.
    CORVANE_INLINE zend_array* get() const;
    // Gives the held array and its reference to the caller; the handle is left empty.
    CORVANE_INLINE zend_array* detach();

    // Element count as the engine reports it; 0 for an empty handle.
    CORVANE_INLINE unsigned long long size() const;
    CORVANE_INLINE bool isEmpty() const;

    // A new engine array with count 1, owned by the caller.
    CORVANE_INLINE static zend_array* zendNewArray(unsigned int size);
    // Gives back one reference of a raw, non-null array, destroying it with the last one.
    CORVANE_INLINE static void zendArrayRelease(zend_array* array);

    // --- Keyed access ----------------------------------------------------------------------------
    // Every value passed in is consumed: stored (the array owns its reference) or given back by the
    // end of the call. Refused without calling the engine: an empty handle, an immutable array (for
    // writes), an undefined value (for stores), an empty ZendString key handle, an empty string_view
    // or C-string key. A ZendString holding "" is a valid key. String keys are bytes: "5" and 5 are
    // different keys.

    // Stores value only if the key is new.
    CORVANE_INLINE bool add(const ZendString& key, ZVal value);
    CORVANE_INLINE bool add(std::string_view key, ZVal value);
    CORVANE_INLINE bool add(const char* key, ZVal value);
    CORVANE_INLINE bool add(unsigned long long key, ZVal value);
    // Appends under the next free integer key.
    CORVANE_INLINE bool add(ZVal value);
    // Stores value whether or not the key exists; an existing element keeps its place.
    CORVANE_INLINE bool insert(const ZendString& key, ZVal value);
    CORVANE_INLINE bool insert(std::string_view key, ZVal value);
    CORVANE_INLINE bool insert(const char* key, ZVal value);
    CORVANE_INLINE bool insert(unsigned long long key, ZVal value);

    // A copy of the element's value with its own reference; undefined when there is none.
    CORVANE_INLINE ZVal at(const ZendString& key) const;
    CORVANE_INLINE ZVal at(std::string_view key) const;
    CORVANE_INLINE ZVal at(const char* key) const;
    CORVANE_INLINE ZVal at(unsigned long long key) const;

    CORVANE_INLINE bool contains(const ZendString& key) const;
    CORVANE_INLINE bool contains(std::string_view key) const;
    CORVANE_INLINE bool contains(const char* key) const;
    CORVANE_INLINE bool contains(unsigned long long key) const;

    // Deletes the element; the array gives its value's reference back.
    CORVANE_INLINE bool remove(const ZendString& key);
    CORVANE_INLINE bool remove(std::string_view key);
    CORVANE_INLINE bool remove(const char* key);
    CORVANE_INLINE bool remove(unsigned long long key);

    // Any integer key (negative ones as the engine stores them); spares `at(0)` from meaning a null
    // C string. A NULL key does not compile (ambiguous) rather than meaning key 0.
    template <typename Int, corvane::IfIntegerArgument<Int> = 0>
    bool add(Int key, ZVal value) { return add(static_cast<unsigned long long>(key), std::move(value)); }
    template <typename Int, corvane::IfIntegerArgument<Int> = 0>
    bool insert(Int key, ZVal value) { return insert(static_cast<unsigned long long>(key), std::move(value)); }
    template <typename Int, corvane::IfIntegerArgument<Int> = 0>
    ZVal at(Int key) const { return at(static_cast<unsigned long long>(key)); }
    template <typename Int, corvane::IfIntegerArgument<Int> = 0>
    bool contains(Int key) const { return contains(static_cast<unsigned long long>(key)); }
    template <typename Int, corvane::IfIntegerArgument<Int> = 0>
    bool remove(Int key) { return remove(static_cast<unsigned long long>(key)); }

    // --- Iteration -------------------------------------------------------------------------------
    // Positions in the bucket storage, in insertion order (or reversed). Walking passes over the
    // buckets of deleted elements; dereferencing gives the engine's Bucket (val, h, key) without
    // counting anything. Storing into the array may move its buckets and invalidates positions.
    // PHP 8.2 keeps a packed array's elements (a list: [1, 2, 3]) as bare zvals, not in Buckets,
    // so no position can stand on them: a walk through positions would silently pass over every
    // element of a list. On PHP 8.2 positions do not compile, and the error names items(), which
    // walks both layouts.
#if CORVANE_HAS_POSITIONS
    CORVANE_INLINE Iterator begin() const;
    CORVANE_INLINE Iterator end() const;
    CORVANE_INLINE RIterator rbegin() const;
    CORVANE_INLINE RIterator rend() const;
#else
    template <typename Refused = void>
    Iterator begin() const;
    template <typename Refused = void>
    Iterator end() const;
    template <typename Refused = void>
    RIterator rbegin() const;
    template <typename Refused = void>
    RIterator rend() const;
#endif

    // --- Reading walk ----------------------------------------------------------------------------
    // for (auto [key, value] : array.items()) reads each live element, in insertion order, with the
    // steps of the engine's own loop (ZEND_HASH_FOREACH_KEY_VAL); items().reversed() from the last.
    // Key and value are borrowed from the slot and count nothing. Inline only, not exported.

    class Key;
    struct Item;
    class Items;
    class ReversedItems;
    template <typename Walk>
    class Kept;

    CORVANE_LOCAL Items items() const&;
    // The walk of a temporary handle (for (auto [k, v] : makeWords().items())) keeps the handle,
    // and so the array, alive for the whole loop: the temporary itself dies before the loop begins.
    CORVANE_LOCAL Kept<Items> items() &&;

    // --- Taking over and separating ----------------------------------------------------------------

    // Holds array: adopt takes over the caller's reference (no count change), as an array the
    // extension has just made or been given; otherwise one is added (none if immutable). Null gives
    // an empty handle.
    CORVANE_INLINE ZendArray(zend_array* array, bool adopt);
    // A handle that takes over the caller's reference to array.
    CORVANE_INLINE static ZendArray take(zend_array* array);
    // Makes the held array safe to write, as PHP separates before a write: an array that is shared
    // (count above 1) or immutable is replaced by the engine's copy of it (zend_array_dup), of which
    // this handle holds the only reference; the other holders keep the original, unchanged. An array
    // with count 1 stays as it is. True when the handle then holds an array it may write; false for
    // an empty handle and for a shared persistent array (the engine's copy would be a request array
    // holding persistent memory).
    CORVANE_INLINE bool separate();

    // --- Find or add -------------------------------------------------------------------------------
    // The element under key, stored first with initial when there is none, in one lookup: the key
    // is hashed once and looked for once (a new key is then stored without a second search). The
    // result is the element's own zval, lent: update it in place (a counter adds to its long); it
    // stays valid until the array is next stored into or destroyed. initial is consumed: stored, or
    // released when the element exists. Null, with nothing stored, when a store would be refused (as
    // add refuses: empty handle, immutable array, empty key, undefined initial, initial in memory the
    // table may not keep). Like every write, the array is not separated first: call separate().

    CORVANE_INLINE zval* findOrAdd(const ZendString& key, ZVal initial);
    // The bytes are hashed again when the key is new (the engine copies them into a key string).
    CORVANE_INLINE zval* findOrAdd(std::string_view key, ZVal initial);
    CORVANE_INLINE zval* findOrAdd(const char* key, ZVal initial);
    CORVANE_INLINE zval* findOrAdd(unsigned long long key, ZVal initial);
    template <typename Int, corvane::IfIntegerArgument<Int> = 0>
    zval* findOrAdd(Int key, ZVal initial) {
        return findOrAdd(static_cast<unsigned long long>(key), std::move(initial));
    }

    // --- PHP's key rules ---------------------------------------------------------------------------
    // The forms above take string keys as bytes. PhpKey reads a key as PHP code's $array[$key] does:
    // a decimal integer string is the integer. These forms do what the integer or string forms do
    // with the key it gives; "" is a valid key here, as in PHP. Inline only, not exported.

    class PhpKey;

    CORVANE_LOCAL bool add(const PhpKey& key, ZVal value);
    CORVANE_LOCAL bool insert(const PhpKey& key, ZVal value);
    CORVANE_LOCAL ZVal at(const PhpKey& key) const;
    CORVANE_LOCAL bool contains(const PhpKey& key) const;
    CORVANE_LOCAL bool remove(const PhpKey& key);
    CORVANE_LOCAL CORVANE_ALWAYS_INLINE zval* findOrAdd(const PhpKey& key, ZVal initial);

protected:
    // Adds one reference to array unless it is null or immutable; returns it.
    CORVANE_INLINE static zend_array* copy(zend_array* array);

private:
    // A loan's append checks what ZendArray::add checks of the value, and no more of the array.
    friend class corvane::LentArray;
    // Frees an array whose last reference is gone.
    static void destroy(zend_array* array);
    // Holds next, the reference an assignment took; after release(), so anything that code run by
    // the release stored into the handle is released first.
    CORVANE_LOCAL void settle(zend_array* next);
    // Whether a store may reach the engine: an array is held, it is not the engine's shared
    // immutable data, the value is defined (the engine reads an undefined one as a deleted bucket),
    // and the value lives in memory the table may keep (fitsTable).
    CORVANE_INLINE bool writable(const ZVal& value) const;
    // What a table holds must outlive it, and the table's destructor must free it with the right
    // allocator. A request table frees strings and arrays with efree, so persistent ones may not go
    // in, unless immutable (permanent interned strings). Nothing of the request, interned strings
    // and the request's immutable arrays (opcache's shared literals) included, may go into a
    // persistent table; the engine's static empty array may. Counted values go only where the
    // table's destructor gives them back (destructorFrees).
    CORVANE_INLINE static bool fitsTable(const zend_array* table, const zval& value);
    // Whether a table whose destructor is not the engine's zval_ptr_dtor frees a counted value of
    // this kind and memory: one without a destructor would leak it; the engine's internal one frees
    // persistent strings only (and stops the process on the last reference of anything else); a
    // destructor of the table's own maker is trusted.
    CORVANE_LOCAL static bool destructorFrees(const zend_array* table, uint8_t type, uint32_t flags);
    // Whether the table may keep the key string itself; otherwise it is stored by its bytes, which
    // the engine copies into the table's own kind of memory.
    CORVANE_INLINE static bool keyFitsTable(const zend_array* table, const zend_string* key);
    // The engine's answer to a store of local: on refusal the reference local carries is given back.
    CORVANE_INLINE static bool stored(const zval* result, zval& local);
    // Puts local in place of the existing element at slot, then lets the old value go through the
    // table's destructor: the element never shows a value that is being destroyed (the engine's
    // update destroys first, while the bucket still holds the dying value, which a PHP destructor
    // could then reach and copy).
    CORVANE_LOCAL bool replaceStored(zval* slot, zval& local);
    // A copy of a found element with its own reference; undefined when nothing was found.
    CORVANE_INLINE static ZVal copyOf(const zval* found);
    CORVANE_INLINE static std::string_view viewOf(const char* key);

    // findOrAdd's store of a key just looked for and not found; on refusal initial goes back.
    CORVANE_LOCAL static zval* addedNew(zval* result, zval& local);
    CORVANE_LOCAL zval* findOrAddBytes(const char* key, size_t len, ZVal& initial);
    CORVANE_LOCAL zval* findOrAddString(zend_string* key, ZVal& initial);
    // add (update false) or insert (true) under an engine string key, as the ZendString forms do.
    CORVANE_LOCAL bool storeUnder(zend_string* key, ZVal& value, bool update);
};

// --- Inline members ------------------------------------------------------------------------------

inline ZendArray::ZendArray() = default;

inline ZendArray::ZendArray(unsigned long long size) : ZendRefCounted(corvane::engine::newArray(static_cast<uint32_t>(size))) {}

inline ZendArray::ZendArray(zend_array* array) : ZendRefCounted(copy(array)) {}

inline ZendArray::ZendArray(const ZendArray& other) : ZendRefCounted(copy(other.get())) {}

inline ZendArray::ZendArray(ZendArray&& other) noexcept : ZendRefCounted(std::move(other)) {}

// release()'s steps (here the calls resolve to this class's own). The handle is emptied only on
// the path that destroys the array: element destructors run there (PHP code among them) and may
// reach this handle, which must then answer as an empty one. Elsewhere nothing can look at it.
inline ZendArray::~ZendArray() {
    zend_array* array = get();
    if (!array || isImmutable()) return;
    if (delRef() == 0) {
        set(nullptr);
        destroy(array);
    }
}

// Each assignment takes hold of the new array first, then releases the old one: the handle is
// empty while an old array dies, since its element destructors (PHP code) may reach the handle.
// What such a destructor assigns to the handle meanwhile is let go in turn (settle), never lost.
inline ZendArray& ZendArray::operator=(ZendArray&& other) noexcept {
    if (&other != this) {
        zend_array* next = other.detach();
        release();
        settle(next);
    }
    return *this;
}

inline ZendArray& ZendArray::operator=(const ZendArray& other) {
    if (&other != this) {
        zend_array* next = copy(other.get());
        release();
        settle(next);
    }
    return *this;
}

// Counting the new array first also keeps it alive when it is the one already held.
inline ZendArray& ZendArray::operator=(zend_array* array) {
    zend_array* shared = copy(array);
    release();
    settle(shared);
    return *this;
}

inline void ZendArray::settle(zend_array* next) {
    while (CORVANE_UNLIKELY(!isNull())) release();
    set(next);
}

// Asks isImmutable() and delRef() through the table, so that a subclass's answers count. In the
// destructor the object is a ZendArray, so the compiler resolves both calls without the table.
inline void ZendArray::release() {
    zend_array* array = get();
    if (!array) return;
    if (isImmutable()) {
        set(nullptr);
        return;
    }
    const unsigned int left = delRef();
    set(nullptr);
    if (left == 0) destroy(array);
}

inline zend_array* ZendArray::get() const { return reinterpret_cast<zend_array*>(ZendRefCounted::get()); }

inline zend_array* ZendArray::detach() { return reinterpret_cast<zend_array*>(ZendRefCounted::detach()); }

inline unsigned long long ZendArray::size() const { return get() ? corvane::engine::arrayCount(get()) : 0; }

inline bool ZendArray::isEmpty() const { return size() == 0; }

inline zend_array* ZendArray::copy(zend_array* array) {
    if (array && !corvane::engine::isImmutable(array)) corvane::engine::addRef(array);
    return array;
}

inline zend_array* ZendArray::zendNewArray(unsigned int size) { return corvane::engine::newArray(size); }

inline void ZendArray::zendArrayRelease(zend_array* array) {
    if (corvane::engine::isImmutable(array)) return;
    if (corvane::engine::delRef(array) == 0) destroy(array);
}

inline bool ZendArray::writable(const ZVal& value) const {
    zend_array* array = get();
    return array && !corvane::engine::isImmutable(array) && !value.isUndef() && fitsTable(array, value.value_);
}

inline bool ZendArray::fitsTable(const zend_array* table, const zval& value) {
    namespace engine = corvane::engine;
    const uint8_t type = engine::typeOf(value);
    const bool counted = engine::typeFlagsOf(value) != 0;
    if (!counted && type != engine::kString && type != engine::kArray) return true;
    const uint32_t flags = engine::gcFlags(value.value.counted);
    if (counted && table->pDestructor != zval_ptr_dtor && !destructorFrees(table, type, flags)) return false;
    if (engine::isPersistent(table)) {
        if ((flags & engine::kGcPersistent) == 0) return engine::isStaticEmptyArray(value.value.arr);
        return !counted || table->pDestructor != zval_ptr_dtor;
    }
    if ((flags & engine::kGcPersistent) == 0 || (flags & engine::kGcImmutable) != 0) return true;
    return type != engine::kString && type != engine::kArray;
}

inline bool ZendArray::destructorFrees(const zend_array* table, uint8_t type, uint32_t flags) {
    namespace engine = corvane::engine;
    if (!table->pDestructor) return false;
    if (engine::destroysStringsOnly(table)) {
        return type == engine::kString && (flags & engine::kGcPersistent) != 0;
    }
    return true;
}

inline bool ZendArray::keyFitsTable(const zend_array* table, const zend_string* key) {
    namespace engine = corvane::engine;
    const uint32_t flags = engine::gcFlags(key);
    if (engine::isPersistent(table)) return (flags & engine::kGcPersistent) != 0;
    return (flags & engine::kGcPersistent) == 0 || (flags & engine::kGcImmutable) != 0;
}

// A refused value goes back as a ZVal lets go: through the engine's zval_ptr_dtor, except a
// persistent string or array (a persistent table may take those), which that would efree.
inline bool ZendArray::stored(const zval* result, zval& local) {
    if (result) return true;
    ZVal::take(local);
    return false;
}

inline ZVal ZendArray::copyOf(const zval* found) { return found ? ZVal(*found) : ZVal(); }

inline std::string_view ZendArray::viewOf(const char* key) {
    return key ? std::string_view(key) : std::string_view();
}

inline bool ZendArray::add(const ZendString& key, ZVal value) {
    if (key.isNull() || !writable(value)) return false;
    zval local;
    value.detach(local);
    zend_string* k = key.get();
    return stored(keyFitsTable(get(), k) ? corvane::engine::hashAdd(get(), k, &local)
                                         : corvane::engine::hashStrAdd(get(), k->val, k->len, &local),
                  local);
}

inline bool ZendArray::add(std::string_view key, ZVal value) {
    if (key.empty() || !writable(value)) return false;
    zval local;
    value.detach(local);
    return stored(corvane::engine::hashStrAdd(get(), key.data(), key.size(), &local), local);
}

inline bool ZendArray::add(const char* key, ZVal value) { return add(viewOf(key), std::move(value)); }

inline bool ZendArray::add(unsigned long long key, ZVal value) {
    if (!writable(value)) return false;
    zval local;
    value.detach(local);
    return stored(corvane::engine::hashIndexAdd(get(), key, &local), local);
}

inline bool ZendArray::add(ZVal value) {
    if (!writable(value)) return false;
    zval local;
    value.detach(local);
    return stored(corvane::engine::hashNextIndexInsert(get(), &local), local);
}

// An insert is an add, and where the key exists a replacement in place: one lookup for a new key.
inline bool ZendArray::insert(const ZendString& key, ZVal value) {
    if (key.isNull() || !writable(value)) return false;
    zval local;
    value.detach(local);
    zend_string* k = key.get();
    if (keyFitsTable(get(), k)) {
        return corvane::engine::hashAdd(get(), k, &local) || replaceStored(corvane::engine::hashFind(get(), k), local);
    }
    return corvane::engine::hashStrAdd(get(), k->val, k->len, &local) ||
           replaceStored(corvane::engine::hashStrFind(get(), k->val, k->len), local);
}

inline bool ZendArray::insert(std::string_view key, ZVal value) {
    if (key.empty() || !writable(value)) return false;
    zval local;
    value.detach(local);
    return corvane::engine::hashStrAdd(get(), key.data(), key.size(), &local) ||
           replaceStored(corvane::engine::hashStrFind(get(), key.data(), key.size()), local);
}

inline bool ZendArray::insert(const char* key, ZVal value) { return insert(viewOf(key), std::move(value)); }

inline bool ZendArray::insert(unsigned long long key, ZVal value) {
    if (!writable(value)) return false;
    zval local;
    value.detach(local);
    return corvane::engine::hashIndexAdd(get(), key, &local) ||
           replaceStored(corvane::engine::hashIndexFind(get(), key), local);
}

// Only the value word and the type info change: the rest of the slot is the table's own (a
// Bucket's value keeps the hash chain in its spare word).
inline bool ZendArray::replaceStored(zval* slot, zval& local) {
    if (!slot) return stored(nullptr, local);
    zval old;
    old.value = slot->value;
    old.u1.type_info = slot->u1.type_info;
    slot->value = local.value;
    slot->u1.type_info = local.u1.type_info;
    corvane::engine::destroyElement(get(), &old);
    return true;
}

inline ZVal ZendArray::at(const ZendString& key) const {
    if (isNull() || key.isNull()) return ZVal();
    return copyOf(corvane::engine::hashFind(get(), key.get()));
}

inline ZVal ZendArray::at(std::string_view key) const {
    if (isNull() || key.empty()) return ZVal();
    return copyOf(corvane::engine::hashStrFind(get(), key.data(), key.size()));
}

inline ZVal ZendArray::at(const char* key) const { return at(viewOf(key)); }

inline ZVal ZendArray::at(unsigned long long key) const {
    if (isNull()) return ZVal();
    return copyOf(corvane::engine::hashIndexFind(get(), key));
}

inline bool ZendArray::contains(const ZendString& key) const {
    return !isNull() && !key.isNull() && corvane::engine::hashFind(get(), key.get()) != nullptr;
}

inline bool ZendArray::contains(std::string_view key) const {
    return !isNull() && !key.empty() && corvane::engine::hashStrFind(get(), key.data(), key.size()) != nullptr;
}

inline bool ZendArray::contains(const char* key) const { return contains(viewOf(key)); }

inline bool ZendArray::contains(unsigned long long key) const {
    return !isNull() && corvane::engine::hashIndexFind(get(), key) != nullptr;
}

inline bool ZendArray::remove(const ZendString& key) {
    return !isNull() && !isImmutable() && !key.isNull() && corvane::engine::hashDel(get(), key.get());
}

inline bool ZendArray::remove(std::string_view key) {
    return !isNull() && !isImmutable() && !key.empty() && corvane::engine::hashStrDel(get(), key.data(), key.size());
}

inline bool ZendArray::remove(const char* key) { return remove(viewOf(key)); }

inline bool ZendArray::remove(unsigned long long key) {
    return !isNull() && !isImmutable() && corvane::engine::hashIndexDel(get(), key);
}

// --- Taking over and separating -------------------------------------------------------------------

inline ZendArray::ZendArray(zend_array* array, bool adopt) : ZendRefCounted(adopt ? array : copy(array)) {}

inline ZendArray ZendArray::take(zend_array* array) { return ZendArray(array, true); }

// The copy is held before the original's reference goes, so that anything the release could run
// sees this handle on a whole array; the original is shared (or immutable), so it lives on.
inline bool ZendArray::separate() {
    namespace engine = corvane::engine;
    zend_array* array = get();
    if (!array) return false;
    const bool immutable = engine::isImmutable(array);
    if (!immutable && engine::refcount(array) <= 1) return true;
    if (!immutable && engine::isPersistent(array)) return false;
    set(engine::arrayDup(array));
    if (!immutable && engine::delRef(array) == 0) destroy(array);
    return true;
}

// --- Find or add ---------------------------------------------------------------------------------
// PHP 8.2 finds or stores in one engine call (zend_hash_lookup, which stores null, then replaced
// by initial). PHP 7.3 has no such call: its find, then on a miss its add_new, which stores without
// searching again; a ZendString key's hash is computed once and kept in the string.

inline zval* ZendArray::addedNew(zval* result, zval& local) {
    if (!result) ZVal::take(local);
    return result;
}

inline zval* ZendArray::findOrAddBytes(const char* key, size_t len, ZVal& initial) {
    if (zval* found = corvane::engine::hashStrFind(get(), key, len)) return found;
    zval local;
    initial.detach(local);
    return addedNew(corvane::engine::hashStrAddNew(get(), key, len, &local), local);
}

inline zval* ZendArray::findOrAdd(const ZendString& key, ZVal initial) {
    if (key.isNull() || !writable(initial)) return nullptr;
    return findOrAddString(key.get(), initial);
}

inline zval* ZendArray::findOrAddString(zend_string* k, ZVal& initial) {
    if (!keyFitsTable(get(), k)) return findOrAddBytes(k->val, k->len, initial);
#if CORVANE_HAS_HASH_LOOKUP
    zend_array* array = get();
    const uint32_t before = array->nNumOfElements;
    zval* slot = corvane::engine::hashLookup(array, k);
    if (array->nNumOfElements != before) initial.detach(*slot);
    return slot;
#else
    if (zval* found = corvane::engine::hashFind(get(), k)) return found;
    zval local;
    initial.detach(local);
    return addedNew(corvane::engine::hashAddNew(get(), k, &local), local);
#endif
}

inline zval* ZendArray::findOrAdd(std::string_view key, ZVal initial) {
    if (key.empty() || !writable(initial)) return nullptr;
    return findOrAddBytes(key.data(), key.size(), initial);
}

inline zval* ZendArray::findOrAdd(const char* key, ZVal initial) { return findOrAdd(viewOf(key), std::move(initial)); }

inline zval* ZendArray::findOrAdd(unsigned long long key, ZVal initial) {
    if (!writable(initial)) return nullptr;
#if CORVANE_HAS_HASH_LOOKUP
    zend_array* array = get();
    const uint32_t before = array->nNumOfElements;
    zval* slot = corvane::engine::hashIndexLookup(array, key);
    if (array->nNumOfElements != before) initial.detach(*slot);
    return slot;
#else
    if (zval* found = corvane::engine::hashIndexFind(get(), key)) return found;
    zval local;
    initial.detach(local);
    return addedNew(corvane::engine::hashIndexAddNew(get(), key, &local), local);
#endif
}

// --- ZVal members that need ZendArray complete -----------------------------------------------------

inline ZVal::ZVal(ZendArray array) : ZVal(array.detach()) {}

inline ZendArray ZVal::asArray() const {
    if (!isArray()) throwNotA(4);
    return ZendArray(value_.value.arr);
}

inline ZVal ZVal::makeArray(ZendArray array) { return ZVal(std::move(array)); }

// The class's parts, each in a header of its own: PHP's key rules, the positions, the reading walk.
// Then the borrowed forms, the writes in place and the recursion mark: everything an array user needs.
#include <corvane/php_key.h>
#include <corvane/array_positions.h>
#include <corvane/array_walk.h>
#include <corvane/borrowed.h>
#include <corvane/lent.h>
#include <corvane/recursion.h>

#endif
