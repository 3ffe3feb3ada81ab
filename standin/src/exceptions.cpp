// Engine exceptions: what zend_throw_exception leaves pending for PHP code, kept here as the class
// and message that tests read.
#include "internal.h"

#include <cstdio>
#include <cstdlib>
#include <string>

// The stand-in reads a class's name only. Code compiled against PHP 7.3's headers reads its flags
// too (corvane asks whether the class is concrete), at byte 28: zeros there, a concrete class.
struct _zend_class_entry {
    const char* name;
    unsigned char zeros[504];
};

namespace {

_zend_class_entry exceptionEntry{"Exception", {}};
_zend_class_entry errorEntry{"Error", {}};
_zend_class_entry typeErrorEntry{"TypeError", {}};
_zend_class_entry argumentCountErrorEntry{"ArgumentCountError", {}};

// The pending exception: the engine keeps one, the previous ones chained to it.
bool pending = false;
size_t chained = 0;
std::string pendingClass;
std::string pendingMessage;

}  // namespace

extern "C" {

zend_class_entry* zend_ce_exception = nullptr;
zend_class_entry* zend_ce_error = nullptr;
zend_class_entry* zend_ce_type_error = nullptr;
zend_class_entry* zend_ce_argument_count_error = nullptr;

// The engine makes an object of the class and keeps it as the pending exception, a pending one
// becoming its previous. The stand-in makes no object: it keeps the class and the message.
zend_object* zend_throw_exception(zend_class_entry* exception_ce, const char* message, zend_long code) {
    standin::internal::countCall();
    (void)code;
    if (!exception_ce) exception_ce = zend_ce_exception;  // the engine's default: Exception
    if (!exception_ce) {
        std::fprintf(stderr, "standin: zend_throw_exception() before start-up (no Exception class yet)\n");
        std::abort();
    }
    if (pending) ++chained;
    pending = true;
    pendingClass = exception_ce->name;
    pendingMessage = message ? message : "";
    return nullptr;
}

}  // extern "C"

namespace standin::internal {

void startupExceptions() {
    zend_ce_exception = &exceptionEntry;
    zend_ce_error = &errorEntry;
    zend_ce_type_error = &typeErrorEntry;
    zend_ce_argument_count_error = &argumentCountErrorEntry;
}

}  // namespace standin::internal

namespace standin {

bool exceptionPending() { return pending; }
std::string exceptionClass() { return pending ? pendingClass : std::string(); }
std::string exceptionMessage() { return pending ? pendingMessage : std::string(); }
size_t exceptionsChained() { return pending ? chained : 0; }

void clearException() {
    pending = false;
    chained = 0;
    pendingClass.clear();
    pendingMessage.clear();
}

}  // namespace standin
