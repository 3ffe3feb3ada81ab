#include <corvane/ZVal.h>

#include "value_dump.h"

#include <cstdint>
#include <stdexcept>

void ZVal::throwNotA(int conversion) {
    static constexpr const char* kMessages[] = {"Not a boolean value", "Not a long value", "Not a double value",
                                                "Not a string", "Not an array"};
    throw std::runtime_error(kMessages[conversion]);
}

void ZVal::releasePersistent(zend_refcounted* counted, unsigned int typeInfo) {
    zval value;
    value.value.counted = counted;
    value.u1.type_info = typeInfo;
    switch (corvane::engine::typeOf(value)) {
        case corvane::engine::kString: {
            ZendString last = ZendString::take(value.value.str);
            last.release();
            break;
        }
        case corvane::engine::kArray:
            ZendArray::zendArrayRelease(value.value.arr);
            break;
        default:
            zval_ptr_dtor(&value);
            break;
    }
}

// --- Dump ----------------------------------------------------------------------------------------

std::ostream& ZVal::dump(std::ostream& out, int indent) const { return corvane::dumpValue(out, value_, indent); }
