// ZVal: an owning wrapper of one engine value (zval), laid out exactly as a zval.
#ifndef CORVANE_ZVAL_H
#define CORVANE_ZVAL_H

#include <corvane/ZendString.h>
#include <corvane/compiler.h>
#include <corvane/engine.h>
#include <corvane/export.h>

#include <iosfwd>
#include <type_traits>

#include <cstddef>

class ZendArray;

namespace corvane {

// Integer arguments that overloads take as numbers. bool is not a number here, and neither is the
// type of NULL (GCC's and clang's NULL is a long): C-style code writes NULL for a null pointer, so
// it must never become the integer 0. Where NULL is a plain 0 (an int), ints stay numbers.
template <typename Int>
inline constexpr bool kIsIntegerArgument =
    std::is_integral_v<Int> && !std::is_same_v<Int, bool> &&
    (!std::is_same_v<Int, decltype(NULL)> || std::is_same_v<Int, int>);
template <typename Int>
using IfIntegerArgument = std::enable_if_t<kIsIntegerArgument<Int>, int>;

class ZValView;
class LentValue;
class LentArray;

}  // namespace corvane

// Owns one reference of what it holds when the value is reference-counted (type flags not zero).
// Copies add a reference, moves pass it on, release gives it back through the engine. The undefined
// value (type info 0) is the empty state. The zval's spare word is never read, written or copied.
class CORVANE_API ZVal {
public:
    // --- Construction, assignment, release -------------------------------------------------------

    // Undefined.
    CORVANE_INLINE ZVal();
    CORVANE_INLINE ZVal(long long value);
    CORVANE_INLINE ZVal(double value);
    // Any other integer or floating type; bool is refused (use makeBool).
    template <typename Int, corvane::IfIntegerArgument<Int> = 0>
    ZVal(Int value) : ZVal(static_cast<long long>(value)) {}
    // long (zend_long) on its own, so that NULL, which the compiler types as a long, is caught:
    // g++ warns "passing NULL to non-pointer argument" (an error under -Werror), clang++ refuses it.
    // Write ZVal(0) for the number.
    CORVANE_LOCAL ZVal(long value)
#if defined(__clang__)
        __attribute__((diagnose_if(value == 0, "ZVal(NULL): NULL is not a number here; write ZVal(0) for the integer",
                                   "error")))
#endif
        : ZVal(static_cast<long long>(value)) {
    }
    ZVal(float value) : ZVal(static_cast<double>(value)) {}
    ZVal(bool value) = delete;
    // Takes over the caller's reference to str (interned strings are stored uncounted). Null gives
    // an undefined value.
    CORVANE_INLINE ZVal(zend_string* str);
    // Takes over the caller's reference to array. An immutable array is stored uncounted (type
    // info 7), as the engine stores its shared empty array. Null gives an undefined value.
    CORVANE_INLINE ZVal(zend_array* array);
    // Takes the handle's reference over; the argument is left empty. Pass a named handle to share
    // it (the by-value copy adds the reference), a temporary or moved one to hand it over.
    CORVANE_INLINE ZVal(ZendString str);
    CORVANE_INLINE ZVal(ZendArray array);
    // Copies the engine value, adding a reference when it is counted.
    CORVANE_INLINE ZVal(const zval& value);
    CORVANE_INLINE ZVal(const ZVal& other);
    // Takes over other's value; other becomes undefined.
    CORVANE_INLINE ZVal(ZVal&& other) noexcept;
    CORVANE_INLINE ~ZVal();

    CORVANE_INLINE ZVal& operator=(const ZVal& other);
    CORVANE_INLINE ZVal& operator=(ZVal&& other) noexcept;

    // Gives the held reference back to the engine (zval_ptr_dtor) and becomes undefined. A value
    // without type flags owns nothing, so the engine is not called for it; a persistent string or
    // array is let go as its handle would (the engine's destructor would free it with efree).
    CORVANE_INLINE void release();
    // A value that owns what source held; source becomes undefined. No count changes.
    CORVANE_INLINE static ZVal take(zval& source);
    // Writes the value into target without releasing what target held; this becomes undefined.
    CORVANE_INLINE void detach(zval& target);
    // The held zval itself; the ZVal keeps ownership of whatever it then holds.
    CORVANE_INLINE zval* get();

    // --- Type queries ----------------------------------------------------------------------------

    CORVANE_INLINE unsigned char getType() const;
    CORVANE_INLINE unsigned char getTypeFlags() const;
    CORVANE_INLINE unsigned int getTypeInfo() const;
    // True when a value is held at all (null, false, 0 and "" included); false only when undefined.
    CORVANE_INLINE explicit operator bool() const;
    CORVANE_INLINE bool isUndef() const;
    CORVANE_INLINE bool isNull() const;
    CORVANE_INLINE bool isFalse() const;
    CORVANE_INLINE bool isTrue() const;
    CORVANE_INLINE bool isBool() const;
    CORVANE_INLINE bool isLong() const;
    CORVANE_INLINE bool isDouble() const;
    CORVANE_INLINE bool isString() const;
    CORVANE_INLINE bool isArray() const;

