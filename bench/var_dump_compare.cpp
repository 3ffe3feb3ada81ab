// Wall time and memory of corvane's dump beside the engine's own var_dump, on the same array of N
// longs, each writing into output that is thrown away: corvane into a stream that discards, PHP
// into an output buffer that is discarded afterwards (as ob_start(); var_dump($a); ob_end_clean()).
// Needs a real engine.
//   corvane_var_dump_compare_php [N]
#include "null_stream.h"
#include "peak_resident.h"

#include <corvane/ZVal.h>
#include "host.h"

#include <main/php.h>
#include <main/php_output.h>
extern "C" {
#include <ext/standard/php_var.h>
}

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

using bench::peakResidentKiB;

struct Run {
    double seconds;          // the fastest of three
    long residentAddedKiB;   // how far the process's peak resident size moved
};

template <typename Dump>
Run measure(Dump dump) {
    long residentBefore = peakResidentKiB();
    double fastest = 0;
    for (int i = 0; i < 3; ++i) {
        auto start = std::chrono::steady_clock::now();
        dump();
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (i == 0 || took.count() < fastest) fastest = took.count();
    }
    return Run{fastest, peakResidentKiB() - residentBefore};
}

}  // namespace

int main(int argc, char** argv) {
    long long n = argc > 1 ? std::atoll(argv[1]) : 1000000;
    host::plainEngine();
    host::startup();
    host::requestStartup();
    {
        ZendArray array(0);
        for (long long i = 0; i < n; ++i) array.add(ZVal(i));
        ZVal value(array);

        // corvane first: its run must not find memory that var_dump's buffer already grew.
        Run corvane = measure([&] {
            bench::NullStream out;
            value.dump(out, 0);
        });
        Run engine = measure([&] {
            php_output_start_default();
            php_var_dump(value.get(), 1);
            php_output_discard();
        });
        std::printf("%lld elements\n", n);
        std::printf("corvane dump: %.3f s, peak resident +%ld KiB\n", corvane.seconds, corvane.residentAddedKiB);
        std::printf("var_dump:     %.3f s, peak resident +%ld KiB\n", engine.seconds, engine.residentAddedKiB);
        std::printf("var_dump / corvane: %.2f\n", engine.seconds / corvane.seconds);
    }
    host::requestShutdown();
    host::shutdown();
    return 0;
}
