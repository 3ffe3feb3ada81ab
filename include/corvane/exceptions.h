// C++ exceptions at the engine's door: a function body run so that whatever it throws reaches PHP
// code as a PHP exception, and never unwinds through the engine's C frames (which would end the
// process with std::terminate).
#ifndef CORVANE_EXCEPTIONS_H
#define CORVANE_EXCEPTIONS_H

#include <corvane/ZVal.h>
#include <corvane/engine.h>

#include <exception>
#include <string>
#include <utility>

namespace corvane {

// Runs body(). A std::exception it throws (corvane's conversion errors, the author's own, a
// std::bad_alloc) becomes PHP's Exception with the same message (what()), any other one an
// Exception saying "Unknown C++ exception"; PHP code sees it when the function returns. The body's
// handles and values are released as the exception leaves it, before the PHP exception is raised.
// True when body returned normally. Header only: nothing of it is in the library.
//
//     PHP_FUNCTION(my_function) {
//         corvane::runGuarded(return_value, [&] { ... RETURN_LONG(n); });
//     }
template <typename Body>
bool runGuarded(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
        return true;
    } catch (const std::exception& error) {
        engine::throwException(error.what());
    } catch (...) {
        engine::throwException("Unknown C++ exception");
    }
    return false;
}

// The same for a function with a return value: when body throws, whatever it had already put in
// returnValue is released and the function returns null, as the engine's own functions do when they
// throw.
template <typename Body>
bool runGuarded(zval* returnValue, Body&& body) noexcept {
    const char* message = "Unknown C++ exception";
    std::string text;
    try {
        std::forward<Body>(body)();
        return true;
    } catch (const std::exception& error) {
        try {
            text = error.what();
            message = text.c_str();
        } catch (...) {
        }
    } catch (...) {
    }
    // What the body had put in returnValue goes before the exception is raised: its destructors
    // then run with no exception pending.
    ZVal::take(*returnValue);
    returnValue->u1.type_info = engine::kNull;
    engine::throwException(message);
    return false;
}

}  // namespace corvane

#endif
