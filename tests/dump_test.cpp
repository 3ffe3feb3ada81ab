// The indented text dump of values, strings and arrays.
#include "engine_facts.h"
#include "engine_test.h"

#include <corvane/output.h>

#include <climits>
#include <pthread.h>

#include <fmt/format.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <streambuf>

namespace {

using Dump = EngineTest;

template <typename T>
std::string dumped(const T& value, int indent = 0) {
    std::ostringstream out;
    value.dump(out, indent);
    return out.str();
}

constexpr const char* kWorkedExample =
    "array(4) {\n"
    "  [\"name\"]=>\n"
    "  string(3) \"abc\"\n"
    "  [0]=>\n"
    "  int(42)\n"
    "  [\"list\"]=>\n"
    "  array(2) {\n"
    "    [0]=>\n"
    "    double(1.5)\n"
    "    [1]=>\n"
    "    bool(true)\n"
    "  }\n"
    "  [1]=>\n"
    "  NULL\n"
    "}";

ZendArray workedExample() {
    ZendArray arr(8);
    arr.add("name", ZVal(ZendString("abc")));
    arr.add(0, ZVal(42));
    ZendArray list(2);
    list.add(ZVal(1.5));
    list.add(ZVal::makeTrue());
    arr.add("list", ZVal(std::move(list)));
    arr.add(1, ZVal::makeNull());
    return arr;
}

// A stream buffer that accepts limit bytes, then throws.
class FailingBuffer : public std::streambuf {
public:
    explicit FailingBuffer(size_t limit) : limit_(limit) {}
    size_t written() const { return written_; }

protected:
    int_type overflow(int_type ch) override {
        if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
        take(1);
        return ch;
    }
    std::streamsize xsputn(const char*, std::streamsize count) override {
        take(static_cast<size_t>(count));
        return count;
    }

private:
    void take(size_t count) {
        if (written_ + count > limit_) throw std::runtime_error("stream full");
        written_ += count;
    }
    size_t limit_;
    size_t written_ = 0;
};

TEST_F(Dump, WorkedExampleByteForByte) {
    ZVal value(workedExample());
    std::string text = dumped(value);
    EXPECT_EQ(text, kWorkedExample);
    EXPECT_EQ(text.size(), 157u);
    EXPECT_EQ(dumped(value.asArray()), kWorkedExample) << "a value holding an array writes what the array writes";

    host::startOutputCapture();
    {
        corvane::PhpOutput out;
        value.dump(out) << '\n';
    }
    EXPECT_EQ(host::takeOutput(), std::string(kWorkedExample) + "\n") << "through PHP's output layer, the same bytes";
}

TEST_F(Dump, EachDumpReturnsItsStream) {
    std::ostringstream out;
    EXPECT_EQ(&ZVal(1).dump(out, 0), &out);
    EXPECT_EQ(&ZendString("s").dump(out, 1), &out);
    EXPECT_EQ(&ZendString().dump(out, 1), &out);
    EXPECT_EQ(&ZendArray(0).dump(out, 1), &out);
    EXPECT_EQ(&ZendArray().dump(out, 1), &out);
}

TEST_F(Dump, EmptyHandlesAndStrings) {
    EXPECT_EQ(dumped(ZendString(), 2), "    string(null)");
    EXPECT_EQ(dumped(ZendArray(), 2), "    array(null)");
    EXPECT_EQ(dumped(ZendString(""), 1), "  string(0) \"\"");
    EXPECT_EQ(dumped(ZVal(ZendString("abc")), 1), "  string(3) \"abc\"");
    EXPECT_EQ(dumped(ZendArray(0)), "array(0) {\n}");
    EXPECT_EQ(dumped(ZendArray(0)).size(), 12u);
    EXPECT_EQ(dumped(ZendArray(0), 1), "  array(0) {\n  }");
}

TEST_F(Dump, ZeroBytesCutTheCharactersButNotTheLength) {
    const char bytes[] = {'a', '\0', 'b'};
    EXPECT_EQ(dumped(ZendString(std::string_view(bytes, 3))), "string(3) \"a\"");

    ZendArray array(8);
    array.add(ZendString(std::string_view(bytes, 3)), ZVal(1));
    EXPECT_EQ(dumped(array), "array(1) {\n  [\"a\"]=>\n  int(1)\n}");
}

TEST_F(Dump, ScalarsAndKinds) {
    EXPECT_EQ(dumped(ZVal()), "UNDEF");
    EXPECT_EQ(dumped(ZVal::makeNull(), 1), "  NULL");
    EXPECT_EQ(dumped(ZVal::makeFalse()), "bool(false)");
    EXPECT_EQ(dumped(ZVal::makeTrue()), "bool(true)");
    EXPECT_EQ(dumped(ZVal(std::numeric_limits<long long>::min())), "int(-9223372036854775808)");
    EXPECT_EQ(dumped(ZVal(1.0)), "double(1)");
    EXPECT_EQ(dumped(ZVal(0.1)), "double(0.1)");
    EXPECT_EQ(dumped(ZVal(1e20)), "double(1e+20)");
    EXPECT_EQ(dumped(ZVal(1234567.0)), "double(1.23457e+06)");
    EXPECT_EQ(dumped(ZVal(std::nan(""))), "double(nan)");
    EXPECT_EQ(dumped(ZVal(-std::numeric_limits<double>::infinity())), "double(-inf)");

    zval object = host::newObject();
    zval resource = host::newResource();
    zval reference = host::newReference(*ZVal(1).get());
    ZVal o = ZVal::take(object), r = ZVal::take(resource), ref = ZVal::take(reference);
    EXPECT_EQ(dumped(o), "OBJECT");
    EXPECT_EQ(dumped(r), "RESOURCE");
    EXPECT_EQ(dumped(ref, 1), "  REFERENCE");
    for (unsigned int code : {11u, 12u, 13u, 14u, 255u}) {
        ZVal odd;
        odd.get()->u1.type_info = code;
        const char* expected = code == 11 ? "CONSTANT_AST" : code == facts::kIndirect ? "INDIRECT" : "UNKNOWN";
        EXPECT_EQ(dumped(odd), expected) << code;
        odd.get()->u1.type_info = 0;
    }
}

TEST_F(Dump, IntegerKeysPrintUnsigned) {
    ZendArray array(8);
    array.add(-1, ZVal(1));
    EXPECT_EQ(dumped(array), "array(1) {\n  [18446744073709551615]=>\n  int(1)\n}");
}

TEST_F(Dump, AnArrayHoldingItselfPrintsRecursion) {
    ZendArray array(8);
    host::allowSharedWrites(array.get());
    ASSERT_TRUE(array.add(ZVal(array)));
    ASSERT_TRUE(array.add(ZVal(7)));
    unsigned int count = array.refCount();
    unsigned int flags = typeInfoOf(array.get());
    EXPECT_EQ(dumped(array), "array(2) {\n  [0]=>\n  *RECURSION*\n  [1]=>\n  int(7)\n}");
    EXPECT_EQ(array.refCount(), count);
    EXPECT_EQ(typeInfoOf(array.get()), flags);
    EXPECT_EQ(typeInfoOf(array.get()) & 0x20, 0u);

    ZVal wrapped(array);
    EXPECT_EQ(dumped(wrapped), "array(2) {\n  [0]=>\n  *RECURSION*\n  [1]=>\n  int(7)\n}");
    array.remove(0);  // break the cycle so the array can die
}

TEST_F(Dump, RecursionIsFoundFurtherDown) {
    ZendArray outer(8);
    ZendArray inner(8);
    host::allowSharedWrites(outer.get());
    host::allowSharedWrites(inner.get());
    inner.add("up", ZVal(outer));
    outer.add("down", ZVal(inner));
    EXPECT_EQ(dumped(outer),
              "array(1) {\n"
              "  [\"down\"]=>\n"
              "  array(1) {\n"
              "    [\"up\"]=>\n"
              "    *RECURSION*\n"
              "  }\n"
              "}");
    EXPECT_EQ(outer.refCount(), 2u);
    EXPECT_EQ(inner.refCount(), 2u);
    EXPECT_EQ(typeInfoOf(outer.get()) & 0x20, 0u);
    EXPECT_EQ(typeInfoOf(inner.get()) & 0x20, 0u);
    inner.remove("up");
}

TEST_F(Dump, SiblingsHoldingOneArrayBothPrintInFull) {
    ZendArray shared(8);
    shared.add(ZVal(1));
    ZendArray parent(8);
    parent.add(ZVal(shared));
    parent.add(ZVal(shared));
    EXPECT_EQ(dumped(parent),
              "array(2) {\n"
              "  [0]=>\n"
              "  array(1) {\n"
              "    [0]=>\n"
              "    int(1)\n"
              "  }\n"
              "  [1]=>\n"
              "  array(1) {\n"
              "    [0]=>\n"
              "    int(1)\n"
              "  }\n"
              "}");
    EXPECT_EQ(shared.refCount(), 3u);
}

TEST_F(Dump, ImmutableArraysAreNeverMarked) {
    auto* empty = const_cast<zend_array*>(&zend_empty_array);
    ZendArray parent(8);
    parent.add(ZVal(empty));
    parent.add(ZVal(empty));
    EXPECT_EQ(dumped(parent), "array(2) {\n  [0]=>\n  array(0) {\n  }\n  [1]=>\n  array(0) {\n  }\n}");
    EXPECT_EQ(empty->gc.u.type_info, 0x47u);
    EXPECT_EQ(empty->gc.refcount, 2u);
}

// The mark is the engine's too: var_dump, print_r, json_encode, array_walk_recursive and comparisons
// set it on the arrays they are walking, and may be under way when an extension dumps. A dump
// leaves every mark as it found it.
TEST_F(Dump, TopLevelArrayIsWalkedEvenWhenMarkedAndStaysMarked) {
    ZendArray array(8);
    array.add(ZVal(1));
    array.get()->gc.u.type_info |= 0x20;
    EXPECT_EQ(dumped(array), "array(1) {\n  [0]=>\n  int(1)\n}");
    EXPECT_EQ(typeInfoOf(array.get()) & 0x20, 0x20u) << "the walk that set the mark still needs it";
    EXPECT_EQ(array.refCount(), 1u);
    array.get()->gc.u.type_info &= ~0x20u;
    dumped(array);
    EXPECT_EQ(typeInfoOf(array.get()) & 0x20, 0u) << "a mark the dump set is gone after it";
}

TEST_F(Dump, ArraysMarkedByAnEngineWalkPrintAsRecursionAndStayMarked) {
    ZendArray inner(8);
    inner.add(ZVal(2));
    ZendArray outer(8);
    outer.add(ZVal(inner));
    outer.add(ZVal(inner));
    inner.get()->gc.u.type_info |= 0x20;  // as var_dump($inner) does while it calls back
    EXPECT_EQ(dumped(outer), "array(2) {\n  [0]=>\n  *RECURSION*\n  [1]=>\n  *RECURSION*\n}");
    EXPECT_EQ(typeInfoOf(inner.get()) & 0x20, 0x20u);
    EXPECT_EQ(typeInfoOf(outer.get()) & 0x20, 0u);
    EXPECT_EQ(inner.refCount(), 3u);
    inner.get()->gc.u.type_info &= ~0x20u;

    // The engine's walk of outer, reaching inner: the dump of inner (the top level) walks it, and
    // both marks stay for the engine to find when the callback returns.
    outer.get()->gc.u.type_info |= 0x20;
    inner.get()->gc.u.type_info |= 0x20;
    EXPECT_EQ(dumped(inner), "array(1) {\n  [0]=>\n  int(2)\n}");
    EXPECT_EQ(typeInfoOf(outer.get()) & 0x20, 0x20u);
    EXPECT_EQ(typeInfoOf(inner.get()) & 0x20, 0x20u);
    outer.get()->gc.u.type_info &= ~0x20u;
    inner.get()->gc.u.type_info &= ~0x20u;
}

TEST_F(Dump, SymbolTablesShowTheEnginesCount) {
    ZendArray table(8);
    table.add("a", ZVal(1));
    table.add("b", ZVal(2));
    zval undefined;
    undefined.u1.type_info = 0;
    Bucket& b = table.get()->arData[1];
    b.val.value.zv = &undefined;  // an indirect slot whose variable is unset
    b.val.u1.type_info = facts::kIndirect;
    table.get()->u.v.flags |= 0x20;
    EXPECT_EQ(dumped(table), "array(1) {\n  [\"a\"]=>\n  int(1)\n  [\"b\"]=>\n  INDIRECT\n}");
    b.val.u1.type_info = 4;
}

TEST_F(Dump, NegativeIndentIsRefusedByFmtAndUndoesEverything) {
    EXPECT_EQ(dumped(ZendString("s"), -3), "string(1) \"s\"");
    EXPECT_THROW(dumped(ZVal(1), -1), fmt::format_error);
    EXPECT_THROW(dumped(ZendArray(), -1), fmt::format_error);

    ZendArray array = workedExample();
    ZendArray list = array.at("list").asArray();
    unsigned int listCount = list.refCount();
    EXPECT_THROW(dumped(array, -1), fmt::format_error);
    EXPECT_THROW(dumped(ZVal(array), -2), fmt::format_error);
    EXPECT_EQ(array.refCount(), 1u);
    EXPECT_EQ(list.refCount(), listCount);
    EXPECT_EQ(typeInfoOf(array.get()) & 0x20, 0u);
}

TEST_F(Dump, EveryNegativeIndentStaysNegative) {
    ZendArray array = workedExample();
    for (int indent : {-2, -1073741824, -1073741825, -2147483647, INT_MIN}) {
        EXPECT_THROW(dumped(ZVal::makeNull(), indent), fmt::format_error) << indent;
        EXPECT_THROW(dumped(ZVal(7), indent), fmt::format_error) << indent;
        EXPECT_THROW(dumped(ZendArray(), indent), fmt::format_error) << indent;
        EXPECT_THROW(dumped(array, indent), fmt::format_error) << indent;
        // The string dump writes its indentation with the stream, and none for a negative level.
        EXPECT_EQ(dumped(ZVal(ZendString("s")), indent), "string(1) \"s\"") << indent;
        EXPECT_EQ(dumped(ZendString(), indent), "string(null)") << indent;
    }
    EXPECT_EQ(array.refCount(), 1u);
    EXPECT_EQ(typeInfoOf(array.get()) & 0x20, 0u);
    // A level too deep for an int width is refused too, rather than writing gigabytes of spaces.
    EXPECT_THROW(dumped(ZVal::makeNull(), INT_MAX), fmt::format_error);
    EXPECT_THROW(dumped(ZVal::makeNull(), 1073741824), fmt::format_error);
}

// Runs body on a thread of its own with a stack of stackBytes.
template <typename Body>
void onSmallStack(size_t stackBytes, Body body) {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, stackBytes), 0);
    pthread_t thread;
    auto run = [](void* argument) -> void* {
        (*static_cast<Body*>(argument))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, run, &body), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

