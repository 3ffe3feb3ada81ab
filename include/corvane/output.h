// PHP's output as a std::ostream: what an extension writes there goes where echo's text goes.
#ifndef CORVANE_OUTPUT_H
#define CORVANE_OUTPUT_H

#include <corvane/engine.h>

#include <ostream>
#include <streambuf>

namespace corvane {

// A std::ostream that writes through PHP's output layer (php_output_write), as echo, print_r and
// var_dump do: an output buffer (ob_start) captures it, and under a web server the SAPI sends it.
// Small pieces of text gather in a buffer of kPiece bytes inside the stream, and go to PHP when it
// is full, flushed or ends; a larger piece goes to PHP as it is. Nothing copies the whole text. Header only; make one
// where it is used, inside a request: `corvane::PhpOutput out; value.dump(out);`.
//
// PHP's output layer may run PHP code: an output handler with a chunk size (ob_start's second
// argument) runs whenever its buffer fills, so it may run while a long dump is under way. Such code
// finds the arrays being dumped marked and shared (the dump holds a reference to each), so a write
// of its own goes to a copy and the dump is undisturbed, with one exception: an array the engine
// writes in place whatever its count, as PHP 7.3's global symbol table ($GLOBALS). Dump a copy of
// such a table, or dump into a std::ostringstream first.
class PhpOutput : public std::ostream {
public:
    static constexpr int kPiece = 4096;

    PhpOutput() : std::ostream(&buffer_) {}
    PhpOutput(const PhpOutput&) = delete;
    PhpOutput& operator=(const PhpOutput&) = delete;

private:
    class Buffer : public std::streambuf {
    public:
        Buffer() { setp(bytes_, bytes_ + kPiece); }
        ~Buffer() override { sync(); }
        Buffer(const Buffer&) = delete;
        Buffer& operator=(const Buffer&) = delete;

    protected:
        // Small pieces gather in the buffer; a piece that does not fit goes to PHP as it is.
        std::streamsize xsputn(const char* text, std::streamsize count) override {
            if (count < epptr() - pptr()) {
                traits_type::copy(pptr(), text, static_cast<size_t>(count));
                pbump(static_cast<int>(count));
                return count;
            }
            sync();
            if (count > 0) engine::outputWrite(text, static_cast<size_t>(count));
            return count;
        }
        int_type overflow(int_type c) override {
            sync();
            if (!traits_type::eq_int_type(c, traits_type::eof())) sputc(traits_type::to_char_type(c));
            return traits_type::not_eof(c);
        }
        int sync() override {
            if (pptr() != pbase()) engine::outputWrite(pbase(), static_cast<size_t>(pptr() - pbase()));
            setp(bytes_, bytes_ + kPiece);
            return 0;
        }

    private:
        char bytes_[kPiece];
    };

    Buffer buffer_;
};

}  // namespace corvane

#endif
