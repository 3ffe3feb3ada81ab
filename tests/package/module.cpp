// A PHP module of several source files, each including corvane in its own way: ext.cpp PHP's
// headers first, second.cpp corvane's first, own.cpp (WITH_OWN) neither PHP's headers nor their flags.
#include <php.h>

#include <string>

extern "C" long long corvane_package_sum(zend_array* array);
extern "C" void corvane_package_join(zend_array* array, std::string* out);
#if defined(WITH_OWN)
extern "C" long long corvane_package_own_sum(zend_array* array);
#endif

// "sum joined own-sum" of the array's integers and strings; own-sum is "-" without own.cpp.
PHP_FUNCTION(corvane_package_walk) {
    zval* array;
    if (zend_parse_parameters(ZEND_NUM_ARGS(), "a", &array) == FAILURE) return;
    std::string text = std::to_string(corvane_package_sum(Z_ARRVAL_P(array))) + " ";
    corvane_package_join(Z_ARRVAL_P(array), &text);
#if defined(WITH_OWN)
    text += " " + std::to_string(corvane_package_own_sum(Z_ARRVAL_P(array)));
#else
    text += " -";
#endif
    RETURN_STRINGL(text.data(), text.size());
}

ZEND_BEGIN_ARG_INFO_EX(corvane_package_walk_arginfo, 0, 0, 1)
ZEND_ARG_INFO(0, array)
ZEND_END_ARG_INFO()

static const zend_function_entry corvane_package_functions[] = {
    PHP_FE(corvane_package_walk, corvane_package_walk_arginfo) PHP_FE_END};

static zend_module_entry corvane_package_module = {
    STANDARD_MODULE_HEADER, "corvane_package", corvane_package_functions, nullptr, nullptr, nullptr, nullptr,
    nullptr, "1", STANDARD_MODULE_PROPERTIES};

extern "C" ZEND_DLEXPORT zend_module_entry* get_module() { return &corvane_package_module; }
