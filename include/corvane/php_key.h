// ZendArray::PhpKey: array keys as PHP code reads them, and the members that take them.
// A part of <corvane/ZendArray.h>, which includes it; include that header, not this one.
#ifndef CORVANE_PHP_KEY_H
#define CORVANE_PHP_KEY_H

#ifndef CORVANE_ZENDARRAY_H
#error "include <corvane/ZendArray.h>, which brings this part of it"
#endif

#include <string_view>

// A key as PHP reads an array key. A string that is a decimal integer in its one canonical form
// ("42", "-5", "0"; not "042", "-0", "+5", " 5", "42 " or out of the 64-bit range) is that integer;
// any other string is a string key, "" included. Decided once, when the key is made. A string key
// refers to the caller's bytes or ZendString, which must outlive the key (a statement, as a rule).
class CORVANE_LOCAL ZendArray::PhpKey {
public:
    enum class Kind { None, Integer, Bytes, String };

    // Any integer, as the integer forms take it.
    template <typename Int, corvane::IfIntegerArgument<Int> = 0>
    explicit PhpKey(Int index) : kind_(Kind::Integer), index_(static_cast<unsigned long long>(index)) {}
    // The view's bytes; a view with a null data pointer is no key.
    explicit PhpKey(std::string_view text) { fromBytes(text); }
    // A null pointer is no key.
    explicit PhpKey(const char* text) { fromBytes(text ? std::string_view(text) : std::string_view()); }
    // A string key keeps the handle's string, whose cached hash the engine then reuses, and which
    // the array may keep as its key. An empty handle is no key.
    explicit PhpKey(const ZendString& key) { fromString(key.get()); }
    // The same for a string lent by the engine (not counted); null is no key.
    explicit PhpKey(zend_string* key) { fromString(key); }
    // A value used as a key, as array_count_values and array_flip take them: a string by the rules
    // above, an integer as it is, a reference by what it refers to; any other value is no key.
    explicit PhpKey(const zval& value) {
        const zval* v = &value;
        if (corvane::engine::typeOf(*v) == corvane::engine::kReference) v = &v->value.ref->val;
        const uint8_t type = corvane::engine::typeOf(*v);
        if (type == corvane::engine::kLong) {
            kind_ = Kind::Integer;
            index_ = static_cast<unsigned long long>(v->value.lval);
        } else if (type == corvane::engine::kString) {
            fromString(v->value.str);
        }
    }

    // No key (refused by every operation), an integer key, or a string key (its bytes in view()).
    Kind kind() const { return kind_; }
    bool isInteger() const { return kind_ == Kind::Integer; }
    bool isString() const { return kind_ == Kind::Bytes || kind_ == Kind::String; }
    // The integer key as the engine stores it (-5 as 18446744073709551611); 0 for other keys.
    unsigned long long integer() const { return index_; }
    // The string key's bytes; a null view for other keys.
    std::string_view view() const { return bytes_; }
    // Whether the key is one: false for a null or empty source, and for a value of another type.
    bool isValid() const { return kind_ != Kind::None; }
    // The engine string of a string key given as one (a ZendString, a zend_string*, a value); null
    // for other keys, and for bytes.
    zend_string* string() const { return kind_ == Kind::String ? string_ : nullptr; }

    // Whether text is a decimal integer as PHP reads array keys (ZEND_HANDLE_NUMERIC_STR), and
    // which: the digits, after one optional '-', without a leading zero unless the whole key is "0",
    // within -9223372036854775808 to 9223372036854775807. index gets the value as stored.
    static bool integerString(std::string_view text, unsigned long long& index) {
        const char* at = text.data();
        const char* const end = at + text.size();
        if (at == end) return false;
        // Most string keys are words: the first byte decides, as in the engine's inline test.
        if (CORVANE_LIKELY(*at > '9' || (*at < '0' && *at != '-'))) return false;
        const bool negative = *at == '-';
        if (negative) ++at;
        const size_t digits = static_cast<size_t>(end - at);
        // 19 digits hold every 64-bit integer; a leading zero is a string key ("0" alone is not).
        if (digits == 0 || digits > 19 || (*at == '0' && text.size() > 1)) return false;
        unsigned long long value = 0;
        for (; at != end; ++at) {
            const unsigned digit = static_cast<unsigned char>(*at) - static_cast<unsigned>('0');
            if (digit > 9) return false;
            value = value * 10 + digit;
        }
        constexpr unsigned long long kMax = 9223372036854775807ull;
        if (negative ? value - 1 > kMax : value > kMax) return false;
        index = negative ? 0 - value : value;
        return true;
    }

private:
    void fromString(zend_string* str) {
        if (!str) return;
        const std::string_view text(str->val, str->len);
        if (integerString(text, index_)) {
            kind_ = Kind::Integer;
        } else {
            kind_ = Kind::String;
            bytes_ = text;
            string_ = str;
        }
    }
    void fromBytes(std::string_view text) {
        if (!text.data()) return;
        if (integerString(text, index_)) {
            kind_ = Kind::Integer;
        } else {
            kind_ = Kind::Bytes;
            bytes_ = text;
        }
    }

