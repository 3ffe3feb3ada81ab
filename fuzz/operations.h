// Operations of the refcount fuzz program that have files of their own.
#ifndef CORVANE_FUZZ_OPERATIONS_H
#define CORVANE_FUZZ_OPERATIONS_H

#include "program.h"

namespace fuzz {

// Walks an array's positions (begin/end, rbegin/rend, items(), items().reversed()), deleting
// elements between steps, and checks each element visited (walks.cpp).
void walkDeleting(Program& program);
// Marks an array as the engine does while it dumps it, dumps it or an array holding it, and checks
// the output's *RECURSION* places and that the mark stays (dumps.cpp).
void markedDump(Program& program);

}  // namespace fuzz

#endif
