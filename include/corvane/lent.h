// Writing in place: into an array that a zval lends (an argument, a by-reference argument, an
// element) and into one element's value, without adding a count, as PHP's own SEPARATE_ARRAY and
// ZVAL_DEREF code writes. A part of <corvane/ZendArray.h>, which includes it; include that header.
#ifndef CORVANE_LENT_H
#define CORVANE_LENT_H

#ifndef CORVANE_ZENDARRAY_H
#error "include <corvane/ZendArray.h>, which brings this part of it"
#endif

#include <utility>

namespace corvane {

namespace lent {
// The reference lender writes through, if any (typed ones check what goes in).
inline zend_reference* referenceOf(zval& lender) {
    zval* slot = &lender;
    if (engine::typeOf(*slot) == engine::kIndirect) slot = slot->value.zv;
    return engine::typeOf(*slot) == engine::kReference ? slot->value.ref : nullptr;
}
}  // namespace lent

// PHP's SEPARATE_ARRAY for the array that lender holds (seen through a reference): an array that is
// shared or immutable is replaced, in lender, by the engine's copy, which lender alone holds; the
// other holders keep the original. False when lender holds no array, and for a shared persistent
// array, which is left as it is (ZendArray::separate refuses it).
inline bool separateArray(zval& lender) {
    zval* slot = borrow::seenThrough(&lender);
    if (engine::typeOf(*slot) != engine::kArray) return false;
    // The handle stands for the lender's own reference meanwhile: no count.
    ZendArray array = ZendArray::take(slot->value.arr);
    const bool separated = array.separate();
    slot->value.arr = array.detach();
    slot->u1.type_info = engine::kArrayInfo;
    return separated;
}

// Takes the array out of lender (seen through a reference) into a handle, separated as
// separateArray does, and leaves an empty array in its place: PHP code that runs while the handle
// writes (an element's destructor) finds the variable empty and cannot reach the array. Put it back
// afterwards (ZVal(std::move(array)).detach(...), once what the variable got meanwhile is taken
// out). An empty handle, and lender untouched, when lender holds no array.
inline ZendArray takeArray(zval& lender) {
    zval* slot = borrow::seenThrough(&lender);
    if (engine::typeOf(*slot) != engine::kArray) return ZendArray();
    ZendArray array = ZendArray::take(slot->value.arr);
    // In place before anything is released: the cycle collector may run at any release.
    ZVal(ZendArray(0)).detach(*slot);
    array.separate();
    return array;
}

// One element's value, lent where it lies (findOrAdd's result, a lookup's slot) to update in place.
// An element that is a PHP reference is written through it, as $array[$key] = … would, and a typed
// reference (PHP 8.2) checks what goes in as PHP does.
class CORVANE_LOCAL LentValue {
public:
    // Null is no element: every write is refused.
    explicit LentValue(zval* slot) : slot_(slot) {}

    explicit operator bool() const { return slot_ != nullptr; }
    ZValView view() const { return ZValView(static_cast<const zval*>(slot_)); }

