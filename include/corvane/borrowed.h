// Borrowed reading: views of a value, a string and an array that the engine or a handle lends,
// beside the owning handles as std::string_view stands beside std::string. A view counts nothing,
// calls no engine destructor and never starts the cycle collector: reading through it costs what
// the engine's own macros cost. It is valid while its lender keeps what it lends (docs/ownership.md,
// "Borrowing"); owned() makes an owning handle of what it sees, to keep.
//
// A part of <corvane/ZendArray.h>, which includes it; include that header, not this one.
#ifndef CORVANE_BORROWED_H
#define CORVANE_BORROWED_H

#ifndef CORVANE_ZENDARRAY_H
#error "include <corvane/ZendArray.h>, which brings this part of it"
#endif

#include <cstddef>
#include <iosfwd>
#include <string_view>

namespace corvane {

class ZendStringView;
class ZendArrayView;

namespace borrow {
// False for every type: a static_assert on it fails only where a refused overload is chosen.
template <typename>
constexpr bool kRefused = false;

// A handle on something lent, holding it without its count: given up at the end, never released,
// also when the code that uses it throws. Lets a view call its owning class's out-of-line members.
template <typename Handle>
class Loan {
public:
    template <typename Raw>
    explicit Loan(Raw* raw) : handle(Handle::take(raw)) {}
    Loan(const Loan&) = delete;
    Loan& operator=(const Loan&) = delete;
    ~Loan() { handle.detach(); }

    Handle handle;
};

// The zval PHP code reads or writes for value: through a reference (an element set with &$x, a
// by-reference argument) and through a symbol table's indirect slot. One compare on the common
// path: the type codes from the reference's on are the rare ones.
inline zval* seenThrough(zval* value) {
    if (CORVANE_UNLIKELY(engine::typeOf(*value) >= engine::kReference)) {
        if (engine::typeOf(*value) == engine::kIndirect) value = value->value.zv;
        if (engine::typeOf(*value) == engine::kReference) value = &value->value.ref->val;
    }
    return value;
}
}  // namespace borrow

#define CORVANE_VIEW_OF_TEMPORARY \
    "a view of a temporary handle would dangle when the statement ends: keep the handle in a variable"

// A value, as PHP code reads it: a reference (an element set with &$x, a by-reference argument) and
// an indirect slot (a symbol table's) are seen through, once, when the view is made.
class CORVANE_LOCAL ZValView {
public:
    // The undefined value.
    ZValView() : value_(nullptr) {}
    // The engine's value, or a walk's element: lent as it is.
    ZValView(const zval& value) : value_(seen(&value)) {}
    // A lookup's result; null is the undefined value.
    explicit ZValView(const zval* value) : value_(value ? seen(value) : nullptr) {}
    // The handle's value; the handle keeps it.
    ZValView(const ZVal& value) : ZValView(*const_cast<ZVal&>(value).get()) {}
    template <typename Refused = void>
    ZValView(ZVal&&) : value_(nullptr) {
        static_assert(borrow::kRefused<Refused>, CORVANE_VIEW_OF_TEMPORARY);
    }

    // The zval seen (never a reference); null when undefined.
    const zval* get() const { return value_; }

    unsigned char getType() const { return value_ ? engine::typeOf(*value_) : engine::kUndef; }
    explicit operator bool() const { return getType() != engine::kUndef; }
    bool isUndef() const { return getType() == engine::kUndef; }
    bool isNull() const { return getType() == engine::kNull; }
    bool isFalse() const { return getType() == engine::kFalse; }
    bool isTrue() const { return getType() == engine::kTrue; }
    bool isBool() const { return isFalse() || isTrue(); }
    bool isLong() const { return getType() == engine::kLong; }
    bool isDouble() const { return getType() == engine::kDouble; }
    bool isString() const { return getType() == engine::kString; }
    bool isArray() const { return getType() == engine::kArray; }

    // As ZVal's conversions: no conversion between types; std::runtime_error for any other type.
    bool asBool() const {
        if (!isBool()) ZVal::throwNotA(0);
        return isTrue();
    }
    long long asLong() const {
        if (!isLong()) ZVal::throwNotA(1);
        return value_->value.lval;
    }
    double asDouble() const {
        if (!isDouble()) ZVal::throwNotA(2);
        return value_->value.dval;
    }
    inline ZendStringView asString() const;
    inline ZendArrayView asArray() const;
    // A string's bytes; std::runtime_error for any other type.
    inline std::string_view view() const;

    // A counted copy of the value seen, to keep (the engine's ZVAL_COPY_DEREF).
    ZVal owned() const { return value_ ? ZVal(*value_) : ZVal(); }
    // As ZVal::dump.
    std::ostream& dump(std::ostream& out, int indent = 0) const {
        if (!value_) return ZVal().dump(out, indent);
        zval copy = *value_;
        struct Given {
            ZVal value;
            zval& back;
            ~Given() { value.detach(back); }
        } loan{ZVal::take(copy), copy};
        return loan.value.dump(out, indent);
    }

private:
    static const zval* seen(const zval* value) { return borrow::seenThrough(const_cast<zval*>(value)); }

