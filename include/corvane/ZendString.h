// ZendString: an owning, counting handle on one engine string (zend_string).
#ifndef CORVANE_ZENDSTRING_H
#define CORVANE_ZENDSTRING_H

#include <corvane/ZendRefCounted.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

// Deleter for strings handed out as std::unique_ptr: drops one reference, freeing the string with
// the allocator its persistent flag names when that was the last one. Interned strings are left alone.
struct CORVANE_API ZendStringPtrDestructor {
    CORVANE_INLINE void operator()(zend_string* str) const;
};

class CORVANE_API ZendString : public ZendRefCounted {
public:
    // Returned by every search that finds nothing.
    static const size_t npos;

    // --- Lifecycle -------------------------------------------------------------------------------

    // Empty handle; allocates nothing.
    CORVANE_INLINE ZendString();
    // New request string copied from str (up to its first zero byte); null gives an empty handle.
    ZendString(const char* str);
    // New request string copied from the view's bytes, zero bytes included; a view with a null data
    // pointer gives an empty handle. An empty view gives a new zero-length string.
    CORVANE_INLINE ZendString(std::string_view text);
    // Holds str: adopt takes over the caller's reference, otherwise one is added (none if interned).
    CORVANE_INLINE ZendString(zend_string* str, bool adopt);
    // Shares other's string (+1 unless interned).
    CORVANE_INLINE ZendString(const ZendString& other);
    // Takes over other's string; other is left empty.
    CORVANE_INLINE ZendString(ZendString&& other) noexcept;
    // Takes the string and its reference out of owner, which is left null.
    CORVANE_INLINE ZendString(std::unique_ptr<zend_string, ZendStringPtrDestructor>&& owner);
    CORVANE_INLINE ~ZendString() override;

    CORVANE_INLINE ZendString& operator=(ZendString&& other) noexcept;
    CORVANE_INLINE ZendString& operator=(const ZendString& other);
    // Releases the held string, then shares str (null leaves the handle empty).
    CORVANE_INLINE ZendString& operator=(zend_string* str);
    // Releases the held string, then holds a new copy of the text (null leaves the handle empty).
    ZendString& operator=(const char* str);
    ZendString& operator=(std::string_view text);

    // Drops the reference; the last one frees the string (free if persistent, _efree otherwise).
    CORVANE_INLINE void release() override;
    // Writes the indentation, then string(<length>) "<characters>", or string(null) when empty.
    std::ostream& dump(std::ostream& out, int indent = 0) const override;

    // Lends the held string; the handle keeps its reference.
    CORVANE_INLINE zend_string* get() const;
    // Gives the held string and its reference to the caller; the handle is left empty.
    CORVANE_INLINE zend_string* detach();

    // A handle that takes over the caller's reference to str.
    CORVANE_INLINE static ZendString take(zend_string* str);
    // A new string (count 1, hash not cached) with a copy of str's bytes, in persistent memory when
    // asked and in request memory otherwise; str itself is not counted. Null gives an empty handle.
    static ZendString deep_copy(zend_string* str, bool persistent);
    // Takes the finished string out of an engine string builder, zero-terminated, and leaves the
    // builder empty; a builder holding nothing gives the engine's shared empty string. The flag is
    // accepted for compatibility and has no effect.
    static std::unique_ptr<zend_string, ZendStringPtrDestructor> smartStrExtract(smart_str& builder,
                                                                                bool flag = false);

    // --- Reading (no allocation, no count change) --------------------------------------------------

    CORVANE_INLINE size_t size() const;
    CORVANE_INLINE bool empty() const;
    // First character, or null for an empty handle.
    CORVANE_INLINE const char* data() const;
    // Zero-terminated characters; a zero byte owned by the library for an empty handle, never null.
    const char* c_str() const;
    // The characters and length; a null view for an empty handle.
    CORVANE_INLINE std::string_view view() const;
    // Require a string (and, for back, a length of 1 or more); not checked.
    CORVANE_INLINE const char& front() const;
    CORVANE_INLINE const char& back() const;
    // The engine's hash, computed and cached by the engine on first use; 0 for an empty handle.
    CORVANE_INLINE size_t hash() const;
    CORVANE_INLINE bool isInterned() const;

    // Byte-wise ordering: negative, zero or positive. An empty handle sorts before everything but a
    // null argument, which it equals; a null argument sorts before every string.
    int compare(const ZendString& other) const;
    int compare(const char* str) const;
    int compare(const zend_string* str) const;
    int compare(std::string_view text) const;

    // First position at or after pos where the text occurs; an empty text is never found.
    size_t find(const ZendString& other, size_t pos = 0) const;
    size_t find(const char* str, size_t pos = 0) const;
    size_t find(const zend_string* str, size_t pos = 0) const;
    size_t find(std::string_view text, size_t pos = 0) const;

    bool contains(const ZendString& other) const;
    bool contains(const char* str) const;
    bool contains(const zend_string* str) const;
    bool contains(std::string_view text) const;

    // First position at or after pos holding the byte ch (the terminating zero is not searched).
    size_t find_first_of(char ch, size_t pos = 0) const;

