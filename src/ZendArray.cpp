#include <corvane/ZendArray.h>

#include "RecursionGuard.h"
#include "dump_width.h"
#include "engine_memory.h"

#include <fmt/ostream.h>

#include <cstdint>
#include <ostream>

namespace engine = corvane::engine;
using corvane::RecursionGuard;

namespace {

// The engine's array destructor frees with the request allocator, so a persistent array's last
// reference empties it with zend_hash_destroy and frees the structure with free.
void destroyArray(zend_array* array) {
    if (engine::isPersistent(array)) {
        zend_hash_destroy(array);
        corvane::memory::persistentFree(array);
    } else {
        zend_array_destroy(array);
    }
}

std::string_view viewOf(const char* key) { return key ? std::string_view(key) : std::string_view(); }

// Stores into a writable array: not an empty handle, not an immutable array that the engine
// shares, and not an undefined value, which the engine would take for a deleted bucket. The value
// moves into a local zval for the engine, which takes its reference when it stores it; otherwise
// the reference is given back here (or by the caller's parameter, for a refused store).
template <typename EngineStore>
bool storeInto(zend_array* array, ZVal& value, EngineStore engineStore) {
    if (!array || engine::isImmutable(array) || value.isUndef()) return false;
    zval local;
    value.detach(local);
    if (engineStore(&local)) return true;
    zval_ptr_dtor(&local);
    return false;
}

// A copy of a found element with its own reference; undefined when nothing was found.
ZVal copyOf(const zval* found) { return found ? ZVal(*found) : ZVal(); }

}  // namespace

// --- Lifecycle -----------------------------------------------------------------------------------

ZendArray::ZendArray() = default;

ZendArray::ZendArray(unsigned long long size) : ZendRefCounted(_zend_new_array(static_cast<uint32_t>(size))) {}

ZendArray::ZendArray(zend_array* array) : ZendRefCounted(copy(array)) {}

ZendArray::ZendArray(const ZendArray& other) : ZendRefCounted(copy(other.get())) {}

ZendArray::ZendArray(ZendArray&& other) noexcept : ZendRefCounted(std::move(other)) {}

ZendArray::~ZendArray() { ZendArray::release(); }

ZendArray& ZendArray::operator=(ZendArray&& other) noexcept {
    ZendRefCounted::operator=(std::move(other));
    return *this;
}

ZendArray& ZendArray::operator=(const ZendArray& other) {
    if (&other != this) {
        release();
        set(copy(other.get()));
    }
    return *this;
}

// Counting the new array first keeps it alive when it is the one already held.
ZendArray& ZendArray::operator=(zend_array* array) {
    zend_array* shared = copy(array);
    release();
    set(shared);
    return *this;
}

void ZendArray::release() {
    if (isNull()) return;
    if (isImmutable()) {
        set(nullptr);
        return;
    }
    unsigned int remaining = delRef();
    zend_array* array = get();
    set(nullptr);
    if (remaining == 0) destroyArray(array);
}

zend_array* ZendArray::get() const { return reinterpret_cast<zend_array*>(ZendRefCounted::get()); }

zend_array* ZendArray::detach() { return reinterpret_cast<zend_array*>(ZendRefCounted::detach()); }

unsigned long long ZendArray::size() const { return get() ? zend_array_count(get()) : 0; }

bool ZendArray::isEmpty() const { return size() == 0; }

zend_array* ZendArray::copy(zend_array* array) {
    if (array && !engine::isImmutable(array)) ++array->gc.refcount;
    return array;
}

zend_array* ZendArray::zendNewArray(unsigned int size) { return _zend_new_array(size); }

void ZendArray::zendArrayRelease(zend_array* array) {
    if (engine::isImmutable(array)) return;
    if (--array->gc.refcount == 0) destroyArray(array);
}

// --- Keyed access --------------------------------------------------------------------------------

bool ZendArray::add(const ZendString& key, ZVal value) {
    zend_array* array = get();
    return !key.isNull() && storeInto(array, value, [&](zval* v) { return zend_hash_add(array, key.get(), v); });
}

bool ZendArray::add(std::string_view key, ZVal value) {
    zend_array* array = get();
    return !key.empty() &&
           storeInto(array, value, [&](zval* v) { return zend_hash_str_add(array, key.data(), key.size(), v); });
}

bool ZendArray::add(const char* key, ZVal value) { return add(viewOf(key), std::move(value)); }

bool ZendArray::add(unsigned long long key, ZVal value) {
    zend_array* array = get();
    return storeInto(array, value, [&](zval* v) { return zend_hash_index_add(array, key, v); });
}

bool ZendArray::add(ZVal value) {
    zend_array* array = get();
    return storeInto(array, value, [&](zval* v) { return zend_hash_next_index_insert(array, v); });
}

