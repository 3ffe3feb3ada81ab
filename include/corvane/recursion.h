// The engine's recursion mark on arrays, for code that descends into nested arrays: the dump, and
// an extension's own walks that must refuse an array that contains itself.
#ifndef CORVANE_RECURSION_H
#define CORVANE_RECURSION_H

#include <corvane/ZendArray.h>
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

namespace corvane {

// Marks an array while code descends into it, as PHP's var_dump and the dump do, and restores what
// it found when it goes, also when that code throws:
//     RecursionGuard guard(values);
//     if (guard.wasMarked()) throw std::runtime_error("the array contains itself");
// It holds one reference to the array while it stands, so the array outlives the descent even when
// PHP code run meanwhile lets every other holder go (the guard then destroys it): use it to read.
// An immutable array is never marked (the engine shares it) and never contains itself.
class CORVANE_LOCAL RecursionGuard {
public:
    explicit RecursionGuard(zend_array* array) : array_(array), markedBefore_(array && recursion::enter(array)) {}
    RecursionGuard(const RecursionGuard&) = delete;
    RecursionGuard& operator=(const RecursionGuard&) = delete;
    ~RecursionGuard() {
        if (!array_ || engine::isImmutable(array_)) return;
        if (!markedBefore_) engine::clearGcFlags(array_, engine::kGcProtected);
        ZendArray::zendArrayRelease(array_);
    }

    // Whether the array was already being descended into, by this code further up or by one of
    // the engine's walks: then it contains itself, and a descent would not end. False for an
    // immutable array.
    bool wasMarked() const { return array_ && markedBefore_ && !engine::isImmutable(array_); }

private:
    zend_array* array_;
    bool markedBefore_;
};

}  // namespace corvane

#endif
