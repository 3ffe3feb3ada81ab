// The stand-in calling back where PHP 7.3 does: an object's destructor when its last reference goes,
// and the cycle collector inside zval_ptr_dtor.
#include "engine_test.h"

#include <corvane/ZendArray.h>
#include <standin/standin.h>

#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace engine = corvane::engine;

using ObjectDestructor = EngineTest;
using ObjectDestructorDeathTest = EngineTest;
using ElementDestructor = EngineTest;
using CycleCollection = EngineTest;
using CycleCollectionDeathTest = EngineTest;

constexpr unsigned int kObjectTypeInfo = 0x18;  // object, COLLECTABLE
constexpr unsigned int kDestructorCalled = 0x100;
constexpr unsigned int kNullTypeInfo = 1;  // what zend_array_destroy makes of a dying array's header

zval longValue(zend_long n) {
    zval v;
    v.value.lval = n;
    v.u1.type_info = 4;
    return v;
}

zval stringValue(zend_string* str) {
    zval v;
    v.value.str = str;
    v.u1.type_info = engine::kStringInfo;
    return v;
}

zval arrayValue(zend_array* array) {
    zval v;
    v.value.arr = array;
    v.u1.type_info = engine::kArrayInfo;
    return v;
}

// A second reference of a counted value, as a copy of its zval.
zval share(const zval& value) {
    engine::addRef(value.value.counted);
    return value;
}

// What a callback saw of an object while it ran.
struct Seen {
    int runs = 0;
    unsigned int count = 0;
    unsigned int typeInfo = 0;
};

// An object whose destructor records what it sees of the object itself.
zval observedObject(Seen& seen, zval& self) {
    self = standin::newObject([&seen, &self] {
        ++seen.runs;
        seen.count = self.value.counted->gc.refcount;
        seen.typeInfo = self.value.counted->gc.u.type_info;
    });
    return self;
}

// Counts its own destruction, to show when a callback's captures are let go.
struct Capture {
    explicit Capture(int& destroyed) : destroyed_(destroyed) {}
    ~Capture() { ++destroyed_; }
    int& destroyed_;
};

// --- Destructor callbacks ------------------------------------------------------------------------

TEST_F(ObjectDestructor, RunsOnceWithCountOneWhenZvalPtrDtorDropsTheLastReference) {
    Seen seen;
    zval self;
    zval object = observedObject(seen, self);
    EXPECT_EQ(typeInfoOf(object.value.counted), kObjectTypeInfo);
    size_t live = standin::liveRequestBlocks();

    zval second = share(object);
    zval_ptr_dtor(&second);
    EXPECT_EQ(seen.runs, 0) << "a reference is left";
    EXPECT_EQ(countOf(object.value.counted), 1u);

    zval_ptr_dtor(&object);
    EXPECT_EQ(seen.runs, 1);
    EXPECT_EQ(seen.count, 1u) << "the destructor holds the object while it runs";
    EXPECT_EQ(seen.typeInfo, kObjectTypeInfo | kDestructorCalled) << "marked before it runs";
    EXPECT_EQ(standin::liveRequestBlocks(), live - 1) << "freed after it";
}

TEST_F(ObjectDestructor, RunsWhenTheArrayHoldingItIsDestroyed) {
    HashTable* ht = _zend_new_array(8);
    unsigned int arrayHeaderSeen = 0;
    int runs = 0;
    zval object = standin::newObject([&] {
        ++runs;
        arrayHeaderSeen = typeInfoOf(ht);
    });
    zval number = longValue(7);
    zend_hash_next_index_insert(ht, &number);
    zend_hash_next_index_insert(ht, &object);
    size_t live = standin::liveRequestBlocks();

    zend_array_destroy(ht);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(arrayHeaderSeen, kNullTypeInfo) << "the dying array no longer reads as an array";
    EXPECT_EQ(standin::liveRequestBlocks(), live - 3) << "the object, the buckets and the array";
}

TEST_F(ObjectDestructor, RunsWhenZendHashDestroyEmptiesATable) {
    HashTable* ht = _zend_new_array(8);
    int runs = 0;
    zval object = standin::newObject([&] { ++runs; });
    zend_hash_str_add(ht, "o", 1, &object);

    zend_hash_destroy(ht);
    EXPECT_EQ(runs, 1);
    corvane::engine::requestFree(ht);  // zend_hash_destroy leaves the struct to its owner
}