    // --- Conversions (no conversion between types; std::runtime_error for any other type) ----------

    CORVANE_INLINE bool asBool() const;
    CORVANE_INLINE long long asLong() const;
    CORVANE_INLINE double asDouble() const;
    // A handle sharing the held string (+1 unless interned).
    CORVANE_INLINE ZendString asString() const;
    // A handle sharing the held array (+1 unless immutable).
    CORVANE_INLINE ZendArray asArray() const;

    // --- Factories -------------------------------------------------------------------------------

    CORVANE_INLINE static ZVal makeNull();
    CORVANE_INLINE static ZVal makeFalse();
    CORVANE_INLINE static ZVal makeTrue();
    CORVANE_INLINE static ZVal makeBool(bool value);
    CORVANE_INLINE static ZVal makeLong(long value);
    CORVANE_INLINE static ZVal makeDouble(double value);
    CORVANE_INLINE static ZVal makeString(zend_string* str);
    CORVANE_INLINE static ZVal makeString(ZendString str);
    CORVANE_INLINE static ZVal makeArray(zend_array* array);
    CORVANE_INLINE static ZVal makeArray(ZendArray array);

    // Writes the value as indented text: scalars by value, strings and arrays in full, other kinds
    // by name only.
    std::ostream& dump(std::ostream& out, int indent = 0) const;

    // --- PHP references (&) ----------------------------------------------------------------------
    // A by-reference argument, or an element stored with $a[0] = &$x, holds an engine reference
    // (type code 10): a counted box shared by every holder, whose value is what PHP code sees.
    // Copies, at() and the conversions take such a value as it is; these members look inside.

    CORVANE_INLINE bool isReference() const;
    // The value PHP code sees, lent as get() lends it: the referenced value for a reference, this
    // value itself otherwise. Nothing is counted; the ZVal keeps the reference alive.
    CORVANE_INLINE zval* deref();
    // A counted copy of the value PHP code sees (the engine's ZVAL_COPY_DEREF).
    CORVANE_INLINE ZVal dereferenced() const;
    // Assigns as PHP code's `$var = value` does: through a reference into the referenced value,
    // which every holder then sees, otherwise into this ZVal. The new value is in place before the
    // old one is released. value is consumed. False, and nothing changed, for an undefined value
    // or a persistent string or array (references live in request memory); on PHP 8.2 also when a
    // typed reference refuses the value (the engine has then thrown its TypeError).
    CORVANE_INLINE bool assign(ZVal value);
    // A new reference (count 1) holding value, which it takes over, as PHP's & makes one; an
    // undefined value becomes null, and a reference is returned as it is. Undefined for a
    // persistent string or array, which a reference's destructor would free with efree.
    CORVANE_INLINE static ZVal makeReference(ZVal value);

private:
    // A view's conversions refuse with the same messages.
    friend class corvane::ZValView;
    friend class corvane::LentValue;
    // Which conversion refused the value: 0 bool, 1 long, 2 double, 3 string, 4 array.
    [[noreturn]] static void throwNotA(int conversion);
    // Hands a counted value to the engine's zval_ptr_dtor through a fresh zval built from its two
    // words, so that the ZVal's own address stays private and the compiler can keep short-lived
    // values in registers, and the engine reads back exactly what was just stored.
    CORVANE_INLINE static void releaseCounted(zend_refcounted* counted, unsigned int typeInfo);
    // The value word and the type info, without the spare word, which a ZVal never copies.
    CORVANE_LOCAL zval words() const;
    // Gives back what a value taken out of a ZVal owned; the ZVal already shows something else.
    CORVANE_LOCAL static void releaseTaken(const zval& old);
    // The engine's value destructor frees strings and arrays with the request allocator, which
    // would corrupt its heap for persistent ones: those are let go as their handles do it.
    static void releasePersistent(zend_refcounted* counted, unsigned int typeInfo);
    CORVANE_INLINE static ZVal withTypeInfo(unsigned int typeInfo);
    CORVANE_INLINE void copyFrom(const zval& value);

    zval value_;

    // Stores read the value's kind and memory before handing it to the engine.
    friend class ZendArray;
};

static_assert(sizeof(ZVal) == sizeof(zval), "a ZVal is laid out as a zval");
static_assert(std::is_standard_layout_v<ZVal>, "a ZVal is laid out as a zval");

// --- Inline members ------------------------------------------------------------------------------
// (Those that need ZendArray complete are at the end of ZendArray.h.)

