// The members defined in the headers are exported too, for callers that take their address or
// were not compiled with them inline. Defining this before the headers makes the compiler emit a
// copy of each in the library.
#define CORVANE_EMIT_INLINE_MEMBERS
#include <corvane/ZVal.h>
