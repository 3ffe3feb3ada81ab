#include <corvane/ZendArray.h>

#include <corvane/recursion.h>
#include "dump_width.h"
#include "value_dump.h"

#include <fmt/ostream.h>

#include <cstdint>
#include <ostream>
#include <vector>

namespace engine = corvane::engine;

// The engine's array destructor frees with the request allocator, so a persistent array's last
// reference empties it with zend_hash_destroy and frees the structure with free. Kept out of line
// (the last reference is the cold path), which also keeps the compiler from second-guessing counts
// that it cannot see, such as the extra reference the dump holds.
[[gnu::noinline]] void ZendArray::destroy(zend_array* array) {
    if (engine::isPersistent(array)) {
        zend_hash_destroy(array);
        engine::persistentFree(array);
    } else {
        zend_array_destroy(array);
    }
}

// --- Dump ----------------------------------------------------------------------------------------

namespace {

// One array of a dump under way: marked as being walked from its making to close(), where its walk
// stands, and its nesting level. The vector that holds the levels of a deep dump copies them (so
// the dump's own stack does not grow with the depth); only Levels closes a level, once.
class Level {
public:
    Level(zend_array* array, int indent)
        : array_(array),
          markedBefore_(corvane::recursion::enter(array)),
          at_(ZendArray::Items(engine::noSlots()).begin()),
          end_(at_),
          indent_(indent) {}

    void close() const { corvane::recursion::leave(array_, markedBefore_); }

    // Where the walk goes on: the first element (the slots are read now, after the header, as a
    // loop over items() reads them), or the one after the element it stopped on, once that
    // element's output is written.
    ZendArray::Items::iterator resume() {
        if (!started_) {
            const ZendArray::Items items(engine::usedSlots(array_));
            at_ = items.begin();
            end_ = items.end();
            started_ = true;
        } else {
            ++at_;
        }
        return at_;
    }
    // The walk stops on at, a nested array, to write it first.
    void stopAt(const ZendArray::Items::iterator& at) { at_ = at; }
    const ZendArray::Items::iterator& end() const { return end_; }
    int indent() const { return indent_; }

private:
    zend_array* array_;
    bool markedBefore_;
    bool started_ = false;
    ZendArray::Items::iterator at_;
    ZendArray::Items::iterator end_;
    int indent_;
};

// The levels of a dump: the outermost in place, the nested ones on the heap (a flat array's dump
// allocates nothing). Closes whatever is still open when the dump ends, by a throw too.
class Levels {
public:
    explicit Levels(zend_array* array, int indent) : outermost_(array, indent) {}
    ~Levels() {
        while (!nested_.empty()) pop();
        outermost_.close();
    }
    Levels(const Levels&) = delete;
    Levels& operator=(const Levels&) = delete;

    Level& innermost() { return nested_.empty() ? outermost_ : nested_.back(); }
    bool nested() const { return !nested_.empty(); }
    void push(zend_array* array, int indent) { nested_.emplace_back(array, indent); }
    void pop() {
        nested_.back().close();
        nested_.pop_back();
    }

private:
    Level outermost_;
    std::vector<Level> nested_;
};

void printHeader(std::ostream& out, zend_array* array, int indent) {
    fmt::print(out, "{:{}}array({}) {{", "", corvane::dumpWidth(indent), static_cast<uint64_t>(zend_array_count(array)));
}

}  // namespace

// Nested arrays are dumped by the same loop, one level of it each, so any depth dumps.
std::ostream& ZendArray::dump(std::ostream& out, int indent) const {
    const int width = corvane::dumpWidth(indent);
    zend_array* array = get();
    if (!array) {
        fmt::print(out, "{:{}}array(null)", "", width);
        return out;
    }
    Levels levels(array, indent);
    printHeader(out, array, indent);
    for (;;) {
        Level& level = levels.innermost();
        const int elementIndent = level.indent() + 1;
        const int elementWidth = corvane::dumpWidth(level.indent(), 2);
        // The level's elements up to the end, or up to a nested array, whose level comes next. The
        // walk's position is a local here, as in a loop over items(); level is not used once a
        // level is pushed.
        zend_array* nested = nullptr;
        ZendArray::Items::iterator at = level.resume();
        const ZendArray::Items::iterator end = level.end();
        for (; at != end; ++at) {
            const auto [key, value] = *at;
            out << "\n";
            if (key.isString()) {
                fmt::print(out, "{:{}}[\"{}\"]=>\n", "", elementWidth, static_cast<const char*>(key.get()->val));
            } else {
                fmt::print(out, "{:{}}[{}]=>\n", "", elementWidth, static_cast<uint64_t>(key.integer()));
            }
            if (engine::typeOf(value) != engine::kArray) {
                corvane::dumpValue(out, value, elementIndent);
            } else if (corvane::recursion::isMarked(value.value.arr)) {
                fmt::print(out, "{:{}}*RECURSION*", "", elementWidth);
            } else {
                nested = value.value.arr;
                level.stopAt(at);
                break;
            }
        }
        if (nested) {
            levels.push(nested, elementIndent);
            printHeader(out, nested, elementIndent);
            continue;
        }
        fmt::print(out, "\n{:{}}}}", "", corvane::dumpWidth(level.indent()));
        if (!levels.nested()) break;
        levels.pop();
    }
    return out;
}