TEST_F(ObjectDestructor, RunsWhenEachKindOfDeleteRemovesItAfterTheElementIsGone) {
    HashTable* ht = _zend_new_array(8);
    zend_string* key = newString("by zend_string");
    std::vector<std::string> events;
    auto add = [&](const char* name) {
        return standin::newObject([&events, ht, name] {
            events.push_back(std::string(name) + " with " + std::to_string(zend_array_count(ht)) + " left");
        });
    };
    zval first = add("index"), second = add("string"), third = add("bytes");
    zend_hash_index_add(ht, 3, &first);
    zend_hash_add(ht, key, &second);
    zend_hash_str_add(ht, "bytes", 5, &third);

    EXPECT_EQ(zend_hash_index_del(ht, 3), 0);
    EXPECT_EQ(zend_hash_del(ht, key), 0);
    EXPECT_EQ(zend_hash_str_del(ht, "bytes", 5), 0);
    EXPECT_EQ(events, (std::vector<std::string>{"index with 2 left", "string with 1 left", "bytes with 0 left"}));

    zval keyValue = stringValue(key);
    zval_ptr_dtor(&keyValue);
    zend_array_destroy(ht);
}

TEST_F(ObjectDestructor, RunsWhenAnUpdateReplacesItWhileItsSlotStillHoldsIt) {
    HashTable* ht = _zend_new_array(8);
    zend_string* key = newString("key");
    std::vector<bool> stillInSlot;
    zend_refcounted* made[3] = {};
    auto add = [&](int i, auto find) {
        zval object = standin::newObject([&stillInSlot, &made, i, find] {
            zval* slot = find();
            stillInSlot.push_back(slot && slot->value.counted == made[i]);
        });
        made[i] = object.value.counted;
        return object;
    };
    zval byIndex = add(0, [ht] { return zend_hash_index_find(ht, 1); });
    zval byString = add(1, [ht, key] { return zend_hash_find(ht, key); });
    zval byBytes = add(2, [ht] { return zend_hash_str_find(ht, "b", 1); });
    zend_hash_index_add(ht, 1, &byIndex);
    zend_hash_add(ht, key, &byString);
    zend_hash_str_add(ht, "b", 1, &byBytes);

    zval one = longValue(1), two = longValue(2), three = longValue(3);
    zend_hash_index_update(ht, 1, &one);
    zend_hash_update(ht, key, &two);
    zend_hash_str_update(ht, "b", 1, &three);
    EXPECT_EQ(stillInSlot, (std::vector<bool>{true, true, true}))
        << "the engine destroys the old value in place, then copies the new one in";
    EXPECT_EQ(zend_hash_str_find(ht, "b", 1)->value.lval, 3);

    zval keyValue = stringValue(key);
    zval_ptr_dtor(&keyValue);
    zend_array_destroy(ht);
}

TEST_F(ObjectDestructor, ACopyMadeInsideRevivesTheObjectAndItRunsOnlyOnce) {
    int runs = 0;
    zval kept{};
    zval self;
    self = standin::newObject([&] {
        ++runs;
        kept = share(self);
    });
    size_t live = standin::liveRequestBlocks();

    zval_ptr_dtor(&self);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(countOf(kept.value.counted), 1u) << "the copy is the only reference";
    EXPECT_EQ(typeInfoOf(kept.value.counted), kObjectTypeInfo | kDestructorCalled);
    EXPECT_EQ(standin::liveRequestBlocks(), live) << "not freed";

    zval_ptr_dtor(&kept);
    EXPECT_EQ(runs, 1) << "a destructor runs once per object";
    EXPECT_EQ(standin::liveRequestBlocks(), live - 1);
}

TEST_F(ObjectDestructor, MayReleaseOtherValuesAndRunOtherDestructorsInside) {
    std::vector<std::string> events;
    zval text = stringValue(newString("held by the outer destructor"));
    zval inner = standin::newObject([&] { events.push_back("inner"); });
    zval outer = standin::newObject([&] {
        events.push_back("outer begins");
        zval_ptr_dtor(&text);
        zval_ptr_dtor(&inner);
        events.push_back("outer ends");
    });
    size_t live = standin::liveRequestBlocks();

    zval_ptr_dtor(&outer);
    EXPECT_EQ(events, (std::vector<std::string>{"outer begins", "inner", "outer ends"}));
    EXPECT_EQ(standin::liveRequestBlocks(), live - 3);
}

