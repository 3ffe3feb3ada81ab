// C++ exceptions at the engine's door: a function body run so that whatever it throws reaches PHP
// code as a PHP exception, and never unwinds through the engine's C frames (which would end the
// process with std::terminate).
#ifndef CORVANE_EXCEPTIONS_H
#define CORVANE_EXCEPTIONS_H

#include <corvane/ZVal.h>
#include <corvane/engine.h>

#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

namespace corvane {

// A C++ exception that reaches PHP code, through runGuarded, as an object of the PHP class it names:
// one of PHP's own (zend_ce_error, zend_ce_type_error, zend_ce_argument_count_error; on PHP 8 also
// zend_ce_value_error), or one the extension registered; a concrete class that implements
// Throwable. what() is the PHP exception's message. A null class is Exception, and so is an
// interface or abstract class (Throwable itself, say), of which no object can be made. Header only.
//
//     throw corvane::PhpException(zend_ce_type_error, "corvane_sum(): Argument #1 must hold numbers");
class PhpException : public std::runtime_error {
public:
    PhpException(zend_class_entry* type, const std::string& message) : std::runtime_error(message), type_(type) {}
    PhpException(zend_class_entry* type, const char* message) : std::runtime_error(message), type_(type) {}

    // The PHP class to raise.
    zend_class_entry* type() const noexcept { return type_; }

private:
    zend_class_entry* type_;
};

// Runs body(). A PhpException it throws becomes an object of the PHP class it names; any other
// std::exception (corvane's conversion errors, the author's own, a std::bad_alloc) PHP's Exception;
// either with the same message (what()). Any other C++ exception becomes an Exception saying
// "Unknown C++ exception". PHP code sees it when the function returns. The body's
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
    } catch (const PhpException& error) {
        engine::throwException(error.type(), error.what());
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
    zend_class_entry* type = nullptr;
    // The message outlives the exception object; without memory for its copy, the default stays.
    auto keep = [&](const std::exception& error) noexcept {
        try {
            text = error.what();
            message = text.c_str();
        } catch (...) {
        }
    };
    try {
        std::forward<Body>(body)();
        return true;
    } catch (const PhpException& error) {
        type = error.type();
        keep(error);
    } catch (const std::exception& error) {
        keep(error);
    } catch (...) {
    }
    // What the body had put in returnValue goes before the exception is raised: its destructors
    // then run with no exception pending.
    ZVal::take(*returnValue);
    returnValue->u1.type_info = engine::kNull;
    engine::throwException(type, message);
    return false;
}

}  // namespace corvane

#endif
