// A unit test of the README's sample (myext.cpp, copied from it) on the installed stand-in engine:
// what it builds, what the README says reading it gives, and that nothing is left behind.
#include <corvane/ZVal.h>
#include <standin/standin.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <string_view>

ZendArray nested();

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "my_test: failed: %s\n", what);
        ++failures;
    }
}

}  // namespace

int main() {
    standin::startup();
    standin::requestStartup();
    {
        check(nested().at("name").asString().view() == "abc", "at(\"name\") reads \"abc\"");
        check(nested().at(0).asLong() == 42, "at(0) reads 42");
        ZendArray array = nested();
        check(array.refCount() == 1, "a new array has count 1");
        check(!array.contains("0"), "0 is an integer key, not the string \"0\"");
        std::ostringstream out;
        ZVal(array).dump(out, 0);
        const std::string expected =
            "array(4) {\n"
            "  [\"name\"]=>\n  string(3) \"abc\"\n"
            "  [0]=>\n  int(42)\n"
            "  [\"list\"]=>\n  array(2) {\n    [0]=>\n    double(1.5)\n    [1]=>\n    bool(true)\n  }\n"
            "  [1]=>\n  NULL\n"
            "}";
        check(out.str() == expected, "the dump");
        if (out.str() != expected) std::fprintf(stderr, "%s\n", out.str().c_str());
    }
    check(standin::requestShutdown() == 0, "no request memory left at request end");
    standin::shutdown();
    return failures;
}
