#include <corvane/ZendRefCounted.h>

using corvane::engine::kGcImmutable;
using corvane::engine::kGcPersistent;

ZendRefCounted::ZendRefCounted() : counted_(nullptr) {}

ZendRefCounted::ZendRefCounted(void* counted) : counted_(static_cast<zend_refcounted*>(counted)) {}

ZendRefCounted::ZendRefCounted(ZendRefCounted&& other) noexcept : counted_(other.counted_) {
    other.counted_ = nullptr;
}

ZendRefCounted& ZendRefCounted::operator=(ZendRefCounted&& other) noexcept {
    if (&other != this) {
        release();
        counted_ = other.counted_;
        other.counted_ = nullptr;
    }
    return *this;
}

ZendRefCounted::~ZendRefCounted() = default;

zend_refcounted* ZendRefCounted::get() const { return counted_; }

zend_refcounted* ZendRefCounted::detach() {
    zend_refcounted* counted = counted_;
    counted_ = nullptr;
    return counted;
}

void ZendRefCounted::set(void* counted) { counted_ = static_cast<zend_refcounted*>(counted); }

bool ZendRefCounted::isNull() const { return counted_ == nullptr; }

ZendRefCounted::operator bool() const { return counted_ != nullptr; }

unsigned int ZendRefCounted::refCount() const { return counted_ ? counted_->gc.refcount : 0; }

bool ZendRefCounted::isImmutable() const { return counted_ && (counted_->gc.u.type_info & kGcImmutable); }

bool ZendRefCounted::isPersistent() const { return counted_ && (counted_->gc.u.type_info & kGcPersistent); }

unsigned int ZendRefCounted::addRef() const {
    if (!counted_) return 0;
    if (isImmutable()) return 1;
    return ++counted_->gc.refcount;
}

unsigned int ZendRefCounted::delRef() const {
    if (!counted_) return 0;
    if (isImmutable()) return 1;
    return --counted_->gc.refcount;
}
