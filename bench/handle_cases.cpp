// Creating, copying and destroying single handles and values.
#include "cases.h"
#include "raw_zend.h"

#include <corvane/ZVal.h>

namespace bench {
namespace {

constexpr char kText[] = "benchmark-string";
constexpr size_t kTextLength = sizeof(kText) - 1;

// How the copy is seen by other code while it lives: its value only (it may stay in registers),
// its address escaping (benchmark::DoNotOptimize(&copy)), or its address passed to a function that
// the compiler cannot see. Raw code's copy is the pointer or zval it keeps, treated the same way.
enum class Seen { value, address, call };

template <Seen seen, typename T>
inline void show(T* object) {
    if constexpr (seen == Seen::address) {
        escape(object);
    } else if constexpr (seen == Seen::call) {
        opaque(object);
    }
}

class StringCreate : public Fixture {
public:
    explicit StringCreate(int64_t n) : n_(n) {}
    void raw() override {
        for (int64_t i = 0; i < n_; ++i) {
            zend_string* s = raw::stringInit(kText, kTextLength);
            keep(s);
            raw::stringRelease(s);
        }
    }
    void corvane() override {
        for (int64_t i = 0; i < n_; ++i) {
            ZendString s(std::string_view(kText, kTextLength));
            keep(s.get());
        }
    }

private:
    int64_t n_;
};

template <Seen seen>
class StringCopy : public Fixture {
public:
    explicit StringCopy(int64_t n) : n_(n), handle_(kText), str_(handle_.get()) {}
    void raw() override {
        for (int64_t i = 0; i < n_; ++i) {
            zend_string* copy = str_;
            if (!raw::gcImmutable(&copy->gc)) raw::addRef(copy);
            keep(copy);
            show<seen>(&copy);
            raw::stringRelease(copy);
        }
    }
    void corvane() override {
        for (int64_t i = 0; i < n_; ++i) {
            ZendString copy(handle_);
            keep(copy.get());
            show<seen>(&copy);
        }
    }

private:
    int64_t n_;
    ZendString handle_;
    zend_string* str_;  // what raw code keeps in its own structures
};

template <Seen seen>
class ArrayCopy : public Fixture {
public:
    explicit ArrayCopy(int64_t n) : n_(n), handle_(8), array_(handle_.get()) {}
    void raw() override {
        for (int64_t i = 0; i < n_; ++i) {
            zend_array* copy = array_;
            if (!raw::gcImmutable(&copy->gc)) raw::addRef(copy);
            keep(copy);
            show<seen>(&copy);
            raw::arrayRelease(copy);
        }
    }
    void corvane() override {
        for (int64_t i = 0; i < n_; ++i) {
            ZendArray copy(handle_);
            keep(copy.get());
            show<seen>(&copy);
        }
    }

private:
    int64_t n_;
    ZendArray handle_;
    zend_array* array_;  // what raw code keeps in its own structures
};

template <Seen seen>
class ValueCopy : public Fixture {
public:
    explicit ValueCopy(int64_t n) : n_(n), value_(ZendString(kText)) {}
    void raw() override {
        for (int64_t i = 0; i < n_; ++i) {
            zval copy;
            raw::zvalCopy(&copy, value_.get());
            keep(copy);
            show<seen>(&copy);
            zval_ptr_dtor(&copy);
        }
    }
    void corvane() override {
        for (int64_t i = 0; i < n_; ++i) {
            ZVal copy(value_);
            keep(copy);
            show<seen>(&copy);
        }
    }

private:
    int64_t n_;
    ZVal value_;
};

template <typename F>
Case handleCase(const char* name, int64_t n) {
    return Case{name, false, {n}, [](int64_t size) -> std::unique_ptr<Fixture> { return std::make_unique<F>(size); }};
}

}  // namespace

void addHandleCases(std::vector<Case>& cases) {
    cases.push_back(handleCase<StringCreate>("string create+release", 1000));
    cases.push_back(handleCase<StringCopy<Seen::value>>("string handle copy+destroy", 1000));
    cases.push_back(handleCase<StringCopy<Seen::address>>("string handle copy+destroy, address escapes", 1000));
    cases.push_back(handleCase<StringCopy<Seen::call>>("string handle copy+destroy, passed to a call", 1000));
    cases.push_back(handleCase<ArrayCopy<Seen::value>>("array handle copy+destroy", 1000));
    cases.push_back(handleCase<ArrayCopy<Seen::address>>("array handle copy+destroy, address escapes", 1000));
    cases.push_back(handleCase<ArrayCopy<Seen::call>>("array handle copy+destroy, passed to a call", 1000));
    cases.push_back(handleCase<ValueCopy<Seen::value>>("ZVal copy+destroy", 1000));
    cases.push_back(handleCase<ValueCopy<Seen::address>>("ZVal copy+destroy, address escapes", 1000));
    cases.push_back(handleCase<ValueCopy<Seen::call>>("ZVal copy+destroy, passed to a call", 1000));
}

}  // namespace bench
