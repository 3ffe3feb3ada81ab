#include <corvane/ZendArray.h>

#include "RecursionGuard.h"
#include "dump_width.h"
#include "value_dump.h"

#include <fmt/ostream.h>

#include <cstdint>
#include <ostream>

namespace engine = corvane::engine;
using corvane::RecursionGuard;

// The engine's array destructor frees with the request allocator, so a persistent array's last
// reference empties it with zend_hash_destroy and frees the structure with free. Kept out of line
// (the last reference is the cold path), which also keeps the compiler from second-guessing counts
// that it cannot see, such as the extra reference the dump holds.
[[gnu::noinline]] void ZendArray::destroy(zend_array* array) {
    if (engine::isPersistent(array)) {
        zend_hash_destroy(array);
        engine::persistentFree(array);
    } else {
        zend_array_destroy(array);
    }
}

// --- Dump ----------------------------------------------------------------------------------------

std::ostream& ZendArray::dump(std::ostream& out, int indent) const {
    const int width = corvane::dumpWidth(indent);
    zend_array* array = get();
    if (!array) {
        fmt::print(out, "{:{}}array(null)", "", width);
        return out;
    }
    RecursionGuard walking(array);
    fmt::print(out, "{:{}}array({}) {{", "", width, static_cast<uint64_t>(zend_array_count(array)));
    const int elementWidth = corvane::dumpWidth(indent, 2);
    for (const auto [key, value] : items()) {
        out << "\n";
        if (key.isString()) {
            fmt::print(out, "{:{}}[\"{}\"]=>\n", "", elementWidth, static_cast<const char*>(key.get()->val));
        } else {
            fmt::print(out, "{:{}}[{}]=>\n", "", elementWidth, static_cast<uint64_t>(key.integer()));
        }
        if (engine::typeOf(value) == engine::kArray) {
            zend_array* nested = value.value.arr;
            if (RecursionGuard::isMarked(nested)) {
                fmt::print(out, "{:{}}*RECURSION*", "", elementWidth);
                continue;
            }
            RecursionGuard walkingNested(nested);
            ZendArray(nested).dump(out, indent + 1);
        } else {
            corvane::dumpValue(out, value, indent + 1);
        }
    }
    fmt::print(out, "\n{:{}}}}", "", width);
    return out;
}
