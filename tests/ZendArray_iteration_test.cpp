// Walking the bucket storage forwards and backwards.
#include "engine_test.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

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

}  // namespace
