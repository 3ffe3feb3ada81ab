#include <corvane/ZendRefCounted.h>

unsigned int ZendRefCounted::addRef() const {
    zend_refcounted* counted = get();
    if (!counted) return 0;
    if (isImmutable()) return 1;
    return corvane::engine::addRef(counted);
}
