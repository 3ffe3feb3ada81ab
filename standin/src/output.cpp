// PHP's output layer, where echo writes: the stand-in keeps the text for tests to read.
#include "internal.h"

#include <string>

namespace {

// What php_output_write wrote since the last takeOutput.
std::string written;

}  // namespace

extern "C" size_t php_output_write(const char* str, size_t len) {
    standin::internal::countCall();
    written.append(str, len);
    return len;
}

namespace standin {

std::string takeOutput() {
    std::string text;
    text.swap(written);
    return text;
}

}  // namespace standin
