// The engine's two allocators, as the library uses them. Neither returns on exhaustion.
#ifndef CORVANE_SRC_ENGINE_MEMORY_H
#define CORVANE_SRC_ENGINE_MEMORY_H

#include <corvane/engine.h>

#include <cstdlib>

namespace corvane::memory {

// Request memory: lives at most until the engine ends the current request.
inline void* requestAlloc(size_t size) {
#if defined(CORVANE_USES_PHP_HEADERS)
    return emalloc(size);
#else
    return _emalloc(size);
#endif
}

inline void requestFree(void* ptr) {
#if defined(CORVANE_USES_PHP_HEADERS)
    efree(ptr);
#else
    _efree(ptr);
#endif
}

// Persistent (process) memory: the engine's malloc, given back with the standard free.
inline void* persistentAlloc(size_t size) { return __zend_malloc(size); }

inline void persistentFree(void* ptr) { std::free(ptr); }

}  // namespace corvane::memory

#endif
