#include <corvane/ZendString.h>

#include "engine_memory.h"

#include <cstdint>
#include <cstring>
#include <ostream>

namespace engine = corvane::engine;
namespace memory = corvane::memory;

const size_t ZendString::npos = SIZE_MAX;

namespace {

// What c_str() answers for an empty handle.
const char kNoCharacters = '\0';

// Header, hash and length words, the characters and the terminating zero, rounded up to 8 bytes.
size_t allocationSize(size_t len) { return (len + 32) & ~static_cast<size_t>(7); }

zend_string* newString(const char* bytes, size_t len, bool persistent) {
    size_t size = allocationSize(len);
    auto* str = static_cast<zend_string*>(persistent ? memory::persistentAlloc(size) : memory::requestAlloc(size));
    str->gc.refcount = 1;
    str->gc.u.type_info = persistent ? engine::kNewPersistentStringInfo : engine::kNewStringInfo;
    str->h = 0;
    str->len = len;
    if (len != 0) std::memcpy(str->val, bytes, len);
    str->val[len] = '\0';
    return str;
}

zend_string* newRequestString(std::string_view text) {
    return text.data() ? newString(text.data(), text.size(), false) : nullptr;
}

zend_string* share(zend_string* str) {
    if (str && !engine::isImmutable(str)) ++str->gc.refcount;
    return str;
}

void freeString(zend_string* str, bool persistent) {
    if (persistent) {
        memory::persistentFree(str);
    } else {
        memory::requestFree(str);
    }
}

std::string_view viewOf(const char* str) { return str ? std::string_view(str) : std::string_view(); }

std::string_view viewOf(const zend_string* str) {
    return str ? std::string_view(str->val, str->len) : std::string_view();
}

}  // namespace

// --- Lifecycle -----------------------------------------------------------------------------------

void ZendStringPtrDestructor::operator()(zend_string* str) const {
    if (!str || engine::isImmutable(str)) return;
    bool persistent = engine::isPersistent(str);
    if (--str->gc.refcount == 0) freeString(str, persistent);
}

ZendString::ZendString() = default;

ZendString::ZendString(const char* str) : ZendString(viewOf(str)) {}

ZendString::ZendString(std::string_view text) : ZendRefCounted(newRequestString(text)) {}

ZendString::ZendString(zend_string* str, bool adopt) : ZendRefCounted(adopt ? str : share(str)) {}

ZendString::ZendString(const ZendString& other) : ZendRefCounted(share(other.get())) {}

ZendString::ZendString(ZendString&& other) noexcept : ZendRefCounted(std::move(other)) {}

ZendString::ZendString(std::unique_ptr<zend_string, ZendStringPtrDestructor>&& owner)
    : ZendRefCounted(owner ? owner.release() : nullptr) {}

ZendString::~ZendString() { ZendString::release(); }

ZendString& ZendString::operator=(ZendString&& other) noexcept {
    ZendRefCounted::operator=(std::move(other));
    return *this;
}

ZendString& ZendString::operator=(const ZendString& other) {
    if (&other != this) {
        release();
        set(share(other.get()));
    }
    return *this;
}

// The new reference (or copy) is made before the old one is dropped, so that assigning the held
// string, or text that lies inside it, never reads freed memory.
ZendString& ZendString::operator=(zend_string* str) {
    zend_string* shared = share(str);
    release();
    set(shared);
    return *this;
}

ZendString& ZendString::operator=(const char* str) { return *this = viewOf(str); }

ZendString& ZendString::operator=(std::string_view text) {
    zend_string* copy = newRequestString(text);
    release();
    set(copy);
    return *this;
}

void ZendString::release() {
    zend_string* str = get();
    if (!str) return;
    bool persistent = isPersistent();
    set(nullptr);
    if (engine::isImmutable(str)) return;
    if (--str->gc.refcount != 0) return;
    freeString(str, persistent);
}

zend_string* ZendString::get() const { return reinterpret_cast<zend_string*>(ZendRefCounted::get()); }

zend_string* ZendString::detach() { return reinterpret_cast<zend_string*>(ZendRefCounted::detach()); }

ZendString ZendString::take(zend_string* str) { return ZendString(str, true); }

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

size_t ZendString::size() const { return get() ? get()->len : 0; }

bool ZendString::empty() const { return size() == 0; }

const char* ZendString::data() const { return get() ? get()->val : nullptr; }

const char* ZendString::c_str() const { return get() ? get()->val : &kNoCharacters; }

std::string_view ZendString::view() const { return viewOf(get()); }

const char& ZendString::front() const { return get()->val[0]; }

const char& ZendString::back() const { return get()->val[get()->len - 1]; }

size_t ZendString::hash() const {
    zend_string* str = get();
    if (!str) return 0;
    return str->h ? str->h : zend_string_hash_func(str);
}

bool ZendString::isInterned() const { return isImmutable(); }

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

size_t ZendString::find(std::string_view text, size_t pos) const {
    zend_string* str = get();
    if (!str || text.empty() || text.size() > str->len || pos > str->len - text.size()) return npos;
    const char* base = str->val;
    const char* last = base + (str->len - text.size());  // last possible start
    const char* cursor = base + pos;
    while (cursor <= last) {
        auto* hit = static_cast<const char*>(std::memchr(cursor, text[0], static_cast<size_t>(last - cursor) + 1));
        if (!hit) break;
        if (std::memcmp(hit, text.data(), text.size()) == 0) return static_cast<size_t>(hit - base);
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
