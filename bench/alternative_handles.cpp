// What a string or array handle's copy and destruction would cost in two other designs, measured
// beside the raw code in the same way as the real handles: one without a virtual table (a plain
// pointer that may be null), and one with a virtual table that is never empty. The difference to
// the real handle is what each of those two properties costs once the handle lives in memory.
#include "cases.h"
#include "raw_zend.h"

#include <corvane/ZendArray.h>
#include <corvane/ZendString.h>

namespace bench {
namespace {

// The engine's own release of a string or an array, as the raw side does it.
inline void rawRelease(zend_string* s) { raw::stringRelease(s); }
inline void rawRelease(zend_array* a) { raw::arrayRelease(a); }

template <typename Counted>
inline Counted* share(Counted* counted) {
    if (counted && !raw::gcImmutable(&counted->gc)) raw::addRef(counted);
    return counted;
}

// A handle that is only a pointer: empty when null, so copy and destruction test for it.
template <typename Counted>
class PlainHandle {
public:
    explicit PlainHandle(Counted* counted) : counted_(share(counted)) {}
    PlainHandle(const PlainHandle& other) : counted_(share(other.counted_)) {}
    PlainHandle& operator=(const PlainHandle&) = delete;
    ~PlainHandle() {
        if (counted_) rawRelease(counted_);
    }
    Counted* get() const { return counted_; }

private:
    Counted* counted_;
};

// A handle with a virtual table, like corvane's, that always holds something: no null tests.
class NeverEmptyBase {
public:
    virtual ~NeverEmptyBase() = default;
    virtual void release() = 0;
};

template <typename Counted>
class NeverEmptyHandle final : public NeverEmptyBase {
public:
    explicit NeverEmptyHandle(Counted* counted) : counted_(counted) { raw::addRef(counted_); }
    NeverEmptyHandle(const NeverEmptyHandle& other) : NeverEmptyBase(), counted_(other.counted_) {
        if (!raw::gcImmutable(&counted_->gc)) raw::addRef(counted_);
    }
    NeverEmptyHandle& operator=(const NeverEmptyHandle&) = delete;
    ~NeverEmptyHandle() override { rawRelease(counted_); }
    void release() override { rawRelease(counted_); }
    Counted* get() const { return counted_; }

private:
    Counted* counted_;
};

zend_string* newString() { return ZendString("benchmark-string").detach(); }
zend_array* newArray() { return ZendArray(8).detach(); }

// Copies and destroys a handle n times while its address escapes, beside the raw pointer copy.
template <typename Handle, typename Counted, Counted* (*make)()>
class EscapingCopy : public Fixture {
public:
    explicit EscapingCopy(int64_t n) : n_(n), counted_(make()), handle_(counted_) {}
    ~EscapingCopy() override { rawRelease(counted_); }
    void raw() override {
        for (int64_t i = 0; i < n_; ++i) {
            Counted* copy = counted_;
            if (!raw::gcImmutable(&copy->gc)) raw::addRef(copy);
            keep(copy);
            escape(&copy);
            rawRelease(copy);
        }
    }
    void corvane() override {
        for (int64_t i = 0; i < n_; ++i) {
            Handle copy(handle_);
            keep(copy.get());
            escape(&copy);
        }
    }

private:
    int64_t n_;
    Counted* counted_;
    Handle handle_;
};

template <typename F>
Case alternativeCase(const char* name) {
    return Case{name, false, {1000}, [](int64_t size) -> std::unique_ptr<Fixture> { return std::make_unique<F>(size); }};
}

}  // namespace

void addAlternativeHandleCases(std::vector<Case>& cases) {
    cases.push_back(alternativeCase<EscapingCopy<PlainHandle<zend_string>, zend_string, newString>>(
        "other design: string handle without a virtual table, address escapes"));
    cases.push_back(alternativeCase<EscapingCopy<NeverEmptyHandle<zend_string>, zend_string, newString>>(
        "other design: string handle never empty, address escapes"));
    cases.push_back(alternativeCase<EscapingCopy<PlainHandle<zend_array>, zend_array, newArray>>(
        "other design: array handle without a virtual table, address escapes"));
    cases.push_back(alternativeCase<EscapingCopy<NeverEmptyHandle<zend_array>, zend_array, newArray>>(
        "other design: array handle never empty, address escapes"));
}

}  // namespace bench
