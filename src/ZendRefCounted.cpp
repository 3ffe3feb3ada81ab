#include <corvane/ZendRefCounted.h>

unsigned int ZendRefCounted::addRef() const {
    zend_refcounted* counted = get();
    if (!counted) return 0;
    if (isImmutable()) return 1;
    return ++counted->gc.refcount;
}

unsigned int ZendRefCounted::delRef() const {
    zend_refcounted* counted = get();
    if (!counted) return 0;
    if (isImmutable()) return 1;
    return --counted->gc.refcount;
}
