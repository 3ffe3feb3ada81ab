// Field widths of the dump's formatted lines.
#ifndef CORVANE_SRC_DUMP_WIDTH_H
#define CORVANE_SRC_DUMP_WIDTH_H

#include <climits>
#include <cstdint>

namespace corvane {

// Two spaces per nesting level, plus extra, computed in 64 bits so that nothing wraps. Every
// negative level stays a negative width, which {fmt} refuses; a level too deep for an int width
// becomes a negative width too, refused the same way.
inline int dumpWidth(int indent, int extra = 0) {
    const int64_t width = 2 * static_cast<int64_t>(indent) + extra;
    if (width > INT_MAX) return -1;
    if (width < INT_MIN) return INT_MIN;
    return static_cast<int>(width);
}

}  // namespace corvane

#endif