TEST_F(ObjectDestructor, CapturesLiveUntilTheObjectIsFreedNotJustUntilItRan) {
    int destroyed = 0;
    zval kept{};
    zval self;
    auto capture = std::make_shared<Capture>(destroyed);
    self = standin::newObject([&, capture] { kept = share(self); });
    capture.reset();

    zval_ptr_dtor(&self);
    EXPECT_EQ(destroyed, 0) << "the revived object keeps its callback";
    zval_ptr_dtor(&kept);
    EXPECT_EQ(destroyed, 1);
}

TEST_F(ObjectDestructor, ALiveObjectAtRequestEndIsALeakWhoseDestructorNeverRuns) {
    int runs = 0, destroyed = 0;
    auto capture = std::make_shared<Capture>(destroyed);
    zval object = standin::newObject([&runs, capture] { ++runs; });
    capture.reset();
    ASSERT_NE(object.value.counted, nullptr);

    testing::internal::CaptureStderr();
    EXPECT_EQ(standin::requestShutdown(), 1u);
    std::string report = testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find("standin: leak: object, count 1, 16 request bytes at "), std::string::npos) << report;
    EXPECT_NE(report.find("standin: 1 leaked request block: 1 object\n"), std::string::npos) << report;
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(destroyed, 1) << "the callback is freed with the leaked object";
}

TEST_F(ObjectDestructor, AnEmptyCallbackMakesAPlainObject) {
    zval object = standin::newObject(std::function<void()>());
    size_t live = standin::liveRequestBlocks();
    zval_ptr_dtor(&object);
    EXPECT_EQ(standin::liveRequestBlocks(), live - 1);
}

TEST_F(ObjectDestructorDeathTest, ACallbackThatThrowsAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            zval object = standin::newObject([] { throw std::runtime_error("from a destructor"); });
            zval_ptr_dtor(&object);
        },
        "standin: an object's destructor callback threw; callbacks run inside engine calls, which never throw");
}

// --- A table destructor of the test's own ---------------------------------------------------------

// What recordAndDestroy saw; a pointer, so that nothing here needs a dynamic initialiser.
std::vector<zend_long>* destroyedElements = nullptr;

// An element destructor as an extension sets one: pDestructor is a plain function.
void recordAndDestroy(zval* element) {
    destroyedElements->push_back(element->value.lval);
    zval_ptr_dtor(element);
}

TEST_F(ElementDestructor, ATablesOwnDestructorGetsEveryElementTheTableLetsGo) {
    std::vector<zend_long> seen;
    destroyedElements = &seen;
    HashTable* ht = _zend_new_array(8);
    ht->pDestructor = recordAndDestroy;
    for (zend_long i = 1; i <= 4; ++i) {
        zval value = longValue(i);
        zend_hash_index_add(ht, static_cast<zend_ulong>(i), &value);
    }

    zend_hash_index_del(ht, 1);
    zval ten = longValue(10);
    zend_hash_index_update(ht, 2, &ten);
    EXPECT_EQ(seen, (std::vector<zend_long>{1, 2}));
    zend_array_destroy(ht);
    EXPECT_EQ(seen, (std::vector<zend_long>{1, 2, 10, 3, 4})) << "in bucket order";
    destroyedElements = nullptr;
}

// --- The cycle collector -------------------------------------------------------------------------

TEST_F(CycleCollection, RunsOnceAtTheNextDropThatLeavesAnArrayReferenced) {
    zval array = arrayValue(_zend_new_array(8));
    zval second = share(array), third = share(array);
    int runs = 0;
    unsigned int countSeen = 0;
    bool armedInside = true;
    standin::collectCyclesAtNextPossibleRoot([&] {
        ++runs;
        countSeen = countOf(array.value.counted);
        armedInside = standin::cycleCollectionArmed();
    });
    EXPECT_TRUE(standin::cycleCollectionArmed());

    zval_ptr_dtor(&third);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(countSeen, 3u) << "after the drop to 2, with the collector's own hold";
    EXPECT_FALSE(armedInside) << "disarmed before it runs";
    EXPECT_EQ(countOf(array.value.counted), 2u);

    zval_ptr_dtor(&second);
    EXPECT_EQ(runs, 1) << "armed once, run once";
    zval_ptr_dtor(&array);
}

TEST_F(CycleCollection, RunsAtADropOfAnObject) {
    zval object = standin::newObject();
    zval second = share(object);
    int runs = 0;
    standin::collectCyclesAtNextPossibleRoot([&] { ++runs; });
    zval_ptr_dtor(&second);
    EXPECT_EQ(runs, 1);
    zval_ptr_dtor(&object);
}