    const zval* value_;
};

// A string lent by the engine or a handle.
class CORVANE_LOCAL ZendStringView {
public:
    ZendStringView() : str_(nullptr) {}
    // Null is an empty view.
    ZendStringView(const zend_string* str) : str_(str) {}
    ZendStringView(const ZendString& str) : str_(str.get()) {}
    template <typename Refused = void>
    ZendStringView(ZendString&&) : str_(nullptr) {
        static_assert(borrow::kRefused<Refused>, CORVANE_VIEW_OF_TEMPORARY);
    }

    zend_string* get() const { return const_cast<zend_string*>(str_); }
    bool isNull() const { return str_ == nullptr; }
    // The bytes, zero bytes included; a null view when empty.
    std::string_view view() const { return str_ ? std::string_view(str_->val, str_->len) : std::string_view(); }
    size_t size() const { return str_ ? str_->len : 0; }
    bool empty() const { return size() == 0; }
    const char* data() const { return str_ ? str_->val : nullptr; }
    bool isInterned() const { return str_ && engine::isImmutable(str_); }

    // A handle sharing the string, to keep (+1 unless interned).
    ZendString owned() const { return ZendString(get(), false); }
    // As ZendString::dump.
    std::ostream& dump(std::ostream& out, int indent = 0) const {
        return borrow::Loan<ZendString>(get()).handle.dump(out, indent);
    }

private:
    const zend_string* str_;
};

// An array lent by the engine or a handle: its count, keyed lookups, the reading walk and the dump.
// Lookups answer views of the elements, seen through references.
class CORVANE_LOCAL ZendArrayView {
public:
    ZendArrayView() : array_(nullptr) {}
    // An argument's array (Z_ARRVAL_P), a nested one; null is an empty view.
    ZendArrayView(const zend_array* array) : array_(array) {}
    ZendArrayView(const ZendArray& array) : array_(array.get()) {}
    template <typename Refused = void>
    ZendArrayView(ZendArray&&) : array_(nullptr) {
        static_assert(borrow::kRefused<Refused>, CORVANE_VIEW_OF_TEMPORARY);
    }

    zend_array* get() const { return const_cast<zend_array*>(array_); }
    bool isNull() const { return array_ == nullptr; }
    unsigned long long size() const { return array_ ? engine::arrayCount(get()) : 0; }
    bool isEmpty() const { return size() == 0; }

    // The element under key, or null; the keys as ZendArray's lookups take them. A symbol table's
    // slot for a variable that was unset is no element, as PHP code sees it.
    const zval* find(const ZendString& key) const { return find(ZendStringView(key)); }
    const zval* find(ZendStringView key) const {
        return present(array_ && key.get() ? engine::hashFind(array_, key.get()) : nullptr);
    }
    const zval* find(std::string_view key) const {
        return present(array_ && !key.empty() ? engine::hashStrFind(array_, key.data(), key.size()) : nullptr);
    }
    const zval* find(const char* key) const { return key ? find(std::string_view(key)) : nullptr; }
    const zval* find(unsigned long long key) const {
        return present(array_ ? engine::hashIndexFind(array_, key) : nullptr);
    }
    template <typename Int, IfIntegerArgument<Int> = 0>
    const zval* find(Int key) const {
        return find(static_cast<unsigned long long>(key));
    }
    const zval* find(const ZendArray::PhpKey& key) const {
        switch (key.kind()) {
            case ZendArray::PhpKey::Kind::Integer:
                return find(key.integer());
            case ZendArray::PhpKey::Kind::String:
                return present(array_ ? engine::hashFind(array_, key.string()) : nullptr);
            case ZendArray::PhpKey::Kind::Bytes:
                return present(array_ ? engine::hashStrFind(array_, key.view().data(), key.view().size()) : nullptr);
            default:
                return nullptr;
        }
    }

    // The element's value as PHP code reads $array[key]; undefined when there is none.
    template <typename Key>
    ZValView at(const Key& key) const {
        return ZValView(find(key));
    }
    template <typename Key>
    bool contains(const Key& key) const {
        return find(key) != nullptr;
    }

    // The reading walk, as ZendArray::items(): for (auto [key, value] : view.items()).
    ZendArray::Items items() const {
        return ZendArray::Items(array_ ? engine::usedSlots(get()) : engine::noSlots());
    }

    // A handle sharing the array, to keep (+1 unless immutable).
    ZendArray owned() const { return ZendArray(get()); }
    // As ZendArray::dump.
    std::ostream& dump(std::ostream& out, int indent = 0) const {
        return borrow::Loan<ZendArray>(get()).handle.dump(out, indent);
    }

private:
    static const zval* present(const zval* found) {
        if (CORVANE_UNLIKELY(found && engine::typeOf(*found) == engine::kIndirect) &&
            engine::typeOf(*found->value.zv) == engine::kUndef) {
            return nullptr;
        }
        return found;
    }

    const zend_array* array_;
};

inline ZendStringView ZValView::asString() const {
    if (!isString()) ZVal::throwNotA(3);
    return ZendStringView(value_->value.str);
}

inline ZendArrayView ZValView::asArray() const {
    if (!isArray()) ZVal::throwNotA(4);
    return ZendArrayView(value_->value.arr);
}

inline std::string_view ZValView::view() const { return asString().view(); }

}  // namespace corvane

#endif
