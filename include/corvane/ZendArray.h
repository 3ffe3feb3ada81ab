// ZendArray: an owning, counting handle on one engine array (zend_array), with keyed access and
// iteration over its buckets.
#ifndef CORVANE_ZENDARRAY_H
#define CORVANE_ZENDARRAY_H

#include <corvane/ZVal.h>
#include <corvane/ZendRefCounted.h>
#include <corvane/ZendString.h>

#include <cstddef>
#include <iterator>
#include <string_view>
#include <type_traits>

// Copies share the array (one more reference); nothing is ever duplicated, so a write through one
// handle is seen through every handle on the same array. Immutable arrays are held without counting.
class CORVANE_API ZendArray : public ZendRefCounted {
public:
    class Iterator;
    class RIterator;

    // --- Lifecycle -------------------------------------------------------------------------------

    // Empty handle; no array is created.
    ZendArray();
    // A new engine array (count 1) sized for the low 32 bits of the hint.
    explicit ZendArray(unsigned long long size);
    // Any integer size hint; spares `ZendArray(0)` from meaning a null pointer.
    template <typename Int, std::enable_if_t<std::is_integral_v<Int> && !std::is_same_v<Int, bool>, int> = 0>
    explicit ZendArray(Int size) : ZendArray(static_cast<unsigned long long>(size)) {}
    // Shares array (+1 unless immutable); the caller keeps its own reference. Null gives an empty handle.
    ZendArray(zend_array* array);
    ZendArray(const ZendArray& other);
    ZendArray(ZendArray&& other) noexcept;
    ~ZendArray() override;

    ZendArray& operator=(ZendArray&& other) noexcept;
    ZendArray& operator=(const ZendArray& other);
    // Gives up the held array and shares this one; assigning the held pointer keeps it alive.
    ZendArray& operator=(zend_array* array);

    // Drops the reference; the last one destroys the array and its elements.
    void release() override;
    // Writes the array and all its elements as indented text; arrays that contain themselves are
    // shown as *RECURSION*.
    std::ostream& dump(std::ostream& out, int indent = 0) const override;

    // Lends the held array; the handle keeps its reference.
    zend_array* get() const;
    // Gives the held array and its reference to the caller; the handle is left empty.
    zend_array* detach();

    // Element count as the engine reports it; 0 for an empty handle.
    unsigned long long size() const;
    bool isEmpty() const;

    // A new engine array with count 1, owned by the caller.
    static zend_array* zendNewArray(unsigned int size);
    // Gives back one reference of a raw, non-null array, destroying it with the last one.
    static void zendArrayRelease(zend_array* array);

    // --- Keyed access ----------------------------------------------------------------------------
    // Every value passed in is consumed: stored (the array owns its reference) or given back by the
    // end of the call. Refused without calling the engine: an empty handle, an immutable array (for
    // writes), an undefined value (for stores), an empty ZendString key handle, an empty string_view
    // or C-string key. A ZendString holding "" is a valid key. String keys are bytes: "5" and 5 are
    // different keys.

    // Stores value only if the key is new.
    bool add(const ZendString& key, ZVal value);
    bool add(std::string_view key, ZVal value);
    bool add(const char* key, ZVal value);
    bool add(unsigned long long key, ZVal value);
    // Appends under the next free integer key.
    bool add(ZVal value);
    // Stores value whether or not the key exists; an existing element keeps its place.
    bool insert(const ZendString& key, ZVal value);
    bool insert(std::string_view key, ZVal value);
    bool insert(const char* key, ZVal value);
    bool insert(unsigned long long key, ZVal value);

    // A copy of the element's value with its own reference; undefined when there is none.
    ZVal at(const ZendString& key) const;
    ZVal at(std::string_view key) const;
    ZVal at(const char* key) const;
    ZVal at(unsigned long long key) const;

    bool contains(const ZendString& key) const;
    bool contains(std::string_view key) const;
    bool contains(const char* key) const;
    bool contains(unsigned long long key) const;

