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
// Reads arrays[a] through a view (its walk and its lookups) and checks what it sees against the
// model; the counts, checked after every step, must not have moved (borrows.cpp).
void borrowedRead(size_t a);
// values[v] = a view's owned() copy of one element of arrays[a].
void borrowedKeep(size_t a, size_t v, uint8_t which);
// Writes into the array a value holds through a LentArray: a shared or immutable array is
// separated into the value first, and the array's count stays 1 while it is written.
void lentWrite(Program& program);

}  // namespace fuzz

#endif
