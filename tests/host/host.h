// The engine the tests run in: the stand-in engine, or a real PHP 7.3 started with its embed SAPI.
// Tests reach the engine only through here, so the same suite runs in both.
#ifndef CORVANE_TESTS_HOST_H
#define CORVANE_TESTS_HOST_H

#include <corvane/engine.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace host {

// Engine start-up and shutdown, once per process; a request around every test.
void startup();
void shutdown();
void requestStartup();
// Ends the request; with accounting, the number of request blocks still live (leaks).
size_t requestShutdown();

// Whether the engine counts allocations (the stand-in does; a real engine does not), and whether
// it reports leaks when a request ends (the stand-in and debug builds of PHP do).
bool hasAccounting();
bool reportsLeaks();
// Whether the engine is a debug build of PHP (which asserts on writes into shared arrays).
bool isDebugEngine();

// For benchmarks, called before startup(): the engine as extensions meet it in production,
// without the accounting that tests want and that would add its own cost to every allocation
// (the stand-in's quarantine of freed blocks, the counting heap a release PHP gets in the tests).
// Leaks are then not counted on a real engine.
void plainEngine();

// corvane writes through every handle on an array, whatever its count. A debug build of PHP
// asserts on writes to a table with a count above 1 unless the table allows them; tests that share
// an array on purpose mark it, as the engine does for its own shared tables.
void allowSharedWrites(zend_array* array);

// Accounting; 0 (and false) where the engine keeps none.
size_t liveRequestBlocks();
size_t livePersistentBlocks();
bool persistentFreesVisible();
size_t blockSize(const void* ptr);
size_t engineCalls();
size_t hashComputations();

// Values the library does not build itself, made by the engine.
zend_string* internString(std::string_view text);
zend_array* newPersistentArray(uint32_t size);
void smartStrAppend(smart_str& builder, std::string_view text);
zval newObject();
zval newResource();
zval newReference(const zval& value);

// What the engine itself makes of a string used as an array key (ZEND_HANDLE_NUMERIC_STR): true
// and the integer when it reads it as one. Only a real engine answers (known is false otherwise).
bool engineReadsIntegerKey(std::string_view text, unsigned long long& index, bool& known);

// The exception the engine has pending for PHP code. A real engine raises one only while PHP code
// runs (outside, zend_throw_exception ends the process): canRaiseExceptions says whether it may.
bool canRaiseExceptions();
bool exceptionPending();
std::string exceptionClass();
std::string exceptionMessage();
void clearException();

// PHP's output layer (echo's way out): catching what is written there from now on, and taking it.
// A real engine catches it in an output buffer, as ob_start does.
void startOutputCapture();
std::string takeOutput();

}  // namespace host

// Checks that need the engine's accounting: skipped where the engine keeps none.
#define ACCOUNTED_EQ(actual, expected) \
    if (!host::hasAccounting()) {      \
    } else                             \
        EXPECT_EQ(actual, expected)
#define ACCOUNTED_NE(actual, expected) \
    if (!host::hasAccounting()) {      \
    } else                             \
        EXPECT_NE(actual, expected)

#endif