TEST_F(Dump, AnyDepthDumpsOnASmallStack) {
    // Each array holds the next under key 0; the innermost is empty.
    constexpr int kDepth = 3000;
    ZendArray outermost(0);
    for (int level = 0; level < kDepth; ++level) {
        ZendArray outer(1);
        outer.add(ZVal(std::move(outermost)));
        outermost = std::move(outer);
    }
    std::string expected;
    for (int level = 0; level < kDepth; ++level) {
        expected.append(2 * level, ' ').append("array(1) {\n").append(2 * level + 2, ' ').append("[0]=>\n");
    }
    expected.append(2 * kDepth, ' ').append("array(0) {\n").append(2 * kDepth, ' ').append("}");
    for (int level = kDepth - 1; level >= 0; --level) expected.append("\n").append(2 * level, ' ').append("}");

    // A dump that recursed would need far more than 256 KiB for this depth.
    std::string text;
    onSmallStack(256 * 1024, [&] { text = dumped(outermost); });
    EXPECT_TRUE(text == expected) << "the dump differs from the text of the format (" << text.size() << " bytes, "
                                  << expected.size() << " expected)";
    // Every level is as it was: count 1, no mark.
    zend_array* array = outermost.get();
    int restored = 0;
    for (int level = 0; level <= kDepth; ++level) {
        restored += countOf(array) == 1 && (typeInfoOf(array) & 0x20) == 0;
        if (level < kDepth) array = ZendArray(array).at(0).get()->value.arr;  // the copies go with the statement
    }
    EXPECT_EQ(restored, kDepth + 1);
}

