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
// pays for no call per element.
inline std::ostream& dumpValue(std::ostream& out, const ZVal& value, int indent) {
    const int width = corvane::dumpWidth(indent);
    switch (value.getType()) {
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
            fmt::print(out, "{:{}}int({})", "", width, static_cast<int64_t>(value.asLong()));
            break;
        case engine::kDouble:
            fmt::print(out, "{:{}}double({:g})", "", width, value.asDouble());
            break;
        case engine::kString:
            value.asString().dump(out, indent);
            break;
        case engine::kArray:
            value.asArray().dump(out, indent);
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
