// Marks an array as being dumped, while the dump walks it.
#ifndef CORVANE_SRC_RECURSION_MARK_H
#define CORVANE_SRC_RECURSION_MARK_H

#include <corvane/engine.h>

namespace corvane::recursion {

// The engine's protection mark is shared with its own walks (var_dump, print_r, json_encode,
// array_walk_recursive, comparisons), which may be under way when an extension dumps: a mark found
// set belongs to whoever set it and stays. Immutable arrays are shared by the engine and are left
// untouched.

// True when a mutable array is already being walked further up.
inline bool isMarked(const zend_array* array) {
    return !engine::isImmutable(array) && (engine::gcFlags(array) & engine::kGcProtected) != 0;
}

// Sets the mark on a mutable array and holds one extra reference, so the array outlives its own
// walk. The answer is what leave() needs: whether the mark was there before (or the array immutable).
inline bool enter(zend_array* array) {
    const bool markedBefore = engine::isImmutable(array) || isMarked(array);
    if (!engine::isImmutable(array)) {
        engine::addRef(array);
        engine::setGcFlags(array, engine::kGcProtected);
    }
    return markedBefore;
}

// Undoes enter(): the mark goes unless it was there before, and the extra reference goes.
inline void leave(zend_array* array, bool markedBefore) {
    if (engine::isImmutable(array)) return;
    if (!markedBefore) engine::clearGcFlags(array, engine::kGcProtected);
    engine::delRef(array);
}

}  // namespace corvane::recursion

#endif
