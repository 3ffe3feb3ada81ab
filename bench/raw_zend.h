// Raw engine code as extensions write it with the engine's macros (zend_string_init,
// zend_string_release, GC_ADDREF, ZVAL_COPY, zend_array_release...), for the raw side of each case.
#ifndef CORVANE_BENCH_RAW_ZEND_H
#define CORVANE_BENCH_RAW_ZEND_H

#include <corvane/engine.h>

#include <cstring>

namespace raw {

// PHP's GC_* macros reach a header through &p->gc, as a zend_refcounted_h, whatever p's type:
// one type for every access to counts and flags, so the optimiser sees them all touch the same
// memory. These do the same.
inline uint32_t gcTypeInfo(const zend_refcounted_h* gc) { return gc->u.type_info; }
inline void gcAddRef(zend_refcounted_h* gc) { ++gc->refcount; }
inline uint32_t gcDelRef(zend_refcounted_h* gc) { return --gc->refcount; }
inline bool gcImmutable(const zend_refcounted_h* gc) { return gcTypeInfo(gc) & 0x40; }

inline zend_string* stringInit(const char* text, size_t len) {
    // A named size: PHP's release headers compare an emalloc() argument with its size classes
    // unparenthesized, so an expression with & in it would pick the wrong class.
    const size_t size = (offsetof(zend_string, val) + len + 1 + 7) & ~size_t{7};
    auto* s = static_cast<zend_string*>(corvane::engine::requestAlloc(size));
    zend_refcounted_h* gc = &s->gc;
    gc->refcount = 1;
    gc->u.type_info = corvane::engine::kNewStringInfo;  // GC_STRING
    s->h = 0;
    s->len = len;
    std::memcpy(s->val, text, len);
    s->val[len] = '\0';
    return s;
}

inline void stringRelease(zend_string* s) {
    if (gcImmutable(&s->gc)) return;
    if (gcDelRef(&s->gc) == 0) {
        if (gcTypeInfo(&s->gc) & 0x80) {
            free(s);
        } else {
            corvane::engine::requestFree(s);
        }
    }
}

template <typename Counted>
inline void addRef(Counted* counted) {
    gcAddRef(&counted->gc);
}

inline void arrayRelease(zend_array* a) {
    if (gcImmutable(&a->gc)) return;
    if (gcDelRef(&a->gc) == 0) zend_array_destroy(a);
}

inline void zvalCopy(zval* target, const zval* source) {
    target->value = source->value;
    target->u1.type_info = source->u1.type_info;
    if (source->u1.type_info & 0xff00) addRef(source->value.counted);
}

// The deleted-bucket test of PHP's ZEND_HASH_FOREACH loops: UNEXPECTED(Z_TYPE_P(z) == IS_UNDEF).
inline bool deletedBucket(const zval* z) { return __builtin_expect((z->u1.type_info & 0xff) == 0, 0); }

inline void zvalLong(zval* target, zend_long n) {
    target->value.lval = n;
    target->u1.type_info = 4;
}

}  // namespace raw

#endif
