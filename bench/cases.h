// Benchmark cases: each one does the same work twice, once through corvane and once the way raw
// engine code does it with PHP's macros, on inputs prepared outside the measured region.
#ifndef CORVANE_BENCH_CASES_H
#define CORVANE_BENCH_CASES_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace bench {

// Inputs for one size of a case; raw() and corvane() each do the measured work once.
class Fixture {
public:
    virtual ~Fixture() = default;
    virtual void raw() = 0;
    virtual void corvane() = 0;
};

struct Case {
    std::string name;
    // Array builds, lookups, walks and the dump: the cases the composite goal speaks of.
    bool composite;
    std::vector<int64_t> sizes;
    std::function<std::unique_ptr<Fixture>(int64_t size)> make;
};

const std::vector<Case>& allCases();

// Registered by each family's source.
void addHandleCases(std::vector<Case>& cases);
void addAlternativeHandleCases(std::vector<Case>& cases);
void addArrayCases(std::vector<Case>& cases);
void addStringCases(std::vector<Case>& cases);
void addDumpCases(std::vector<Case>& cases);

// Keeps the optimizer from dropping a result.
template <typename T>
inline void keep(T const& value) {
    asm volatile("" : : "r,m"(value) : "memory");
}

// Lets an object's address escape, as benchmark::DoNotOptimize(&object) does: the compiler must
// assume that the object was read and changed, so it lives in memory, not in registers.
template <typename T>
inline void escape(T* object) {
    asm volatile("" : : "r"(object) : "memory");
}

// Does nothing, out of line in a source of its own: a call that the compiler cannot see through,
// as code that hands a handle to another function by pointer or reference.
void opaque(const void* object);

}  // namespace bench

#endif