    // The element's integer itself, to change in place; std::runtime_error
    // when the element is not an integer, or there is none. The arithmetic is C++'s: an integer
    // that would overflow does not become a float, as it would in PHP.
    // Adds by to the element's integer in place, as a counter counts; false, nothing changed, when
    // the element is not an integer or there is none. Never throws, so a temporary of the
    // statement (findOrAdd's initial value) needs no unwinding path and folds away.
    bool increment(zend_long by = 1) const noexcept {
        zval* value = slot_;
        if (CORVANE_UNLIKELY(!value || engine::typeOf(*value) != engine::kLong)) {
            value = value ? borrow::seenThrough(value) : nullptr;
            if (!value || engine::typeOf(*value) != engine::kLong) return false;
        }
        value->value.lval += by;
        return true;
    }
    zend_long& longRef() const {
        if (CORVANE_LIKELY(slot_ && engine::typeOf(*slot_) == engine::kLong)) return slot_->value.lval;
        return referencedLong(slot_);
    }
    // Replaces the element's value: the new one is in place before the old one is released, so a
    // destructor the release runs sees the new value. value is consumed. False, and nothing
    // changed, when there is no element, for an undefined value, for a persistent string or array
    // (the element's table frees with efree), and when a typed reference refuses the value (the
    // engine has then thrown its TypeError).
    bool assign(ZVal value) {
        if (value.isReference()) value = value.dereferenced();
        if (!slot_ || value.isUndef() || !fitsRequest(value)) return false;
        zend_reference* reference = lent::referenceOf(*slot_);
        if (CORVANE_UNLIKELY(reference && engine::referenceIsTyped(reference)) &&
            !engine::typedReferenceAccepts(reference, value.get())) {
            return false;
        }
        zval* target = borrow::seenThrough(slot_);
        ZVal old = ZVal::take(*target);
        value.detach(*target);
        return true;
    }

private:
    // longRef() off its path: a long behind a reference, or the refusal.
    static zend_long& referencedLong(zval* slot) {
        zval* value = slot ? borrow::seenThrough(slot) : nullptr;
        if (!value || engine::typeOf(*value) != engine::kLong) ZVal::throwNotA(1);
        return value->value.lval;
    }
    static bool fitsRequest(ZVal& value) {
        const zval* v = value.get();
        if (engine::typeFlagsOf(*v) == 0) return true;
        return !(value.isString() || value.isArray()) || !engine::isPersistent(v->value.counted);
    }

    zval* slot_;
};

// A writable loan of the array that a zval holds: a by-value argument's zval, a by-reference
// argument (through its reference), an element. It separates as PHP's SEPARATE_ARRAY does: an array
// that is shared or immutable is duplicated into the lender's own zval, whose reference the other
// holders no longer share. Writes then go to the lender's array with no count of their own, so the
// array's count stays 1 (a debug engine asserts that on every write). A zval that holds no array
// lends nothing: every write is refused, and size() is 0.
//
// The loan lasts while the lender holds the array. PHP code that a write runs (an element's
// destructor) and that replaces the lender's value (assigns to the by-reference variable) ends it;
// the engine's own functions share that rule. The example's corvane_drain takes the array out of
// the argument instead, for such destructors.
class CORVANE_LOCAL LentArray {
public:
    explicit LentArray(zval& lender) : lender_(borrow::seenThrough(&lender)), array_() {
        if (!separateArray(lender)) {
            lender_ = nullptr;
            return;
        }
        // The handle stands for the lender's own reference while the loan lasts: no count.
        array_ = ZendArray::take(lender_->value.arr);
    }
    LentArray(const LentArray&) = delete;
    LentArray& operator=(const LentArray&) = delete;
    ~LentArray() { array_.detach(); }

    explicit operator bool() const { return lender_ != nullptr; }
    // The array, lent for reading.
    ZendArrayView view() const { return ZendArrayView(array_.get()); }
    zend_array* get() const { return array_.get(); }
    unsigned long long size() const { return array_.size(); }

    // ZendArray's writes, with the same keys, the same refusals and the same consumed values.
    template <typename... Args>
    bool add(Args&&... args) {
        return array_.add(std::forward<Args>(args)...);
    }
    template <typename... Args>
    bool insert(Args&&... args) {
        return array_.insert(std::forward<Args>(args)...);
    }
    template <typename Key>
    bool remove(const Key& key) {
        return array_.remove(key);
    }
    // The element under key, stored first with initial when there is none, lent to update.
    template <typename Key>
    LentValue findOrAdd(const Key& key, ZVal initial) {
        return LentValue(array_.findOrAdd(key, std::move(initial)));
    }

private:
    zval* lender_;
    ZendArray array_;
};

}  // namespace corvane

#endif
