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

zend_long rawWalk(const zend_array* array) {
    zend_long sum = 0;
    for (const Bucket *p = array->arData, *end = p + array->nNumUsed; p != end; ++p) {
        if ((p->val.u1.type_info & 0xff) == 0) continue;
        sum += p->val.value.lval;
    }
    return sum;
}

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
    cases.push_back(arrayCase<Contains>("array contains"));
    cases.push_back(arrayCase<Walk>("array walk"));
    cases.push_back(arrayCase<WalkCallingEnd>("array walk, end() every step"));
}

}  // namespace bench
