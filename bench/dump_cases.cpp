// The dump against a hand-written {fmt} loop over the buckets that writes the same text.
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
        for (const Bucket *p = array->arData, *end = p + array->nNumUsed; p != end; ++p) {
            if ((p->val.u1.type_info & 0xff) == 0) continue;
            out_ << "\n";
            fmt::print(out_, "{:{}}[{}]=>\n", "", 2, static_cast<uint64_t>(p->h));
            fmt::print(out_, "{:{}}int({})", "", 2, static_cast<int64_t>(p->val.value.lval));
        }
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
