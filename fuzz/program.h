// The input of the refcount fuzz target, read as a program: one byte at a time.
#ifndef CORVANE_FUZZ_PROGRAM_H
#define CORVANE_FUZZ_PROGRAM_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// How many handles of each kind (and values) the program works with.
constexpr size_t kSlots = 4;

// Each call takes the next byte, or 0 once the input is spent.
class Program {
public:
    Program(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool done() const { return pos_ >= size_; }
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    size_t slot() { return byte() % kSlots; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

inline const std::string& textFor(uint8_t n) {
    static const std::string texts[] = {"", "a", "5", "key", "k2", std::string("z\0z", 3), std::string(300, 'L')};
    return texts[n % 7];
}

}  // namespace fuzz

#endif
