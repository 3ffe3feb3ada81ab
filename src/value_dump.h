// The text of one value, shared by ZVal::dump and the array dump's elements.
#ifndef CORVANE_SRC_VALUE_DUMP_H
#define CORVANE_SRC_VALUE_DUMP_H

#include <corvane/ZVal.h>

#include "dump_width.h"

#include <fmt/ostream.h>

#include <cstdint>
#include <ostream>

namespace corvane {

// Writes one value as ZVal::dump does. Inline, so that the array dump's loop over its elements
// pays for no call per element. The value is read where it lies, never copied into a ZVal: giving
// a copy back would go through the engine's zval_ptr_dtor, which may start the cycle collector and
// run PHP destructors in the middle of a dump. Strings and arrays are read through handles, whose
// release only counts down (the value still holds its own reference).
inline std::ostream& dumpValue(std::ostream& out, const zval& value, int indent) {
    const int width = corvane::dumpWidth(indent);
    switch (engine::typeOf(value)) {
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
            fmt::print(out, "{:{}}int({})", "", width, static_cast<int64_t>(value.value.lval));
            break;
        case engine::kDouble:
            fmt::print(out, "{:{}}double({:g})", "", width, value.value.dval);
            break;
        case engine::kString:
            ZendString(value.value.str, false).dump(out, indent);
            break;
        case engine::kArray:
            ZendArray(value.value.arr).dump(out, indent);
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

}  // namespace corvane

#endif
