// Building arrays, looking elements up and walking them.
#include "cases.h"
#include "raw_zend.h"

#include <corvane/ZVal.h>

#include <string>

namespace bench {
namespace {

const std::vector<int64_t> kSizes = {10, 1000, 1000000};

class BuildByAppend : public Fixture {
public:
    explicit BuildByAppend(int64_t n) : n_(n) {}
    void raw() override {
        zend_array* array = _zend_new_array(0);
        for (int64_t i = 0; i < n_; ++i) {
            zval value;
            raw::zvalLong(&value, i);
            zend_hash_next_index_insert(array, &value);
        }
        keep(array);
        raw::arrayRelease(array);
    }
    void corvane() override {
        ZendArray array(0);
        for (int64_t i = 0; i < n_; ++i) array.add(ZVal(i));
        keep(array.get());
    }

private:
    int64_t n_;
};

// Keys spread out, so the table is a hash rather than a packed list.
unsigned long long spreadKey(int64_t i) { return static_cast<unsigned long long>(i) * 7 + 3; }

class BuildByIntegerKeys : public Fixture {
public:
    explicit BuildByIntegerKeys(int64_t n) : n_(n) {}
    void raw() override {
        zend_array* array = _zend_new_array(0);
        for (int64_t i = 0; i < n_; ++i) {
            zval value;
            raw::zvalLong(&value, i);
            zend_hash_index_add(array, spreadKey(i), &value);
        }
        keep(array);
        raw::arrayRelease(array);
    }
    void corvane() override {
        ZendArray array(0);
        for (int64_t i = 0; i < n_; ++i) array.add(spreadKey(i), ZVal(i));
        keep(array.get());
    }

private:
    int64_t n_;
};

class BuildByStringKeys : public Fixture {
public:
    explicit BuildByStringKeys(int64_t n) : n_(n) {
        keys_.reserve(static_cast<size_t>(n));
        for (int64_t i = 0; i < n; ++i) {
            keys_.emplace_back(std::string_view("key-" + std::to_string(i)));
            keys_.back().hash();
        }
    }
    void raw() override {
        zend_array* array = _zend_new_array(0);
        for (int64_t i = 0; i < n_; ++i) {
            zval value;
            raw::zvalLong(&value, i);
            zend_hash_add(array, keys_[static_cast<size_t>(i)].get(), &value);
        }
        keep(array);
        raw::arrayRelease(array);
    }
    void corvane() override {
        ZendArray array(0);
        for (int64_t i = 0; i < n_; ++i) array.add(keys_[static_cast<size_t>(i)], ZVal(i));
        keep(array.get());
    }

private:
    int64_t n_;
    std::vector<ZendString> keys_;
};

// An array of n longs under the keys 0 to n - 1, made outside the measured region.
class FilledArray : public Fixture {
public:
    explicit FilledArray(int64_t n) : n_(n), array_(0) {
        for (int64_t i = 0; i < n; ++i) array_.add(ZVal(i));
    }

protected:
    int64_t n_;
    ZendArray array_;
};

class LookUp : public FilledArray {
public:
    using FilledArray::FilledArray;
    void raw() override {
        zend_array* array = array_.get();
        zend_long sum = 0;
        for (int64_t i = 0; i < n_; ++i) {
            zval* found = zend_hash_index_find(array, static_cast<zend_ulong>(i));
            if (found && (found->u1.type_info & 0xff) == 4) sum += found->value.lval;
        }
        keep(sum);
    }
    void corvane() override {
        long long sum = 0;
        for (int64_t i = 0; i < n_; ++i) sum += array_.at(i).asLong();
        keep(sum);
    }
};

// The same lookups, the raw side taking what at() gives: a counted copy of the value (ZVAL_COPY),
// read, then given back (zval_ptr_dtor). The difference to LookUp is what the copy costs.
class LookUpCopying : public LookUp {
public:
    using LookUp::LookUp;
    void raw() override {
        zend_array* array = array_.get();
        zend_long sum = 0;
        for (int64_t i = 0; i < n_; ++i) {
            zval copy;
            zval* found = zend_hash_index_find(array, static_cast<zend_ulong>(i));
            if (found) {
                raw::zvalCopy(&copy, found);
            } else {
                copy.u1.type_info = 0;
            }
            if ((copy.u1.type_info & 0xff) == 4) sum += copy.value.lval;
            zval_ptr_dtor(&copy);
        }
        keep(sum);
    }
};

class Contains : public FilledArray {
public:
    using FilledArray::FilledArray;
    void raw() override {
        zend_array* array = array_.get();
        int64_t hits = 0;
        for (int64_t i = 0; i < n_; ++i) hits += zend_hash_index_find(array, static_cast<zend_ulong>(i)) != nullptr;
        keep(hits);
    }
    void corvane() override {
        int64_t hits = 0;
        for (int64_t i = 0; i < n_; ++i) hits += array_.contains(i);
        keep(hits);
    }
};

// PHP's ZEND_HASH_FOREACH_VAL: one pass over the used slots, a deleted one skipped. Inside a real
// engine, its own macro; on the stand-in, what PHP 7.3's macro expands to.
zend_long rawWalk(zend_array* ht) {
    zend_long sum = 0;
#if defined(CORVANE_USES_PHP_HEADERS)
    zval* z;
    ZEND_HASH_FOREACH_VAL(ht, z) { sum += z->value.lval; }
    ZEND_HASH_FOREACH_END();
#else
    const Bucket* p = ht->arData;
    const Bucket* end = p + ht->nNumUsed;
    for (; p != end; p++) {
        const zval* z = &p->val;
        if (raw::deletedBucket(z)) continue;
        sum += z->value.lval;
    }
#endif
    return sum;
}

#if CORVANE_HAS_POSITIONS
class Walk : public FilledArray {
public:
    using FilledArray::FilledArray;
    void raw() override { keep(rawWalk(array_.get())); }
    void corvane() override {
        zend_long sum = 0;
        for (const Bucket& element : array_) sum += element.val.value.lval;
        keep(sum);
    }
};

class WalkCallingEnd : public FilledArray {
public:
    using FilledArray::FilledArray;
    void raw() override { keep(rawWalk(array_.get())); }
    void corvane() override {
        zend_long sum = 0;
        for (auto it = array_.begin(); it != array_.end(); ++it) sum += it->val.value.lval;
        keep(sum);
    }
};
#endif

class WalkItems : public FilledArray {
public:
    using FilledArray::FilledArray;
    void raw() override { keep(rawWalk(array_.get())); }
    void corvane() override {
        zend_long sum = 0;
        for (auto [key, value] : array_.items()) sum += value.value.lval;
        keep(sum);
    }
};

// The filled array with every fourth element deleted again: holes the walks pass over.
class HoledArray : public FilledArray {
public:
    explicit HoledArray(int64_t n) : FilledArray(n) {
        for (int64_t i = 0; i < n; i += 4) array_.remove(i);
    }
};

#if CORVANE_HAS_POSITIONS
class WalkHolesIterators : public HoledArray {
public:
    using HoledArray::HoledArray;
    void raw() override { keep(rawWalk(array_.get())); }
    void corvane() override {
        zend_long sum = 0;
        for (const Bucket& element : array_) sum += element.val.value.lval;
        keep(sum);
    }
};
#endif

class WalkHolesItems : public HoledArray {
public:
    using HoledArray::HoledArray;
    void raw() override { keep(rawWalk(array_.get())); }
    void corvane() override {
        zend_long sum = 0;
        for (auto [key, value] : array_.items()) sum += value.value.lval;
        keep(sum);
    }
};

// An array of n longs under the string keys "key-0" to "key-<n - 1>", and those keys as handles
// (hashes computed) and as bytes, made outside the measured region.
class StringKeyedArray : public Fixture {
public:
    explicit StringKeyedArray(int64_t n) : n_(n), array_(0) {
        keys_.reserve(static_cast<size_t>(n));
        bytes_.reserve(static_cast<size_t>(n));
        for (int64_t i = 0; i < n; ++i) {
            bytes_.push_back("key-" + std::to_string(i));
            keys_.emplace_back(std::string_view(bytes_.back()));
            keys_.back().hash();
            array_.add(keys_.back(), ZVal(i));
        }
    }

protected:
    int64_t n_;
    ZendArray array_;
    std::vector<ZendString> keys_;
    std::vector<std::string> bytes_;
};

// What a walk reads of each element: the key (its length, or the integer) and the value.
inline zend_long readKey(const zend_string* key, zend_ulong h) {
    return key ? static_cast<zend_long>(key->len) : static_cast<zend_long>(h);
}

// PHP's ZEND_HASH_FOREACH_KEY_VAL: one pass over the used slots, a deleted one skipped, then the
// element's h, key and value read (the engine's own macro inside a real engine, as for rawWalk).
zend_long rawWalkKeyValue(zend_array* ht) {
    zend_long sum = 0;
#if defined(CORVANE_USES_PHP_HEADERS)
    zend_ulong h;
    zend_string* key;
    zval* z;
    ZEND_HASH_FOREACH_KEY_VAL(ht, h, key, z) { sum += readKey(key, h) + z->value.lval; }
    ZEND_HASH_FOREACH_END();
#else
    const Bucket* p = ht->arData;
    const Bucket* end = p + ht->nNumUsed;
    for (; p != end; p++) {
        const zval* z = &p->val;
        if (raw::deletedBucket(z)) continue;
        zend_ulong h = p->h;
        const zend_string* key = p->key;
        sum += readKey(key, h) + z->value.lval;
    }
#endif
    return sum;
}

// PHP's ZEND_HASH_REVERSE_FOREACH_KEY_VAL: the same from the last used slot down.
zend_long rawReverseWalkKeyValue(zend_array* ht) {
    zend_long sum = 0;
#if defined(CORVANE_USES_PHP_HEADERS)
    zend_ulong h;
    zend_string* key;
    zval* z;
    ZEND_HASH_REVERSE_FOREACH_KEY_VAL(ht, h, key, z) { sum += readKey(key, h) + z->value.lval; }
    ZEND_HASH_FOREACH_END();
#else
    uint32_t idx = ht->nNumUsed;
    const Bucket* p = ht->arData + idx;
    for (; idx > 0; idx--) {
        p--;
        const zval* z = &p->val;
        if (raw::deletedBucket(z)) continue;
        zend_ulong h = p->h;
        const zend_string* key = p->key;
        sum += readKey(key, h) + z->value.lval;
    }
#endif
    return sum;
}

#if CORVANE_HAS_POSITIONS
class WalkKeyValueIterators : public StringKeyedArray {
public:
    using StringKeyedArray::StringKeyedArray;
    void raw() override { keep(rawWalkKeyValue(array_.get())); }
    void corvane() override {
        zend_long sum = 0;
        for (const Bucket& b : array_) sum += readKey(b.key, b.h) + b.val.value.lval;
        keep(sum);
    }
};

class WalkKeyValueEndInCondition : public StringKeyedArray {
public:
    using StringKeyedArray::StringKeyedArray;
    void raw() override { keep(rawWalkKeyValue(array_.get())); }
    void corvane() override {
        zend_long sum = 0;
        for (auto it = array_.begin(); it != array_.end(); ++it) sum += readKey(it->key, it->h) + it->val.value.lval;
        keep(sum);
    }
};
#endif

inline zend_long readKey(const ZendArray::Key& key) {
    return key.isString() ? static_cast<zend_long>(key.view().size()) : static_cast<zend_long>(key.integer());
}

class WalkKeyValueItems : public StringKeyedArray {
public:
    using StringKeyedArray::StringKeyedArray;
    void raw() override { keep(rawWalkKeyValue(array_.get())); }
    void corvane() override {
        zend_long sum = 0;
        for (auto [key, value] : array_.items()) sum += readKey(key) + value.value.lval;
        keep(sum);
    }
};

class WalkKeyValueItemsReversed : public StringKeyedArray {
public:
    using StringKeyedArray::StringKeyedArray;
    void raw() override { keep(rawReverseWalkKeyValue(array_.get())); }
    void corvane() override {
        zend_long sum = 0;
        for (auto [key, value] : array_.items().reversed()) sum += readKey(key) + value.value.lval;
        keep(sum);
    }
};

#if CORVANE_HAS_POSITIONS
class WalkKeyValueRIterators : public StringKeyedArray {
public:
    using StringKeyedArray::StringKeyedArray;
    void raw() override { keep(rawReverseWalkKeyValue(array_.get())); }
    void corvane() override {
        zend_long sum = 0;
        for (auto it = array_.rbegin(); it != array_.rend(); ++it) sum += readKey(it->key, it->h) + it->val.value.lval;
        keep(sum);
    }
};
#endif

// Lookups by a string key handle (its hash already computed): zend_hash_find.
class LookUpByString : public StringKeyedArray {
public:
    using StringKeyedArray::StringKeyedArray;
    void raw() override {
        zend_array* array = array_.get();
        zend_long sum = 0;
        for (int64_t i = 0; i < n_; ++i) {
            zval* found = zend_hash_find(array, keys_[static_cast<size_t>(i)].get());
            if (found && (found->u1.type_info & 0xff) == 4) sum += found->value.lval;
        }
        keep(sum);
    }
    void corvane() override {
        long long sum = 0;
        for (int64_t i = 0; i < n_; ++i) sum += array_.at(keys_[static_cast<size_t>(i)]).asLong();
        keep(sum);
    }
};

// Lookups by the key's bytes, hashed on every call: zend_hash_str_find.
class LookUpByBytes : public StringKeyedArray {
public:
    using StringKeyedArray::StringKeyedArray;
    void raw() override {
        zend_array* array = array_.get();
        zend_long sum = 0;
        for (int64_t i = 0; i < n_; ++i) {
            const std::string& key = bytes_[static_cast<size_t>(i)];
            zval* found = zend_hash_str_find(array, key.data(), key.size());
            if (found && (found->u1.type_info & 0xff) == 4) sum += found->value.lval;
        }
        keep(sum);
    }
    void corvane() override {
        long long sum = 0;
        for (int64_t i = 0; i < n_; ++i) sum += array_.at(std::string_view(bytes_[static_cast<size_t>(i)])).asLong();
        keep(sum);
    }
};

template <typename F>
Case arrayCase(const char* name) {
    return Case{name, true, kSizes, [](int64_t size) -> std::unique_ptr<Fixture> { return std::make_unique<F>(size); }};
}

}  // namespace

void addArrayCases(std::vector<Case>& cases) {
    cases.push_back(arrayCase<BuildByAppend>("array build by append"));
    cases.push_back(arrayCase<BuildByIntegerKeys>("array build by integer keys"));
    cases.push_back(arrayCase<BuildByStringKeys>("array build by string keys"));
    cases.push_back(arrayCase<LookUp>("array at"));
    cases.push_back(arrayCase<LookUpByString>("array at, ZendString keys"));
    cases.push_back(arrayCase<LookUpByBytes>("array at, string_view keys"));
    cases.push_back(arrayCase<LookUpCopying>("array at, raw side copying the value"));
    cases.push_back(arrayCase<Contains>("array contains"));
#if CORVANE_HAS_POSITIONS
    cases.push_back(arrayCase<Walk>("array walk"));
    cases.push_back(arrayCase<WalkCallingEnd>("array walk, end() every step"));
#endif
    cases.push_back(arrayCase<WalkItems>("array walk, items()"));
#if CORVANE_HAS_POSITIONS
    cases.push_back(arrayCase<WalkHolesIterators>("array walk, holes"));
#endif
    cases.push_back(arrayCase<WalkHolesItems>("array walk, holes, items()"));
#if CORVANE_HAS_POSITIONS
    cases.push_back(arrayCase<WalkKeyValueIterators>("array walk, key and value"));
    cases.push_back(arrayCase<WalkKeyValueEndInCondition>("array walk, key and value, end() in the condition"));
#endif
    cases.push_back(arrayCase<WalkKeyValueItems>("array walk, key and value, items()"));
#if CORVANE_HAS_POSITIONS
    cases.push_back(arrayCase<WalkKeyValueRIterators>("array walk reversed, key and value"));
#endif
    cases.push_back(arrayCase<WalkKeyValueItemsReversed>("array walk reversed, key and value, items()"));
}

}  // namespace bench
