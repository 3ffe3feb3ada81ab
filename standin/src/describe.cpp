#include "describe.h"

#include "internal.h"

#include <cstdio>
#include <cstring>

#if defined(__has_include)
#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#define STANDIN_HAVE_MEMCHECK 1
#endif
#endif

namespace standin::internal {

namespace {

constexpr size_t kStringHeader = offsetof(zend_string, val);

// Appends text to a name, cutting it at the name's capacity.
class Writer {
public:
    explicit Writer(Name& name) : name_(name) { name_.text[0] = '\0'; }

    void put(const char* text) { print("%s", text); }

    template <typename... Args>
    void print(const char* format, Args... args) {
        size_t room = sizeof name_.text - used_;
        int n = std::snprintf(name_.text + used_, room, format, args...);
        if (n > 0) used_ += static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room - 1;
    }

private:
    Name& name_;
    size_t used_ = 0;
};

// The text as a C string literal would spell it, so that control bytes and quotes stay visible.
void printEscaped(Writer& out, const char* bytes, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        auto byte = static_cast<unsigned char>(bytes[i]);
        switch (byte) {
            case '"':
                out.put("\\\"");
                break;
            case '\\':
                out.put("\\\\");
                break;
            case '\n':
                out.put("\\n");
                break;
            case '\r':
                out.put("\\r");
                break;
            case '\t':
                out.put("\\t");
                break;
            default:
                if (byte >= 0x20 && byte < 0x7f) {
                    out.print("%c", byte);
                } else {
                    out.print("\\x%02x", byte);
                }
        }
    }
}

// Whether every byte in [ptr, ptr + size) was written: always so as far as can be told, but under
// valgrind, which knows, asked without an error report.
bool written(const void* ptr, size_t size) {
#if defined(STANDIN_HAVE_MEMCHECK)
    if (!RUNNING_ON_VALGRIND) return true;
    unsigned char bits[64];
    const char* bytes = static_cast<const char*>(ptr);
    for (size_t done = 0; done < size; done += sizeof bits) {
        size_t n = size - done < sizeof bits ? size - done : sizeof bits;
        if (VALGRIND_GET_VBITS(bytes + done, bits, n) != 1) return false;
        for (size_t i = 0; i < n; ++i) {
            if (bits[i]) return false;  // a set bit marks an undefined one
        }
    }
#else
    (void)ptr;
    (void)size;
#endif
    return true;
}

}  // namespace

Content classify(const void* ptr, size_t size, Content made) {
    if (made != Content::Block) return made;
    // A request string's header, a length that fits and the terminating zero; bytes never written
    // are not a string (and reading them would be an error of the stand-in's under valgrind).
    if (size <= kStringHeader || !written(ptr, kStringHeader) ||
        corvane::engine::gcFlags(static_cast<const zend_refcounted*>(ptr)) != kString) {
        return Content::Block;
    }
    auto* str = static_cast<const zend_string*>(ptr);
    return str->len < size - kStringHeader && written(str->val, str->len + 1) && str->val[str->len] == '\0'
               ? Content::String
               : Content::Block;
}

Description describe(const void* ptr, size_t size, Content content) {
    Description what{content, size, 0, 0, {}};
    if (content == Content::String) {
        auto* str = static_cast<const zend_string*>(ptr);
        what.length = str->len;
        what.headLength = static_cast<uint8_t>(str->len < kHeadBytes ? str->len : kHeadBytes);
        std::memcpy(what.head, str->val, what.headLength);
    } else if (content == Content::Array) {
        what.length = static_cast<const HashTable*>(ptr)->nNumOfElements;
    }
    return what;
}

bool isCounted(Content content) { return content != Content::Buckets && content != Content::Block; }

Name nameOf(const Description& what) {
    Name name;
    Writer out(name);
    switch (what.content) {
        case Content::String:
            out.print("string(%zu) \"", what.length);
            printEscaped(out, what.head, what.headLength);
            out.put(what.length > what.headLength ? "\"..." : "\"");
            break;
        case Content::Array:
            out.print("array(%zu)", what.length);
            break;
        case Content::Buckets:
            out.put("the bucket block of an array");
            break;
        case Content::Object:
            out.put("object");
            break;
        case Content::Resource:
            out.put("resource");
            break;
        case Content::Reference:
            out.put("reference");
            break;
        case Content::Block:
            out.print("a block of %zu bytes", what.size);
            break;
    }
    return name;
}

const char* kindName(Content content, bool plural) {
    switch (content) {
        case Content::String:
            return plural ? "strings" : "string";
        case Content::Array:
            return plural ? "arrays" : "array";
        case Content::Buckets:
            return plural ? "bucket blocks" : "bucket block";
        case Content::Object:
            return plural ? "objects" : "object";
        case Content::Resource:
            return plural ? "resources" : "resource";
        case Content::Reference:
            return plural ? "references" : "reference";
        case Content::Block:
            break;
    }
    return plural ? "other blocks" : "other block";
}

}  // namespace standin::internal
