// Engine values: the value destructor, the counted kinds tests need, and the request lifecycle.
#include "internal.h"

#include <cstdio>
#include <cstdlib>

using namespace standin::internal;

namespace {

size_t callCount = 0;

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

void persistentInRequestDestructor(const void* object, const char* function) {
    const Block* block = registry.find(object);
    // The library allocates persistent strings itself: the header says what the block is.
    const Content content = gcType(object) == kString  ? Content::String
                            : gcType(object) == kArray ? Content::Array
                            : block                    ? block->content
                                                       : Content::Block;
    const Description what = describe(object, block ? block->size : 0, content);
    std::fprintf(stderr,
                 "standin: %s() frees %s with _efree(), but it is persistent memory (it belongs to free()): a "
                 "persistent value was handed to the request's destructor, as when detach() or get() puts it "
                 "into a request zval such as return_value\n",
                 function, nameOf(what).text);
    std::fflush(stderr);
    std::abort();
}

// The last reference of a counted value is gone: free it as its kind requires.
void destroyCounted(zend_refcounted* object) {
    switch (gcType(object)) {
        case kString:
            // PHP 7.3 frees every string that zval_ptr_dtor lets go with efree, persistent or not.
            if (gcHas(object, kGcPersistent)) persistentInRequestDestructor(object, "zval_ptr_dtor");
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
        case kObject:
            destroyObject(object);
            break;
        default:  // resources: nothing inside them here
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
    if (corvane::engine::delRef(object) == 0) {
        destroyCounted(object);
    } else {
        checkPossibleRoot(object);
    }
}

// The destructor of tables of persistent strings: it frees those with free() and stops the process
// (E_CORE_ERROR) on the last reference of anything else, as the engine does.
extern "C" void zval_internal_ptr_dtor(zval* zval_ptr) {
    countCall();
    if (!zRefcounted(*zval_ptr)) return;
    zend_refcounted* object = zval_ptr->value.counted;
    if (isFreed(object)) overReleased(object, __func__);
    if (corvane::engine::delRef(object) != 0) return;
    if (zType(*zval_ptr) == kString) {
        if (gcHas(object, kGcPersistent)) {
            release(object, true);
            return;
        }
        std::fprintf(stderr, "standin: zval_internal_ptr_dtor() frees with free(), but the string at %p is request "
                             "memory (it belongs to _efree())\n",
                     static_cast<void*>(object));
        std::abort();
    }
    std::fprintf(stderr,
                 "standin: zval_internal_ptr_dtor() of the last reference of a value of type %u: Internal zval's "
                 "can't be arrays, objects, resources or reference (E_CORE_ERROR)\n",
                 zType(*zval_ptr));
    std::abort();
}

namespace standin {

size_t engineCalls() { return callCount; }

void requestStartup() {}

size_t requestShutdown() {
    disarmCycleCollection();
    dropLiveObjectCallbacks();
    clearException();  // the engine lets a request's uncaught exception go with the request
    freeRequestInternedStrings();
    return sweepRequestBlocks();
}

zval newResource() { return counted(newHeader(sizeof(zend_refcounted) + 8, kResource, Content::Resource)); }

zval newReference(const zval& value) {
    // Type info 10 and no flags, as the engine makes a request reference.
    auto* ref = reinterpret_cast<Reference*>(newHeader(sizeof(Reference), kReference, Content::Reference));
    ref->val.value = value.value;
    ref->val.u1.type_info = value.u1.type_info;
    ref->sources = nullptr;
    return counted(reinterpret_cast<zend_refcounted*>(ref));
}

}  // namespace standin
