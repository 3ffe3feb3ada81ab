// Google Benchmark over every case: "<case>/raw/<size>" and "<case>/corvane/<size>" side by side.
#include "cases.h"

#include "host.h"

#include <benchmark/benchmark.h>

int main(int argc, char** argv) {
    host::plainEngine();
    host::startup();
    host::requestStartup();
    for (const bench::Case& c : bench::allCases()) {
        for (int64_t size : c.sizes) {
            for (bool corvane : {false, true}) {
                std::string name = c.name + (corvane ? "/corvane/" : "/raw/") + std::to_string(size);
                benchmark::RegisterBenchmark(name.c_str(), [&c, size, corvane](benchmark::State& state) {
                    std::unique_ptr<bench::Fixture> fixture = c.make(size);
                    for (auto _ : state) {
                        if (corvane) {
                            fixture->corvane();
                        } else {
                            fixture->raw();
                        }
                    }
                });
            }
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    host::requestShutdown();
    host::shutdown();
    return 0;
}
