// The cycle collector as far as extension code meets it: PHP 7.3's zval_ptr_dtor offers a value
// that keeps references after the drop to the collector as a possible root, and when the root
// buffer is full the collector runs right there, destructors and all. A test arms that moment.
#include "internal.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

using namespace standin::internal;

namespace {

// Behind a pointer: a global std::function would need a dynamic initialiser.
std::function<void()>* armed = nullptr;
// The engine never nests collections: one armed while collect runs waits for a root after it.
bool collecting = false;

void runCollection(const std::function<void()>& collect) {
    try {
        collect();
    } catch (...) {
        std::fputs("standin: the cycle collection callback threw; callbacks run inside engine calls, which never throw\n",
                   stderr);
        std::fflush(stderr);
        std::abort();
    }
}

}  // namespace

namespace standin::internal {

void checkPossibleRoot(zend_refcounted* counted) {
    if (!armed || collecting) return;
    // A reference is looked through to the value it holds, as the engine does (its whole type
    // info compared: a plain request reference).
    if (corvane::engine::gcFlags(counted) == kReference) {
        const zval& inner = reinterpret_cast<Reference*>(counted)->val;
        if (!zRefcounted(inner)) return;
        counted = inner.value.counted;
    }
    // Arrays and objects carry COLLECTABLE; one already in the root buffer would have buffer bits.
    if ((corvane::engine::gcFlags(counted) & (kGcInfoMask | kGcCollectable)) != kGcCollectable) return;
    std::unique_ptr<std::function<void()>> collect(std::exchange(armed, nullptr));
    // The collector holds the value while it runs, and destroys it after if that was the last hold.
    corvane::engine::addRef(counted);
    collecting = true;
    runCollection(*collect);
    collecting = false;
    if (corvane::engine::delRef(counted) == 0) destroyCounted(counted);
}

void disarmCycleCollection() { delete std::exchange(armed, nullptr); }

}  // namespace standin::internal

namespace standin {

void collectCyclesAtNextPossibleRoot(std::function<void()> collect) {
    disarmCycleCollection();
    if (collect) armed = new std::function<void()>(std::move(collect));
}

bool cycleCollectionArmed() { return armed != nullptr; }

}  // namespace standin
