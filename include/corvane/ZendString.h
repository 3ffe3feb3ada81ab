// ZendString: an owning, counting handle on one engine string (zend_string).
#ifndef CORVANE_ZENDSTRING_H
#define CORVANE_ZENDSTRING_H

#include <corvane/ZendRefCounted.h>

#include <cstddef>
#include <memory>
#include <string_view>

// Deleter for strings handed out as std::unique_ptr: drops one reference, freeing the string with
// the allocator its persistent flag names when that was the last one. Interned strings are left alone.
struct CORVANE_API ZendStringPtrDestructor {
    void operator()(zend_string* str) const;
};

class CORVANE_API ZendString : public ZendRefCounted {
public:
    // Returned by every search that finds nothing.
    static const size_t npos;

    // --- Lifecycle -------------------------------------------------------------------------------

    // Empty handle; allocates nothing.
    ZendString();
    // New request string copied from str (up to its first zero byte); null gives an empty handle.
    ZendString(const char* str);
    // New request string copied from the view's bytes, zero bytes included; a view with a null data
    // pointer gives an empty handle. An empty view gives a new zero-length string.
    ZendString(std::string_view text);
    // Holds str: adopt takes over the caller's reference, otherwise one is added (none if interned).
    ZendString(zend_string* str, bool adopt);
    // Shares other's string (+1 unless interned).
    ZendString(const ZendString& other);
    // Takes over other's string; other is left empty.
    ZendString(ZendString&& other) noexcept;
    // Takes the string and its reference out of owner, which is left null.
    ZendString(std::unique_ptr<zend_string, ZendStringPtrDestructor>&& owner);
    ~ZendString() override;

    ZendString& operator=(ZendString&& other) noexcept;
    ZendString& operator=(const ZendString& other);
    // Releases the held string, then shares str (null leaves the handle empty).
    ZendString& operator=(zend_string* str);
    // Releases the held string, then holds a new copy of the text (null leaves the handle empty).
    ZendString& operator=(const char* str);
    ZendString& operator=(std::string_view text);

    // Drops the reference; the last one frees the string (free if persistent, _efree otherwise).
    void release() override;
    // Writes the indentation, then string(<length>) "<characters>", or string(null) when empty.
    std::ostream& dump(std::ostream& out, int indent = 0) const override;

    // Lends the held string; the handle keeps its reference.
    zend_string* get() const;
    // Gives the held string and its reference to the caller; the handle is left empty.
    zend_string* detach();

    // A handle that takes over the caller's reference to str.
    static ZendString take(zend_string* str);
    // A new string (count 1, hash not cached) with a copy of str's bytes, in persistent memory when
    // asked and in request memory otherwise; str itself is not counted. Null gives an empty handle.
    static ZendString deep_copy(zend_string* str, bool persistent);
    // Takes the finished string out of an engine string builder, zero-terminated, and leaves the
    // builder empty; a builder holding nothing gives the engine's shared empty string. The flag is
    // accepted for compatibility and has no effect.
    static std::unique_ptr<zend_string, ZendStringPtrDestructor> smartStrExtract(smart_str& builder,
                                                                                bool flag = false);

    // --- Reading (no allocation, no count change) --------------------------------------------------

    size_t size() const;
    bool empty() const;
    // First character, or null for an empty handle.
    const char* data() const;
    // Zero-terminated characters; a zero byte owned by the library for an empty handle, never null.
    const char* c_str() const;
    // The characters and length; a null view for an empty handle.
    std::string_view view() const;
    // Require a string (and, for back, a length of 1 or more); not checked.
    const char& front() const;
    const char& back() const;
    // The engine's hash, computed and cached by the engine on first use; 0 for an empty handle.
    size_t hash() const;
    bool isInterned() const;

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
};

#endif