    // Deletes the element; the array gives its value's reference back.
    bool remove(const ZendString& key);
    bool remove(std::string_view key);
    bool remove(const char* key);
    bool remove(unsigned long long key);

    // Any integer key (negative ones as the engine stores them); spares `at(0)` from meaning a null
    // C string.
    template <typename Int>
    using IfIntegerKey = std::enable_if_t<std::is_integral_v<Int> && !std::is_same_v<Int, bool>, int>;
    template <typename Int, IfIntegerKey<Int> = 0>
    bool add(Int key, ZVal value) { return add(static_cast<unsigned long long>(key), std::move(value)); }
    template <typename Int, IfIntegerKey<Int> = 0>
    bool insert(Int key, ZVal value) { return insert(static_cast<unsigned long long>(key), std::move(value)); }
    template <typename Int, IfIntegerKey<Int> = 0>
    ZVal at(Int key) const { return at(static_cast<unsigned long long>(key)); }
    template <typename Int, IfIntegerKey<Int> = 0>
    bool contains(Int key) const { return contains(static_cast<unsigned long long>(key)); }
    template <typename Int, IfIntegerKey<Int> = 0>
    bool remove(Int key) { return remove(static_cast<unsigned long long>(key)); }

    // --- Iteration -------------------------------------------------------------------------------
    // Positions in the bucket storage, in insertion order (or reversed). Walking passes over the
    // buckets of deleted elements; dereferencing gives the engine's Bucket (val, h, key) without
    // counting anything. Storing into the array may move its buckets and invalidates positions.

    Iterator begin() const;
    Iterator end() const;
    RIterator rbegin() const;
    RIterator rend() const;

protected:
    // Adds one reference to array unless it is null or immutable; returns it.
    static zend_array* copy(zend_array* array);
};

// Forward walk from the first bucket to one past the last used one.
class CORVANE_LOCAL ZendArray::Iterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Bucket;
    using difference_type = std::ptrdiff_t;
    using pointer = Bucket*;
    using reference = Bucket&;

    Iterator() : array(nullptr), current(nullptr), stop(nullptr) {}
    Iterator(zend_array* array, Bucket* current)
        : array(array), current(current), stop(array->arData + static_cast<size_t>(array->nNumUsed)) {}

    reference operator*() const { return *live(); }
    pointer operator->() const { return live(); }
    Iterator& operator++() {
        current = live() + 1;
        return *this;
    }
    Iterator operator++(int) {
        Iterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const Iterator& other) const { return live() == other.live(); }
    bool operator!=(const Iterator& other) const { return live() != other.live(); }

    zend_array* array;
    Bucket* current;
    Bucket* stop;

private:
    // The first bucket at or after current that holds an element, or stop.
    Bucket* live() const {
        Bucket* at = current;
        while (at != stop && corvane::engine::typeOf(at->val) == corvane::engine::kUndef) ++at;
        return at;
    }
};

// Reverse walk from the last used bucket to one before the first.
class CORVANE_LOCAL ZendArray::RIterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Bucket;
    using difference_type = std::ptrdiff_t;
    using pointer = Bucket*;
    using reference = Bucket&;

    RIterator() : array(nullptr), current(nullptr), stop(nullptr) {}
    RIterator(zend_array* array, Bucket* current) : array(array), current(current), stop(array->arData - 1) {}

    reference operator*() const { return *live(); }
    pointer operator->() const { return live(); }
    RIterator& operator++() {
        current = live() - 1;
        return *this;
    }
    RIterator operator++(int) {
        RIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const RIterator& other) const { return live() == other.live(); }
    bool operator!=(const RIterator& other) const { return live() != other.live(); }

    zend_array* array;
    Bucket* current;
    Bucket* stop;

private:
    // The first bucket at or before current that holds an element, or stop.
    Bucket* live() const {
        Bucket* at = current;
        while (at != stop && corvane::engine::typeOf(at->val) == corvane::engine::kUndef) --at;
        return at;
    }
};

#endif