// The value word is cleared too: copies of an undefined value then never read indeterminate bits.
inline ZVal::ZVal() {
    value_.value.lval = 0;
    value_.u1.type_info = corvane::engine::kUndef;
}

inline ZVal::ZVal(long long value) {
    value_.value.lval = static_cast<zend_long>(value);
    value_.u1.type_info = corvane::engine::kLong;
}

inline ZVal::ZVal(double value) {
    value_.value.dval = value;
    value_.u1.type_info = corvane::engine::kDouble;
}

inline ZVal::ZVal(zend_string* str) {
    value_.value.str = str;
    if (!str) {
        value_.u1.type_info = corvane::engine::kUndef;
    } else {
        value_.u1.type_info = corvane::engine::isImmutable(str) ? corvane::engine::kInternedStringInfo
                                                                 : corvane::engine::kStringInfo;
    }
}

// The engine keeps immutable arrays in values without type flags, so nothing ever counts them.
inline ZVal::ZVal(zend_array* array) {
    value_.value.arr = array;
    if (!array) {
        value_.u1.type_info = corvane::engine::kUndef;
    } else {
        value_.u1.type_info =
            corvane::engine::isImmutable(array) ? corvane::engine::kArray : corvane::engine::kArrayInfo;
    }
}

inline ZVal::ZVal(ZendString str) : ZVal(str.detach()) {}

inline void ZVal::copyFrom(const zval& value) {
    value_.value = value.value;
    value_.u1.type_info = value.u1.type_info;
    if (corvane::engine::typeFlagsOf(value) != 0) corvane::engine::addRef(value.value.counted);
}

inline ZVal::ZVal(const zval& value) { copyFrom(value); }

inline ZVal::ZVal(const ZVal& other) { copyFrom(other.value_); }

inline ZVal::ZVal(ZVal&& other) noexcept {
    value_.value = other.value_.value;
    value_.u1.type_info = other.value_.u1.type_info;
    other.value_.u1.type_info = corvane::engine::kUndef;
}

// Every way of letting a value go takes it out first and leaves the ZVal undefined (or holding
// its new value) before the engine destroys the old one: destroying it may run PHP code (an
// object's __destruct, the cycle collector) that reaches this ZVal again, and must find no trace
// of what is dying. Where nothing else can see the ZVal, the compiler drops the extra store.
inline ZVal::~ZVal() { release(); }

// The new value is in place, counted, before the old one goes.
inline ZVal& ZVal::operator=(const ZVal& other) {
    if (&other != this) {
        const zval old = words();
        copyFrom(other.value_);
        releaseTaken(old);
    }
    return *this;
}

// Both ends are settled (this holds the new value, other is undefined) before the old one goes.
inline ZVal& ZVal::operator=(ZVal&& other) noexcept {
    if (&other != this) {
        const zval old = words();
        value_.value = other.value_.value;
        value_.u1.type_info = other.value_.u1.type_info;
        other.value_.u1.type_info = corvane::engine::kUndef;
        releaseTaken(old);
    }
    return *this;
}

inline void ZVal::releaseCounted(zend_refcounted* counted, unsigned int typeInfo) {
#if defined(__GNUC__)
    // Only counted values get here, but a compiler that loses track of the type flags may follow
    // a long's value word as a pointer and warn; the empty asm hides where the word came from.
    asm("" : "+r"(counted));
#endif
    if (corvane::engine::isPersistent(counted)) {
        releasePersistent(counted, typeInfo);
        return;
    }
    zval value;
    value.value.counted = counted;
    value.u1.type_info = typeInfo;
    corvane::engine::valueDestroy(&value);
}

inline void ZVal::release() {
    const unsigned int typeInfo = value_.u1.type_info;
    value_.u1.type_info = corvane::engine::kUndef;
    if (corvane::engine::typeFlagsOf(typeInfo) != 0) releaseCounted(value_.value.counted, typeInfo);
}

inline zval ZVal::words() const {
    zval copy;
    copy.value = value_.value;
    copy.u1.type_info = value_.u1.type_info;
    copy.u2.extra = 0;  // a local's spare word, set so that copying the local reads nothing unset
    return copy;
}

inline void ZVal::releaseTaken(const zval& old) {
    if (corvane::engine::typeFlagsOf(old) != 0) releaseCounted(old.value.counted, old.u1.type_info);
}

inline ZVal ZVal::take(zval& source) {
    ZVal taken;
    taken.value_.value = source.value;
    taken.value_.u1.type_info = source.u1.type_info;
    source.u1.type_info = corvane::engine::kUndef;
    return taken;
}

inline void ZVal::detach(zval& target) {
    target.value = value_.value;
    target.u1.type_info = value_.u1.type_info;
    value_.u1.type_info = corvane::engine::kUndef;
}

