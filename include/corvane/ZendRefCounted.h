// ZendRefCounted: the abstract base of the handles on counted engine objects (strings, arrays).
#ifndef CORVANE_ZENDREFCOUNTED_H
#define CORVANE_ZENDREFCOUNTED_H

#include <corvane/engine.h>
#include <corvane/export.h>

#include <iosfwd>

// Holds one pointer to the header of an engine string or array, or nothing (an empty handle).
// A handle that is not empty owns one counted reference, unless the object is immutable (interned
// strings, immutable arrays), which is never counted. The derived class decides how to let go.
class CORVANE_API ZendRefCounted {
public:
    // Takes over other's object without counting; other is left empty.
    ZendRefCounted(ZendRefCounted&& other) noexcept;
    // Releases this handle's object (virtual release), then takes over other's; self-move is a no-op.
    ZendRefCounted& operator=(ZendRefCounted&& other) noexcept;
    // Does not release: each derived destructor releases through its own release().
    virtual ~ZendRefCounted();

    // Drops this handle's reference and leaves the handle empty.
    virtual void release() = 0;
    // Writes the object as indented text; indent is a nesting level (two spaces each).
    virtual std::ostream& dump(std::ostream& out, int indent = 0) const = 0;

    // Lends the held header pointer (null when empty); the handle keeps its reference.
    zend_refcounted* get() const;
    // Gives the held pointer and its reference to the caller; the handle is left empty.
    zend_refcounted* detach();

    bool isNull() const;
    explicit operator bool() const;
    // The stored count; 0 for an empty handle.
    unsigned int refCount() const;

    virtual bool isImmutable() const;
    virtual bool isPersistent() const;
    // Adds one to the count and returns it; 1 for an immutable object (untouched), 0 when empty.
    virtual unsigned int addRef() const;
    // Subtracts one and returns the new count, never freeing; 1 when immutable, 0 when empty.
    virtual unsigned int delRef() const;

protected:
    ZendRefCounted();
    // Takes over whatever reference the caller passes in; no count change.
    explicit ZendRefCounted(void* counted);
    // Overwrites the held pointer; neither releases the old object nor counts the new one.
    void set(void* counted);

private:
    zend_refcounted* counted_;
};

#endif
