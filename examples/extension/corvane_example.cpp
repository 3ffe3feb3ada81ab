// A PHP extension written with corvane, for PHP 7.3 and 8.2 alike: the functions extension authors
// write every day. Arguments are read through views and written in place through loans, values are
// built and kept with owning handles; no count is touched by hand, and PHP's own macros are left
// for parameter parsing, return values, warnings and the module's frame.
//
//   corvane_count_words(string $text): array   how often each space-separated word occurs
//   corvane_nested(): array                    a nested array built in C++
//   corvane_dump(mixed $value): void           corvane's dump of any value, to PHP's output
//   corvane_hold(mixed $value): void           keeps a copy of the value for the rest of the request
//                                              (refused while a drain or forget writes the kept array)
//   corvane_held(): mixed                      a copy of the kept value (null when none)
//   corvane_release_held(): void               lets the kept value go (refused likewise)
//   corvane_forget(string $key): bool          removes one element of the kept array
//   corvane_drain(array &$a): array            empties $a, element by element; the keys in order
//   corvane_drain_held(): array                the same for the kept array
//
// Element destructors run PHP code, and that code may call these functions again while one of
// them is still at work: the held value and the drains are written for that.
//
// Arrays received, references and exceptions (the block further down):
//   corvane_count_values(array $values): array   array_count_values, one lookup a value
//   corvane_flip(array $values): array           array_flip
//   corvane_sum(array $values): int|float        the sum of every number, nested arrays included
//   corvane_with_total(array $values): array     a changed copy of the argument; the caller's stays
//   corvane_increment_refs(array $values): array +1 on every element, through references too
//   corvane_append(array &$to, array $from)      appends every element of $from to $to
//   corvane_increment(&$number, int $by = 1)     a by-reference argument, changed
//   corvane_assign(&$variable, mixed $value)     $variable = $value, typed properties included
//   corvane_link(&$variable): array              [&$variable]
//   corvane_raise(string $class, string $message) throws the PHP class named, from C++: Error,
//                                                TypeError, ArgumentCountError, ValueError (PHP 8)
//                                                or the extension's own CorvaneExampleException
#include <php.h>  // PHP's headers before corvane's: corvane then uses PHP's own declarations
#include <corvane/ZVal.h>
#include <corvane/exceptions.h>
#include <corvane/output.h>

#include <ext/standard/info.h>
#include <zend_exceptions.h>

#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

// The value corvane_hold keeps, per request (and per thread in a thread-safe PHP). It lives in raw
// storage: a ZVal object here would be constructed when the module loads and destroyed at process
// exit, after the engine that owns its value is gone. RINIT constructs it, RSHUTDOWN destroys it.
ZEND_BEGIN_MODULE_GLOBALS(corvane_example)
alignas(ZVal) unsigned char held[sizeof(ZVal)];
unsigned loans;  // handles on the held array that count nothing (HeldArrayLoan)
ZEND_END_MODULE_GLOBALS(corvane_example)

ZEND_DECLARE_MODULE_GLOBALS(corvane_example)

