// The example extension's array functions written with raw Zend macros, as a seasoned extension
// author writes them: the other side of the real-engine benchmark (bench/extension/compare.php).
// Each does what its corvane twin does, with the same engine calls where the engine has a choice
// (one lookup a count; PHP's key rules through ZEND_HANDLE_NUMERIC_STR).
//
//   raw_count_values(array $values): array   array_count_values, one lookup a value
//   raw_flip(array $values): array           array_flip
//   raw_count_words(string $text): array     corvane_count_words
//   raw_sum(array $values): int|float         corvane_sum: every number, nested arrays included
//   raw_append(array &$to, array $from)       corvane_append: appends every element of $from
#include <php.h>
#include <zend_exceptions.h>

namespace {

// Finds the key or stores null under it, in one probe: PHP 8.2 has the call, PHP 7.3 does not
// (a find, then a store that does not search again).
zval* lookupIndex(HashTable* ht, zend_ulong h) {
#if PHP_VERSION_ID >= 80000
    return zend_hash_index_lookup(ht, h);
#else
    zval* found = zend_hash_index_find(ht, h);
    if (found) return found;
    zval null;
    ZVAL_NULL(&null);
    return zend_hash_index_add_new(ht, h, &null);
#endif
}

zval* lookupString(HashTable* ht, zend_string* key) {
#if PHP_VERSION_ID >= 80000
    return zend_hash_lookup(ht, key);
#else
    zval* found = zend_hash_find(ht, key);
    if (found) return found;
    zval null;
    ZVAL_NULL(&null);
    return zend_hash_add_new(ht, key, &null);
#endif
}

zval* lookupBytes(HashTable* ht, const char* key, size_t len) {
    zval* found = zend_hash_str_find(ht, key, len);
    if (found) return found;
    zval null;
    ZVAL_NULL(&null);
    return zend_hash_str_add_new(ht, key, len, &null);
}

void count(zval* slot) {
    if (Z_TYPE_P(slot) == IS_NULL) {
        ZVAL_LONG(slot, 1);
    } else {
        Z_LVAL_P(slot)++;
    }
}

}  // namespace

PHP_FUNCTION(raw_count_values) {
    HashTable* values;
    ZEND_PARSE_PARAMETERS_START(1, 1)
    Z_PARAM_ARRAY_HT(values)
    ZEND_PARSE_PARAMETERS_END();

    array_init(return_value);
    HashTable* counts = Z_ARRVAL_P(return_value);
    zval* entry;
    ZEND_HASH_FOREACH_VAL(values, entry) {
        ZVAL_DEREF(entry);
        if (Z_TYPE_P(entry) == IS_LONG) {
            count(lookupIndex(counts, static_cast<zend_ulong>(Z_LVAL_P(entry))));
        } else if (Z_TYPE_P(entry) == IS_STRING) {
            zend_ulong index;
            if (ZEND_HANDLE_NUMERIC_STR(Z_STRVAL_P(entry), Z_STRLEN_P(entry), index)) {
                count(lookupIndex(counts, index));
            } else {
                count(lookupString(counts, Z_STR_P(entry)));
            }
        } else {
#if PHP_VERSION_ID >= 80000
            php_error_docref(nullptr, E_WARNING, "Can only count string and integer values, entry skipped");
#else
            php_error_docref(nullptr, E_WARNING, "Can only count STRING and INTEGER values!");
#endif
        }
    }
    ZEND_HASH_FOREACH_END();
}

PHP_FUNCTION(raw_flip) {
    HashTable* values;
    ZEND_PARSE_PARAMETERS_START(1, 1)
    Z_PARAM_ARRAY_HT(values)
    ZEND_PARSE_PARAMETERS_END();

    array_init_size(return_value, zend_hash_num_elements(values));
    zend_ulong numberKey;
    zend_string* stringKey;
    zval* entry;
    zval data;
    ZEND_HASH_FOREACH_KEY_VAL(values, numberKey, stringKey, entry) {
        ZVAL_DEREF(entry);
        if (stringKey) {
            ZVAL_STR_COPY(&data, stringKey);
        } else {
            ZVAL_LONG(&data, numberKey);
        }
        if (Z_TYPE_P(entry) == IS_LONG) {
            zend_hash_index_update(Z_ARRVAL_P(return_value), Z_LVAL_P(entry), &data);
        } else if (Z_TYPE_P(entry) == IS_STRING) {
            zend_symtable_update(Z_ARRVAL_P(return_value), Z_STR_P(entry), &data);
        } else {
            zval_ptr_dtor(&data);
            php_error_docref(nullptr, E_WARNING, "Can only flip string and integer values, entry skipped");
        }
    }
    ZEND_HASH_FOREACH_END();
}

