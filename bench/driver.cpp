// Runs one side of one case once, with callgrind collecting only the measured call.
//   corvane_bench_driver list                       one line per case: index, composite, sizes, name
//   corvane_bench_driver run INDEX SIZE raw|corvane
#include "cases.h"

#include "host.h"

#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    const auto& cases = bench::allCases();
    if (argc == 2 && std::strcmp(argv[1], "list") == 0) {
        for (size_t i = 0; i < cases.size(); ++i) {
            std::string sizes;
            for (int64_t s : cases[i].sizes) sizes += (sizes.empty() ? "" : ",") + std::to_string(s);
            std::printf("%zu\t%d\t%s\t%s\n", i, cases[i].composite ? 1 : 0, sizes.c_str(), cases[i].name.c_str());
        }
        return 0;
    }
    if (argc != 5 || std::strcmp(argv[1], "run") != 0) {
        std::fprintf(stderr, "usage: %s list | run INDEX SIZE raw|corvane\n", argv[0]);
        return 2;
    }
    size_t index = std::strtoul(argv[2], nullptr, 10);
    int64_t size = std::strtoll(argv[3], nullptr, 10);
    bool corvane = std::strcmp(argv[4], "corvane") == 0;
    if (index >= cases.size()) return 2;

    host::plainEngine();
    host::startup();
    host::requestStartup();
    {
        std::unique_ptr<bench::Fixture> fixture = cases[index].make(size);
        auto once = [&] { corvane ? fixture->corvane() : fixture->raw(); };
        once();  // warm: lazy symbol binding and first-touch work stay out of the count
        CALLGRIND_TOGGLE_COLLECT;
        once();
        CALLGRIND_TOGGLE_COLLECT;
    }
    size_t leaks = host::requestShutdown();
    host::shutdown();
    return leaks == 0 ? 0 : 1;
}
