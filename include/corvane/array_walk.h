// ZendArray::items(): the reading walk over both layouts of an array's slots.
// A part of <corvane/ZendArray.h>, which includes it; include that header, not this one.
#ifndef CORVANE_ARRAY_WALK_H
#define CORVANE_ARRAY_WALK_H

#ifndef CORVANE_ZENDARRAY_H
#error "include <corvane/ZendArray.h>, which brings this part of it"
#endif

#include <cstddef>
#include <iterator>
#include <utility>

// --- Reading walk --------------------------------------------------------------------------------
// One walk for both layouts of an array's used slots: Buckets, and on PHP 8.2 a packed array's bare
// zvals, read through the engine boundary's slot facts. Every position of items() stands on a live
// element: deleted slots (type code 0) are passed over from the first position on, so a step is one
// bound test and one type test, as in the engine's loop. The walk's bounds are read once, when
// items() is called: storing into the array during a walk may move its slots (walk, then store);
// deleting does not, and the element at a position may be deleted before the position is stepped.

// The key of one element: a string, borrowed (never counted), or an integer. It reads the element's
// slot, as the value does, so it is valid until the element is deleted or the slots move.
class CORVANE_LOCAL ZendArray::Key {
public:
    Key(const char* slot, const corvane::engine::SlotLayout& layout) : slot_(slot), layout_(layout) {}

    bool isString() const { return get() != nullptr; }
    bool isInteger() const { return get() == nullptr; }
    // The key string itself, lent: ZendString(key.get(), false) shares it. Null for an integer key.
    zend_string* get() const { return corvane::engine::slotKey(slot_, layout_); }
    // The key's bytes, zero bytes included; a null view for an integer key.
    std::string_view view() const {
        const zend_string* str = get();
        return str ? std::string_view(str->val, str->len) : std::string_view();
    }
    // The integer key as the engine stores it (-1 as 18446744073709551615); 0 for a string key.
    unsigned long long integer() const { return get() ? 0 : corvane::engine::slotIndex(slot_, layout_); }

private:
    const char* slot_;
    corvane::engine::SlotLayout layout_;
};

// One element as a walk reads it. The value is the slot's own zval, read-only, as stored (an engine
// reference or indirect slot is not followed); ZVal(value) makes a counted copy. Writes go through
// add and insert, which keep the array's memory kinds apart.
struct CORVANE_LOCAL ZendArray::Item {
    Key key;
    const zval& value;
};

namespace corvane::walk {

// How the positions of items() step, over either layout of slots. A position is a slot address
// (mark), the bound of the walk and whether an element is left (more). Each step ends in one of two
// places, an element found or the bound reached, and says which in more: the loop's own test is
// then that flag, which the compiler folds into the step, leaving the engine's loop of one bound
// and one type test a slot. The compilers keep that loop in one register for different shapes of
// the step (docs/benchmarks.md has the figures): clang++ when a slot is tested before the mark
// moves past it, g++ when the mark moves first; each costs the other compiler one to four
// instructions an element. So the mark is either the element or the slot beyond it in the walk's
// direction, to suit each. Neither ever forms an address before the first slot.
#if defined(__clang__)
constexpr bool kTestBeforeMove = true;
#else
constexpr bool kTestBeforeMove = false;
#endif

// A position of a walk, forward from the first slot or backward from the last.
template <bool kForward>
class CORVANE_LOCAL Position {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = ZendArray::Item;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = ZendArray::Item;

    // The first element from start towards bound; start == bound gives the end of the walk.
    Position(char* start, char* bound, const engine::SlotLayout& layout)
        : mark_(start), bound_(bound), layout_(layout), more_(seek()) {}