    bool ends_with(char ch) const;
    // A null text never ends a string; an empty text ends every string the handle holds.
    bool ends_with(const char* str) const;
    bool ends_with(std::string_view text) const;

private:
    friend struct ZendStringPtrDestructor;

    // A new string of len bytes copied from bytes, count 1, hash not computed.
    CORVANE_INLINE static zend_string* newString(const char* bytes, size_t len, bool persistent);
    // Adds a reference unless str is null or interned; returns str.
    CORVANE_INLINE static zend_string* share(zend_string* str);
    // Drops one reference; the last one frees the string.
    CORVANE_INLINE static void drop(zend_string* str);
    // Frees a string whose last reference is gone: with free when persistent, else with _efree.
    static void freeLast(zend_string* str, bool persistent);
    // The same, with the allocator that the string's own persistent flag names.
    static void freeLast(zend_string* str);
};

// --- Inline members ------------------------------------------------------------------------------

inline zend_string* ZendString::newString(const char* bytes, size_t len, bool persistent) {
    // Header, hash and length words, the characters and the terminating zero, in 8-byte steps.
    size_t size = (len + 32) & ~static_cast<size_t>(7);
    auto* str = static_cast<zend_string*>(persistent ? corvane::engine::persistentAlloc(size)
                                                     : corvane::engine::requestAlloc(size));
    corvane::engine::initHeader(
        str, 1, persistent ? corvane::engine::kNewPersistentStringInfo : corvane::engine::kNewStringInfo);
    str->h = 0;
    str->len = len;
    if (len != 0) std::memcpy(str->val, bytes, len);
    str->val[len] = '\0';
    return str;
}

inline zend_string* ZendString::share(zend_string* str) {
    if (str && !corvane::engine::isImmutable(str)) corvane::engine::addRef(str);
    return str;
}

inline void ZendString::drop(zend_string* str) {
    if (corvane::engine::isImmutable(str)) return;
    if (corvane::engine::delRef(str) == 0) freeLast(str);
}

inline void ZendStringPtrDestructor::operator()(zend_string* str) const {
    if (str) ZendString::drop(str);
}

inline ZendString::ZendString() = default;

inline ZendString::ZendString(std::string_view text)
    : ZendRefCounted(text.data() ? newString(text.data(), text.size(), false) : nullptr) {}

inline ZendString::ZendString(zend_string* str, bool adopt) : ZendRefCounted(adopt ? str : share(str)) {}

inline ZendString::ZendString(const ZendString& other) : ZendRefCounted(share(other.get())) {}

inline ZendString::ZendString(ZendString&& other) noexcept : ZendRefCounted(std::move(other)) {}

inline ZendString::ZendString(std::unique_ptr<zend_string, ZendStringPtrDestructor>&& owner)
    : ZendRefCounted(owner ? owner.release() : nullptr) {}

// release() as it runs in a destructor, where the object is a ZendString: isPersistent() then
// answers with the header's flag, which the cold path reads once the last reference is gone. The
// handle is not emptied: freeing a string runs no code that could look at it, and a handle whose
// address has escaped would otherwise keep that store.
inline ZendString::~ZendString() {
    zend_string* str = get();
    if (str) drop(str);
}

inline ZendString& ZendString::operator=(ZendString&& other) noexcept {
    if (&other != this) {
        release();
        set(other.detach());
    }
    return *this;
}

inline ZendString& ZendString::operator=(const ZendString& other) {
    if (&other != this) {
        release();
        set(share(other.get()));
    }
    return *this;
}

// The new reference is taken before the old one is dropped: assigning the held string keeps it.
inline ZendString& ZendString::operator=(zend_string* str) {
    zend_string* shared = share(str);
    release();
    set(shared);
    return *this;
}

// The allocator is the one isPersistent() names, asked while the string is still held. In the
// destructor the object is a ZendString, so the compiler resolves that call without the table.
inline void ZendString::release() {
    zend_string* str = get();
    if (!str) return;
    const bool persistent = isPersistent();
    set(nullptr);
    if (corvane::engine::isImmutable(str)) return;
    if (corvane::engine::delRef(str) == 0) freeLast(str, persistent);
}

inline zend_string* ZendString::get() const { return reinterpret_cast<zend_string*>(ZendRefCounted::get()); }

inline zend_string* ZendString::detach() { return reinterpret_cast<zend_string*>(ZendRefCounted::detach()); }

inline ZendString ZendString::take(zend_string* str) { return ZendString(str, true); }

inline size_t ZendString::size() const { return get() ? get()->len : 0; }

inline bool ZendString::empty() const { return size() == 0; }

inline const char* ZendString::data() const { return get() ? get()->val : nullptr; }

inline std::string_view ZendString::view() const {
    zend_string* str = get();
    return str ? std::string_view(str->val, str->len) : std::string_view();
}

inline const char& ZendString::front() const { return get()->val[0]; }

inline const char& ZendString::back() const { return get()->val[get()->len - 1]; }

inline size_t ZendString::hash() const {
    zend_string* str = get();
    if (!str) return 0;
    return str->h ? str->h : corvane::engine::stringHash(str);
}

inline bool ZendString::isInterned() const { return isImmutable(); }

#endif
