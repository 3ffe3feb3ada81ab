#include <corvane/ZendArray.h>

#include "recursion_mark.h"
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

// One array of a dump under way: marked as being walked from open() to close(), where its walk
// stands, and its nesting level. Copyable, so that the levels of a deep dump live in a vector on
// the heap and the dump's own stack does not grow with the depth.
class Level {
public:
    Level(zend_array* array, int indent)
        : array_(array),
          markedBefore_(corvane::recursion::enter(array)),
          at_(ZendArray::Items(engine::usedSlots(array)).begin()),
          end_(ZendArray::Items(engine::usedSlots(array)).end()),
          indent_(indent) {}

    void close() const { corvane::recursion::leave(array_, markedBefore_); }

    bool done() const { return at_ == end_; }
    // The next element; the walk moves past it.
    ZendArray::Item next() { return *at_++; }
    int indent() const { return indent_; }

private:
    zend_array* array_;
    bool markedBefore_;
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
        if (level.done()) {
            fmt::print(out, "\n{:{}}}}", "", corvane::dumpWidth(level.indent()));
            if (!levels.nested()) break;
            levels.pop();
            continue;
        }
        const auto [key, value] = level.next();
        const int elementWidth = corvane::dumpWidth(level.indent(), 2);
        out << "\n";
        if (key.isString()) {
            fmt::print(out, "{:{}}[\"{}\"]=>\n", "", elementWidth, static_cast<const char*>(key.get()->val));
        } else {
            fmt::print(out, "{:{}}[{}]=>\n", "", elementWidth, static_cast<uint64_t>(key.integer()));
        }
        if (engine::typeOf(value) != engine::kArray) {
            corvane::dumpValue(out, value, level.indent() + 1);
            continue;
        }
        zend_array* nested = value.value.arr;
        if (corvane::recursion::isMarked(nested)) {
            fmt::print(out, "{:{}}*RECURSION*", "", elementWidth);
            continue;
        }
        const int nestedIndent = level.indent() + 1;  // level is not to be used once a level is pushed
        levels.push(nested, nestedIndent);
        printHeader(out, nested, nestedIndent);
    }
    return out;
}
