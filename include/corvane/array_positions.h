// ZendArray's positions (begin, end, rbegin, rend): iterators over the engine's Buckets, PHP 7.3.
// A part of <corvane/ZendArray.h>, which includes it; include that header, not this one.
#ifndef CORVANE_ARRAY_POSITIONS_H
#define CORVANE_ARRAY_POSITIONS_H

#ifndef CORVANE_ZENDARRAY_H
#error "include <corvane/ZendArray.h>, which brings this part of it"
#endif

#include <cstddef>
#include <iterator>

// Forward walk from the first bucket to one past the last used one. A walk's body may delete
// elements, the one it stands on included: deleting never moves the buckets, it only marks them
// (type 0) and may lower nNumUsed. Three rules keep a position valid through that:
// - Comparing or reading a position that stands on a deleted bucket first moves it forward to
//   the next live element, or to its bound (begin() may stand on a deleted bucket 0).
// - A step goes from the bucket the position stands on to the next live one after it: when the
//   body deleted the element under the position, the walk goes on with the element after it.
// - A position at its bound equals every other position at its bound: the walk's end, and also an
//   end() taken after a deletion at the tail lowered nNumUsed below this walk's bound.
// No bucket at or beyond the bound is ever read. A fresh begin() on a deleted bucket 0 looks like
// a position whose element was just deleted, and steps from there: compare or read it before
// stepping it without a comparison (std::next, std::advance).
class CORVANE_LOCAL ZendArray::Iterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Bucket;
    using difference_type = std::ptrdiff_t;
    using pointer = Bucket*;
    using reference = Bucket&;

    Iterator() : array(nullptr), current(nullptr), stop(nullptr) {}
#if CORVANE_HAS_POSITIONS
    Iterator(zend_array* array, Bucket* current)
        : array(array), current(current), stop(corvane::engine::bucketsEnd(array)) {}
#else
    // Made by hand from arData, a position would walk a list's bare zvals as Buckets.
    template <typename Refused = void>
    Iterator(zend_array*, Bucket*) : Iterator() {
        static_assert(corvane::walk::kNoBuckets<Refused>, CORVANE_POSITIONS_REFUSED);
    }
#endif

    reference operator*() const { return *live(); }
    pointer operator->() const { return live(); }
    Iterator& operator++() {
        ++current;
        return *this;
    }
    Iterator operator++(int) {
        Iterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const Iterator& other) const { return same(other); }
    bool operator!=(const Iterator& other) const { return !same(other); }

    zend_array* array;
    mutable Bucket* current;
    Bucket* stop;

private:
    // Moves current past deleted buckets, to stop at most, and returns it. The position is tested
    // first, and the loop entered only from a deleted bucket.
    Bucket* live() const {
        Bucket* at = seen();
        current = at;
        return at;
    }
    // Where live() would move current, without moving it: a comparison leaves the other position
    // as it is.
    Bucket* seen() const {
        Bucket* at = current;
        if (CORVANE_LIKELY(at == stop || !deleted(at))) return at;
        do ++at; while (at != stop && deleted(at));
        return at;
    }
    // Positions at their bounds are all equal; one at its bound never equals one on an element
    // (every live bucket lies below the bound of every position of its array); positions on
    // elements are equal when they stand on the same one. So a test against end() reads nothing
    // of end() but that it is at its bound, which the compiler sees, and costs one comparison.
    bool same(const Iterator& other) const {
        Bucket* at = live();
        Bucket* otherAt = other.seen();
        // Tells the compiler what live() found, so that the reads after a comparison need not
        // test the bucket again.
        CORVANE_KNOWN(at == stop || !deleted(at));
        if (at == stop) return otherAt == other.stop;
        return at == otherAt && otherAt != other.stop;
    }
    static bool deleted(const Bucket* bucket) {
        return corvane::engine::typeOf(bucket->val) == corvane::engine::kUndef;
    }
};

// Reverse walk from the last used bucket to one before the first, by the same three rules.
class CORVANE_LOCAL ZendArray::RIterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Bucket;
    using difference_type = std::ptrdiff_t;
    using pointer = Bucket*;
    using reference = Bucket&;

    RIterator() : array(nullptr), current(nullptr), stop(nullptr) {}
#if CORVANE_HAS_POSITIONS
    RIterator(zend_array* array, Bucket* current)
        : array(array), current(current), stop(corvane::engine::beforeFirstBucket(array)) {}
#else
    template <typename Refused = void>
    RIterator(zend_array*, Bucket*) : RIterator() {
        static_assert(corvane::walk::kNoBuckets<Refused>, CORVANE_POSITIONS_REFUSED);
    }
#endif

    reference operator*() const { return *live(); }
    pointer operator->() const { return live(); }
    RIterator& operator++() {
        --current;
        return *this;
    }
    RIterator operator++(int) {
        RIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const RIterator& other) const { return same(other); }
    bool operator!=(const RIterator& other) const { return !same(other); }

    zend_array* array;
    mutable Bucket* current;
    Bucket* stop;

private:
    Bucket* live() const {
        Bucket* at = seen();
        current = at;
        return at;
    }
    // Where live() would move current, without moving it: a comparison leaves the other position
    // as it is.
    Bucket* seen() const {
        Bucket* at = current;
        if (CORVANE_LIKELY(at == stop || !deleted(at))) return at;
        do --at; while (at != stop && deleted(at));
        return at;
    }
    bool same(const RIterator& other) const {
        Bucket* at = live();
        Bucket* otherAt = other.seen();
        CORVANE_KNOWN(at == stop || !deleted(at));
        if (at == stop) return otherAt == other.stop;
        return at == otherAt && otherAt != other.stop;
    }
    static bool deleted(const Bucket* bucket) {
        return corvane::engine::typeOf(bucket->val) == corvane::engine::kUndef;
    }
};

#if CORVANE_HAS_POSITIONS
inline ZendArray::Iterator ZendArray::begin() const {
    zend_array* array = get();
    return array ? Iterator(array, corvane::engine::firstBucket(array)) : Iterator();
}

inline ZendArray::Iterator ZendArray::end() const {
    zend_array* array = get();
    return array ? Iterator(array, corvane::engine::bucketsEnd(array)) : Iterator();
}

inline ZendArray::RIterator ZendArray::rbegin() const {
    zend_array* array = get();
    return array ? RIterator(array, corvane::engine::lastBucket(array)) : RIterator();
}

inline ZendArray::RIterator ZendArray::rend() const {
    zend_array* array = get();
    return array ? RIterator(array, corvane::engine::beforeFirstBucket(array)) : RIterator();
}
#else
template <typename Refused>
ZendArray::Iterator ZendArray::begin() const {
    static_assert(corvane::walk::kNoBuckets<Refused>, CORVANE_POSITIONS_REFUSED);
    return Iterator();
}
template <typename Refused>
ZendArray::Iterator ZendArray::end() const {
    static_assert(corvane::walk::kNoBuckets<Refused>, CORVANE_POSITIONS_REFUSED);
    return Iterator();
}
template <typename Refused>
ZendArray::RIterator ZendArray::rbegin() const {
    static_assert(corvane::walk::kNoBuckets<Refused>, CORVANE_POSITIONS_REFUSED);
    return RIterator();
}
template <typename Refused>
ZendArray::RIterator ZendArray::rend() const {
    static_assert(corvane::walk::kNoBuckets<Refused>, CORVANE_POSITIONS_REFUSED);
    return RIterator();
}
#endif

#endif
