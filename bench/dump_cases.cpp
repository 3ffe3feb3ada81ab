// The dump against a hand-written {fmt} loop over the elements that writes the same text.
#include "cases.h"
#include "null_stream.h"

#include <corvane/ZVal.h>
#include <fmt/ostream.h>

namespace bench {
namespace {

class DumpLongs : public Fixture {
public:
    explicit DumpLongs(int64_t n) : array_(0) {
        for (int64_t i = 0; i < n; ++i) array_.add(ZVal(i));
    }
    void raw() override {
        zend_array* array = array_.get();
        fmt::print(out_, "{:{}}array({}) {{", "", 0, static_cast<uint64_t>(zend_array_count(array)));
#if defined(CORVANE_USES_PHP_HEADERS)
        // Inside a real engine, its own loop, which reads a PHP 8.2 list's bare zvals too.
        zend_ulong h;
        zval* z;
        ZEND_HASH_FOREACH_NUM_KEY_VAL(array, h, z) {
            out_ << "\n";
            fmt::print(out_, "{:{}}[{}]=>\n", "", 2, static_cast<uint64_t>(h));
            fmt::print(out_, "{:{}}int({})", "", 2, static_cast<int64_t>(z->value.lval));
        }
        ZEND_HASH_FOREACH_END();
#else
        for (const Bucket *p = array->arData, *end = p + array->nNumUsed; p != end; ++p) {
            if ((p->val.u1.type_info & 0xff) == 0) continue;
            out_ << "\n";
            fmt::print(out_, "{:{}}[{}]=>\n", "", 2, static_cast<uint64_t>(p->h));
            fmt::print(out_, "{:{}}int({})", "", 2, static_cast<int64_t>(p->val.value.lval));
        }
#endif
        fmt::print(out_, "\n{:{}}}}", "", 0);
    }
    void corvane() override { array_.dump(out_, 0); }

private:
    ZendArray array_;
    NullStream out_;
};

}  // namespace

void addDumpCases(std::vector<Case>& cases) {
    cases.push_back(Case{"dump vs fmt loop", true, {10, 1000, 1000000},
                         [](int64_t size) -> std::unique_ptr<Fixture> { return std::make_unique<DumpLongs>(size); }});
}

}  // namespace bench
