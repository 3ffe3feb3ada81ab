// Engine arrays: ordered buckets with a hash part in front of them, packed tables for integer keys
// in order, tombstones, growth and compaction, exactly where the engine has them.
#include "internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace standin::internal;

namespace {

constexpr uint32_t kInvalidIndex = UINT32_MAX;
constexpr uint32_t kMinMask = static_cast<uint32_t>(-2);
constexpr uint32_t kMinSize = 8;
constexpr uint32_t kMaxSize = 0x04000000;
constexpr zend_long kLongMax = INT64_MAX;

constexpr uint8_t kFlagPacked = 1 << 2;
constexpr uint8_t kFlagInitialized = 1 << 3;
constexpr uint8_t kFlagStaticKeys = 1 << 4;
constexpr uint8_t kFlagHasEmptyIndirect = 1 << 5;

// The two invalid hash slots that every uninitialized table points just past.
const uint32_t uninitializedBucket[2] = {kInvalidIndex, kInvalidIndex};

Bucket* uninitializedData() {
    return reinterpret_cast<Bucket*>(const_cast<uint32_t*>(uninitializedBucket) + 2);
}

bool isPersistent(const HashTable* ht) { return gcHas(ht, kGcPersistent); }
bool isPacked(const HashTable* ht) { return ht->u.v.flags & kFlagPacked; }
bool isInitialized(const HashTable* ht) { return ht->u.v.flags & kFlagInitialized; }

uint32_t maskFor(uint32_t tableSize) { return static_cast<uint32_t>(-static_cast<int64_t>(tableSize) * 2); }
size_t hashSlots(uint32_t mask) { return static_cast<size_t>(static_cast<uint32_t>(-static_cast<int32_t>(mask))); }

uint32_t& hashSlot(const HashTable* ht, uint32_t nIndex) {
    return reinterpret_cast<uint32_t*>(ht->arData)[static_cast<int32_t>(nIndex)];
}

uint32_t& nextOf(Bucket* p) { return p->val.u2.next; }

void* dataStart(const HashTable* ht) { return reinterpret_cast<uint32_t*>(ht->arData) - hashSlots(ht->nTableMask); }

uint32_t checkSize(uint32_t size) {
    if (size <= kMinSize) return kMinSize;
    uint32_t power = kMinSize;
    while (power < size) power <<= 1;
    return power;
}

void initTable(HashTable* ht, uint32_t size, bool persistent) {
    corvane::engine::initHeader(ht, 1, kArray | (persistent ? kGcPersistent : kGcCollectable));
    ht->u.flags = kFlagStaticKeys;
    ht->nTableMask = kMinMask;
    ht->arData = uninitializedData();
    ht->nNumUsed = 0;
    ht->nNumOfElements = 0;
    ht->nInternalPointer = 0;
    ht->nNextFreeElement = 0;
    ht->pDestructor = zval_ptr_dtor;
    ht->nTableSize = checkSize(size);
}

// Allocates hash part and buckets, pointing arData at the first bucket; all hash slots invalid.
void allocateData(HashTable* ht, uint32_t mask) {
    size_t slots = hashSlots(mask);
    auto* data = static_cast<uint32_t*>(
        allocate(slots * sizeof(uint32_t) + sizeof(Bucket) * ht->nTableSize, isPersistent(ht), Content::Buckets));
    std::memset(data, 0xff, slots * sizeof(uint32_t));
    ht->nTableMask = mask;
    ht->arData = reinterpret_cast<Bucket*>(data + slots);
}

void freeData(HashTable* ht) {
    if (isInitialized(ht)) release(dataStart(ht), isPersistent(ht));
}

void realInitPacked(HashTable* ht) {
    allocateData(ht, kMinMask);
    ht->u.v.flags |= kFlagInitialized | kFlagPacked;
}

void realInitMixed(HashTable* ht) {
    allocateData(ht, maskFor(ht->nTableSize));
    ht->u.v.flags |= kFlagInitialized;
}

void linkBucket(HashTable* ht, uint32_t idx) {
    Bucket* p = ht->arData + idx;
    uint32_t nIndex = static_cast<uint32_t>(p->h) | ht->nTableMask;
    nextOf(p) = hashSlot(ht, nIndex);
    hashSlot(ht, nIndex) = idx;
}

// Rebuilds the hash chains; moves live buckets down over the holes first, if there are any.
void rehash(HashTable* ht) {
    if (ht->nNumOfElements == 0) {
        if (isInitialized(ht)) {
            ht->nNumUsed = 0;
            std::memset(dataStart(ht), 0xff, hashSlots(ht->nTableMask) * sizeof(uint32_t));
        }
        return;
    }
    std::memset(dataStart(ht), 0xff, hashSlots(ht->nTableMask) * sizeof(uint32_t));
    uint32_t kept = 0;
    for (uint32_t i = 0; i < ht->nNumUsed; ++i) {
        Bucket* p = ht->arData + i;
        if (zType(p->val) == kUndef) continue;
        if (i != kept) {
            ht->arData[kept] = *p;
            if (ht->nInternalPointer == i) ht->nInternalPointer = kept;
        }
        linkBucket(ht, kept);
        ++kept;
    }
    ht->nNumUsed = kept;
}

// Moves the buckets into a new storage block of the current table size with a hash part of mask.
void moveData(HashTable* ht, uint32_t mask) {
    void* oldData = dataStart(ht);
    Bucket* oldBuckets = ht->arData;
    allocateData(ht, mask);
    std::memcpy(ht->arData, oldBuckets, sizeof(Bucket) * ht->nNumUsed);
    release(oldData, isPersistent(ht));
}

void packedToHash(HashTable* ht) {
    ht->u.v.flags &= static_cast<uint8_t>(~kFlagPacked);
    moveData(ht, maskFor(ht->nTableSize));
    rehash(ht);
}

void packedGrow(HashTable* ht) {
    ht->nTableSize += ht->nTableSize;
    moveData(ht, kMinMask);
}

void resizeIfFull(HashTable* ht) {
    if (ht->nNumUsed < ht->nTableSize) return;
    if (ht->nNumUsed > ht->nNumOfElements + (ht->nNumOfElements >> 5)) {
        rehash(ht);  // compacting is enough, and arData stays where it is
    } else if (ht->nTableSize < kMaxSize) {
        ht->nTableSize += ht->nTableSize;
        moveData(ht, maskFor(ht->nTableSize));
        rehash(ht);
    }
}

Bucket* findString(const HashTable* ht, zend_string* key, zend_ulong h, Bucket** prev = nullptr) {
    if (prev) *prev = nullptr;
    for (uint32_t idx = hashSlot(ht, static_cast<uint32_t>(h) | ht->nTableMask); idx != kInvalidIndex;) {
        Bucket* p = ht->arData + idx;
        if (p->key == key ||
            (p->h == h && p->key && p->key->len == key->len && std::memcmp(p->key->val, key->val, key->len) == 0)) {
            return p;
        }
        if (prev) *prev = p;
        idx = nextOf(p);
    }
    return nullptr;
}

Bucket* findBytes(const HashTable* ht, const char* str, size_t len, zend_ulong h, Bucket** prev = nullptr) {
    if (prev) *prev = nullptr;
    for (uint32_t idx = hashSlot(ht, static_cast<uint32_t>(h) | ht->nTableMask); idx != kInvalidIndex;) {
        Bucket* p = ht->arData + idx;
        if (p->h == h && p->key && p->key->len == len && std::memcmp(p->key->val, str, len) == 0) return p;
        if (prev) *prev = p;
        idx = nextOf(p);
    }
    return nullptr;
}

Bucket* findIndex(const HashTable* ht, zend_ulong h, Bucket** prev = nullptr) {
    if (prev) *prev = nullptr;
    if (isPacked(ht)) {
        if (h < ht->nNumUsed && zType(ht->arData[h].val) != kUndef) return ht->arData + h;
        return nullptr;
    }
    for (uint32_t idx = hashSlot(ht, static_cast<uint32_t>(h) | ht->nTableMask); idx != kInvalidIndex;) {
        Bucket* p = ht->arData + idx;
        if (p->h == h && !p->key) return p;
        if (prev) *prev = p;
        idx = nextOf(p);
    }
    return nullptr;
}

void copyValue(zval* target, const zval* source) {
    target->value = source->value;
    target->u1.type_info = source->u1.type_info;
}

zval* replaceValue(HashTable* ht, Bucket* p, zval* pData) {
    if (ht->pDestructor) ht->pDestructor(&p->val);
    copyValue(&p->val, pData);
    return &p->val;
}

zval* appendBucket(HashTable* ht, zend_string* key, zend_ulong h, zval* pData) {
    uint32_t idx = ht->nNumUsed++;
    ++ht->nNumOfElements;
    Bucket* p = ht->arData + idx;
    p->key = key;
    p->h = h;
    copyValue(&p->val, pData);
    linkBucket(ht, idx);
    return &p->val;
}

// AddNew stores without looking for the key: the caller has just looked and found nothing.
enum Mode { Add, Update, AddNew };

zval* addOrUpdateString(HashTable* ht, zend_string* key, zval* pData, Mode mode) {
    zend_ulong h = key->h ? key->h : zend_string_hash_func(key);
    if (!isInitialized(ht)) {
        realInitMixed(ht);
    } else if (isPacked(ht)) {
        packedToHash(ht);
    } else if (Bucket* p = mode == AddNew ? nullptr : findString(ht, key, h)) {
        return mode == Add ? nullptr : replaceValue(ht, p, pData);
    }
    if (!gcHas(key, kGcImmutable)) {
        corvane::engine::addRef(key);
        ht->u.v.flags &= static_cast<uint8_t>(~kFlagStaticKeys);
    }
    resizeIfFull(ht);
    return appendBucket(ht, key, h, pData);
}

zval* addOrUpdateBytes(HashTable* ht, const char* str, size_t len, zval* pData, Mode mode) {
    zend_ulong h = hashBytes(str, len);
    if (!isInitialized(ht)) {
        realInitMixed(ht);
    } else if (isPacked(ht)) {
        packedToHash(ht);
    } else if (Bucket* p = mode == AddNew ? nullptr : findBytes(ht, str, len, h)) {
        return mode == Add ? nullptr : replaceValue(ht, p, pData);
    }
    resizeIfFull(ht);
    zend_string* key = newString(str, len, isPersistent(ht));
    key->h = h;
    ht->u.v.flags &= static_cast<uint8_t>(~kFlagStaticKeys);
    return appendBucket(ht, key, h, pData);
}

zval* addToPacked(HashTable* ht, zend_ulong h, zval* pData) {
    Bucket* p = ht->arData + h;
    for (Bucket* hole = ht->arData + ht->nNumUsed; hole < p; ++hole) hole->val.u1.type_info = kUndef;
    ht->nNumUsed = static_cast<uint32_t>(h + 1);
    ht->nNextFreeElement = static_cast<zend_long>(h + 1);
    ++ht->nNumOfElements;
    p->h = h;
    p->key = nullptr;
    copyValue(&p->val, pData);
    return &p->val;
}

zval* addOrUpdateIndex(HashTable* ht, zend_ulong h, zval* pData, Mode mode) {
    if (isPacked(ht)) {
        if (h < ht->nNumUsed) {
            Bucket* p = ht->arData + h;
            if (zType(p->val) != kUndef) return mode == Update ? replaceValue(ht, p, pData) : nullptr;
            packedToHash(ht);  // a hole is refilled out of order: only a hash keeps the order
        } else if (h < ht->nTableSize) {
            return addToPacked(ht, h, pData);
        } else if ((h >> 1) < ht->nTableSize && (ht->nTableSize >> 1) < ht->nNumOfElements) {
            packedGrow(ht);
            return addToPacked(ht, h, pData);
        } else {
            if (ht->nNumUsed >= ht->nTableSize) ht->nTableSize += ht->nTableSize;
            packedToHash(ht);
        }
    } else if (!isInitialized(ht)) {
        if (h < ht->nTableSize) {
            realInitPacked(ht);
            return addToPacked(ht, h, pData);
        }
        realInitMixed(ht);
    } else {
        if (Bucket* p = mode == AddNew ? nullptr : findIndex(ht, h)) {
            return mode == Add ? nullptr : replaceValue(ht, p, pData);
        }
        resizeIfFull(ht);
    }
    if (static_cast<zend_long>(h) >= ht->nNextFreeElement) {
        ht->nNextFreeElement = h < static_cast<zend_ulong>(kLongMax) ? static_cast<zend_long>(h + 1) : kLongMax;
    }
    return appendBucket(ht, nullptr, h, pData);
}

// Unlinks and empties bucket p, trims trailing holes from nNumUsed, and destroys key and value.
void deleteBucket(HashTable* ht, Bucket* p, Bucket* prev) {
    uint32_t idx = static_cast<uint32_t>(p - ht->arData);
    if (!isPacked(ht)) {
        if (prev) {
            nextOf(prev) = nextOf(p);
        } else {
            hashSlot(ht, static_cast<uint32_t>(p->h) | ht->nTableMask) = nextOf(p);
        }
    }
    --ht->nNumOfElements;
    if (ht->nInternalPointer == idx) {
        while (++ht->nInternalPointer < ht->nNumUsed && zType(ht->arData[ht->nInternalPointer].val) == kUndef) {
        }
    }
    if (ht->nNumUsed - 1 == idx) {
        do {
            --ht->nNumUsed;
        } while (ht->nNumUsed > 0 && zType(ht->arData[ht->nNumUsed - 1].val) == kUndef);
        if (ht->nInternalPointer > ht->nNumUsed) ht->nInternalPointer = ht->nNumUsed;
    }
    if (p->key) releaseString(p->key);
    zval old = p->val;
    p->val.u1.type_info = kUndef;
    if (ht->pDestructor) ht->pDestructor(&old);
}

// zend_hash_destroy releases keys by their own flags; zend_array_destroy, for request arrays only,
// frees a key whose last reference it holds with efree, as PHP 7.3 does.
void destroyContents(HashTable* ht, bool requestKeys) {
    for (uint32_t i = 0; i < ht->nNumUsed; ++i) {
        Bucket* p = ht->arData + i;
        if (zType(p->val) == kUndef) continue;
        if (ht->pDestructor) ht->pDestructor(&p->val);
        if (!p->key) continue;
        if (!requestKeys) {
            releaseString(p->key);
        } else if (!gcHas(p->key, kGcImmutable) && corvane::engine::delRef(p->key) == 0) {
            release(p->key, false);
        }
    }
    freeData(ht);
}

// One element of zend_array_dup: the value an indirect slot points to (not in packed tables),
// nothing for a deleted one (false), and a reference that only the source holds copied as its value,
// unless that value is the source itself. Everything copied is counted once more.
bool dupElement(const HashTable* source, HashTable* target, uint32_t idx, const Bucket* p, bool packed) {
    const zval* data = &p->val;
    if (!packed && zType(*data) == kIndirect) data = data->value.zv;
    if (zType(*data) == kUndef) return false;
    if (zRefcounted(*data)) {
        const zval* inner = &data->value.ref->val;
        if (zType(*data) == kReference && corvane::engine::refcount(data->value.ref) == 1 &&
            (zType(*inner) != kArray || inner->value.arr != source)) {
            data = inner;
        }
        if (zRefcounted(*data)) corvane::engine::addRef(data->value.counted);
    }
    Bucket* q = target->arData + idx;
    copyValue(&q->val, data);
    q->h = p->h;
    q->key = packed ? nullptr : p->key;
    if (q->key && !gcHas(q->key, kGcImmutable)) corvane::engine::addRef(q->key);
    if (!packed) linkBucket(target, idx);
    return true;
}

// Tables, keys and values handed to a table function must not be freed ones.
void checkLive(const void* counted, const char* function) {
    if (isFreed(counted)) usedAfterFree(counted, function);
}

void checkLive(const zval* value, const char* function) {
    if (zRefcounted(*value)) checkLive(value->value.counted, function);
}

}  // namespace