TEST_F(CycleCollection, PassesDropsToZeroAndValuesThatAreNotCollectable) {
    int runs = 0;
    standin::collectCyclesAtNextPossibleRoot([&] { ++runs; });

    zval array = arrayValue(_zend_new_array(8));
    zval_ptr_dtor(&array);  // to 0: destroyed, no possible root
    zval object = standin::newObject();
    zval_ptr_dtor(&object);
    zval text = stringValue(newString("text"));
    zval textCopy = share(text);
    zval_ptr_dtor(&textCopy);
    zval_ptr_dtor(&text);
    zval resource = standin::newResource();
    zval resourceCopy = share(resource);
    zval_ptr_dtor(&resourceCopy);
    zval_ptr_dtor(&resource);
    zval number = longValue(3);
    zval_ptr_dtor(&number);
    zval interned = stringValue(standin::internString("interned"));
    interned.u1.type_info = engine::kInternedStringInfo;
    zval_ptr_dtor(&interned);
    zval referenceToText = standin::newReference(stringValue(newString("in a reference")));
    zval referenceCopy = share(referenceToText);
    zval_ptr_dtor(&referenceCopy);
    zval_ptr_dtor(&referenceToText);

    EXPECT_EQ(runs, 0);
    EXPECT_TRUE(standin::cycleCollectionArmed());
    standin::collectCyclesAtNextPossibleRoot(std::function<void()>());
    EXPECT_FALSE(standin::cycleCollectionArmed()) << "an empty collection disarms";
}

TEST_F(CycleCollection, LooksThroughAReferenceToTheArrayItHolds) {
    HashTable* ht = _zend_new_array(8);
    zval reference = standin::newReference(arrayValue(ht));
    EXPECT_EQ(typeInfoOf(reference.value.counted), 10u) << "a plain request reference";
    zval second = share(reference);
    unsigned int arrayCountSeen = 0;
    standin::collectCyclesAtNextPossibleRoot([&] { arrayCountSeen = countOf(ht); });

    zval_ptr_dtor(&second);
    EXPECT_EQ(arrayCountSeen, 2u) << "the array is the possible root, held by the collector";
    EXPECT_EQ(countOf(ht), 1u);
    EXPECT_EQ(countOf(reference.value.counted), 1u);
    zval_ptr_dtor(&reference);
}

TEST_F(CycleCollection, RunsFromTheElementDestructorsOfADyingArray) {
    HashTable* outer = _zend_new_array(8);
    zval inner = arrayValue(_zend_new_array(8));
    zval element = share(inner);
    zend_hash_next_index_insert(outer, &element);
    unsigned int outerHeaderSeen = 0;
    standin::collectCyclesAtNextPossibleRoot([&] { outerHeaderSeen = typeInfoOf(outer); });

    zend_array_destroy(outer);
    EXPECT_EQ(outerHeaderSeen, kNullTypeInfo) << "inside zend_array_destroy, at its element";
    EXPECT_EQ(countOf(inner.value.counted), 1u);
    zval_ptr_dtor(&inner);
}

TEST_F(CycleCollection, RunsFromADeleteAndFromAnUpdateThatReplacesAnArray) {
    HashTable* ht = _zend_new_array(8);
    zval kept = arrayValue(_zend_new_array(8));
    zval first = share(kept), second = share(kept);
    zend_hash_str_add(ht, "deleted", 7, &first);
    zend_hash_str_add(ht, "replaced", 8, &second);
    int runs = 0;

    standin::collectCyclesAtNextPossibleRoot([&] { ++runs; });
    zend_hash_str_del(ht, "deleted", 7);
    EXPECT_EQ(runs, 1);

    standin::collectCyclesAtNextPossibleRoot([&] { ++runs; });
    zval number = longValue(1);
    zend_hash_str_update(ht, "replaced", 8, &number);
    EXPECT_EQ(runs, 2);

    EXPECT_EQ(countOf(kept.value.counted), 1u);
    zval_ptr_dtor(&kept);
    zend_array_destroy(ht);
}

TEST_F(CycleCollection, DestroysTheValueAfterwardsWhenTheCollectionFreedItsOtherReferences) {
    zval array = arrayValue(_zend_new_array(8));
    zval cycleMember = share(array);
    unsigned int countAfterRelease = 0;
    standin::collectCyclesAtNextPossibleRoot([&] {
        zval_ptr_dtor(&cycleMember);  // the collector frees the cycle that held it
        countAfterRelease = countOf(array.value.counted);
    });
    size_t live = standin::liveRequestBlocks();

    zval_ptr_dtor(&array);
    EXPECT_EQ(countAfterRelease, 1u) << "the collector's hold keeps it while collect runs";
    EXPECT_EQ(standin::liveRequestBlocks(), live - 1) << "destroyed when collect returned";
}

