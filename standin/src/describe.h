// What a request block holds, as far as its bytes tell, and the words that fault and leak messages
// name it with: string(5) "hello", array(3), object, a block of 24 bytes.
#ifndef CORVANE_STANDIN_DESCRIBE_H
#define CORVANE_STANDIN_DESCRIBE_H

#include <cstddef>
#include <cstdint>

namespace standin::internal {

// Block: bytes that are none of the others (or not recognisably so).
enum class Content : uint8_t { String, Array, Buckets, Object, Resource, Reference, Block };
constexpr size_t kContentKinds = 7;

// Bytes of a string's text kept for its name; longer strings are cut there.
constexpr size_t kHeadBytes = 32;

struct Description {
    Content content;
    size_t size;    // the bytes asked for
    size_t length;  // a string's length, an array's element count
    uint8_t headLength;
    char head[kHeadBytes];
};

struct Name {
    char text[8 + 4 * kHeadBytes + 40];
};

// What a block holds: what the stand-in made it for, or else, for blocks from _emalloc(), a string
// if its bytes are one (the handles make their strings themselves), or else a plain block.
Content classify(const void* ptr, size_t size, Content made);
// Takes down what a name needs while the bytes are still there.
Description describe(const void* ptr, size_t size, Content content);
// Whether blocks of this content start with a counted header.
bool isCounted(Content content);

Name nameOf(const Description& what);
// "string"/"strings", "array"/"arrays", "bucket block"/"bucket blocks", ...
const char* kindName(Content content, bool plural);

}  // namespace standin::internal

#endif
