// Builds against the installed headers and library and runs on the installed stand-in engine.
#include <corvane/ZVal.h>
#include <standin/standin.h>

#include <sstream>

int main() {
    standin::startup();
    standin::requestStartup();
    int failures = 0;
    {
        ZendArray array(8);
        array.add("answer", ZVal(42));
        ZendString key("answer");
        failures += array.at(key).asLong() == 42 ? 0 : 1;
        failures += array.refCount() == 1 ? 0 : 1;
        std::ostringstream out;
        ZVal(array).dump(out, 0);
        failures += out.str() == "array(1) {\n  [\"answer\"]=>\n  int(42)\n}" ? 0 : 1;
    }
    failures += standin::requestShutdown() == 0 ? 0 : 1;
    standin::shutdown();
    return failures;
}
