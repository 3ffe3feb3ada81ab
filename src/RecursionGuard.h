// Marks an array as being dumped, for as long as the guard lives.
#ifndef CORVANE_SRC_RECURSIONGUARD_H
#define CORVANE_SRC_RECURSIONGUARD_H

#include <corvane/engine.h>

namespace corvane {

// Sets the engine's protection mark on a mutable array and holds one extra reference, so the array
// outlives its own walk; both are undone on scope exit, exceptions included. The mark is shared
// with the engine's own walks (var_dump, print_r, json_encode, array_walk_recursive, comparisons),
// which may be under way when an extension dumps: a mark the guard found set belongs to whoever set
// it and stays. Immutable arrays are shared by the engine and are left untouched.
class RecursionGuard {
public:
    explicit RecursionGuard(zend_array* array)
        : array_(array), markedBefore_(engine::isImmutable(array) || isMarked(array)) {
        if (engine::isImmutable(array_)) return;
        engine::addRef(array_);
        engine::setGcFlags(array_, engine::kGcProtected);
    }

    ~RecursionGuard() {
        if (engine::isImmutable(array_)) return;
        if (!markedBefore_) engine::clearGcFlags(array_, engine::kGcProtected);
        engine::delRef(array_);
    }

    RecursionGuard(const RecursionGuard&) = delete;
    RecursionGuard& operator=(const RecursionGuard&) = delete;

    // True when a mutable array is already being walked further up.
    static bool isMarked(const zend_array* array) {
        return !engine::isImmutable(array) && (engine::gcFlags(array) & engine::kGcProtected) != 0;
    }

private:
    zend_array* array_;
    bool markedBefore_;
};

}  // namespace corvane

#endif