TEST_F(Dump, AFailingStreamLeavesNothingMarkedOrCounted) {
    ZendArray example = workedExample();
    ZendArray selfHolding(8);
    host::allowSharedWrites(selfHolding.get());
    selfHolding.add("me", ZVal(selfHolding));
    selfHolding.add("x", ZVal(ZendString("text")));
    ZendArray list = example.at("list").asArray();
    zend_string* name = example.at("name").get()->value.str;

    for (const ZendArray* subject : {&example, &selfHolding}) {
        std::string full = dumped(*subject);
        for (size_t limit = 0; limit <= full.size(); ++limit) {
            FailingBuffer buffer(limit);
            std::ostream out(&buffer);
            out.exceptions(std::ios::badbit);
            bool threw = false;
            try {
                subject->dump(out, 0);
            } catch (const std::runtime_error& error) {
                threw = true;
                EXPECT_STREQ(error.what(), "stream full");
            }
            EXPECT_EQ(threw, limit < full.size()) << limit;
            EXPECT_EQ(example.refCount(), 1u) << limit;
            EXPECT_EQ(list.refCount(), 2u) << limit;
            EXPECT_EQ(countOf(name), 1u) << limit;
            EXPECT_EQ(selfHolding.refCount(), 2u) << limit;
            EXPECT_EQ(typeInfoOf(example.get()) & 0x20, 0u) << limit;
            EXPECT_EQ(typeInfoOf(list.get()) & 0x20, 0u) << limit;
            EXPECT_EQ(typeInfoOf(selfHolding.get()) & 0x20, 0u) << limit;
        }
    }
    selfHolding.remove("me");
}

}  // namespace
