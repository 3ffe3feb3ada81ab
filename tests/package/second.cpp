// corvane's headers before PHP's, as a second source file of an extension may have them.
#include <corvane/ZendArray.h>
#include <php.h>

#include <string>

// Joins the strings of an array; on a packed array this reads PHP 8.2's bare-zval layout.
extern "C" void corvane_package_join(zend_array* array, std::string* out) {
    for (auto [key, value] : ZendArray(array).items()) {
        if (Z_TYPE(value) == IS_STRING) out->append(Z_STRVAL(value), Z_STRLEN(value));
    }
}
