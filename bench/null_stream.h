// An output stream that discards what it is given, so a dump costs only its own work.
#ifndef CORVANE_BENCH_NULL_STREAM_H
#define CORVANE_BENCH_NULL_STREAM_H

#include <ostream>
#include <streambuf>

namespace bench {

class NullBuffer : public std::streambuf {
protected:
    int_type overflow(int_type ch) override { return traits_type::not_eof(ch); }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

// The buffer is a base of its own so that it exists before the stream is built on it.
struct NullBufferHolder {
    NullBuffer buffer;
};

class NullStream : private NullBufferHolder, public std::ostream {
public:
    NullStream() : std::ostream(&buffer) {}
};

}  // namespace bench

#endif
