// Hints for the optimiser, spelled for the compilers that know them and empty elsewhere.
#ifndef CORVANE_COMPILER_H
#define CORVANE_COMPILER_H

#if defined(__GNUC__)
#define CORVANE_LIKELY(condition) __builtin_expect(!!(condition), 1)
#define CORVANE_UNLIKELY(condition) __builtin_expect(!!(condition), 0)
// States a fact the code has just established, so the compiler need not test it again. A false
// fact is undefined behaviour: use it only where the lines before make it true.
#define CORVANE_KNOWN(condition) \
    do {                         \
        if (!(condition)) __builtin_unreachable(); \
    } while (0)
#else
#define CORVANE_LIKELY(condition) (condition)
#define CORVANE_UNLIKELY(condition) (condition)
#define CORVANE_KNOWN(condition) \
    do {                         \
    } while (0)
#endif

// For the small members whose callers' loops are the hot path (find-or-add with PHP's key rules):
// inlined whatever the optimiser's size estimate, so that what the call site knows (the initial
// value, the key's kind) folds away.
#if defined(__GNUC__)
#define CORVANE_ALWAYS_INLINE __attribute__((always_inline))
#else
#define CORVANE_ALWAYS_INLINE
#endif

#endif
