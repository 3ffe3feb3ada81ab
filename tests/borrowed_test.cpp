// Borrowing: views that read without a count or an engine call, walks of temporary handles, writes
// in place into a lent array and element, and the recursion guard.
#include "engine_test.h"

#include <corvane/ZendArray.h>

#include <limits>
#include <sstream>
#include <string>

namespace {

using corvane::LentArray;
using corvane::LentValue;
using corvane::RecursionGuard;
using corvane::ZendArrayView;
using corvane::ZValView;

using Borrowed = EngineTest;

// A sum of every number, nested arrays included, read through views only.
double sumOf(ZendArrayView values) {
    double sum = 0;
    for (auto [key, element] : values.items()) {
        ZValView value(element);
        if (value.isLong()) sum += static_cast<double>(value.asLong());
        if (value.isDouble()) sum += value.asDouble();
        if (value.isArray()) sum += sumOf(value.asArray());
    }
    return sum;
}

TEST_F(Borrowed, ViewsReadWithoutACountOrAnEngineCallAndSeeThroughReferences) {
    ZendArray inner(8);
    inner.add(ZVal(0.5));
    ZendString word("word");
    ZendArray outer(8);
    outer.add(ZVal(1));
    outer.add(ZVal(inner));
    outer.add(ZVal::makeReference(ZVal(7)));
    outer.add("k", ZVal(word));
    outer.add(42, ZVal(inner));
    const unsigned int innerCount = countOf(inner.get()), wordCount = countOf(word.get());
    const unsigned int outerCount = countOf(outer.get());

    const size_t calls = host::engineCalls();
    const ZendArrayView view(outer);
    EXPECT_EQ(sumOf(view), 1 + 0.5 + 7 + 0.5);
    ACCOUNTED_EQ(host::engineCalls() - calls, 0u) << "a walk of views calls nothing of the engine";
    EXPECT_EQ(view.at(2).asLong(), 7) << "$a[2] holds &$x: the view reads $x";
    EXPECT_EQ(view.at(ZendArray::PhpKey("42")).asArray().at(0).asDouble(), 0.5);
    EXPECT_EQ(view.at("k").view(), "word");
    EXPECT_TRUE(view.at(ZendArray::PhpKey(word)).isUndef()) << "no element under \"word\"";
    EXPECT_TRUE(view.at("missing").isUndef());
    EXPECT_FALSE(view.contains(ZendString("")));
    EXPECT_THROW(view.at("k").asLong(), std::runtime_error);
    EXPECT_EQ(countOf(inner.get()), innerCount);
    EXPECT_EQ(countOf(word.get()), wordCount);
    EXPECT_EQ(countOf(outer.get()), outerCount);

    std::ostringstream viewed, owned;
    view.dump(viewed, 1);
    outer.dump(owned, 1);
    EXPECT_EQ(viewed.str(), owned.str());
    EXPECT_EQ(countOf(outer.get()), outerCount) << "the dump's loan gives the array back uncounted";
    {
        ZVal kept = view.at(1).owned();
        EXPECT_EQ(countOf(inner.get()), innerCount + 1) << "owned() is the one read that counts";
    }
    EXPECT_EQ(countOf(inner.get()), innerCount);
}

// The temporary handle holds the last reference: the walk keeps it until the loop ends.
ZendArray wordsOnly() {
    ZendArray words(4);
    words.add(ZVal(ZendString("first")));
    words.add(ZVal(ZendString("second")));
    return words;
}

TEST_F(Borrowed, AWalkOfATemporaryHandleKeepsItsArrayForTheWholeLoop) {
    std::string forward, backward;
    for (auto [key, value] : wordsOnly().items()) forward += std::string(ZValView(value).view()) + " ";
    for (auto [key, value] : wordsOnly().items().reversed()) backward += std::string(ZValView(value).view()) + " ";
    EXPECT_EQ(forward, "first second ");
    EXPECT_EQ(backward, "second first ");
}

TEST_F(Borrowed, ALentArrayIsSeparatedIntoItsLenderAndWrittenWithoutACount) {
    ZendArray shared(4);
    shared.add(ZVal(1));
    zval lender;
    ZVal(shared).detach(lender);  // the lender's reference: the array's count is 2
    {
        LentArray loan(lender);
        ASSERT_TRUE(loan);
        EXPECT_NE(lender.value.arr, shared.get()) << "duplicated into the lender, as SEPARATE_ARRAY";
        EXPECT_EQ(countOf(shared.get()), 1u) << "the other holder keeps the original alone";
        EXPECT_EQ(countOf(lender.value.arr), 1u);
        EXPECT_TRUE(loan.add(ZVal(2)));
        EXPECT_TRUE(loan.remove(0));
        ++loan.findOrAdd("n", ZVal(0)).longRef();
        ++loan.findOrAdd(ZendArray::PhpKey("n"), ZVal(0)).longRef();
        EXPECT_EQ(countOf(lender.value.arr), 1u) << "no count while writing";
        EXPECT_EQ(loan.view().at("n").asLong(), 2);
    }
    EXPECT_EQ(shared.size(), 1u);
    zend_array* unshared = lender.value.arr;
    {
        LentArray loan(lender);  // count 1: written where it is
        EXPECT_EQ(loan.get(), unshared);
        EXPECT_TRUE(loan.add(ZVal(3)));
    }
    EXPECT_EQ(countOf(unshared), 1u);
    // A by-reference argument: the write goes into the referenced variable's array.
    ZVal reference = ZVal::makeReference(ZVal::take(lender));
    {
        LentArray loan(*reference.get());
        EXPECT_TRUE(loan.insert("via", ZVal(4)));
    }
    EXPECT_EQ(ZValView(reference).asArray().at("via").asLong(), 4);
    ZVal number(5);
    LentArray none(*number.get());
    EXPECT_FALSE(none);
    EXPECT_FALSE(none.add(ZVal(1)));
    EXPECT_EQ(none.size(), 0u);
}

TEST_F(Borrowed, ALentValueIsReplacedBeforeTheOldOneGoesAndWritesThroughAReference) {
    ZendString old("old");
    ZendArray array(4);
    array.add("k", ZVal(old));
    array.add("r", ZVal::makeReference(ZVal(1)));
    EXPECT_EQ(countOf(old.get()), 2u);
    LentValue element(array.findOrAdd("k", ZVal(0)));
    EXPECT_THROW(element.longRef(), std::runtime_error);
    EXPECT_TRUE(element.assign(ZVal(ZendString("new"))));
    EXPECT_EQ(countOf(old.get()), 1u) << "the old value was released";
    EXPECT_EQ(ZendArrayView(array).at("k").view(), "new");
    LentValue referenced(array.findOrAdd("r", ZVal(0)));
    referenced.longRef() += 10;
    EXPECT_TRUE(referenced.increment(100));
    EXPECT_EQ(array.at("r").dereferenced().asLong(), 111) << "written through the reference";
    EXPECT_FALSE(element.increment()) << "a string is no counter";
    referenced.longRef() = std::numeric_limits<zend_long>::max();
    EXPECT_FALSE(referenced.increment()) << "an overflow leaves the counter as it was";
    EXPECT_EQ(referenced.longRef(), std::numeric_limits<zend_long>::max());
    EXPECT_FALSE(LentValue(nullptr).increment());
    EXPECT_FALSE(element.assign(ZVal()));
    EXPECT_FALSE(LentValue(nullptr).assign(ZVal(1)));
}

TEST_F(Borrowed, TheRecursionGuardFindsAnArrayInsideItselfAndRestoresTheMark) {
    // $a = [1]; $a[] = &$a; as PHP builds it: the array holds the reference that holds it.
    ZendArray built(4);
    built.add(ZVal(1));
    ZVal reference = ZVal::makeReference(ZVal(std::move(built)));
    EXPECT_TRUE(LentArray(*reference.get()).add(ZVal(reference)));
    const ZendArrayView array = ZValView(reference).asArray();
    const unsigned int flags = typeInfoOf(array.get()), count = countOf(array.get());
    int depth = 0;
    bool refused = false;
    auto descend = [&](auto& self, ZendArrayView values) -> void {
        RecursionGuard guard(values.get());
        if (guard.wasMarked()) {
            refused = true;
            return;
        }
        ++depth;
        for (auto [key, element] : values.items()) {
            if (ZValView(element).isArray()) self(self, ZValView(element).asArray());
        }
    };
    descend(descend, array);
    EXPECT_TRUE(refused);
    EXPECT_EQ(depth, 1);
    EXPECT_EQ(typeInfoOf(array.get()), flags) << "the mark is gone again";
    EXPECT_EQ(countOf(array.get()), count);
    // A mark found set (an engine walk further up) is reported and left in place.
    corvane::engine::setGcFlags(array.get(), corvane::engine::kGcProtected);
    EXPECT_TRUE(RecursionGuard(array.get()).wasMarked());
    EXPECT_NE(typeInfoOf(array.get()) & corvane::engine::kGcProtected, 0u);
    corvane::engine::clearGcFlags(array.get(), corvane::engine::kGcProtected);
    EXPECT_FALSE(RecursionGuard(nullptr).wasMarked());
    EXPECT_TRUE(LentArray(*reference.get()).remove(1));  // breaks the cycle, so the array can go
}

}  // namespace
