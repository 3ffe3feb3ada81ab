// Objects: a bare header, and the destructor a test may give, run as PHP 7.3's object store runs an
// object's destructor handler when the last reference goes.
#include "internal.h"

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

using namespace standin::internal;

namespace {

// The callback lives on the C++ heap, which the stand-in does not count: only the object's block
// is request memory.
struct Object {
    zend_refcounted header;
    std::function<void()>* destructor;  // null: none, or dropped
};

Object* asObject(zend_refcounted* counted) { return reinterpret_cast<Object*>(counted); }

zval newObjectValue(std::function<void()>* destructor) {
    auto* object = static_cast<Object*>(allocate(sizeof(Object), false, Content::Object));
    corvane::engine::initHeader(&object->header, 1, kObject | kGcCollectable);
    object->destructor = destructor;
    zval v;
    v.value.counted = &object->header;
    v.u1.type_info = kObject | (1u << 8);
    v.u2.extra = 0;
    return v;
}

// The engine's calls never throw: an exception out of a callback is a fault of the test.
void runDestructor(const std::function<void()>& destructor) {
    try {
        destructor();
    } catch (...) {
        std::fputs("standin: an object's destructor callback threw; callbacks run inside engine calls, which never throw\n",
                   stderr);
        std::fflush(stderr);
        std::abort();
    }
}

}  // namespace

namespace standin::internal {

void destroyObject(zend_refcounted* counted) {
    Object* object = asObject(counted);
    if (!gcHas(counted, kObjDestructorCalled)) {
        corvane::engine::setGcFlags(counted, kObjDestructorCalled);
        if (object->destructor) {
            // One reference held while it runs, so that it may copy the object (revive it) and a
            // release inside it does not free the object under it.
            corvane::engine::addRef(counted);
            runDestructor(*object->destructor);
            corvane::engine::delRef(counted);
        }
    }
    if (corvane::engine::refcount(counted) != 0) return;
    // The callback's captures may release values of their own; the object is still whole then.
    delete std::exchange(object->destructor, nullptr);
    release(counted, false);
}

void dropLiveObjectCallbacks() {
    // Dropping a callback may release values, which may free objects and so change the registry:
    // gather first, then look each object up again.
    std::vector<void*> objects;
    for (;;) {
        objects.clear();
        registry.forEach(Kind::Request, [&](const Block& block) {
            if (block.content == Content::Object && static_cast<Object*>(block.ptr)->destructor) {
                objects.push_back(block.ptr);
            }
        });
        if (objects.empty()) return;
        for (void* ptr : objects) {
            Block* block = registry.find(ptr);
            if (!block || block->kind != Kind::Request) continue;
            delete std::exchange(static_cast<Object*>(ptr)->destructor, nullptr);
        }
    }
}

}  // namespace standin::internal

namespace standin {

zval newObject() { return newObjectValue(nullptr); }

zval newObject(std::function<void()> onDestruct) {
    return newObjectValue(onDestruct ? new std::function<void()>(std::move(onDestruct)) : nullptr);
}

}  // namespace standin
