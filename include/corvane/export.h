// Marks what libcorvane exports; everything else in the library stays hidden.
#ifndef CORVANE_EXPORT_H
#define CORVANE_EXPORT_H

#if defined(_WIN32)
#define CORVANE_API
#define CORVANE_LOCAL
#define CORVANE_INLINE
#else
#define CORVANE_API __attribute__((visibility("default")))
// For inline-only helpers in exported classes (the iterators, overloads that only forward): each
// user keeps its own copies, and the library exports none.
#define CORVANE_LOCAL __attribute__((visibility("hidden")))
// Hot members are defined in the headers, so that a call compiles to the few instructions the
// engine's own macros cost. The library still exports a copy of each: the one source that defines
// CORVANE_EMIT_INLINE_MEMBERS makes the compiler emit them all.
#if defined(CORVANE_EMIT_INLINE_MEMBERS)
#define CORVANE_INLINE __attribute__((visibility("default"), used))
#else
#define CORVANE_INLINE __attribute__((visibility("default")))
#endif
#endif

#endif
