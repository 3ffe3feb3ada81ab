// The refcount-model target as a plain program, for compilers and flags that libFuzzer does not
// support (g++ -O3 among them): replays the seed corpus, then a fixed number of programs drawn from
// a seeded generator, so every run checks the same inputs.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// splitmix64: small, and the same sequence everywhere.
uint64_t nextRandom(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

}  // namespace

// Usage: refcount_model_replay CORPUS_DIR GENERATED_COUNT
int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR GENERATED_COUNT\n", argv[0]);
        return 2;
    }
    LLVMFuzzerInitialize(&argc, &argv);

    size_t seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        std::ifstream file(entry.path(), std::ios::binary);
        std::vector<uint8_t> input((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(input.data(), input.size());
        ++seeds;
    }

    const unsigned long generated = std::strtoul(argv[2], nullptr, 10);
    uint64_t state = 0x636f7276616e65ull;
    std::vector<uint8_t> input;
    for (unsigned long i = 0; i < generated; ++i) {
        input.resize(1 + nextRandom(state) % 1024);
        for (uint8_t& byte : input) byte = static_cast<uint8_t>(nextRandom(state));
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("refcount model: %zu seed programs and %lu generated programs replayed, no mismatch\n", seeds,
                generated);
    return 0;
}
