#include <corvane/ZendString.h>

#include <cstdint>
#include <cstring>
#include <ostream>

const size_t ZendString::npos = SIZE_MAX;

namespace {

// What c_str() answers for an empty handle.
const char kNoCharacters = '\0';

std::string_view viewOf(const char* str) { return str ? std::string_view(str) : std::string_view(); }

std::string_view viewOf(const zend_string* str) {
    return str ? std::string_view(str->val, str->len) : std::string_view();
}

}  // namespace

// --- Lifecycle -----------------------------------------------------------------------------------

ZendString::ZendString(const char* str) : ZendString(viewOf(str)) {}

// Each allocator's own free, called straight from both entry points below.
static inline void freeString(zend_string* str, bool persistent) {
    if (persistent) {
        corvane::engine::persistentFree(str);
    } else {
        corvane::engine::requestFree(str);
    }
}

[[gnu::noinline]] void ZendString::freeLast(zend_string* str, bool persistent) { freeString(str, persistent); }

[[gnu::noinline]] void ZendString::freeLast(zend_string* str) {
    freeString(str, corvane::engine::isPersistent(str));
}

ZendString& ZendString::operator=(const char* str) { return *this = viewOf(str); }

// The copy is made before the old string is dropped: the text may lie inside it.
ZendString& ZendString::operator=(std::string_view text) {
    zend_string* copy = text.data() ? newString(text.data(), text.size(), false) : nullptr;
    release();
    set(copy);
    return *this;
}

ZendString ZendString::deep_copy(zend_string* str, bool persistent) {
    if (!str) return ZendString();
    return take(newString(str->val, str->len, persistent));
}

std::unique_ptr<zend_string, ZendStringPtrDestructor> ZendString::smartStrExtract(smart_str& builder, bool) {
    if (!builder.s) return std::unique_ptr<zend_string, ZendStringPtrDestructor>(zend_empty_string);
    zend_string* str = builder.s;
    str->val[str->len] = '\0';
    builder.s = nullptr;
    return std::unique_ptr<zend_string, ZendStringPtrDestructor>(str);
}

// --- Reading -------------------------------------------------------------------------------------

const char* ZendString::c_str() const { return get() ? get()->val : &kNoCharacters; }

int ZendString::compare(const ZendString& other) const { return compare(other.view()); }

int ZendString::compare(const char* str) const { return compare(viewOf(str)); }

int ZendString::compare(const zend_string* str) const { return compare(viewOf(str)); }

int ZendString::compare(std::string_view text) const {
    zend_string* str = get();
    if (!str) return text.data() ? -1 : 0;
    if (!text.data()) return 1;
    size_t common = str->len < text.size() ? str->len : text.size();
    if (common != 0) {
        int order = std::memcmp(str->val, text.data(), common);
        if (order != 0) return order;
    }
    if (str->len == text.size()) return 0;
    return str->len < text.size() ? -1 : 1;
}

size_t ZendString::find(const ZendString& other, size_t pos) const { return find(other.view(), pos); }

size_t ZendString::find(const char* str, size_t pos) const { return find(viewOf(str), pos); }

size_t ZendString::find(const zend_string* str, size_t pos) const { return find(viewOf(str), pos); }

// Jumps to each candidate with memchr on the needle's first byte; the last byte is compared before
// the full memcmp, which turns away most near misses without a call.
size_t ZendString::find(std::string_view text, size_t pos) const {
    zend_string* str = get();
    if (!str || text.empty() || text.size() > str->len || pos > str->len - text.size()) return npos;
    const char* base = str->val;
    const char* last = base + (str->len - text.size());  // last possible start
    const char* cursor = base + pos;
    const char first = text.front();
    const char final = text.back();
    const size_t tail = text.size() - 1;
    while (cursor <= last) {
        auto* hit = static_cast<const char*>(std::memchr(cursor, first, static_cast<size_t>(last - cursor) + 1));
        if (!hit) break;
        if (hit[tail] == final && std::memcmp(hit, text.data(), tail) == 0) return static_cast<size_t>(hit - base);
        cursor = hit + 1;
    }
    return npos;
}

bool ZendString::contains(const ZendString& other) const { return find(other.view(), 0) != npos; }

bool ZendString::contains(const char* str) const { return find(viewOf(str), 0) != npos; }

bool ZendString::contains(const zend_string* str) const { return find(viewOf(str), 0) != npos; }

bool ZendString::contains(std::string_view text) const { return find(text, 0) != npos; }

size_t ZendString::find_first_of(char ch, size_t pos) const {
    zend_string* str = get();
    if (!str || pos >= str->len) return npos;
    auto* hit = static_cast<const char*>(std::memchr(str->val + pos, ch, str->len - pos));
    return hit ? static_cast<size_t>(hit - str->val) : npos;
}

bool ZendString::ends_with(char ch) const {
    zend_string* str = get();
    return str && str->len != 0 && str->val[str->len - 1] == ch;
}

bool ZendString::ends_with(const char* str) const { return ends_with(viewOf(str)); }

bool ZendString::ends_with(std::string_view text) const {
    zend_string* str = get();
    if (!str || !text.data()) return false;
    if (text.size() > str->len) return false;
    return text.empty() || std::memcmp(str->val + (str->len - text.size()), text.data(), text.size()) == 0;
}

// --- Dump ----------------------------------------------------------------------------------------

std::ostream& ZendString::dump(std::ostream& out, int indent) const {
    for (int level = 0; level < indent; ++level) {
        out.put(' ');
        out.put(' ');
    }
    if (!get()) return out << "string(null)";
    return out << "string(" << static_cast<uint64_t>(get()->len) << ") \"" << c_str() << "\"";
}
