// Field widths of the dump's formatted lines.
#ifndef CORVANE_SRC_DUMP_WIDTH_H
#define CORVANE_SRC_DUMP_WIDTH_H

#include <cstdint>

namespace corvane {

// Two spaces per nesting level, plus extra. Computed without signed overflow: a level too deep
// for an int width yields a negative width, which {fmt} rejects like any negative level.
inline int dumpWidth(int indent, int extra = 0) {
    return static_cast<int>(2u * static_cast<uint32_t>(indent) + static_cast<uint32_t>(extra));
}

}  // namespace corvane

#endif
