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
// other holders keep the original. False, and lender untouched, when lender holds no array, and
// for a persistent array (an extension's own, in persistent memory: never lent for writing, since
// what a write puts in must live as long as the table, and the writes here store request values).
inline bool separateArray(zval& lender) {
    zval* slot = borrow::seenThrough(&lender);
    if (engine::typeOf(*slot) != engine::kArray) return false;
    zend_array* original = slot->value.arr;
    if (engine::isPersistent(original) && !engine::isImmutable(original)) return false;
    // The handle stands for the lender's own reference meanwhile: no count.
    ZendArray array = ZendArray::take(original);
    array.separate();
    slot->value.arr = array.detach();
    if (slot->value.arr != original) slot->u1.type_info = engine::kArrayInfo;
    return true;
}

// Takes the array out of lender (seen through a reference) into a handle, separated as
// separateArray does, and leaves an empty array in its place: PHP code that runs while the handle
// writes (an element's destructor) finds the variable empty and cannot reach the array. Put it back
// afterwards (ZVal(std::move(array)).detach(...), once what the variable got meanwhile is taken
// out). An empty handle, and lender untouched, where separateArray refuses.
inline ZendArray takeArray(zval& lender) {
    if (!separateArray(lender)) return ZendArray();
    zval* slot = borrow::seenThrough(&lender);
    ZendArray array = ZendArray::take(slot->value.arr);
    ZVal(ZendArray(0)).detach(*slot);
    return array;
}

// One element's value, lent where it lies to update in place: findOrAdd's result, a lookup's slot,
// in an array of request memory (every array PHP code makes; LentArray lends only those). An element
// that is a PHP reference is written through it, as $array[$key] = … would, and a typed reference
// (PHP 8.2) checks what goes in as PHP does.
class CORVANE_LOCAL LentValue {
public:
    // Null is no element: every write is refused.
    explicit LentValue(zval* slot) : slot_(slot) {}

    explicit operator bool() const { return slot_ != nullptr; }
    ZValView view() const { return ZValView(static_cast<const zval*>(slot_)); }