    ZendArray::Item operator*() const {
        const char* slot = element();
        return ZendArray::Item{ZendArray::Key(slot, layout_), engine::slotValue(slot)};
    }
    Position& operator++() {
        if (kTestBeforeMove) mark_ = next(mark_);  // off the element, where the search begins
        more_ = seek();
        return *this;
    }
    Position operator++(int) {
        Position before = *this;
        ++*this;
        return before;
    }
    // All finished walks are equal, whatever their mark: a test against end() is the flag alone.
    bool operator==(const Position& other) const {
        return more_ == other.more_ && (!more_ || mark_ == other.mark_);
    }
    bool operator!=(const Position& other) const { return !(*this == other); }

private:
    // One slot on in the walk's direction.
    char* next(char* slot) const { return kForward ? slot + layout_.step : slot - layout_.step; }
    // The element's slot: the mark itself, or the slot just before it in memory.
    const char* element() const { return kForward == kTestBeforeMove ? mark_ : mark_ - layout_.step; }
    static bool deleted(const char* slot) {
        return CORVANE_UNLIKELY(engine::typeOf(engine::slotValue(slot)) == engine::kUndef);
    }
    // Moves the mark to the next element from where the search begins; false at the bound.
    bool seek() {
        if (kTestBeforeMove) {
            for (; mark_ != bound_; mark_ = next(mark_)) {
                if (!deleted(element())) return true;
            }
            return false;
        }
        while (mark_ != bound_) {
            mark_ = next(mark_);
            if (!deleted(element())) return true;
        }
        return false;
    }

    char* mark_;
    char* bound_;
    engine::SlotLayout layout_;
    bool more_;
};

}  // namespace corvane::walk

// The live elements from the first used slot to the last.
class CORVANE_LOCAL ZendArray::Items {
public:
    using iterator = corvane::walk::Position<true>;

    explicit Items(const corvane::engine::UsedSlots& slots) : slots_(slots) {}

    iterator begin() const { return iterator(slots_.first, slots_.stop, slots_.layout); }
    iterator end() const { return iterator(slots_.stop, slots_.stop, slots_.layout); }
    // The same elements from the last to the first.
    ReversedItems reversed() const;

private:
    corvane::engine::UsedSlots slots_;
};

// The live elements from the last used slot to the first.
class CORVANE_LOCAL ZendArray::ReversedItems {
public:
    using iterator = corvane::walk::Position<false>;

    explicit ReversedItems(const corvane::engine::UsedSlots& slots) : slots_(slots) {}

    iterator begin() const { return iterator(slots_.stop, slots_.first, slots_.layout); }
    iterator end() const { return iterator(slots_.first, slots_.first, slots_.layout); }

private:
    corvane::engine::UsedSlots slots_;
};

inline ZendArray::ReversedItems ZendArray::Items::reversed() const { return ReversedItems(slots_); }

// A walk together with the handle whose array it walks.
template <typename Walk>
class CORVANE_LOCAL ZendArray::Kept {
public:
    using iterator = typename Walk::iterator;

    explicit Kept(ZendArray&& array) : array_(std::move(array)), walk_(array_.items()) {}

    iterator begin() const { return walk_.begin(); }
    iterator end() const { return walk_.end(); }
    // for (… : makeWords().items().reversed()) keeps the handle too; a named walk lends its own.
    Kept<ReversedItems> reversed() && { return Kept<ReversedItems>(std::move(array_), walk_.reversed()); }
    ReversedItems reversed() const& { return walk_.reversed(); }

private:
    template <typename>
    friend class Kept;
    Kept(ZendArray&& array, const Walk& walk) : array_(std::move(array)), walk_(walk) {}

    ZendArray array_;
    Walk walk_;
};

// An empty handle walks nothing.
inline ZendArray::Items ZendArray::items() const& {
    zend_array* array = get();
    if (!array) return Items(corvane::engine::noSlots());
    return Items(corvane::engine::usedSlots(array));
}

inline ZendArray::Kept<ZendArray::Items> ZendArray::items() && { return Kept<Items>(std::move(*this)); }

#endif
