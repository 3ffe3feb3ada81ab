// PHP's headers first, then corvane's, as an extension includes them.
#include <php.h>
#include <corvane/ZendArray.h>

// Sums the integers of an array by a walk that builds for every engine version.
extern "C" long long corvane_package_sum(zend_array* array) {
    long long sum = 0;
    for (auto [key, value] : ZendArray(array).items()) {
        if (Z_TYPE(value) == IS_LONG) sum += Z_LVAL(value);
    }
    return sum;
}
