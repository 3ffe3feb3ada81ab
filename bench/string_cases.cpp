// Searching a string.
#include "cases.h"

#include <corvane/ZVal.h>

#include <cstring>
#include <string>

namespace bench {
namespace {

constexpr char kNeedle[] = "needle";
constexpr size_t kNeedleLength = sizeof(kNeedle) - 1;

// The engine's zend_memnstr: jump to the needle's first byte, confirm the rest.
const char* rawFind(const char* haystack, const char* needle, size_t needleLength, const char* end) {
    const char* p = haystack;
    const char last = needle[needleLength - 1];
    end -= needleLength;
    while (p <= end) {
        if ((p = static_cast<const char*>(std::memchr(p, *needle, static_cast<size_t>(end - p) + 1))) &&
            last == p[needleLength - 1]) {
            if (!std::memcmp(needle + 1, p + 1, needleLength - 2)) return p;
        }
        if (p == nullptr) return nullptr;
        p++;
    }
    return nullptr;
}

// A haystack of n bytes of near misses ("needlX") with the needle at its very end.
class Find : public Fixture {
public:
    explicit Find(int64_t n) {
        std::string text;
        while (text.size() + 2 * kNeedleLength <= static_cast<size_t>(n)) text += "needlX";
        text.append(static_cast<size_t>(n) - kNeedleLength - text.size(), 'a');
        text += kNeedle;
        haystack_ = ZendString(std::string_view(text));
    }
    void raw() override {
        zend_string* s = haystack_.get();
        const char* found = rawFind(s->val, kNeedle, kNeedleLength, s->val + s->len);
        keep(found ? static_cast<size_t>(found - s->val) : ZendString::npos);
    }
    void corvane() override { keep(haystack_.find(std::string_view(kNeedle, kNeedleLength))); }

private:
    ZendString haystack_;
};

}  // namespace

void addStringCases(std::vector<Case>& cases) {
    cases.push_back(Case{"string find", false, {10, 1000, 1000000},
                         [](int64_t size) -> std::unique_ptr<Fixture> { return std::make_unique<Find>(size); }});
}

}  // namespace bench
