// Walking the bucket storage forwards and backwards through positions. They exist where every
// element sits in a Bucket (PHP 7.3); on PHP 8.2 they do not compile (compile_checks/positions.cpp).
#include "engine_facts.h"
#include "engine_test.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

#if CORVANE_HAS_POSITIONS
namespace {

using ArrayIteration = EngineTest;

static_assert(std::is_same_v<std::iterator_traits<ZendArray::Iterator>::iterator_category, std::forward_iterator_tag>);
static_assert(std::is_same_v<std::iterator_traits<ZendArray::RIterator>::reference, Bucket&>);

// "key=value" for each element, as a walk sees them.
template <typename It>
std::vector<std::string> walk(It first, It last) {
    std::vector<std::string> seen;
    for (; first != last; ++first) {
        const Bucket& b = *first;
        std::string key = b.key ? std::string(b.key->val, b.key->len) : std::to_string(b.h);
        seen.push_back(key + "=" + std::to_string(b.val.value.lval));
    }
    return seen;
}

std::vector<std::string> forward(const ZendArray& a) { return walk(a.begin(), a.end()); }
std::vector<std::string> backward(const ZendArray& a) { return walk(a.rbegin(), a.rend()); }

std::vector<std::string> reversed(std::vector<std::string> v) {
    std::reverse(v.begin(), v.end());
    return v;
}

TEST_F(ArrayIteration, EmptyHandleGivesNullPositions) {
    ZendArray empty;
    for (auto it : {empty.begin(), empty.end()}) {
        EXPECT_EQ(it.array, nullptr);
        EXPECT_EQ(it.current, nullptr);
        EXPECT_EQ(it.stop, nullptr);
    }
    for (auto it : {empty.rbegin(), empty.rend()}) {
        EXPECT_EQ(it.array, nullptr);
        EXPECT_EQ(it.current, nullptr);
        EXPECT_EQ(it.stop, nullptr);
    }
    EXPECT_TRUE(empty.begin() == empty.end());
    EXPECT_TRUE(empty.rbegin() == empty.rend());
    int steps = 0;
    for (Bucket& b : empty) steps += static_cast<int>(b.h) + 1;
    EXPECT_EQ(steps, 0);
}

TEST_F(ArrayIteration, NewArrayHasNoBucketsToWalk) {
    ZendArray array(0);
    Bucket* data = array.get()->arData;
    EXPECT_EQ(array.begin().current, data);
    EXPECT_EQ(array.end().current, data);
    EXPECT_EQ(array.rbegin().current, data - 1);
    EXPECT_EQ(array.rend().current, data - 1);
    EXPECT_EQ(std::distance(array.begin(), array.end()), 0);
    EXPECT_EQ(std::distance(array.rbegin(), array.rend()), 0);
}

TEST_F(ArrayIteration, PositionsAreTheRawBuckets) {
    ZendArray array(8);
    array.add("a", ZVal(1));
    array.add("b", ZVal(2));
    array.add("c", ZVal(3));
    ASSERT_TRUE(array.remove("a"));
    Bucket* data = array.get()->arData;
    EXPECT_EQ(array.begin().current, data) << "begin stands on the deleted bucket";
    EXPECT_EQ(array.end().current, data + 3);
    EXPECT_EQ(array.rbegin().current, data + 2);
    EXPECT_EQ(array.rend().current, data - 1);
    EXPECT_EQ(array.begin().stop, array.end().current);
    EXPECT_EQ(array.rbegin().stop, array.rend().current);
    EXPECT_EQ(array.begin().array, array.get());
    EXPECT_EQ(array.refCount(), 1u) << "positions hold no reference";

    EXPECT_EQ(forward(array), (std::vector<std::string>{"b=2", "c=3"}));
    EXPECT_STREQ(array.begin()->key->val, "b") << "reading a position passes over deleted buckets";
}

TEST_F(ArrayIteration, WalksPassOverHolesAnywhere) {
    ZendArray array(8);
    for (long long i = 0; i < 7; ++i) array.add(ZVal(i));
    array.remove(0);
    array.remove(3);
    array.remove(4);
    EXPECT_EQ(forward(array), (std::vector<std::string>{"1=1", "2=2", "5=5", "6=6"}));
    EXPECT_EQ(backward(array), reversed(forward(array)));

    array.remove(6);  // the engine trims the trailing hole
    array.add(20, ZVal(20));
    array.remove(20);
    EXPECT_EQ(backward(array), (std::vector<std::string>{"5=5", "2=2", "1=1"}));

    array.remove(1);
    array.remove(2);
    array.remove(5);
    EXPECT_EQ(array.size(), 0u);
    EXPECT_EQ(std::distance(array.begin(), array.end()), 0);
    EXPECT_EQ(std::distance(array.rbegin(), array.rend()), 0);
}

TEST_F(ArrayIteration, HolesBelowAPackedIndexAreSkipped) {
    ZendArray array(8);
    array.add(3, ZVal(3));  // buckets 0 to 2 are holes in a packed table
    ASSERT_EQ(array.get()->nNumUsed, 4u);
    EXPECT_EQ(forward(array), (std::vector<std::string>{"3=3"}));
    EXPECT_EQ(backward(array), (std::vector<std::string>{"3=3"}));
}

// A packed array (integer keys in order) is kept in Buckets too, and walked like any other.
TEST_F(ArrayIteration, PackedArraysAreWalkedLikeAnyOther) {
    ZendArray array(8);
    for (long long i = 0; i < 3; ++i) array.add(ZVal(i + 10));
    ASSERT_TRUE(facts::isPacked(array.get()));
    const std::vector<std::string> expected{"0=10", "1=11", "2=12"};
    Bucket* data = array.get()->arData;
    EXPECT_EQ(array.begin().current, data);
    EXPECT_EQ(array.end().current, data + 3);
    EXPECT_EQ(array.rbegin().current, data + 2);
    EXPECT_EQ(array.rend().current, data - 1);
    EXPECT_EQ(forward(array), expected);
    EXPECT_EQ(backward(array), reversed(expected));
    EXPECT_EQ(array.refCount(), 1u) << "positions hold no reference";
}

TEST_F(ArrayIteration, MixedKeysInInsertionOrderAfterGrowth) {
    ZendArray array(8);
    std::vector<std::string> expected;
    for (int i = 0; i < 40; ++i) {
        if (i % 3 == 0) {
            array.add(std::to_string(i) + "s", ZVal(i));
            expected.push_back(std::to_string(i) + "s=" + std::to_string(i));
        } else {
            array.add(static_cast<unsigned long long>(i * 10), ZVal(i));
            expected.push_back(std::to_string(i * 10) + "=" + std::to_string(i));
        }
    }
    EXPECT_GT(array.get()->nTableSize, 8u) << "grown past its first table";
    EXPECT_EQ(forward(array), expected);
    EXPECT_EQ(backward(array), reversed(expected));
}

TEST_F(ArrayIteration, StandardAlgorithmsSeeLiveElements) {
    ZendArray array(8);
    for (long long i = 0; i < 10; ++i) array.add(ZVal(i * i));
    array.remove(0);
    array.remove(9);
    array.remove(4);
    EXPECT_EQ(std::distance(array.begin(), array.end()), 7);
    auto isEven = [](const Bucket& b) { return b.val.value.lval % 2 == 0; };
    EXPECT_EQ(std::count_if(array.begin(), array.end(), isEven), 3);  // 4, 36, 64
    auto found = std::find_if(array.begin(), array.end(), [](const Bucket& b) { return b.val.value.lval > 20; });
    ASSERT_TRUE(found != array.end());
    EXPECT_EQ(found->h, 5u);
    auto last = std::find_if(array.rbegin(), array.rend(), isEven);
    EXPECT_EQ(last->h, 8u);

    long long sum = 0;
    for (const Bucket& b : array) sum += b.val.value.lval;
    EXPECT_EQ(sum, 1 + 4 + 9 + 25 + 36 + 49 + 64);
}

TEST_F(ArrayIteration, ReadingCountsNothingUntilTheCallerShares) {
    ZendArray array(8);
    array.add("s", ZVal(ZendString("value")));
    Bucket& b = *array.begin();
    zend_string* str = b.val.value.str;
    EXPECT_EQ(countOf(str), 1u);
    {
        ZVal value(b.val);
        ZendString key(b.key, false);
        EXPECT_EQ(countOf(str), 2u);
        EXPECT_EQ(key.refCount(), 2u);
    }
    EXPECT_EQ(countOf(str), 1u);
}

TEST_F(ArrayIteration, PostIncrementReturnsThePreviousPosition) {
    ZendArray array(8);
    array.add(ZVal(1));
    array.add(ZVal(2));
    auto it = array.begin();
    auto before = it++;
    EXPECT_EQ(before->h, 0u);
    EXPECT_EQ(it->h, 1u);
    auto rit = array.rbegin();
    auto rbefore = rit++;
    EXPECT_EQ(rbefore->h, 1u);
    EXPECT_EQ(rit->h, 0u);
}

// --- Deleting under a walk ----------------------------------------------------------------------
// A walk's body may delete elements: deleting never moves the buckets, so every position stays
// valid, and the walk goes on with the next live element.

// The keys a walk from first visits while body(key) runs at each element; the end is taken anew at
// every step when endEachStep, as `it != array.end()` does. At most 20 steps, so that a walk that
// never meets its end fails instead of running on.
template <typename It, typename End, typename Body>
std::vector<std::string> walkDeleting(It first, End end, Body body) {
    std::vector<std::string> seen;
    for (int steps = 0; first != end() && steps < 20; ++first, ++steps) {
        const Bucket& b = *first;
        std::string key = b.key ? std::string(b.key->val, b.key->len) : std::to_string(b.h);
        seen.push_back(key);
        body(key);
    }
    return seen;
}

// Keys a..d in a hash (Buckets on every engine version).
ZendArray fourKeys() {
    ZendArray array(8);
    for (const char* key : {"a", "b", "c", "d"}) array.add(key, ZVal(1));
    return array;
}

using Strings = std::vector<std::string>;

TEST_F(ArrayIteration, DeletingUnderAForwardWalkVisitsEachLiveElementOnce) {
    struct Case {
        const char* on;
        const char* remove;
        Strings visits;
    };
    const Case cases[] = {
        {"b", "b", {"a", "b", "c", "d"}},  // the element the walk stands on
        {"b", "c", {"a", "b", "d"}},       // one ahead
        {"c", "a", {"a", "b", "c", "d"}},  // one already passed
        {"d", "d", {"a", "b", "c", "d"}},  // the last, standing on it
        {"b", "d", {"a", "b", "c"}},       // the last, from before it: nNumUsed falls under the walk
        {"a", "a", {"a", "b", "c", "d"}},  // the first, standing on it
    };
    for (const Case& c : cases) {
        for (bool endEachStep : {false, true}) {
            ZendArray array = fourKeys();
            const ZendArray::Iterator fixedEnd = array.end();
            auto end = [&] { return endEachStep ? array.end() : fixedEnd; };
            Strings seen = walkDeleting(array.begin(), end, [&](const std::string& key) {
                if (key == c.on) {
                    EXPECT_TRUE(array.remove(c.remove));
                }
            });
            EXPECT_EQ(seen, c.visits) << "on " << c.on << " removing " << c.remove << ", end() each step "
                                      << endEachStep;
            EXPECT_EQ(array.size(), 3u);
        }
    }
}

TEST_F(ArrayIteration, DeletingUnderAReverseWalkVisitsEachLiveElementOnce) {
    struct Case {
        const char* on;
        const char* remove;
        Strings visits;
    };
    const Case cases[] = {
        {"c", "c", {"d", "c", "b", "a"}},  // the element the walk stands on
        {"c", "b", {"d", "c", "a"}},       // one ahead
        {"b", "d", {"d", "c", "b", "a"}},  // one already passed, the last bucket
        {"a", "a", {"d", "c", "b", "a"}},  // the first bucket, standing on it
        {"d", "d", {"d", "c", "b", "a"}},  // the last bucket, standing on it
    };
    for (const Case& c : cases) {
        ZendArray array = fourKeys();
        Strings seen = walkDeleting(array.rbegin(), [&] { return array.rend(); }, [&](const std::string& key) {
            if (key == c.on) {
                EXPECT_TRUE(array.remove(c.remove));
            }
        });
        EXPECT_EQ(seen, c.visits) << "on " << c.on << " removing " << c.remove;
    }
}

// The case as it was met: integer keys 0..3, key 1 removed while the walk stands on it.
TEST_F(ArrayIteration, RemovingTheCurrentIntegerKeySkipsNothing) {
    ZendArray array(8);
    for (long long i = 0; i < 4; ++i) array.add(i, ZVal(i));
    Strings seen = walkDeleting(array.begin(), [&] { return array.end(); }, [&](const std::string& key) {
        if (key == "1") array.remove(1);
    });
    EXPECT_EQ(seen, (Strings{"0", "1", "2", "3"}));
    Strings emptied = walkDeleting(array.begin(), [&] { return array.end(); }, [&](const std::string& key) {
        array.remove(std::stoull(key));
    });
    EXPECT_EQ(emptied, (Strings{"0", "2", "3"})) << "a walk that deletes every element it reads";
    EXPECT_TRUE(array.isEmpty());
    EXPECT_EQ(array.get()->nNumUsed, 0u);
}

TEST_F(ArrayIteration, APositionAtItsBoundEqualsEveryEndOfItsArray) {
    ZendArray array = fourKeys();
    const ZendArray::Iterator endBefore = array.end();
    auto last = array.begin();
    for (int i = 0; i < 3; ++i) ++last;
    ASSERT_EQ(std::string(last->key->val), "d");
    ASSERT_TRUE(array.remove("d"));
    ASSERT_TRUE(array.remove("c"));  // trailing holes: nNumUsed falls to 2
    ASSERT_EQ(array.get()->nNumUsed, 2u);
    const ZendArray::Iterator endAfter = array.end();
    ++last;
    EXPECT_EQ(last.current, last.stop) << "a step from the deleted last element reaches the bound";
    EXPECT_TRUE(last == endAfter);
    EXPECT_TRUE(endAfter == last);
    EXPECT_TRUE(last == endBefore);
    EXPECT_TRUE(endBefore == endAfter);
    EXPECT_FALSE(last != endAfter);
    EXPECT_FALSE(array.begin() == endAfter);
    EXPECT_EQ(std::distance(array.begin(), array.end()), 2);

    auto reverse = array.rbegin();
    ++reverse;
    ASSERT_TRUE(array.remove("a"));
    ++reverse;
    EXPECT_TRUE(reverse == array.rend()) << "the reverse walk ends at the first bucket's bound";
}

// The price of the step rule: a position steps from the bucket it stands on, and a fresh begin()
// on a deleted bucket 0 looks exactly like a position whose element the body just deleted. Read or
// compare it once before stepping it without a comparison (std::next, std::advance).
TEST_F(ArrayIteration, ABeginOnADeletedFirstBucketStepsAsTheGuideSays) {
    ZendArray array = fourKeys();
    ASSERT_TRUE(array.remove("a"));
    EXPECT_EQ(std::string(std::next(array.begin())->key->val), "b") << "stepped from the deleted bucket 0";
    auto first = array.begin();
    ASSERT_TRUE(first != array.end());
    EXPECT_EQ(std::string(std::next(first)->key->val), "c") << "once compared, it stands on b";
    auto read = array.begin();
    EXPECT_EQ(std::string(read->key->val), "b");
    EXPECT_EQ(std::string(std::next(read)->key->val), "c") << "once read, too";
}

}  // namespace
#endif
