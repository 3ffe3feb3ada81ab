// The stand-in engine: a small implementation of the PHP 7.3 engine functions that corvane calls,
// with the engine's semantics, plus accounting for tests. Tests, examples and benchmarks link it in
// place of a real engine; the library itself never does.
//
// Faults abort at once with a message on stderr: _efree() of memory that _emalloc() did not hand out
// (persistent, interned, unknown, or freed twice), free() of request memory or interned strings, and
// a release or engine use of a request block after its last reference freed it (see the quarantine).
#ifndef CORVANE_STANDIN_H
#define CORVANE_STANDIN_H

#include <corvane/engine.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#if defined(_WIN32)
#define STANDIN_API
#else
#define STANDIN_API __attribute__((visibility("default")))
#endif

namespace standin {

// Engine start-up and shutdown: the permanent interned strings (zend_empty_string among them).
STANDIN_API void startup();
STANDIN_API void shutdown();

// A request. Its end frees the request's interned strings, reports every request allocation still
// live on stderr as a leak, frees it, and returns how many there were.
STANDIN_API void requestStartup();
STANDIN_API size_t requestShutdown();

// Live allocations by allocator.
STANDIN_API size_t liveRequestBlocks();
STANDIN_API size_t livePersistentBlocks();
// Whether free() calls are seen here, so that persistent blocks are counted down when freed. They
// are not when a sanitizer owns free(); its own leak check covers persistent memory then.
STANDIN_API bool persistentFreesVisible();
// The size asked for when a live block was allocated; 0 for anything else.
STANDIN_API size_t blockSize(const void* ptr);

// Freed request blocks stay in a quarantine, oldest really freed first, while there are more than
// kQuarantineBlocks of them or more than kQuarantineBytes (the newest block always stays). There a
// block keeps its bytes and is never handed out again, and any further release of it (handle,
// zval_ptr_dtor, _efree, zend_array_destroy) or table function on it aborts with a message naming
// what it was. Request end empties the quarantine. It is off when free() is not seen here
// (AddressSanitizer, valgrind): those tools report uses of freed memory themselves.
constexpr size_t kQuarantineBlocks = 1024;
constexpr size_t kQuarantineBytes = size_t{4} << 20;
STANDIN_API bool quarantineActive();
// Turns the quarantine off (freeing what it holds) or back on where free() is seen here. It makes
// every free cost a real free of an older block, which benchmarks would otherwise measure.
STANDIN_API void setQuarantine(bool on);
STANDIN_API size_t quarantinedBlocks();
STANDIN_API bool isQuarantined(const void* ptr);

// How many engine functions have been called since start-up, and how many string hashes computed.
STANDIN_API size_t engineCalls();
STANDIN_API size_t hashComputations();

// A string interned for the current request (header type info 0x46, hash computed); the same text
// gives the same string. Freed at request end.
STANDIN_API zend_string* internString(std::string_view text);
// An empty array in persistent memory (header type info 0x87), as extensions keep across requests.
STANDIN_API zend_array* newPersistentArray(uint32_t size);
// Appends text to a string builder, growing it as the engine does.
STANDIN_API void smartStrAppend(smart_str& builder, std::string_view text);

// Counted values of the kinds the library does not build itself, each with count 1 and type flags 1:
// an object, a resource, and a reference holding value (whose reference it takes over).
STANDIN_API zval newObject();
STANDIN_API zval newResource();
STANDIN_API zval newReference(const zval& value);

// The exception zend_throw_exception left pending for PHP code: whether there is one, its class
// name and message ("" when none), how many earlier ones it chains, and clearing it (as a catch
// does). A request's end clears it.
STANDIN_API bool exceptionPending();
STANDIN_API std::string exceptionClass();
STANDIN_API std::string exceptionMessage();
STANDIN_API size_t exceptionsChained();
STANDIN_API void clearException();

}  // namespace standin

#endif
