// A PHP 7.3 extension written with corvane: the functions extension authors write every day,
// without a raw reference count in sight.
//
//   corvane_count_words(string $text): array   how often each space-separated word occurs
//   corvane_nested(): array                    a nested array built in C++
//   corvane_dump(mixed $value): void           corvane's dump of any value, to PHP's output
#include <php.h>  // PHP's headers before corvane's: corvane then uses PHP's own declarations
#include <corvane/ZVal.h>

#include <ext/standard/info.h>

#include <sstream>
#include <string>
#include <utility>

namespace {

// Splits on single spaces; empty words (from repeated spaces) are not counted.
ZendArray countWords(const ZendString& text) {
    ZendArray counts(0);
    size_t start = 0;
    while (start <= text.size()) {
        size_t space = text.find_first_of(' ', start);
        size_t end = space == ZendString::npos ? text.size() : space;
        std::string_view word = text.view().substr(start, end - start);
        if (!word.empty()) {
            ZVal seen = counts.at(word);
            counts.insert(word, ZVal(seen ? seen.asLong() + 1 : 1));
        }
        start = end + 1;
    }
    return counts;
}

// ["name" => "abc", 0 => 42, "list" => [1.5, true], 1 => null], built in C++.
ZendArray nested() {
    ZendArray list(2);                            // a new engine array, count 1
    list.add(ZVal(1.5));                          // appended under the next free key, 0
    list.add(ZVal::makeTrue());
    ZendArray result(8);
    result.add("name", ZVal(ZendString("abc")));  // the array now owns the string
    result.add(0, ZVal(42));                      // the integer key 0, not the string "0"
    result.add("list", ZVal(std::move(list)));    // moved in: no reference added
    result.add(1, ZVal::makeNull());
    return result;
}

}  // namespace

PHP_FUNCTION(corvane_count_words) {
    zend_string* text;
    ZEND_PARSE_PARAMETERS_START(1, 1)
    Z_PARAM_STR(text)
    ZEND_PARSE_PARAMETERS_END();

    // The parameter is borrowed: sharing it adds a reference that the handle gives back.
    ZVal(countWords(ZendString(text, false))).detach(*return_value);
}

PHP_FUNCTION(corvane_nested) {
    ZEND_PARSE_PARAMETERS_NONE();
    ZVal(nested()).detach(*return_value);  // the engine owns the array now
}

PHP_FUNCTION(corvane_dump) {
    zval* value;
    ZEND_PARSE_PARAMETERS_START(1, 1)
    Z_PARAM_ZVAL(value)
    ZEND_PARSE_PARAMETERS_END();

    std::ostringstream out;
    ZVal(*value).dump(out, 0) << '\n';
    const std::string text = out.str();
    PHPWRITE(text.data(), text.size());
    (void)return_value;  // returns null: the engine set it before the call
}

PHP_MINFO_FUNCTION(corvane_example) {
    (void)zend_module;
    php_info_print_table_start();
    php_info_print_table_row(2, "corvane example", "enabled");
    php_info_print_table_end();
}

ZEND_BEGIN_ARG_INFO_EX(arginfo_corvane_count_words, 0, 0, 1)
ZEND_ARG_INFO(0, text)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_INFO_EX(arginfo_corvane_nested, 0, 0, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_INFO_EX(arginfo_corvane_dump, 0, 0, 1)
ZEND_ARG_INFO(0, value)
ZEND_END_ARG_INFO()

static const zend_function_entry corvane_example_functions[] = {
    PHP_FE(corvane_count_words, arginfo_corvane_count_words)
    PHP_FE(corvane_nested, arginfo_corvane_nested)
    PHP_FE(corvane_dump, arginfo_corvane_dump)
    PHP_FE_END
};

zend_module_entry corvane_example_module_entry = {
    STANDARD_MODULE_HEADER,
    "corvane_example",
    corvane_example_functions,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    PHP_MINFO(corvane_example),
    "0.1.0",
    STANDARD_MODULE_PROPERTIES,
};

extern "C" {
ZEND_GET_MODULE(corvane_example)
}
