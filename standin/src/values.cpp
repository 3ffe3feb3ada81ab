// Engine values: the value destructor, the counted kinds tests need, and the request lifecycle.
#include "internal.h"

using namespace standin::internal;

namespace {

size_t callCount = 0;

// Just enough of the engine's reference: the header and the value it refers to.
struct Reference {
    zend_refcounted_h gc;
    zval val;
    void* sources;
};

zval counted(zend_refcounted* object) {
    zval v;
    v.value.counted = object;
    v.u1.type_info = gcType(object) | (1u << 8);
    v.u2.extra = 0;
    return v;
}

zend_refcounted* newHeader(size_t size, uint32_t typeInfo, Content content) {
    auto* object = static_cast<zend_refcounted*>(allocate(size, false, content));
    corvane::engine::initHeader(object, 1, typeInfo);
    return object;
}

}  // namespace

namespace standin::internal {

void countCall() { ++callCount; }

// The last reference of a counted value is gone: free it as its kind requires.
void destroyCounted(zend_refcounted* object) {
    switch (gcType(object)) {
        case kString:
            // PHP 7.3 frees every string that zval_ptr_dtor lets go with efree, persistent or not.
            release(object, false);
            break;
        case kArray:
            zend_array_destroy(reinterpret_cast<HashTable*>(object));
            break;
        case kReference: {
            auto* ref = reinterpret_cast<Reference*>(object);
            zval_ptr_dtor(&ref->val);
            release(object, false);
            break;
        }
        default:  // objects and resources: nothing inside them here
            release(object, false);
            break;
    }
}

}  // namespace standin::internal

extern "C" void zval_ptr_dtor(zval* zval_ptr) {
    countCall();
    if (!zRefcounted(*zval_ptr)) return;
    zend_refcounted* object = zval_ptr->value.counted;
    // Before the drop: a freed block's contents are gone (a reference's value, say), so nothing may
    // act on them, and the message names this function.
    if (isFreed(object)) overReleased(object, __func__);
    if (corvane::engine::delRef(object) == 0) destroyCounted(object);
}

namespace standin {

size_t engineCalls() { return callCount; }

void requestStartup() {}

size_t requestShutdown() {
    clearException();  // the engine lets a request's uncaught exception go with the request
    freeRequestInternedStrings();
    return sweepRequestBlocks();
}

zval newObject() { return counted(newHeader(sizeof(zend_refcounted) + 8, kObject | kGcCollectable, Content::Object)); }

zval newResource() { return counted(newHeader(sizeof(zend_refcounted) + 8, kResource, Content::Resource)); }

zval newReference(const zval& value) {
    auto* ref =
        reinterpret_cast<Reference*>(newHeader(sizeof(Reference), kReference | kGcCollectable, Content::Reference));
    ref->val.value = value.value;
    ref->val.u1.type_info = value.u1.type_info;
    ref->sources = nullptr;
    return counted(reinterpret_cast<zend_refcounted*>(ref));
}

}  // namespace standin
