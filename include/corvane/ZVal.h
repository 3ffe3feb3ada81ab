// ZVal: an owning wrapper of one engine value (zval), laid out exactly as a zval.
#ifndef CORVANE_ZVAL_H
#define CORVANE_ZVAL_H

#include <corvane/ZendString.h>
#include <corvane/engine.h>
#include <corvane/export.h>

#include <iosfwd>
#include <type_traits>

class ZendArray;

// Owns one reference of what it holds when the value is reference-counted (type flags not zero).
// Copies add a reference, moves pass it on, release gives it back through the engine. The undefined
// value (type info 0) is the empty state. The zval's spare word is never read, written or copied.
class CORVANE_API ZVal {
public:
    // --- Construction, assignment, release -------------------------------------------------------

    // Undefined.
    ZVal();
    ZVal(long long value);
    ZVal(double value);
    // Any other integer or floating type; bool is refused (use makeBool).
    template <typename Int, std::enable_if_t<std::is_integral_v<Int> && !std::is_same_v<Int, bool>, int> = 0>
    ZVal(Int value) : ZVal(static_cast<long long>(value)) {}
    ZVal(float value) : ZVal(static_cast<double>(value)) {}
    ZVal(bool value) = delete;
    // Takes over the caller's reference to str (interned strings are stored uncounted). Null gives
    // an undefined value.
    ZVal(zend_string* str);
    // Takes over the caller's reference to array. An immutable array is stored uncounted (type
    // info 7), as the engine stores its shared empty array. Null gives an undefined value.
    ZVal(zend_array* array);
    // Takes the handle's reference over; the argument is left empty. Pass a named handle to share
    // it (the by-value copy adds the reference), a temporary or moved one to hand it over.
    ZVal(ZendString str);
    ZVal(ZendArray array);
    // Copies the engine value, adding a reference when it is counted.
    ZVal(const zval& value);
    ZVal(const ZVal& other);
    // Takes over other's value; other becomes undefined.
    ZVal(ZVal&& other) noexcept;
    ~ZVal();

    ZVal& operator=(const ZVal& other);
    ZVal& operator=(ZVal&& other) noexcept;

    // Gives the held reference back to the engine (zval_ptr_dtor) and becomes undefined.
    void release();
    // A value that owns what source held; source becomes undefined. No count changes.
    static ZVal take(zval& source);
    // Writes the value into target without releasing what target held; this becomes undefined.
    void detach(zval& target);
    // The held zval itself; the ZVal keeps ownership of whatever it then holds.
    zval* get();

    // --- Type queries ----------------------------------------------------------------------------

    unsigned char getType() const;
    unsigned char getTypeFlags() const;
    unsigned int getTypeInfo() const;
    // True when a value is held at all (null, false, 0 and "" included); false only when undefined.
    explicit operator bool() const;
    bool isUndef() const;
    bool isNull() const;
    bool isFalse() const;
    bool isTrue() const;
    bool isBool() const;
    bool isLong() const;
    bool isDouble() const;
    bool isString() const;
    bool isArray() const;

    // --- Conversions (no conversion between types; std::runtime_error for any other type) ----------

    bool asBool() const;
    long long asLong() const;
    double asDouble() const;
    // A handle sharing the held string (+1 unless interned).
    ZendString asString() const;
    // A handle sharing the held array (+1 unless immutable).
    ZendArray asArray() const;

    // --- Factories -------------------------------------------------------------------------------

    static ZVal makeNull();
    static ZVal makeFalse();
    static ZVal makeTrue();
    static ZVal makeBool(bool value);
    static ZVal makeLong(long value);
    static ZVal makeDouble(double value);
    static ZVal makeString(zend_string* str);
    static ZVal makeString(ZendString str);
    static ZVal makeArray(zend_array* array);
    static ZVal makeArray(ZendArray array);

    // Writes the value as indented text: scalars by value, strings and arrays in full, other kinds
    // by name only.
    std::ostream& dump(std::ostream& out, int indent = 0) const;

private:
    zval value_;
};

static_assert(sizeof(ZVal) == sizeof(zval), "a ZVal is laid out as a zval");
static_assert(std::is_standard_layout_v<ZVal>, "a ZVal is laid out as a zval");

// Values and arrays use each other; whichever header comes first brings the other.
#include <corvane/ZendArray.h>

#endif