    // Adds by to the element's integer in place, as a counter counts. False, nothing changed, when
    // the element is not an integer, there is none, or the sum would not fit (PHP would make it a
    // float). Never throws, so a temporary of the statement (findOrAdd's initial value) needs no
    // unwinding path and folds away.
    bool increment(zend_long by = 1) const noexcept {
        zval* value = slot_;
        if (CORVANE_UNLIKELY(!value || engine::typeOf(*value) != engine::kLong)) {
            value = value ? borrow::seenThrough(value) : nullptr;
            if (!value || engine::typeOf(*value) != engine::kLong) return false;
        }
        zend_long sum;
        if (__builtin_add_overflow(value->value.lval, by, &sum)) return false;
        value->value.lval = sum;
        return true;
    }
    // The element's integer itself, to change in place; std::runtime_error when the element is not
    // an integer, or there is none. Arithmetic on it is the caller's: keep it from overflowing.
    zend_long& longRef() const {
        if (CORVANE_LIKELY(slot_ && engine::typeOf(*slot_) == engine::kLong)) return slot_->value.lval;
        return referencedLong(slot_);
    }
    // Replaces the element's value: the new one is in place before the old one is released, so a
    // destructor the release runs sees the new value. value is consumed. False, and nothing
    // changed, when there is no element, for an undefined value, for a persistent string or array,
    // and when a typed reference refuses the value (the engine has then thrown its TypeError).
    bool assign(ZVal value) {
        if (value.isReference()) value = value.dereferenced();
        if (!slot_ || value.isUndef() || !fitsRequest(value)) return false;
        zend_reference* reference = lent::referenceOf(*slot_);
        if (CORVANE_UNLIKELY(reference && engine::referenceIsTyped(reference))) {
            // The engine's check may run PHP code (__toString, an error handler) that deletes or
            // moves the element: the write goes into the reference, which a count of ours keeps.
            zval held;
            held.value.ref = reference;
            held.u1.type_info = engine::kReferenceInfo;
            const ZVal keep(held);
            if (!engine::typedReferenceAccepts(reference, value.get())) return false;
            ZVal old = ZVal::take(reference->val);
            value.detach(reference->val);
            return true;
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
    // What a request array may keep: anything but a persistent string or array.
    static bool fitsRequest(ZVal& value) {
        const zval* v = value.get();
        if (engine::typeFlagsOf(*v) == 0) return true;
        return !(value.isString() || value.isArray()) || !engine::isPersistent(v->value.counted);
    }

    zval* slot_;
};

// A writable loan of the array that a zval holds: a by-value argument's zval, a by-reference
// argument (through its reference), an element. It separates as PHP's SEPARATE_ARRAY does (see
// separateArray): an array that is shared or immutable is duplicated into the lender's own zval.
// Writes then go to the lender's array with no count of their own, so the array's count stays 1 (a
// debug engine asserts that on every write). A zval that holds no array, or a persistent one, lends
// nothing: every write is refused, and size() is 0.
//
// Writes that release something run PHP code (destructors). After such a write the loan looks at
// its lender again: if that code made the array shared ($copy = $a), it is separated again, as PHP
// would before its next write; if the lender no longer holds it ($a = null), the loan has ended and
// every later write is refused. That code must not let the array go altogether while a write is
// in it (the write would read freed memory, as PHP's own would): where destructors may, take the
// array out of the lender (takeArray). Code of yours that runs PHP code between writes (a callback)
// must leave the lender's array alone. The lender's zval itself must stay where it is: an argument's
// does, for the call. The example's corvane_drain takes the array out of the argument instead
// (takeArray).
class CORVANE_LOCAL LentArray {
public:
    explicit LentArray(zval& lender) : lender_(borrow::seenThrough(&lender)), array_(nullptr) {
        if (!separateArray(lender)) {
            lender_ = nullptr;
            return;
        }
        array_ = lender_->value.arr;
    }
    LentArray(const LentArray&) = delete;
    LentArray& operator=(const LentArray&) = delete;

    // Whether the loan stands: it ends when the lender lets the array go (see the class's comment).
    explicit operator bool() const { return lender_ != nullptr; }
    // The array, lent for reading.
    ZendArrayView view() const { return ZendArrayView(array_); }
    zend_array* get() const { return array_; }
    unsigned long long size() const { return view().size(); }

    // ZendArray's writes, with the same keys, the same refusals and the same consumed values. A
    // write that released something (a refused value, a replaced or removed element) may have run
    // PHP code: the loan then looks at its lender again (see the class's comment).
    template <typename... Args>
    bool add(Args&&... args) {
        if (CORVANE_UNLIKELY(!lender_)) return false;
        const bool stored = borrow::Loan<ZendArray>(array_).handle.add(std::forward<Args>(args)...);
        if (CORVANE_UNLIKELY(!stored)) relook();
        return stored;
    }
    // The append, as ZendArray::add(ZVal) with the array's own checks left out: a loan's array is
    // held and writable.
    bool add(ZVal value) {
        if (CORVANE_UNLIKELY(!lender_)) return false;
        if (CORVANE_LIKELY(!value.isUndef() && ZendArray::fitsTable(array_, *value.get()))) {
            zval local;
            value.detach(local);
            if (CORVANE_LIKELY(engine::hashNextIndexInsert(array_, &local) != nullptr)) return true;
            value = ZVal::take(local);
        }
        value.release();  // may run PHP code: look again
        relook();
        return false;
    }
    template <typename... Args>
    bool insert(Args&&... args) {
        if (CORVANE_UNLIKELY(!lender_)) return false;
        const bool stored = borrow::Loan<ZendArray>(array_).handle.insert(std::forward<Args>(args)...);
        relook();
        return stored;
    }
    template <typename Key>
    bool remove(const Key& key) {
        if (CORVANE_UNLIKELY(!lender_)) return false;
        const bool removed = borrow::Loan<ZendArray>(array_).handle.remove(key);
        relook();
        return removed;
    }
    // The element under key, stored first with initial when there is none, lent to update. No
    // element when the loan has ended, or when releasing a counted initial value ran PHP code that
    // made the array shared or took it from the lender (the element's slot is then not this loan's).
    template <typename Key>
    LentValue findOrAdd(const Key& key, ZVal initial) {
        if (CORVANE_UNLIKELY(!lender_)) return LentValue(nullptr);
        const bool counted = initial.getTypeFlags() != 0;
        zval* slot = borrow::Loan<ZendArray>(array_).handle.findOrAdd(key, std::move(initial));
        if (CORVANE_UNLIKELY(counted) && !relook()) return LentValue(nullptr);
        return LentValue(slot);
    }

private:
    // Looks at the lender again after PHP code may have run: see the class's comment. True when the
    // loan stands on the same array as before.
    bool relook() {
        if (CORVANE_UNLIKELY(engine::typeOf(*lender_) != engine::kArray || lender_->value.arr != array_)) {
            lender_ = nullptr;
            array_ = nullptr;
            return false;
        }
        if (CORVANE_UNLIKELY(engine::refcount(array_) > 1)) {
            separateArray(*lender_);
            array_ = lender_->value.arr;
            return false;
        }
        return true;
    }

    // The lender's zval (seen through a reference) and the array it holds: no count of the loan's
    // own; each write goes through a ZendArray handle that stands for the lender's reference.
    zval* lender_;
    zend_array* array_;
};

}  // namespace corvane

#endif
