#include <corvane/ZVal.h>

#include "dump_width.h"

#include <fmt/ostream.h>

#include <cstdint>
#include <stdexcept>

namespace engine = corvane::engine;

namespace {

void addReference(const zval& value) {
    if (engine::typeFlagsOf(value) != 0) ++value.value.counted->gc.refcount;
}

uint32_t stringTypeInfo(const zend_string* str) {
    return engine::isImmutable(str) ? engine::kInternedStringInfo : engine::kStringInfo;
}

// The engine keeps immutable arrays in values without type flags, so nothing ever counts them.
uint32_t arrayTypeInfo(const zend_array* array) {
    return engine::isImmutable(array) ? engine::kArray : engine::kArrayInfo;
}

}  // namespace

// --- Construction, assignment, release ---------------------------------------------------------

ZVal::ZVal() { value_.u1.type_info = engine::kUndef; }

ZVal::ZVal(long long value) {
    value_.value.lval = static_cast<zend_long>(value);
    value_.u1.type_info = engine::kLong;
}

ZVal::ZVal(double value) {
    value_.value.dval = value;
    value_.u1.type_info = engine::kDouble;
}

ZVal::ZVal(zend_string* str) {
    value_.value.str = str;
    value_.u1.type_info = str ? stringTypeInfo(str) : engine::kUndef;
}

ZVal::ZVal(zend_array* array) {
    value_.value.arr = array;
    value_.u1.type_info = array ? arrayTypeInfo(array) : engine::kUndef;
}

ZVal::ZVal(ZendString str) : ZVal(str.detach()) {}

ZVal::ZVal(ZendArray array) : ZVal(array.detach()) {}

ZVal::ZVal(const zval& value) {
    value_.value = value.value;
    value_.u1.type_info = value.u1.type_info;
    addReference(value_);
}

ZVal::ZVal(const ZVal& other) : ZVal(other.value_) {}

ZVal::ZVal(ZVal&& other) noexcept {
    value_.value = other.value_.value;
    value_.u1.type_info = other.value_.u1.type_info;
    other.value_.u1.type_info = engine::kUndef;
}

ZVal::~ZVal() { release(); }

ZVal& ZVal::operator=(const ZVal& other) {
    if (&other != this) {
        release();
        value_.value = other.value_.value;
        value_.u1.type_info = other.value_.u1.type_info;
        addReference(value_);
    }
    return *this;
}

ZVal& ZVal::operator=(ZVal&& other) noexcept {
    if (&other != this) {
        release();
        value_.value = other.value_.value;
        value_.u1.type_info = other.value_.u1.type_info;
        other.value_.u1.type_info = engine::kUndef;
    }
    return *this;
}

void ZVal::release() {
    zval_ptr_dtor(&value_);
    value_.u1.type_info = engine::kUndef;
}

ZVal ZVal::take(zval& source) {
    ZVal taken;
    taken.value_.value = source.value;
    taken.value_.u1.type_info = source.u1.type_info;
    source.u1.type_info = engine::kUndef;
    return taken;
}

void ZVal::detach(zval& target) {
    target.value = value_.value;
    target.u1.type_info = value_.u1.type_info;
    value_.u1.type_info = engine::kUndef;
}

zval* ZVal::get() { return &value_; }

// --- Type queries --------------------------------------------------------------------------------

unsigned char ZVal::getType() const { return engine::typeOf(value_); }

unsigned char ZVal::getTypeFlags() const { return engine::typeFlagsOf(value_); }

unsigned int ZVal::getTypeInfo() const { return value_.u1.type_info; }

ZVal::operator bool() const { return getType() != engine::kUndef; }

bool ZVal::isUndef() const { return getType() == engine::kUndef; }

bool ZVal::isNull() const { return getType() == engine::kNull; }

bool ZVal::isFalse() const { return getType() == engine::kFalse; }

bool ZVal::isTrue() const { return getType() == engine::kTrue; }

