// ZendRefCounted: the abstract base of the handles on counted engine objects (strings, arrays).
#ifndef CORVANE_ZENDREFCOUNTED_H
#define CORVANE_ZENDREFCOUNTED_H

#include <corvane/engine.h>
#include <corvane/export.h>

#include <iosfwd>

// Each object file that includes corvane's classes names the layout it was compiled for, through a
// symbol that only a library built for that layout defines (ZendRefCounted::compiledForPhp73 or
// ...Php82). Code of one layout linked against a library of the other then fails to load
// ("undefined symbol: _ZN14ZendRefCounted16compiledForPhp73Ev") instead of reading values at the
// wrong offsets. The pointer sits in a section of its own, one copy per layout in a linked module,
// kept by --gc-sections (the retain flag); no code reads it. ELF only.
#if defined(__ELF__)
#define CORVANE_LAYOUT_SYMBOL_73 "_ZN14ZendRefCounted16compiledForPhp73Ev"
#define CORVANE_LAYOUT_SYMBOL_82 "_ZN14ZendRefCounted16compiledForPhp82Ev"
#if CORVANE_PHP_MINOR_VERSION == 82
#define CORVANE_LAYOUT_SYMBOL CORVANE_LAYOUT_SYMBOL_82
#else
#define CORVANE_LAYOUT_SYMBOL CORVANE_LAYOUT_SYMBOL_73
#endif
__asm__(".pushsection .data.rel.ro.corvane_layout,\"awGR\",@progbits," CORVANE_LAYOUT_SYMBOL ",comdat\n"
        ".p2align 3\n"
        ".quad " CORVANE_LAYOUT_SYMBOL "\n"
        ".popsection");
#endif

// Holds one pointer to the header of an engine string or array, or nothing (an empty handle).
// A handle that is not empty owns one counted reference, unless the object is immutable (interned
// strings, immutable arrays), which is never counted. The derived class decides how to let go.
class CORVANE_API ZendRefCounted {
public:
    // Takes over other's object without counting; other is left empty.
    CORVANE_INLINE ZendRefCounted(ZendRefCounted&& other) noexcept;
    // Releases this handle's object (virtual release), then takes over other's; self-move is a no-op.
    // Through base references the two handles may be of different classes (a string handle and an
    // array handle): then nothing moves and both keep what they hold, since a handle only ever
    // releases objects of its own kind. The derived classes' own move assignments need no check.
    CORVANE_INLINE ZendRefCounted& operator=(ZendRefCounted&& other) noexcept;
    // Does not release: each derived destructor releases through its own release().
    CORVANE_INLINE virtual ~ZendRefCounted();

    // Drops this handle's reference and leaves the handle empty.
    virtual void release() = 0;
    // Writes the object as indented text; indent is a nesting level (two spaces each).
    virtual std::ostream& dump(std::ostream& out, int indent = 0) const = 0;

    // Lends the held header pointer (null when empty); the handle keeps its reference.
    CORVANE_INLINE zend_refcounted* get() const;
    // Gives the held pointer and its reference to the caller; the handle is left empty.
    CORVANE_INLINE zend_refcounted* detach();

    CORVANE_INLINE bool isNull() const;
    CORVANE_INLINE explicit operator bool() const;
    // The stored count; 0 for an empty handle.
    CORVANE_INLINE unsigned int refCount() const;

    CORVANE_INLINE virtual bool isImmutable() const;
    CORVANE_INLINE virtual bool isPersistent() const;
    // Adds one to the count and returns it; 1 for an immutable object (untouched), 0 when empty.
    // Defined in the library: its definition is where the class's virtual table lives.
    virtual unsigned int addRef() const;
    // Subtracts one and returns the new count, never freeing; 1 when immutable, 0 when empty.
    // Inline, so that a release whose handle type is known costs a plain decrement.
    CORVANE_INLINE virtual unsigned int delRef() const;

protected:
    CORVANE_INLINE ZendRefCounted();
    // Takes over whatever reference the caller passes in; no count change.
    CORVANE_INLINE explicit ZendRefCounted(void* counted);
    // Overwrites the held pointer; neither releases the old object nor counts the new one.
    CORVANE_INLINE void set(void* counted);

private:
    // Defined, empty, only in a library built for that engine's layout: every object file that
    // includes corvane refers to the one of its own layout (engine.h), so a mixed build cannot load.
    static void compiledForPhp73();
    static void compiledForPhp82();

    // Whether other's object may go into this handle: false for a handle of the other kind. In the
    // library: an empty handle's kind takes its dump (the cold path of a move through the base).
    static bool mayTake(const ZendRefCounted& handle, const ZendRefCounted& other) noexcept;

    zend_refcounted* counted_;
};

inline ZendRefCounted::ZendRefCounted() : counted_(nullptr) {}

inline ZendRefCounted::ZendRefCounted(void* counted) : counted_(static_cast<zend_refcounted*>(counted)) {}

inline ZendRefCounted::ZendRefCounted(ZendRefCounted&& other) noexcept : counted_(other.counted_) {
    other.counted_ = nullptr;
}

// The handle is empty while its old object goes, and what code run by that release assigns to it
// meanwhile is released too, so the moved reference is never lost.
inline ZendRefCounted& ZendRefCounted::operator=(ZendRefCounted&& other) noexcept {
    if (&other == this || (other.counted_ && !mayTake(*this, other))) return *this;
    zend_refcounted* next = other.counted_;
    other.counted_ = nullptr;
    release();
    while (counted_) release();
    counted_ = next;
    return *this;
}

inline ZendRefCounted::~ZendRefCounted() = default;

inline zend_refcounted* ZendRefCounted::get() const { return counted_; }

inline zend_refcounted* ZendRefCounted::detach() {
    zend_refcounted* counted = counted_;
    counted_ = nullptr;
    return counted;
}

inline void ZendRefCounted::set(void* counted) { counted_ = static_cast<zend_refcounted*>(counted); }

inline bool ZendRefCounted::isNull() const { return counted_ == nullptr; }

inline ZendRefCounted::operator bool() const { return counted_ != nullptr; }

inline unsigned int ZendRefCounted::refCount() const { return counted_ ? corvane::engine::refcount(counted_) : 0; }

inline bool ZendRefCounted::isImmutable() const { return counted_ && corvane::engine::isImmutable(counted_); }

inline bool ZendRefCounted::isPersistent() const { return counted_ && corvane::engine::isPersistent(counted_); }

inline unsigned int ZendRefCounted::delRef() const {
    if (!counted_) return 0;
    if (isImmutable()) return 1;
    return corvane::engine::delRef(counted_);
}

#endif
