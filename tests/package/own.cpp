// Neither PHP's headers nor their flags: corvane alone, as a file of helpers may include it.
#include <corvane/ZendArray.h>

extern "C" long long corvane_package_own_sum(zend_array* array) {
    long long sum = 0;
    for (auto [key, value] : ZendArray(array).items()) {
        if (corvane::engine::typeOf(value) == corvane::engine::kLong) sum += ZVal(value).asLong();
    }
    return sum;
}