bool ZVal::isBool() const { return isFalse() || isTrue(); }

bool ZVal::isLong() const { return getType() == engine::kLong; }

bool ZVal::isDouble() const { return getType() == engine::kDouble; }

bool ZVal::isString() const { return getType() == engine::kString; }

bool ZVal::isArray() const { return getType() == engine::kArray; }

// --- Conversions ---------------------------------------------------------------------------------

bool ZVal::asBool() const {
    if (!isBool()) throw std::runtime_error("Not a boolean value");
    return isTrue();
}

long long ZVal::asLong() const {
    if (!isLong()) throw std::runtime_error("Not a long value");
    return value_.value.lval;
}

double ZVal::asDouble() const {
    if (!isDouble()) throw std::runtime_error("Not a double value");
    return value_.value.dval;
}

ZendString ZVal::asString() const {
    if (!isString()) throw std::runtime_error("Not a string");
    return ZendString(value_.value.str, false);
}

ZendArray ZVal::asArray() const {
    if (!isArray()) throw std::runtime_error("Not an array");
    return ZendArray(value_.value.arr);
}

// --- Factories -----------------------------------------------------------------------------------

namespace {

ZVal withTypeInfo(unsigned int typeInfo) {
    ZVal value;
    value.get()->u1.type_info = typeInfo;
    return value;
}

}  // namespace

ZVal ZVal::makeNull() { return withTypeInfo(engine::kNull); }

ZVal ZVal::makeFalse() { return withTypeInfo(engine::kFalse); }

ZVal ZVal::makeTrue() { return withTypeInfo(engine::kTrue); }

ZVal ZVal::makeBool(bool value) { return withTypeInfo(engine::kFalse + (value ? 1u : 0u)); }

ZVal ZVal::makeLong(long value) { return ZVal(static_cast<long long>(value)); }

ZVal ZVal::makeDouble(double value) { return ZVal(value); }

ZVal ZVal::makeString(zend_string* str) { return ZVal(str); }

ZVal ZVal::makeString(ZendString str) { return ZVal(std::move(str)); }

ZVal ZVal::makeArray(zend_array* array) { return ZVal(array); }

ZVal ZVal::makeArray(ZendArray array) { return ZVal(std::move(array)); }

// --- Dump ----------------------------------------------------------------------------------------

std::ostream& ZVal::dump(std::ostream& out, int indent) const {
    const int width = corvane::dumpWidth(indent);
    switch (getType()) {
        case engine::kUndef:
            fmt::print(out, "{:{}}UNDEF", "", width);
            break;
        case engine::kNull:
            fmt::print(out, "{:{}}NULL", "", width);
            break;
        case engine::kFalse:
            fmt::print(out, "{:{}}bool(false)", "", width);
            break;
        case engine::kTrue:
            fmt::print(out, "{:{}}bool(true)", "", width);
            break;
        case engine::kLong:
            fmt::print(out, "{:{}}int({})", "", width, static_cast<int64_t>(value_.value.lval));
            break;
        case engine::kDouble:
            fmt::print(out, "{:{}}double({:g})", "", width, value_.value.dval);
            break;
        case engine::kString:
            asString().dump(out, indent);
            break;
        case engine::kArray:
            asArray().dump(out, indent);
            break;
        case engine::kObject:
            fmt::print(out, "{:{}}OBJECT", "", width);
            break;
        case engine::kResource:
            fmt::print(out, "{:{}}RESOURCE", "", width);
            break;
        case engine::kReference:
            fmt::print(out, "{:{}}REFERENCE", "", width);
            break;
        case engine::kConstantAst:
            fmt::print(out, "{:{}}CONSTANT_AST", "", width);
            break;
        case engine::kIndirect:
            fmt::print(out, "{:{}}INDIRECT", "", width);
            break;
        default:
            fmt::print(out, "{:{}}UNKNOWN", "", width);
            break;
    }
    return out;
}
