// What code that the engine calls back finds while a value or handle lets something go. Destroying
// an engine value may run PHP code (an object's __destruct, a table's destructor, the cycle
// collector) that reaches the very value or handle being released, as an extension's module
// globals are reached from PHP: it must find it already holding what it holds next.
#include "engine_test.h"

#include <sstream>
#include <string>

namespace {

using Reentrance = EngineTest;

// What the element destructor of a dying array saw of the value or handle under test.
struct Seen {
    int calls = 0;
    unsigned int typeInfo = 99;
    long long value = -1;
    bool handleHeld = true;
};

const ZVal* watchedValue = nullptr;
const ZendArray* watchedHandle = nullptr;
Seen seen;

// A table destructor that looks at the watched value and handle before it lets the element go.
void look(zval* element) {
    ++seen.calls;
    if (watchedValue) {
        seen.typeInfo = watchedValue->getTypeInfo();
        if (watchedValue->isLong()) seen.value = watchedValue->asLong();
    }
    if (watchedHandle) seen.handleHeld = static_cast<bool>(*watchedHandle);
    zval_ptr_dtor(element);
}

// An array of one element whose destruction calls look().
ZendArray dyingArray() {
    ZendArray array(8);
    array.add(ZVal(ZendString("element")));
    array.get()->pDestructor = look;
    return array;
}

class Watching : public Reentrance {
protected:
    void SetUp() override {
        Reentrance::SetUp();
        seen = Seen{};
    }
    void TearDown() override {
        watchedValue = nullptr;
        watchedHandle = nullptr;
        Reentrance::TearDown();
    }
};

TEST_F(Watching, AReleasedValueIsUndefinedBeforeItsObjectDies) {
    ZVal global(dyingArray());
    watchedValue = &global;
    global.release();
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.typeInfo, 0u);
    EXPECT_TRUE(global.isUndef());

    auto* heap = new ZVal(dyingArray());
    watchedValue = heap;
    delete heap;  // a destructor runs the same steps
    EXPECT_EQ(seen.calls, 2);
    EXPECT_EQ(seen.typeInfo, 0u);
}

TEST_F(Watching, AnAssignedValueHoldsItsNewValueBeforeTheOldOneDies) {
    ZVal global(dyingArray());
    watchedValue = &global;
    const ZVal seven(7);
    global = seven;
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.value, 7);

    global = ZVal(dyingArray());
    ZVal source(8);
    global = std::move(source);
    EXPECT_EQ(seen.calls, 2);
    EXPECT_EQ(seen.value, 8);
    EXPECT_TRUE(source.isUndef());
}

TEST_F(Watching, AnArrayHandleIsEmptyBeforeItsArrayDies) {
    ZendArray global = dyingArray();
    watchedHandle = &global;
    ZendArray other(0);
    zend_array* next = other.get();
    global = std::move(other);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_FALSE(seen.handleHeld);
    EXPECT_EQ(global.get(), next);

    global = dyingArray();
    seen.handleHeld = true;
    global = ZendArray(0);
    EXPECT_EQ(seen.calls, 2);
    EXPECT_FALSE(seen.handleHeld);

    global = dyingArray();
    seen.handleHeld = true;
    global.release();
    EXPECT_EQ(seen.calls, 3);
    EXPECT_FALSE(seen.handleHeld);
}

// The engine's own update destroys the old value while the bucket still holds it; insert puts the
// new value in first.
const ZendArray* outerArray = nullptr;
unsigned int elementSeen = 99;

void lookAtTheSlot(zval* element) {
    elementSeen = outerArray->at("k").getTypeInfo();
    zval_ptr_dtor(element);
}

TEST_F(Reentrance, ReplacingAnElementShowsTheNewValueToTheOldOnesDestructor) {
    ZendArray outer(8);
    outerArray = &outer;
    for (int kind = 0; kind < 3; ++kind) {
        ZendArray old(8);
        old.add(ZVal(1));
        old.get()->pDestructor = lookAtTheSlot;
        elementSeen = 99;
        switch (kind) {
            case 0:
                ASSERT_TRUE(outer.add("k", ZVal(std::move(old))));
                ASSERT_TRUE(outer.insert("k", ZVal(5)));
                break;
            case 1: {
                ZendString key("k");
                ASSERT_TRUE(outer.add(key, ZVal(std::move(old))));
                ASSERT_TRUE(outer.insert(key, ZVal(5)));
                break;
            }
            default:
                ASSERT_TRUE(outer.add(7, ZVal(std::move(old))));
                ASSERT_TRUE(outer.add("k", ZVal(5)));
                ASSERT_TRUE(outer.insert(7, ZVal(6)));
                break;
        }
        EXPECT_EQ(elementSeen, 4u) << "a long, never the dying array (key kind " << kind << ")";
        outer.remove("k");
    }
    EXPECT_EQ(outer.at(7).asLong(), 6);
    outerArray = nullptr;
}

// Giving a copied element back through zval_ptr_dtor may start the cycle collector, which runs PHP
// destructors in the middle of the dump: the dump reads its elements where they lie and asks the
// engine for nothing but counts.
TEST_F(Reentrance, DumpingCallsTheEngineOnlyToCount) {
    ZendArray inner(8);
    inner.add(ZVal(1));
    ZendArray array(8);
    zval object = host::newObject();
    array.add(ZVal::take(object));
    array.add(ZVal(ZendString("text")));
    array.add(ZVal(2.5));
    array.add(ZVal(inner));
    const size_t calls = host::engineCalls();
    std::ostringstream out;
    array.dump(out, 0);
    ACCOUNTED_EQ(host::engineCalls() - calls, 2u) << "zend_array_count of the two arrays";
    EXPECT_EQ(out.str(),
              "array(4) {\n  [0]=>\n  OBJECT\n  [1]=>\n  string(4) \"text\"\n  [2]=>\n  double(2.5)\n  [3]=>\n"
              "  array(1) {\n    [0]=>\n    int(1)\n  }\n}");
    EXPECT_EQ(countOf(array.at(0).get()->value.counted), 2u) << "the object's count, with the copy at() made";
}

}  // namespace
