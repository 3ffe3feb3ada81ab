// PHP's output as a std::ostream: what an extension writes there goes where echo's text goes.
#ifndef CORVANE_OUTPUT_H
#define CORVANE_OUTPUT_H

#include <corvane/engine.h>

#include <ios>
#include <ostream>
#include <streambuf>

namespace corvane {

// A std::ostream that writes through PHP's output layer (php_output_write), as echo, print_r and
// var_dump do: an output buffer (ob_start) captures it, and under a web server the SAPI sends it.
// Unbuffered: each piece the stream is given goes to PHP at once, without a copy of its own, so
// text written here and PHP's own output stay in order. Header only; make one where it is used
// (a dump: `corvane::PhpOutput out; value.dump(out);`), inside a request.
class PhpOutput : public std::ostream {
public:
    PhpOutput() : std::ostream(&buffer_) {}
    PhpOutput(const PhpOutput&) = delete;
    PhpOutput& operator=(const PhpOutput&) = delete;

private:
    class Buffer : public std::streambuf {
    protected:
        std::streamsize xsputn(const char* text, std::streamsize count) override {
            if (count > 0) engine::outputWrite(text, static_cast<size_t>(count));
            return count;
        }
        int_type overflow(int_type c) override {
            if (!traits_type::eq_int_type(c, traits_type::eof())) {
                const char byte = traits_type::to_char_type(c);
                engine::outputWrite(&byte, 1);
            }
            return traits_type::not_eof(c);
        }
    };

    Buffer buffer_;
};

}  // namespace corvane

#endif
