// Kept apart from the cases, so that no call to it can be inlined or analysed away.
#include "cases.h"

namespace bench {

void opaque(const void*) {}

}  // namespace bench
