#include <corvane/ZendRefCounted.h>

#include <typeinfo>

unsigned int ZendRefCounted::addRef() const {
    zend_refcounted* counted = get();
    if (!counted) return 0;
    if (isImmutable()) return 1;
    return corvane::engine::addRef(counted);
}

// Out of line: the class check needs run-time type information, which an extension may be built
// without.
ZendRefCounted& ZendRefCounted::operator=(ZendRefCounted&& other) noexcept {
    if (&other == this || typeid(*this) != typeid(other)) return *this;
    release();
    counted_ = other.counted_;
    other.counted_ = nullptr;
    return *this;
}