PHP_FUNCTION(raw_count_words) {
    zend_string* text;
    ZEND_PARSE_PARAMETERS_START(1, 1)
    Z_PARAM_STR(text)
    ZEND_PARSE_PARAMETERS_END();

    array_init_size(return_value, 0);
    HashTable* counts = Z_ARRVAL_P(return_value);
    const char* at = ZSTR_VAL(text);
    const char* const end = at + ZSTR_LEN(text);
    while (at <= end) {
        const char* space = static_cast<const char*>(memchr(at, ' ', static_cast<size_t>(end - at)));
        const char* stop = space ? space : end;
        const size_t len = static_cast<size_t>(stop - at);
        if (len != 0) {
            zend_ulong index;
            // The word is not zero-terminated: the macro reads past it only for a lone "-", one
            // byte, which is the space after it or the text's own terminating zero.
            if (ZEND_HANDLE_NUMERIC_STR(at, len, index)) {
                count(lookupIndex(counts, index));
            } else {
                count(lookupBytes(counts, at, len));
            }
        }
        at = stop + 1;
    }
}

namespace {

// Integers while they fit, then floats, as PHP's + does; false (an exception thrown) for anything
// that is not a number, and for an array inside itself, as array_walk_recursive refuses it.
struct RawSum {
    zend_long integer = 0;
    double real = 0;
    bool isReal = false;
};

bool sumInto(HashTable* values, RawSum& total) {
    if (GC_IS_RECURSIVE(values)) {
        zend_throw_exception(nullptr, "Recursion detected", 0);
        return false;
    }
    const bool mark = !(GC_FLAGS(values) & GC_IMMUTABLE);
    if (mark) GC_PROTECT_RECURSION(values);
    bool ok = true;
    zval* entry;
    ZEND_HASH_FOREACH_VAL(values, entry) {
        ZVAL_DEREF(entry);
        if (Z_TYPE_P(entry) == IS_ARRAY) {
            ok = sumInto(Z_ARRVAL_P(entry), total);
        } else if (Z_TYPE_P(entry) == IS_DOUBLE) {
            if (!total.isReal) total.real = static_cast<double>(total.integer);
            total.isReal = true;
            total.real += Z_DVAL_P(entry);
        } else if (Z_TYPE_P(entry) == IS_LONG) {
            zend_long next;
            if (total.isReal) {
                total.real += static_cast<double>(Z_LVAL_P(entry));
            } else if (!__builtin_add_overflow(total.integer, Z_LVAL_P(entry), &next)) {
                total.integer = next;
            } else {
                total.real = static_cast<double>(total.integer) + static_cast<double>(Z_LVAL_P(entry));
                total.isReal = true;
            }
        } else {
            zend_throw_exception(nullptr, "Not a long value", 0);
            ok = false;
        }
        if (!ok) break;
    }
    ZEND_HASH_FOREACH_END();
    if (mark) GC_UNPROTECT_RECURSION(values);
    return ok;
}

}  // namespace

PHP_FUNCTION(raw_sum) {
    HashTable* values;
    ZEND_PARSE_PARAMETERS_START(1, 1)
    Z_PARAM_ARRAY_HT(values)
    ZEND_PARSE_PARAMETERS_END();

    RawSum total;
    if (!sumInto(values, total)) return;
    if (total.isReal) RETURN_DOUBLE(total.real);
    RETURN_LONG(total.integer);
}

PHP_FUNCTION(raw_append) {
    zval* to;
    HashTable* from;
    ZEND_PARSE_PARAMETERS_START(2, 2)
    Z_PARAM_ARRAY_EX(to, 0, 1)
    Z_PARAM_ARRAY_HT(from)
    ZEND_PARSE_PARAMETERS_END();

    HashTable* target = Z_ARRVAL_P(to);
    zval* entry;
    ZEND_HASH_FOREACH_VAL(from, entry) {
        ZVAL_DEREF(entry);
        Z_TRY_ADDREF_P(entry);
        zend_hash_next_index_insert(target, entry);
    }
    ZEND_HASH_FOREACH_END();
}

ZEND_BEGIN_ARG_INFO_EX(arginfo_raw_append, 0, 0, 2)
ZEND_ARG_INFO(1, to)
ZEND_ARG_INFO(0, from)
ZEND_END_ARG_INFO()

ZEND_BEGIN_ARG_INFO_EX(arginfo_raw_one, 0, 0, 1)
ZEND_ARG_INFO(0, values)
ZEND_END_ARG_INFO()

static const zend_function_entry corvane_raw_twins_functions[] = {
    PHP_FE(raw_count_values, arginfo_raw_one)
    PHP_FE(raw_flip, arginfo_raw_one)
    PHP_FE(raw_count_words, arginfo_raw_one)
    PHP_FE(raw_sum, arginfo_raw_one)
    PHP_FE(raw_append, arginfo_raw_append)
    PHP_FE_END
};

zend_module_entry corvane_raw_twins_module_entry = {
    STANDARD_MODULE_HEADER,
    "corvane_raw_twins",
    corvane_raw_twins_functions,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    "0.1.0",
    STANDARD_MODULE_PROPERTIES,
};

extern "C" {
ZEND_GET_MODULE(corvane_raw_twins)
}