bool ZendArray::insert(const ZendString& key, ZVal value) {
    zend_array* array = get();
    return !key.isNull() &&
           storeInto(array, value, [&](zval* v) { return zend_hash_update(array, key.get(), v); });
}

bool ZendArray::insert(std::string_view key, ZVal value) {
    zend_array* array = get();
    return !key.empty() &&
           storeInto(array, value, [&](zval* v) { return zend_hash_str_update(array, key.data(), key.size(), v); });
}

bool ZendArray::insert(const char* key, ZVal value) { return insert(viewOf(key), std::move(value)); }

bool ZendArray::insert(unsigned long long key, ZVal value) {
    zend_array* array = get();
    return storeInto(array, value, [&](zval* v) { return zend_hash_index_update(array, key, v); });
}

ZVal ZendArray::at(const ZendString& key) const {
    if (isNull() || key.isNull()) return ZVal();
    return copyOf(zend_hash_find(get(), key.get()));
}

ZVal ZendArray::at(std::string_view key) const {
    if (isNull() || key.empty()) return ZVal();
    return copyOf(zend_hash_str_find(get(), key.data(), key.size()));
}

ZVal ZendArray::at(const char* key) const { return at(viewOf(key)); }

ZVal ZendArray::at(unsigned long long key) const {
    if (isNull()) return ZVal();
    return copyOf(zend_hash_index_find(get(), key));
}

bool ZendArray::contains(const ZendString& key) const {
    return !isNull() && !key.isNull() && zend_hash_find(get(), key.get()) != nullptr;
}

bool ZendArray::contains(std::string_view key) const {
    return !isNull() && !key.empty() && zend_hash_str_find(get(), key.data(), key.size()) != nullptr;
}

bool ZendArray::contains(const char* key) const { return contains(viewOf(key)); }

bool ZendArray::contains(unsigned long long key) const {
    return !isNull() && zend_hash_index_find(get(), key) != nullptr;
}

bool ZendArray::remove(const ZendString& key) {
    return !isNull() && !isImmutable() && !key.isNull() && zend_hash_del(get(), key.get()) == 0;
}

bool ZendArray::remove(std::string_view key) {
    return !isNull() && !isImmutable() && !key.empty() && zend_hash_str_del(get(), key.data(), key.size()) == 0;
}

bool ZendArray::remove(const char* key) { return remove(viewOf(key)); }

bool ZendArray::remove(unsigned long long key) {
    return !isNull() && !isImmutable() && zend_hash_index_del(get(), key) == 0;
}

// --- Iteration -----------------------------------------------------------------------------------

ZendArray::Iterator ZendArray::begin() const {
    zend_array* array = get();
    return array ? Iterator(array, array->arData) : Iterator();
}

ZendArray::Iterator ZendArray::end() const {
    zend_array* array = get();
    return array ? Iterator(array, array->arData + static_cast<size_t>(array->nNumUsed)) : Iterator();
}

ZendArray::RIterator ZendArray::rbegin() const {
    zend_array* array = get();
    return array ? RIterator(array, array->arData + static_cast<size_t>(array->nNumUsed) - 1) : RIterator();
}

ZendArray::RIterator ZendArray::rend() const {
    zend_array* array = get();
    return array ? RIterator(array, array->arData - 1) : RIterator();
}

// --- Dump ----------------------------------------------------------------------------------------

std::ostream& ZendArray::dump(std::ostream& out, int indent) const {
    const int width = corvane::dumpWidth(indent);
    zend_array* array = get();
    if (!array) {
        fmt::print(out, "{:{}}array(null)", "", width);
        return out;
    }
    RecursionGuard walking(array);
    fmt::print(out, "{:{}}array({}) {{", "", width, static_cast<uint64_t>(zend_array_count(array)));
    const int elementWidth = corvane::dumpWidth(indent, 2);
    Bucket* bucket = array->arData;
    Bucket* const used = bucket + static_cast<size_t>(array->nNumUsed);
    for (; bucket != used; ++bucket) {
        if (engine::typeOf(bucket->val) == engine::kUndef) continue;
        out << "\n";
        if (bucket->key) {
            fmt::print(out, "{:{}}[\"{}\"]=>\n", "", elementWidth, static_cast<const char*>(bucket->key->val));
        } else {
            fmt::print(out, "{:{}}[{}]=>\n", "", elementWidth, static_cast<uint64_t>(bucket->h));
        }
        if (engine::typeOf(bucket->val) == engine::kArray) {
            zend_array* nested = bucket->val.value.arr;
            if (RecursionGuard::isMarked(nested)) {
                fmt::print(out, "{:{}}*RECURSION*", "", elementWidth);
                continue;
            }
            RecursionGuard walkingNested(nested);
            ZendArray(nested).dump(out, indent + 1);
        } else {
            ZVal(bucket->val).dump(out, indent + 1);
        }
    }
    fmt::print(out, "\n{:{}}}}", "", width);
    return out;
}
