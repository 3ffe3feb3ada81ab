// Marks the classes that libcorvane exports; everything else in the library stays hidden.
#ifndef CORVANE_EXPORT_H
#define CORVANE_EXPORT_H

#if defined(_WIN32)
#define CORVANE_API
#define CORVANE_LOCAL
#else
#define CORVANE_API __attribute__((visibility("default")))
// For inline-only helper classes nested in exported ones: each user keeps its own copies.
#define CORVANE_LOCAL __attribute__((visibility("hidden")))
#endif

#endif