TEST_F(CycleCollection, RunsDestructorsInsideTheZvalPtrDtorThatTriggeredIt) {
    std::vector<std::string> events;
    zval object = standin::newObject([&] { events.push_back("destructor"); });
    zval array = arrayValue(_zend_new_array(8));
    zval second = share(array);
    standin::collectCyclesAtNextPossibleRoot([&] {
        events.push_back("collect");
        zval_ptr_dtor(&object);
    });

    events.push_back("before");
    zval_ptr_dtor(&second);
    events.push_back("after");
    EXPECT_EQ(events, (std::vector<std::string>{"before", "collect", "destructor", "after"}));
    zval_ptr_dtor(&array);
}

TEST_F(CycleCollection, ACollectionArmedInsideOneWaitsForARootAfterIt) {
    zval array = arrayValue(_zend_new_array(8));
    zval second = share(array), third = share(array);
    std::vector<std::string> events;
    standin::collectCyclesAtNextPossibleRoot([&] {
        events.push_back("outer begins");
        standin::collectCyclesAtNextPossibleRoot([&] { events.push_back("inner"); });
        zval_ptr_dtor(&third);  // a possible root, while a collection runs
        events.push_back("outer ends");
    });

    zval_ptr_dtor(&second);
    EXPECT_EQ(events, (std::vector<std::string>{"outer begins", "outer ends"}));
    EXPECT_TRUE(standin::cycleCollectionArmed());
    zval_ptr_dtor(&array);  // the last reference: no possible root
    EXPECT_TRUE(standin::cycleCollectionArmed());
    standin::collectCyclesAtNextPossibleRoot(std::function<void()>());
}

TEST_F(CycleCollection, ArmingAgainReplacesTheCollectionAndRequestEndDisarms) {
    int destroyed = 0, firstRuns = 0, secondRuns = 0;
    auto capture = std::make_shared<Capture>(destroyed);
    standin::collectCyclesAtNextPossibleRoot([&firstRuns, capture] { ++firstRuns; });
    capture.reset();
    standin::collectCyclesAtNextPossibleRoot([&] { ++secondRuns; });
    EXPECT_EQ(destroyed, 1) << "the replaced collection is let go";

    zval array = arrayValue(_zend_new_array(8));
    zval second = share(array);
    zval_ptr_dtor(&second);
    EXPECT_EQ(firstRuns, 0);
    EXPECT_EQ(secondRuns, 1);
    zval_ptr_dtor(&array);

    standin::collectCyclesAtNextPossibleRoot([] {});
    EXPECT_EQ(standin::requestShutdown(), 0u);
    EXPECT_FALSE(standin::cycleCollectionArmed());
}

TEST_F(CycleCollectionDeathTest, ACollectionThatThrowsAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            standin::collectCyclesAtNextPossibleRoot([] { throw std::runtime_error("from the collector"); });
            zval array = arrayValue(_zend_new_array(8));
            zval second = share(array);
            zval_ptr_dtor(&second);
        },
        "standin: the cycle collection callback threw; callbacks run inside engine calls, which never throw");
}

// What corvane itself does while the engine may call back.

TEST_F(CycleCollection, NeverRunsInsideADumpOfObjects) {
    ZendArray array(8);
    int destructors = 0;
    for (int i = 0; i < 3; ++i) {
        zval object = standin::newObject([&] { ++destructors; });
        array.add(ZVal::take(object));
    }
    ZendArray nested(8);
    zval inner = standin::newObject([&] { ++destructors; });
    nested.add(ZVal::take(inner));
    array.add(ZVal(nested));
    bool collected = false;
    standin::collectCyclesAtNextPossibleRoot([&] { collected = true; });
    std::ostringstream out;
    array.dump(out, 0);
    EXPECT_FALSE(collected) << "the dump gave nothing back through zval_ptr_dtor";
    EXPECT_TRUE(standin::cycleCollectionArmed());
    standin::collectCyclesAtNextPossibleRoot({});
    nested.release();
    array.release();
    EXPECT_EQ(destructors, 4);
}

