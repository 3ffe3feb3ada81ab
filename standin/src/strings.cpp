// Engine strings: the string hash, interned strings, zend_empty_string and the string builder.
#include "internal.h"

#include <cstring>
#include <string_view>
#include <vector>

using namespace standin::internal;

extern "C" {
zend_string* zend_empty_string = nullptr;
}

namespace {

size_t hashCount = 0;
std::vector<zend_string*> requestInterned;
std::vector<zend_string*> permanentInterned;

constexpr size_t kHeaderSize = offsetof(zend_string, val);

// Header, hash and length, the characters and the terminating zero, in 8-byte steps.
size_t structSize(size_t len) { return (kHeaderSize + len + 1 + 7) & ~static_cast<size_t>(7); }

zend_string* newInterned(std::string_view text, uint32_t typeInfo) {
    auto* str = static_cast<zend_string*>(allocateInterned(structSize(text.size())));
    corvane::engine::initHeader(str, 1, typeInfo);
    str->len = text.size();
    if (!text.empty()) std::memcpy(str->val, text.data(), text.size());
    str->val[text.size()] = '\0';
    str->h = hashBytes(str->val, str->len);
    return str;
}

zend_string* findInterned(const std::vector<zend_string*>& table, std::string_view text) {
    for (zend_string* str : table) {
        if (std::string_view(str->val, str->len) == text) return str;
    }
    return nullptr;
}

}  // namespace

namespace standin::internal {

// DJBX33A over the bytes taken as signed chars, with the top bit set so a hash is never 0.
zend_ulong hashBytes(const char* str, size_t len) {
    zend_ulong hash = 5381;
    for (size_t i = 0; i < len; ++i) {
        hash = hash * 33 + static_cast<zend_ulong>(static_cast<zend_long>(static_cast<signed char>(str[i])));
    }
    return hash | 0x8000000000000000ull;
}

zend_string* newString(const char* str, size_t len, bool persistent) {
    auto* s = static_cast<zend_string*>(allocate(structSize(len), persistent, Content::String));
    corvane::engine::initHeader(s, 1, kString | (persistent ? kGcPersistent : 0));
    s->h = 0;
    s->len = len;
    if (len != 0) std::memcpy(s->val, str, len);
    s->val[len] = '\0';
    return s;
}

void releaseString(zend_string* str) {
    if (gcHas(str, kGcImmutable)) return;
    if (corvane::engine::delRef(str) == 0) release(str, gcHas(str, kGcPersistent));
}

void freeRequestInternedStrings() {
    for (zend_string* str : requestInterned) releaseInterned(str);
    requestInterned.clear();
}

}  // namespace standin::internal

extern "C" zend_ulong zend_string_hash_func(zend_string* s) {
    countCall();
    if (isFreed(s)) usedAfterFree(s, __func__);
    ++hashCount;
    return s->h = hashBytes(s->val, s->len);
}

namespace standin {

void startup() {
    if (zend_empty_string) return;
    startupExceptions();
    zend_empty_string = newInterned("", kString | kGcImmutable | kGcPersistent | kGcPermanent);
    permanentInterned.push_back(zend_empty_string);
}

void shutdown() {
    drainQuarantine();  // in case the last request was never ended
    disarmCycleCollection();
    freeRequestInternedStrings();
    for (zend_string* str : permanentInterned) releaseInterned(str);
    permanentInterned.clear();
    zend_empty_string = nullptr;
}

size_t hashComputations() { return hashCount; }

zend_string* internString(std::string_view text) {
    if (zend_string* str = findInterned(permanentInterned, text)) return str;
    if (zend_string* str = findInterned(requestInterned, text)) return str;
    zend_string* str = newInterned(text, kString | kGcImmutable);
    requestInterned.push_back(str);
    return str;
}

// Grows like the engine's builder: a first block of 256 bytes, then whole pages; the text is not
// zero-terminated until the string is taken out.
void smartStrAppend(smart_str& builder, std::string_view text) {
    constexpr size_t kOverhead = kHeaderSize + 1;
    constexpr size_t kStartLength = 256 - kOverhead;
    constexpr size_t kPage = 4096;
    size_t used = builder.s ? builder.s->len : 0;
    size_t needed = used + text.size();
    if (!builder.s || needed >= builder.a) {
        size_t capacity =
            needed <= kStartLength ? kStartLength : ((needed + kOverhead + kPage - 1) & ~(kPage - 1)) - kOverhead;
        auto* grown = static_cast<zend_string*>(allocate(kHeaderSize + capacity + 1, false, Content::String));
        corvane::engine::initHeader(grown, 1, kString);
        grown->h = 0;
        if (builder.s) {
            std::memcpy(grown->val, builder.s->val, used);
            release(builder.s, false);
        }
        builder.s = grown;
        builder.a = capacity;
    }
    if (!text.empty()) std::memcpy(builder.s->val + used, text.data(), text.size());
    builder.s->len = needed;
}

}  // namespace standin
