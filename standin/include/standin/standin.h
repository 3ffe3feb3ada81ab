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
#include <functional>
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
// an object (header type info 0x18), a resource, and a reference holding value (whose reference it
// takes over; header type info 10, as the engine makes one).
STANDIN_API zval newObject();
STANDIN_API zval newResource();
STANDIN_API zval newReference(const zval& value);

// --- Calls back into the code under test, where the engine does ---------------------------------
// Callbacks run inside engine calls, which never throw: one that throws aborts with a message.
// A table's element destructor needs no hook of its own: pDestructor is the engine's, a plain
// function given the element's zval, which a test may set; and an object from newObject(onDestruct)
// stored in a table runs its callback from the table's destructor.

// An object whose destructor runs onDestruct, as PHP 7.3 runs an object's destructor handler
// (dtor_obj) when its last reference goes, whichever way: zval_ptr_dtor, a table's element
// destructor in zend_array_destroy, zend_hash_destroy, zend_hash_*del, or zend_hash_*update
// replacing it. The destructor runs first and once (the object's flag 0x100, "destructor called"),
// with the count set to 1 (PHP code in a __destruct that the engine's default handler calls sees
// 2); it may copy the object, which then stays alive. After it the count drops again, and the
// object is freed only if that leaves 0. The callback (and what it captured) is destroyed when the
// object is freed, or at request end if the object is still live then: such an object is a leak,
// reported as one, and its destructor never runs. An empty onDestruct makes a plain object.
STANDIN_API zval newObject(std::function<void()> onDestruct);

// Arms the cycle collector for the next possible root, as when PHP 7.3's root buffer is full. The
// next zval_ptr_dtor that drops a reference of an array or object (COLLECTABLE, 0x10 in the header)
// and leaves it above 0 disarms it and runs collect right there, after the drop, with one more
// reference of that value held for the collector; if that hold was the last, the value is destroyed
// when collect returns. That is every zval_ptr_dtor: the extension's own, and those the engine makes
// for a table's elements (zend_array_destroy, zend_hash_destroy, deletes, an update replacing a
// value) and for a reference's value. A PHP reference (header type info 10) left referenced offers
// the array or object it holds instead. A drop to 0, and values that are not collectable (strings,
// resources, persistent arrays), pass it by. Collections do not nest: one armed inside collect
// waits for a possible root after it. Arming again replaces a collection that has not run; an
// empty collect disarms; request end disarms.
STANDIN_API void collectCyclesAtNextPossibleRoot(std::function<void()> collect);
// Whether a collection is armed and has not run yet.
STANDIN_API bool cycleCollectionArmed();
// The exception zend_throw_exception left pending for PHP code: whether there is one, its class
// name and message ("" when none), how many earlier ones it chains, and clearing it (as a catch
// does). A request's end clears it.
STANDIN_API bool exceptionPending();
STANDIN_API std::string exceptionClass();
STANDIN_API std::string exceptionMessage();
STANDIN_API size_t exceptionsChained();
STANDIN_API void clearException();
// What php_output_write (PHP's output layer, echo's way out) wrote since the last call, taken.
STANDIN_API std::string takeOutput();

}  // namespace standin

#endif