extern "C" {

HashTable* _zend_new_array(uint32_t size) {
    countCall();
    auto* ht = static_cast<HashTable*>(allocate(sizeof(HashTable), false, Content::Array));
    initTable(ht, size, false);
    return ht;
}

uint32_t zend_array_count(HashTable* ht) {
    countCall();
    checkLive(ht, __func__);
    if (!(ht->u.v.flags & kFlagHasEmptyIndirect)) return ht->nNumOfElements;
    uint32_t count = 0;
    for (uint32_t i = 0; i < ht->nNumUsed; ++i) {
        const zval& v = ht->arData[i].val;
        if (zType(v) == kUndef) continue;
        if (zType(v) == kIndirect && zType(*v.value.zv) == kUndef) continue;
        ++count;
    }
    if (count == ht->nNumOfElements) ht->u.v.flags &= static_cast<uint8_t>(~kFlagHasEmptyIndirect);
    return count;
}

void zend_hash_destroy(HashTable* ht) {
    countCall();
    checkLive(ht, __func__);
    destroyContents(ht, false);
}

void zend_array_destroy(HashTable* ht) {
    countCall();
    if (isFreed(ht)) freedAgain(ht, __func__);  // an over-release if its count fell to 0 again
    if (isPersistent(ht)) persistentInRequestDestructor(ht, __func__);
    // As the engine does, to break cycles through the dying array.
    corvane::engine::initHeader(ht, corvane::engine::refcount(ht), kNull);
    destroyContents(ht, true);
    release(ht, false);
}

zval* zend_hash_add(HashTable* ht, zend_string* key, zval* pData) {
    countCall();
    checkLive(ht, __func__);
    checkLive(key, __func__);
    checkLive(pData, __func__);
    return addOrUpdateString(ht, key, pData, Add);
}

zval* zend_hash_update(HashTable* ht, zend_string* key, zval* pData) {
    countCall();
    checkLive(ht, __func__);
    checkLive(key, __func__);
    checkLive(pData, __func__);
    return addOrUpdateString(ht, key, pData, Update);
}

zval* zend_hash_find(const HashTable* ht, zend_string* key) {
    countCall();
    checkLive(ht, __func__);
    checkLive(key, __func__);
    zend_ulong h = key->h ? key->h : zend_string_hash_func(key);
    Bucket* p = findString(ht, key, h);
    return p ? &p->val : nullptr;
}

int zend_hash_del(HashTable* ht, zend_string* key) {
    countCall();
    checkLive(ht, __func__);
    checkLive(key, __func__);
    zend_ulong h = key->h ? key->h : zend_string_hash_func(key);
    Bucket* prev;
    Bucket* p = findString(ht, key, h, &prev);
    if (!p) return -1;
    deleteBucket(ht, p, prev);
    return 0;
}

zval* zend_hash_str_add(HashTable* ht, const char* key, size_t len, zval* pData) {
    countCall();
    checkLive(ht, __func__);
    checkLive(pData, __func__);
    return addOrUpdateBytes(ht, key, len, pData, Add);
}

zval* zend_hash_str_update(HashTable* ht, const char* key, size_t len, zval* pData) {
    countCall();
    checkLive(ht, __func__);
    checkLive(pData, __func__);
    return addOrUpdateBytes(ht, key, len, pData, Update);
}

zval* zend_hash_str_find(const HashTable* ht, const char* key, size_t len) {
    countCall();
    checkLive(ht, __func__);
    Bucket* p = findBytes(ht, key, len, hashBytes(key, len));
    return p ? &p->val : nullptr;
}

int zend_hash_str_del(HashTable* ht, const char* key, size_t len) {
    countCall();
    checkLive(ht, __func__);
    Bucket* prev;
    Bucket* p = findBytes(ht, key, len, hashBytes(key, len), &prev);
    if (!p) return -1;
    deleteBucket(ht, p, prev);
    return 0;
}

zval* zend_hash_index_add(HashTable* ht, zend_ulong h, zval* pData) {
    countCall();
    checkLive(ht, __func__);
    checkLive(pData, __func__);
    return addOrUpdateIndex(ht, h, pData, Add);
}

zval* zend_hash_index_update(HashTable* ht, zend_ulong h, zval* pData) {
    countCall();
    checkLive(ht, __func__);
    checkLive(pData, __func__);
    return addOrUpdateIndex(ht, h, pData, Update);
}

zval* zend_hash_index_find(const HashTable* ht, zend_ulong h) {
    countCall();
    checkLive(ht, __func__);
    Bucket* p = findIndex(ht, h);
    return p ? &p->val : nullptr;
}

int zend_hash_index_del(HashTable* ht, zend_ulong h) {
    countCall();
    checkLive(ht, __func__);
    Bucket* prev;
    Bucket* p = findIndex(ht, h, &prev);
    if (!p) return -1;
    deleteBucket(ht, p, prev);
    return 0;
}

zval* zend_hash_next_index_insert(HashTable* ht, zval* pData) {
    countCall();
    checkLive(ht, __func__);
    checkLive(pData, __func__);
    return addOrUpdateIndex(ht, static_cast<zend_ulong>(ht->nNextFreeElement), pData, Add);
}

zval* zend_hash_add_new(HashTable* ht, zend_string* key, zval* pData) {
    countCall();
    checkLive(ht, __func__);
    checkLive(key, __func__);
    checkLive(pData, __func__);
    return addOrUpdateString(ht, key, pData, AddNew);
}

zval* zend_hash_str_add_new(HashTable* ht, const char* key, size_t len, zval* pData) {
    countCall();
    checkLive(ht, __func__);
    checkLive(pData, __func__);
    return addOrUpdateBytes(ht, key, len, pData, AddNew);
}

zval* zend_hash_index_add_new(HashTable* ht, zend_ulong h, zval* pData) {
    countCall();
    checkLive(ht, __func__);
    checkLive(pData, __func__);
    return addOrUpdateIndex(ht, h, pData, AddNew);
}

// A new request array (count 1) with the source's elements in order, each counted once more; the
// holes of a hash are closed, a packed table keeps them. An immutable source is copied whole.
HashTable* zend_array_dup(HashTable* source) {
    countCall();
    checkLive(source, __func__);
    auto* target = static_cast<HashTable*>(allocate(sizeof(HashTable), false, Content::Array));
    corvane::engine::initHeader(target, 1, kArray | kGcCollectable);
    target->nTableSize = source->nTableSize;
    target->pDestructor = zval_ptr_dtor;
    target->nNextFreeElement = source->nNextFreeElement;
    const uint32_t pointer = source->nInternalPointer < source->nNumUsed ? source->nInternalPointer : 0;
    if (source->nNumOfElements == 0) {
        target->u.flags = (source->u.v.flags & ~(kFlagInitialized | kFlagPacked)) | kFlagStaticKeys;
        target->nTableMask = kMinMask;
        target->arData = uninitializedData();
        target->nNumUsed = 0;
        target->nNumOfElements = 0;
        target->nInternalPointer = 0;
    } else if (gcHas(source, kGcImmutable)) {
        target->u.flags = source->u.v.flags;
        allocateData(target, source->nTableMask);
        std::memcpy(dataStart(target), dataStart(source),
                    hashSlots(source->nTableMask) * sizeof(uint32_t) + sizeof(Bucket) * source->nNumUsed);
        target->nNumUsed = source->nNumUsed;
        target->nNumOfElements = source->nNumOfElements;
        target->nInternalPointer = source->nInternalPointer;
    } else if (isPacked(source)) {
        target->u.flags = source->u.v.flags;
        allocateData(target, kMinMask);
        for (uint32_t i = 0; i < source->nNumUsed; ++i) {
            if (!dupElement(source, target, i, source->arData + i, true)) target->arData[i].val.u1.type_info = kUndef;
        }
        target->nNumUsed = source->nNumUsed;
        target->nNumOfElements = source->nNumOfElements;
        target->nInternalPointer = pointer;
    } else {
        target->u.flags = source->u.v.flags;
        allocateData(target, source->nTableMask);
        target->nInternalPointer = pointer;
        uint32_t kept = 0;
        for (uint32_t i = 0; i < source->nNumUsed; ++i) {
            if (!dupElement(source, target, kept, source->arData + i, false)) continue;
            if (i != kept && source->nInternalPointer == i) target->nInternalPointer = kept;
            ++kept;
        }
        target->nNumUsed = kept;
        target->nNumOfElements = kept;
    }
    return target;
}

const HashTable zend_empty_array = {
    {2, {kArray | kGcImmutable}},
    {{kFlagStaticKeys, 0, 0, 0}},
    kMinMask,
    const_cast<Bucket*>(reinterpret_cast<const Bucket*>(uninitializedBucket + 2)),
    0,
    0,
    kMinSize,
    0,
    0,
    zval_ptr_dtor,
};

}  // extern "C"

namespace standin {

zend_array* newPersistentArray(uint32_t size) {
    auto* ht = static_cast<HashTable*>(allocate(sizeof(HashTable), true, Content::Array));
    initTable(ht, size, true);
    return ht;
}

}  // namespace standin