namespace {

#define CORVANE_EXAMPLE_G(field) ZEND_MODULE_GLOBALS_ACCESSOR(corvane_example, field)

ZVal& held() {
    return *std::launder(reinterpret_cast<ZVal*>(CORVANE_EXAMPLE_G(held)));
}

// Splits on single spaces; empty words (from repeated spaces) are not counted.
ZendArray countWords(const ZendString& text) {
    ZendArray counts(0);
    size_t start = 0;
    const std::string_view all = text.view();
    while (start <= all.size()) {
        size_t space = all.find(' ', start);
        size_t end = space == std::string_view::npos ? all.size() : space;
        std::string_view word = all.substr(start, end - start);
        // One lookup a word, and "42" counted under the integer key 42, as PHP code would.
        if (!word.empty()) corvane::LentValue(counts.findOrAdd(ZendArray::PhpKey(word), ZVal(0))).increment();
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

// Removes every element, from the first to the last, and returns their keys in the order visited.
// Removing an element runs its destructor, which may delete other elements of the same array: the
// walk passes over every element deleted before it reaches it, and deleting the element it stands
// on is allowed, so no element is visited twice and no deleted one at all. (Storing into the array
// during the walk would move its elements; these destructors only delete.) The array must have
// count 1: a table that something else shares is never written, and a debug PHP asserts on it.
ZendArray drain(ZendArray& array) {
    ZendArray visited(0);
    for (auto [key, value] : array.items()) {
        if (key.isString()) {
            ZendString name(key.get(), false);  // shared: the key outlives its element
            visited.add(ZVal(name));
            array.remove(name);
        } else {
            visited.add(ZVal(static_cast<zend_long>(key.integer())));
            array.remove(key.integer());
        }
    }
    return visited;
}

// A handle on the held array that adds no count: the held value keeps the array's one reference,
// so the array may be written, and the handle gives nothing back when it ends. corvane_hold and
// corvane_release_held refuse to let the array go while a loan is out (drain() runs destructors).
// A fatal error in such a destructor ends the request by a long jump over C++ frames, which skips
// every destructor there, this one's count of loans included: the rest of that request (shutdown
// functions) then finds the held value refused.
class HeldArrayLoan {
public:
    HeldArrayLoan() : array_(heldArray(), true) {
        ++CORVANE_EXAMPLE_G(loans);
    }
    ~HeldArrayLoan() {
        array_.detach();
        --CORVANE_EXAMPLE_G(loans);
    }
    HeldArrayLoan(const HeldArrayLoan&) = delete;
    HeldArrayLoan& operator=(const HeldArrayLoan&) = delete;

    ZendArray& array() { return array_; }

private:
    static zend_array* heldArray() {
        const corvane::ZValView value(held());
        return value.isArray() ? value.asArray().get() : nullptr;
    }

    ZendArray array_;
};

// Whether the held value may be replaced; raises a PHP exception when not.
bool heldMayChange(const char* function) {
    if (CORVANE_EXAMPLE_G(loans) == 0) return true;
    zend_throw_exception_ex(nullptr, 0, "%s(): the held array is being written (a drain or a forget)", function);
    return false;
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

    corvane::PhpOutput out;  // where echo writes: ob_start() catches it
    ZVal(*value).dump(out, 0) << '\n';
    (void)return_value;  // returns null: the engine set it before the call
}

PHP_FUNCTION(corvane_hold) {
    zval* value;
    ZEND_PARSE_PARAMETERS_START(1, 1)
    Z_PARAM_ZVAL(value)
    ZEND_PARSE_PARAMETERS_END();

    if (!heldMayChange("corvane_hold")) return;
    ZVal copy(*value);
    // The held array is the extension's own, never shared with PHP variables, so that
    // corvane_forget and corvane_drain_held may write into it.
    corvane::separateArray(*copy.get());
    // The old value is taken out before it is destroyed: its destructors see the new one.
    held() = std::move(copy);
    (void)return_value;  // returns null
}

PHP_FUNCTION(corvane_held) {
    ZEND_PARSE_PARAMETERS_NONE();
    ZVal copy = held();
    corvane::separateArray(*copy.get());  // PHP gets its own array, as above
    if (copy) copy.detach(*return_value);            // nothing held: the null the engine set
}

PHP_FUNCTION(corvane_release_held) {
    ZEND_PARSE_PARAMETERS_NONE();
    if (!heldMayChange("corvane_release_held")) return;
    held().release();  // undefined before the destructors run: they see null
    (void)return_value;  // returns null
}

PHP_FUNCTION(corvane_forget) {
    zend_string* key;
    ZEND_PARSE_PARAMETERS_START(1, 1)
    Z_PARAM_STR(key)
    ZEND_PARSE_PARAMETERS_END();

    // Through a loan: the held array keeps count 1, and lives on while the element's destructor runs.
    HeldArrayLoan loan;
    RETURN_BOOL(loan.array().remove(ZendString(key, false)));
}

PHP_FUNCTION(corvane_drain) {
    zval* array;
    ZEND_PARSE_PARAMETERS_START(1, 1)
    Z_PARAM_ARRAY_EX2(array, 0, 1, 0)  // through the reference, as it is
    ZEND_PARSE_PARAMETERS_END();

    // The drain works on the array alone: it is taken out of $a meanwhile, separated (an array
    // shared with other variables, or immutable, is replaced by the engine's copy, as PHP does
    // before writing; the copies elsewhere stay as they are), and put back once it is empty.
    // Destructors that run meanwhile find $a an empty array; what they store in $a is let go after
    // the drain.
    ZendArray own = corvane::takeArray(*array);
    ZendArray keys = drain(own);
    ZVal meanwhile = ZVal::take(*array);
    ZVal(std::move(own)).detach(*array);
    ZVal(std::move(keys)).detach(*return_value);
}

PHP_FUNCTION(corvane_drain_held) {
    ZEND_PARSE_PARAMETERS_NONE();
    HeldArrayLoan loan;
    ZendArray keys = loan.array() ? drain(loan.array()) : ZendArray(0);
    ZVal(std::move(keys)).detach(*return_value);
}

PHP_RINIT_FUNCTION(corvane_example) {
    (void)type;
    (void)module_number;
#if defined(ZTS) && defined(COMPILE_DL_CORVANE_EXAMPLE)
    ZEND_TSRMLS_CACHE_UPDATE();
#endif
    new (CORVANE_EXAMPLE_G(held)) ZVal();
    CORVANE_EXAMPLE_G(loans) = 0;
    return SUCCESS;
}

// After the engine has called every object's __destruct, before it frees the request's memory.
PHP_RSHUTDOWN_FUNCTION(corvane_example) {
    (void)type;
    (void)module_number;
    held().release();
    held().~ZVal();
    return SUCCESS;
}

// ==== Arrays received, references and exceptions ================================================
// Every function below runs its body through corvane::runGuarded: a C++ exception (a conversion
// that fails, or the function's own) reaches PHP code as an Exception with the same message.

namespace {

// array_count_values's and array_flip's warnings, in the words of the engine's version.
#if PHP_VERSION_ID >= 80000
constexpr const char* kCannotCount = "Can only count string and integer values, entry skipped";
constexpr const char* kCannotFlip = "Can only flip string and integer values, entry skipped";
#else
constexpr const char* kCannotCount = "Can only count STRING and INTEGER values!";
constexpr const char* kCannotFlip = "Can only flip STRING and INTEGER values!";
#endif

// $counts[$value]++ with PHP's key rules; a value that is neither string nor integer is skipped
// with array_count_values's warning. The values are read where they lie (items() and PhpKey count
// nothing).
ZendArray countValues(corvane::ZendArrayView values) {
    ZendArray counts(0);
    for (auto [key, value] : values.items()) {
        (void)key;
        ZendArray::PhpKey countKey(value);  // a string or an integer, read through a reference
        if (!countKey.isValid()) {
            php_error_docref(nullptr, E_WARNING, "%s", kCannotCount);
            continue;
        }
        corvane::LentValue(counts.findOrAdd(countKey, ZVal(0))).increment();
    }
    return counts;
}

// $flipped[$value] = $key, as array_flip: other values are skipped with its warning.
ZendArray flip(corvane::ZendArrayView values) {
    ZendArray flipped(values.size());
    for (auto [key, value] : values.items()) {
        ZendArray::PhpKey newKey(value);
        if (!newKey.isValid()) {
            php_error_docref(nullptr, E_WARNING, "%s", kCannotFlip);
            continue;
        }
        flipped.insert(newKey, key.isString() ? ZVal(ZendString(key.get(), false))
                                              : ZVal(static_cast<long long>(key.integer())));
    }
    return flipped;
}

// Integers while they fit, then floats, as PHP's + does.
struct Sum {
    long long integer = 0;
    double real = 0;
    bool isReal = false;

    void add(corvane::ZValView number) {
        if (number.isDouble()) {
            toReal();
            real += number.asDouble();
        } else if (isReal) {
            real += static_cast<double>(number.asLong());
        } else {
            long long next;
            if (!__builtin_add_overflow(integer, number.asLong(), &next)) {
                integer = next;
            } else {
                toReal();
                real += static_cast<double>(number.asLong());
            }
        }
    }
    void toReal() {
        if (!isReal) real = static_cast<double>(integer);
        isReal = true;
    }
};

// Every number in values and the arrays inside it; anything else is refused by asLong(). The
// elements are read where they lie, through references, counting nothing. An array that contains
// itself (through a reference: $a[] = &$a) is refused too, as array_walk_recursive refuses it,
// instead of recursing until the stack runs out.
void sum(corvane::ZendArrayView values, Sum& total) {
    corvane::RecursionGuard guard(values.get());
    if (guard.wasMarked()) throw std::runtime_error("Recursion detected");
    for (auto [key, value] : values.items()) {
        (void)key;
        const corvane::ZValView element(value);
        if (element.isArray()) {
            sum(element.asArray(), total);
        } else {
            total.add(element);
        }
    }
}

ZVal sumOf(corvane::ZendArrayView values) {
    Sum total;
    sum(values, total);
    return total.isReal ? ZVal(total.real) : ZVal(total.integer);
}

}  // namespace

PHP_FUNCTION(corvane_count_values) {
    zend_array* values;
    ZEND_PARSE_PARAMETERS_START(1, 1)
    Z_PARAM_ARRAY_HT(values)
    ZEND_PARSE_PARAMETERS_END();

    corvane::runGuarded(return_value, [&] { ZVal(countValues(values)).detach(*return_value); });
}

PHP_FUNCTION(corvane_flip) {
    zend_array* values;
    ZEND_PARSE_PARAMETERS_START(1, 1)
    Z_PARAM_ARRAY_HT(values)
    ZEND_PARSE_PARAMETERS_END();

    corvane::runGuarded(return_value, [&] { ZVal(flip(values)).detach(*return_value); });
}

PHP_FUNCTION(corvane_sum) {
    zend_array* values;
    ZEND_PARSE_PARAMETERS_START(1, 1)
    Z_PARAM_ARRAY_HT(values)
    ZEND_PARSE_PARAMETERS_END();

    corvane::runGuarded(return_value, [&] { sumOf(values).detach(*return_value); });
}

// The argument is the caller's array, shared: separate() swaps in the engine's copy before the
// write, so the caller's array never changes.
PHP_FUNCTION(corvane_with_total) {
    zend_array* values;
    ZEND_PARSE_PARAMETERS_START(1, 1)
    Z_PARAM_ARRAY_HT(values)
    ZEND_PARSE_PARAMETERS_END();

    corvane::runGuarded(return_value, [&] {
        ZendArray result(values);
        result.separate();
        result.insert("total", sumOf(result));
        ZVal(std::move(result)).detach(*return_value);
    });
}

// Elements that are references are written through them: the variables they refer to change, in
// the caller too, as in PHP ($copy[$k]++ on an element made with &$x). The others change in the
// copy only.
PHP_FUNCTION(corvane_increment_refs) {
    zend_array* values;
    ZEND_PARSE_PARAMETERS_START(1, 1)
    Z_PARAM_ARRAY_HT(values)
    ZEND_PARSE_PARAMETERS_END();

    corvane::runGuarded(return_value, [&] {
        ZendArray result(values);
        result.separate();
        for (auto [key, value] : result.items()) {
            ZVal element(value);
            const long long next = corvane::ZValView(value).asLong() + 1;
            if (element.isReference()) {
                element.assign(ZVal(next));
            } else if (key.isString()) {
                result.insert(ZendString(key.get(), false), ZVal(next));  // replaces in place: no bucket moves
            } else {
                result.insert(key.integer(), ZVal(next));
            }
        }
        ZVal(std::move(result)).detach(*return_value);
    });
}

// $to[] = $value for every element of $from, into the caller's array: the loan separates it first
// when another variable shares it, as PHP does, and then writes with no count of its own.
PHP_FUNCTION(corvane_append) {
    zval* to;
    zend_array* from;
    ZEND_PARSE_PARAMETERS_START(2, 2)
    Z_PARAM_ARRAY_EX2(to, 0, 1, 0)  // through the reference, as it is
    Z_PARAM_ARRAY_HT(from)
    ZEND_PARSE_PARAMETERS_END();

    corvane::runGuarded([&] {
        corvane::LentArray target(*to);
        for (auto [key, value] : corvane::ZendArrayView(from).items()) {
            (void)key;
            target.add(corvane::ZValView(value).owned());
        }
    });
}

// A by-reference argument arrives as a reference: assign() writes into the caller's variable.
PHP_FUNCTION(corvane_increment) {
    zval* number;
    zend_long by = 1;
    ZEND_PARSE_PARAMETERS_START(1, 2)
    Z_PARAM_ZVAL(number)
    Z_PARAM_OPTIONAL
    Z_PARAM_LONG(by)
    ZEND_PARSE_PARAMETERS_END();

    corvane::runGuarded([&] {
        ZVal variable(*number);  // shares the reference
        variable.assign(ZVal(corvane::ZValView(variable).asLong() + by));
    });
}

// $variable = $value through a by-reference argument. The new value is in place before the old one
// goes, so the old value's destructor sees the new one; a typed property (PHP 8.2) first checks
// and coerces the value as PHP does, or throws TypeError and keeps what it had.
PHP_FUNCTION(corvane_assign) {
    zval* variable;
    zval* value;
    ZEND_PARSE_PARAMETERS_START(2, 2)
    Z_PARAM_ZVAL(variable)
    Z_PARAM_ZVAL(value)
    ZEND_PARSE_PARAMETERS_END();

    corvane::runGuarded([&] { ZVal(*variable).assign(ZVal(*value)); });
}

// [&$variable]: the array shares the argument's reference.
PHP_FUNCTION(corvane_link) {
    zval* variable;
    ZEND_PARSE_PARAMETERS_START(1, 1)
    Z_PARAM_ZVAL(variable)
    ZEND_PARSE_PARAMETERS_END();

    corvane::runGuarded(return_value, [&] {
        ZendArray result(1);
        result.add(ZVal::makeReference(ZVal(*variable)));
        ZVal(std::move(result)).detach(*return_value);
    });
}

// The extension's own exception class, registered when the module starts (shared by all requests).
zend_class_entry* corvaneExampleException = nullptr;

namespace {

// The class a C++ exception raises in PHP, by the name PHP code gives; refused names are an Exception.
zend_class_entry* throwableNamed(std::string_view name) {
    if (name == "Error") return zend_ce_error;
    if (name == "TypeError") return zend_ce_type_error;
    if (name == "ArgumentCountError") return zend_ce_argument_count_error;
#if PHP_VERSION_ID >= 80000
    if (name == "ValueError") return zend_ce_value_error;
#endif
    if (name == "CorvaneExampleException") return corvaneExampleException;
    if (name == "Throwable") return zend_ce_throwable;  // an interface: raised as Exception
    throw std::invalid_argument("corvane_raise(): no such class: " + std::string(name));
}

}  // namespace

PHP_FUNCTION(corvane_raise) {
    zend_string* name;
    zend_string* message;
    ZEND_PARSE_PARAMETERS_START(2, 2)
    Z_PARAM_STR(name)
    Z_PARAM_STR(message)
    ZEND_PARSE_PARAMETERS_END();

    corvane::runGuarded(return_value, [&] {
        const ZendString text(message, false);
        throw corvane::PhpException(throwableNamed(ZendString(name, false).view()), std::string(text.view()));
    });
}

ZEND_BEGIN_ARG_INFO_EX(arginfo_corvane_raise, 0, 0, 2)
ZEND_ARG_INFO(0, class)
ZEND_ARG_INFO(0, message)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_INFO_EX(arginfo_corvane_values, 0, 0, 1)
ZEND_ARG_INFO(0, values)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_INFO_EX(arginfo_corvane_increment, 0, 0, 1)
ZEND_ARG_INFO(1, number)
ZEND_ARG_INFO(0, by)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_INFO_EX(arginfo_corvane_append, 0, 0, 2)
ZEND_ARG_INFO(1, to)
ZEND_ARG_INFO(0, from)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_INFO_EX(arginfo_corvane_assign, 0, 0, 2)
ZEND_ARG_INFO(1, variable)
ZEND_ARG_INFO(0, value)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_INFO_EX(arginfo_corvane_link, 0, 0, 1)
ZEND_ARG_INFO(1, variable)
ZEND_END_ARG_INFO()

// ==== End of arrays received, references and exceptions =========================================

PHP_MINIT_FUNCTION(corvane_example) {
    (void)type;
    (void)module_number;
    zend_class_entry entry;
    INIT_CLASS_ENTRY(entry, "CorvaneExampleException", nullptr);
    corvaneExampleException = zend_register_internal_class_ex(&entry, zend_ce_exception);
    return SUCCESS;
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

ZEND_BEGIN_ARG_INFO_EX(arginfo_corvane_hold, 0, 0, 1)
ZEND_ARG_INFO(0, value)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_INFO_EX(arginfo_corvane_none, 0, 0, 0)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_INFO_EX(arginfo_corvane_forget, 0, 0, 1)
ZEND_ARG_INFO(0, key)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_INFO_EX(arginfo_corvane_drain, 0, 0, 1)
ZEND_ARG_INFO(1, array)
ZEND_END_ARG_INFO()

static const zend_function_entry corvane_example_functions[] = {
    PHP_FE(corvane_count_words, arginfo_corvane_count_words)
    PHP_FE(corvane_nested, arginfo_corvane_nested)
    PHP_FE(corvane_dump, arginfo_corvane_dump)
    PHP_FE(corvane_hold, arginfo_corvane_hold)
    PHP_FE(corvane_held, arginfo_corvane_none)
    PHP_FE(corvane_release_held, arginfo_corvane_none)
    PHP_FE(corvane_forget, arginfo_corvane_forget)
    PHP_FE(corvane_drain, arginfo_corvane_drain)
    PHP_FE(corvane_drain_held, arginfo_corvane_none)
    // Arrays received, references and exceptions
    PHP_FE(corvane_count_values, arginfo_corvane_values)
    PHP_FE(corvane_flip, arginfo_corvane_values)
    PHP_FE(corvane_sum, arginfo_corvane_values)
    PHP_FE(corvane_with_total, arginfo_corvane_values)
    PHP_FE(corvane_increment_refs, arginfo_corvane_values)
    PHP_FE(corvane_increment, arginfo_corvane_increment)
    PHP_FE(corvane_append, arginfo_corvane_append)
    PHP_FE(corvane_assign, arginfo_corvane_assign)
    PHP_FE(corvane_link, arginfo_corvane_link)
    PHP_FE(corvane_raise, arginfo_corvane_raise)
    // End of arrays received, references and exceptions
    PHP_FE_END
};

zend_module_entry corvane_example_module_entry = {
    STANDARD_MODULE_HEADER,
    "corvane_example",
    corvane_example_functions,
    PHP_MINIT(corvane_example),
    nullptr,
    PHP_RINIT(corvane_example),
    PHP_RSHUTDOWN(corvane_example),
    PHP_MINFO(corvane_example),
    "0.1.0",
    PHP_MODULE_GLOBALS(corvane_example),
    nullptr,
    nullptr,
    nullptr,
    STANDARD_MODULE_PROPERTIES_EX,
};

#if defined(ZTS) && defined(COMPILE_DL_CORVANE_EXAMPLE)
ZEND_TSRMLS_CACHE_DEFINE()
#endif

extern "C" {
ZEND_GET_MODULE(corvane_example)
}