    Kind kind_ = Kind::None;
    unsigned long long index_ = 0;
    std::string_view bytes_;
    zend_string* string_ = nullptr;
};

// --- PHP's key rules -----------------------------------------------------------------------------
// A string key given as bytes reaches the engine's str functions even when empty: "" is a PHP key.

inline bool ZendArray::storeUnder(zend_string* k, ZVal& value, bool update) {
    namespace engine = corvane::engine;
    if (!writable(value)) return false;
    zval local;
    value.detach(local);
    if (keyFitsTable(get(), k)) {
        return stored(update ? engine::hashUpdate(get(), k, &local) : engine::hashAdd(get(), k, &local), local);
    }
    return stored(update ? engine::hashStrUpdate(get(), k->val, k->len, &local)
                         : engine::hashStrAdd(get(), k->val, k->len, &local),
                  local);
}

inline bool ZendArray::add(const PhpKey& key, ZVal value) {
    switch (key.kind()) {
        case PhpKey::Kind::Integer:
            return add(key.integer(), std::move(value));
        case PhpKey::Kind::String:
            return storeUnder(key.string(), value, false);
        case PhpKey::Kind::Bytes: {
            if (!writable(value)) return false;
            zval local;
            value.detach(local);
            return stored(corvane::engine::hashStrAdd(get(), key.view().data(), key.view().size(), &local), local);
        }
        default:
            return false;
    }
}

inline bool ZendArray::insert(const PhpKey& key, ZVal value) {
    switch (key.kind()) {
        case PhpKey::Kind::Integer:
            return insert(key.integer(), std::move(value));
        case PhpKey::Kind::String:
            return storeUnder(key.string(), value, true);
        case PhpKey::Kind::Bytes: {
            if (!writable(value)) return false;
            zval local;
            value.detach(local);
            return stored(corvane::engine::hashStrUpdate(get(), key.view().data(), key.view().size(), &local),
                          local);
        }
        default:
            return false;
    }
}

inline ZVal ZendArray::at(const PhpKey& key) const {
    switch (key.kind()) {
        case PhpKey::Kind::Integer:
            return at(key.integer());
        case PhpKey::Kind::String:
            if (isNull()) return ZVal();
            return copyOf(corvane::engine::hashFind(get(), key.string()));
        case PhpKey::Kind::Bytes:
            if (isNull()) return ZVal();
            return copyOf(corvane::engine::hashStrFind(get(), key.view().data(), key.view().size()));
        default:
            return ZVal();
    }
}

inline bool ZendArray::contains(const PhpKey& key) const {
    switch (key.kind()) {
        case PhpKey::Kind::Integer:
            return contains(key.integer());
        case PhpKey::Kind::String:
            return !isNull() && corvane::engine::hashFind(get(), key.string()) != nullptr;
        case PhpKey::Kind::Bytes:
            return !isNull() && corvane::engine::hashStrFind(get(), key.view().data(), key.view().size()) != nullptr;
        default:
            return false;
    }
}

inline bool ZendArray::remove(const PhpKey& key) {
    switch (key.kind()) {
        case PhpKey::Kind::Integer:
            return remove(key.integer());
        case PhpKey::Kind::String:
            return !isNull() && !isImmutable() && corvane::engine::hashDel(get(), key.string());
        case PhpKey::Kind::Bytes:
            return !isNull() && !isImmutable() &&
                   corvane::engine::hashStrDel(get(), key.view().data(), key.view().size());
        default:
            return false;
    }
}

inline zval* ZendArray::findOrAdd(const PhpKey& key, ZVal initial) {
    switch (key.kind()) {
        case PhpKey::Kind::Integer:
            return findOrAdd(key.integer(), std::move(initial));
        case PhpKey::Kind::String:
            if (!writable(initial)) return nullptr;
            return findOrAddString(key.string(), initial);
        case PhpKey::Kind::Bytes:
            if (!writable(initial)) return nullptr;
            return findOrAddBytes(key.view().data(), key.view().size(), initial);
        default:
            return nullptr;
    }
}

#endif