TEST_F(ObjectDestructor, FindsAReleasedOrReassignedZValAlreadyHoldingWhatComesNext) {
    static ZVal* global = nullptr;
    ZVal held;
    global = &held;
    unsigned int seen = 99;
    ZendArray array(8);
    zval object = standin::newObject([&] { seen = global->getTypeInfo(); });
    array.add(ZVal::take(object));
    held = ZVal(std::move(array));
    held = ZVal(3);  // the array's last reference: its object's destructor runs
    EXPECT_EQ(seen, engine::kLong);

    ZendArray again(8);
    zval another = standin::newObject([&] { seen = global->getTypeInfo(); });
    again.add(ZVal::take(another));
    held = ZVal(std::move(again));
    held.release();
    EXPECT_EQ(seen, engine::kUndef);
    global = nullptr;
}

// An element's destructor that assigns to the very handle being assigned (PHP code registering
// again while the old registrations die): its array is let go in turn, never lost, and the handle
// ends up holding what was assigned.
ZendArray* assignedHandle = nullptr;

TEST_F(ObjectDestructor, AssigningToAHandleWhoseOldArrayDestructorAssignsToItLosesNothing) {
    ZendArray global(8);
    assignedHandle = &global;
    bool ran = false;
    zval object = standin::newObject([&] {
        ran = true;
        *assignedHandle = ZendArray(4);  // stored while the handle is empty, released right after
    });
    global.add(ZVal::take(object));
    ZendArray next(2);
    zend_array* expected = next.get();
    global = std::move(next);
    EXPECT_TRUE(ran);
    EXPECT_EQ(global.get(), expected);
    EXPECT_EQ(global.refCount(), 1u);

    zval again = standin::newObject([&] { *assignedHandle = ZendArray(4); });
    global.add(ZVal::take(again));
    ZendArray shared(2);
    global = shared;  // copy assignment
    EXPECT_EQ(global.get(), shared.get());
    EXPECT_EQ(shared.refCount(), 2u);

    global = ZendArray(8);  // an array of its own again: shared keeps the one both held
    EXPECT_EQ(shared.refCount(), 1u);
    zval third = standin::newObject([&] { *assignedHandle = ZendArray(4); });
    global.add(ZVal::take(third));
    ZendRefCounted& base = global;
    ZendArray last(2);
    base = std::move(static_cast<ZendRefCounted&>(last));  // through the base
    EXPECT_TRUE(last.isNull());
    EXPECT_EQ(global.refCount(), 1u);
    assignedHandle = nullptr;
}  // the request's leak check: every array the destructors stored was freed

// A write through a LentArray that runs a destructor: the destructor shares the array ($copy = $a)
// or takes it from the lender ($a = []); the loan looks again after the write, and the next write
// goes into a separated array, or is refused.
TEST_F(ObjectDestructor, ALentArrayLooksAgainAfterADestructorSharedOrTookItsArray) {
    // [object, 1] in lender; the object's destructor runs action when the loan removes it.
    auto lend = [](zval& lender, std::function<void()> action) {
        zval object = standin::newObject(std::move(action));
        ZendArray made(4);
        made.add(ZVal::take(object));
        made.add(ZVal(1));
        ZVal(std::move(made)).detach(lender);
    };
    zval lender;
    ZendArray copy;
    lend(lender, [&] { copy = ZendArray(lender.value.arr); });  // $copy = $a
    {
        corvane::LentArray loan(lender);
        EXPECT_TRUE(loan.remove(0));
        EXPECT_NE(loan.get(), copy.get()) << "separated again after the write";
        EXPECT_EQ(countOf(loan.get()), 1u);
        EXPECT_TRUE(loan.add(ZVal(2)));
        EXPECT_EQ(copy.size() + 1, loan.size()) << "the copy did not see the next write";
    }
    ZVal::take(lender).release();
    ZendArray kept;
    lend(lender, [&] {  // $kept = $a; $a = [];
        kept = ZendArray(lender.value.arr);
        ZVal::take(lender).release();
        ZVal(ZendArray(0)).detach(lender);
    });
    {
        corvane::LentArray loan(lender);
        EXPECT_TRUE(loan.remove(0));
        EXPECT_FALSE(loan) << "the loan ended with the lender's array";
        EXPECT_FALSE(loan.add(ZVal(3)));
    }
    EXPECT_EQ(kept.size(), 1u) << "the removal went into the array the loan stood on";
    EXPECT_TRUE(corvane::ZValView(lender).asArray().isEmpty());
    ZVal::take(lender).release();
}

}  // namespace