inline zval* ZVal::get() { return &value_; }

inline unsigned char ZVal::getType() const { return corvane::engine::typeOf(value_); }

inline unsigned char ZVal::getTypeFlags() const { return corvane::engine::typeFlagsOf(value_); }

inline unsigned int ZVal::getTypeInfo() const { return value_.u1.type_info; }

inline ZVal::operator bool() const { return getType() != corvane::engine::kUndef; }

inline bool ZVal::isUndef() const { return getType() == corvane::engine::kUndef; }

inline bool ZVal::isNull() const { return getType() == corvane::engine::kNull; }

inline bool ZVal::isFalse() const { return getType() == corvane::engine::kFalse; }

inline bool ZVal::isTrue() const { return getType() == corvane::engine::kTrue; }

inline bool ZVal::isBool() const { return isFalse() || isTrue(); }

inline bool ZVal::isLong() const { return getType() == corvane::engine::kLong; }

inline bool ZVal::isDouble() const { return getType() == corvane::engine::kDouble; }

inline bool ZVal::isString() const { return getType() == corvane::engine::kString; }

inline bool ZVal::isArray() const { return getType() == corvane::engine::kArray; }

inline bool ZVal::asBool() const {
    if (!isBool()) throwNotA(0);
    return isTrue();
}

inline long long ZVal::asLong() const {
    if (!isLong()) throwNotA(1);
    return value_.value.lval;
}

inline double ZVal::asDouble() const {
    if (!isDouble()) throwNotA(2);
    return value_.value.dval;
}

inline ZendString ZVal::asString() const {
    if (!isString()) throwNotA(3);
    return ZendString(value_.value.str, false);
}

inline ZVal ZVal::withTypeInfo(unsigned int typeInfo) {
    ZVal value;
    value.value_.u1.type_info = typeInfo;
    return value;
}

inline ZVal ZVal::makeNull() { return withTypeInfo(corvane::engine::kNull); }

inline ZVal ZVal::makeFalse() { return withTypeInfo(corvane::engine::kFalse); }

inline ZVal ZVal::makeTrue() { return withTypeInfo(corvane::engine::kTrue); }

inline ZVal ZVal::makeBool(bool value) { return withTypeInfo(corvane::engine::kFalse + (value ? 1u : 0u)); }

inline ZVal ZVal::makeLong(long value) { return ZVal(static_cast<long long>(value)); }

inline ZVal ZVal::makeDouble(double value) { return ZVal(value); }

inline ZVal ZVal::makeString(zend_string* str) { return ZVal(str); }

inline ZVal ZVal::makeString(ZendString str) { return ZVal(std::move(str)); }

inline ZVal ZVal::makeArray(zend_array* array) { return ZVal(array); }

// --- PHP references ------------------------------------------------------------------------------

inline bool ZVal::isReference() const { return getType() == corvane::engine::kReference; }

inline zval* ZVal::deref() { return isReference() ? &value_.value.ref->val : &value_; }

inline ZVal ZVal::dereferenced() const {
    return isReference() ? ZVal(value_.value.ref->val) : ZVal(*this);
}

// Request memory may hold everything but persistent strings and arrays that are not immutable.
inline bool ZVal::assign(ZVal value) {
    namespace engine = corvane::engine;
    // $x = $r copies the referenced value: a reference never holds another (ZVAL_COPY_DEREF).
    if (value.isReference()) value = value.dereferenced();
    if (value.isUndef()) return false;
    if (value.getTypeFlags() != 0 && engine::isPersistent(value.value_.value.counted) &&
        (value.isString() || value.isArray())) {
        return false;
    }
    if (!isReference()) {
        *this = std::move(value);  // the move puts the new value in before the old one goes
        return true;
    }
    zend_reference* ref = value_.value.ref;
    // A refused value is released with the parameter; the engine has thrown its TypeError.
    if (CORVANE_UNLIKELY(engine::referenceIsTyped(ref)) && !engine::typedReferenceAccepts(ref, &value.value_)) {
        return false;
    }
    ZVal old = ZVal::take(ref->val);
    value.detach(ref->val);
    return true;
}

inline ZVal ZVal::makeReference(ZVal value) {
    namespace engine = corvane::engine;
    if (value.isReference()) return value;
    if (value.getTypeFlags() != 0 && engine::isPersistent(value.value_.value.counted) &&
        (value.isString() || value.isArray())) {
        return ZVal();
    }
    if (value.isUndef()) value.value_.u1.type_info = engine::kNull;
    ZVal made;
    made.value_.value.ref = engine::newReference(value.value_);
    made.value_.u1.type_info = engine::kReferenceInfo;
    value.value_.u1.type_info = engine::kUndef;
    return made;
}

// Values and arrays use each other; whichever header comes first brings the other.
#include <corvane/ZendArray.h>

#endif
