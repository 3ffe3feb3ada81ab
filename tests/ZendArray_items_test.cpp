// Reading walks with items(): keys, borrowed values, deleted buckets, both directions.
#include "engine_facts.h"
#include "engine_test.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using ArrayItems = EngineTest;

static_assert(std::is_same_v<decltype(ZendArray::Item::value), const zval&>, "values are borrowed, read-only");
static_assert(std::is_same_v<std::iterator_traits<ZendArray::Items::iterator>::iterator_category,
                             std::input_iterator_tag>);

// "key=value" for each element a walk sees; string keys are quoted, with zero bytes shown as \0.
template <typename Range>
std::vector<std::string> seen(const Range& range) {
    std::vector<std::string> out;
    for (auto [key, value] : range) {
        std::string text;
        if (key.isString()) {
            text = "\"";
            for (char c : key.view()) text += c ? std::string(1, c) : std::string("\\0");
            text += "\"";
        } else {
            text = std::to_string(key.integer());
        }
        out.push_back(text + "=" + std::to_string(value.value.lval));
    }
    return out;
}

std::vector<std::string> forward(const ZendArray& a) { return seen(a.items()); }
std::vector<std::string> backward(const ZendArray& a) { return seen(a.items().reversed()); }

std::vector<std::string> reversed(std::vector<std::string> v) {
    std::reverse(v.begin(), v.end());
    return v;
}

// The engine's flag of a packed table (integer keys in order, no hash part): HASH_FLAG_PACKED.
constexpr uint32_t kPackedFlag = 1u << 2;
bool isPacked(const ZendArray& a) { return (a.get()->u.flags & kPackedFlag) != 0; }

// Leaves slot index of a packed array of longs deleted while still in use, as the engine leaves
// a deleted slot that is not the last one: a trailing hole the engine itself would have trimmed.
// The slot is a Bucket on PHP 7.3 and a bare zval on PHP 8.2.
void leaveHole(zend_array* array, uint32_t index) {
    ASSERT_LT(index, array->nNumUsed);
    ASSERT_TRUE(array->u.flags & kPackedFlag);
    zval& value = facts::slot(array, index);
    ASSERT_EQ(value.u1.type_info, corvane::engine::kLong) << "nothing to give back";
    value.u1.type_info = corvane::engine::kUndef;
    --array->nNumOfElements;
}

TEST_F(ArrayItems, EmptyHandleWalksNothing) {
    ZendArray empty;
    int steps = 0;
    for (auto [key, value] : empty.items()) steps += static_cast<int>(key.integer() + value.u1.type_info + 1);
    for (auto [key, value] : empty.items().reversed()) {
        steps += static_cast<int>(key.integer() + value.u1.type_info + 1);
    }
    EXPECT_EQ(steps, 0);
    EXPECT_TRUE(empty.items().begin() == empty.items().end());
    EXPECT_TRUE(empty.items().reversed().begin() == empty.items().reversed().end());
    EXPECT_TRUE(empty.isNull()) << "no array comes into being";
}

TEST_F(ArrayItems, NewArrayWalksNothing) {
    ZendArray array(0);
    EXPECT_TRUE(forward(array).empty());
    EXPECT_TRUE(backward(array).empty());
}

TEST_F(ArrayItems, PackedTableInOrderAndReversed) {
    ZendArray array(8);
    for (long long i = 0; i < 5; ++i) array.add(ZVal(i * 10));
    ASSERT_TRUE(isPacked(array));
    const std::vector<std::string> expected{"0=0", "1=10", "2=20", "3=30", "4=40"};
    EXPECT_EQ(forward(array), expected);
    EXPECT_EQ(backward(array), reversed(expected));
}

TEST_F(ArrayItems, HolesAtStartMiddleAndEndAreNeverSeen) {
    ZendArray array(8);
    for (long long i = 0; i < 8; ++i) array.add(ZVal(i));
    ASSERT_TRUE(array.remove(0));
    ASSERT_TRUE(array.remove(1));
    ASSERT_TRUE(array.remove(4));
    leaveHole(array.get(), 7);
    leaveHole(array.get(), 6);
    ASSERT_EQ(array.get()->nNumUsed, 8u) << "holes at both ends are still in use";
    const std::vector<std::string> expected{"2=2", "3=3", "5=5"};
    EXPECT_EQ(forward(array), expected);
    EXPECT_EQ(backward(array), reversed(expected));

    auto first = array.items().begin();
    EXPECT_EQ((*first).key.integer(), 2u) << "the first position already stands on a live element";
    auto last = array.items().reversed().begin();
    EXPECT_EQ((*last).key.integer(), 5u) << "so does the first position of the reverse walk";
}

TEST_F(ArrayItems, HolesBelowAPackedIndexAreNeverSeen) {
    ZendArray array(8);
    array.add(3, ZVal(3));  // buckets 0 to 2 are holes in a packed table
    ASSERT_EQ(array.get()->nNumUsed, 4u);
    EXPECT_EQ(forward(array), (std::vector<std::string>{"3=3"}));
    EXPECT_EQ(backward(array), (std::vector<std::string>{"3=3"}));
}

TEST_F(ArrayItems, AllDeletedWalksNothing) {
    ZendArray array(8);
    for (long long i = 0; i < 3; ++i) array.add(ZVal(i));
    ASSERT_TRUE(array.remove(0));
    ASSERT_TRUE(array.remove(1));
    leaveHole(array.get(), 2);
    ASSERT_EQ(array.get()->nNumUsed, 3u);
    ASSERT_EQ(array.size(), 0u);
    EXPECT_TRUE(forward(array).empty());
    EXPECT_TRUE(backward(array).empty());
    EXPECT_TRUE(array.items().begin() == array.items().end());
    EXPECT_TRUE(array.items().reversed().begin() == array.items().reversed().end());

    ZendArray removed(8);
    removed.add("a", ZVal(1));
    removed.add("b", ZVal(2));
    ASSERT_TRUE(removed.remove("b"));
    ASSERT_TRUE(removed.remove("a"));
    EXPECT_TRUE(forward(removed).empty());
    EXPECT_TRUE(backward(removed).empty());
}

TEST_F(ArrayItems, HashTableWithStringAndIntegerKeys) {
    ZendArray array(8);
    ASSERT_TRUE(array.add("name", ZVal(1)));
    ASSERT_TRUE(array.add(std::string_view("a\0b", 3), ZVal(2)));
    ASSERT_TRUE(array.add(-1, ZVal(3)));
    ASSERT_TRUE(array.add(70, ZVal(4)));
    ASSERT_TRUE(array.add("5", ZVal(5)));
    ASSERT_TRUE(array.add(-9223372036854775807LL - 1, ZVal(6)));
    ASSERT_TRUE(array.remove(70));
    ASSERT_FALSE(isPacked(array));
    const std::vector<std::string> expected{"\"name\"=1", "\"a\\0b\"=2", "18446744073709551615=3", "\"5\"=5",
                                            "9223372036854775808=6"};
    EXPECT_EQ(forward(array), expected);
    EXPECT_EQ(backward(array), reversed(expected));
}

TEST_F(ArrayItems, KeysTellStringsFromIntegers) {
    ZendArray array(8);
    ZendString name(std::string_view("a\0b", 3));
    array.add(name, ZVal(1));
    array.add(-1, ZVal(2));
    std::vector<ZendArray::Key> keys;
    for (auto [key, value] : array.items()) keys.push_back(key);
    ASSERT_EQ(keys.size(), 2u);

    EXPECT_TRUE(keys[0].isString());
    EXPECT_FALSE(keys[0].isInteger());
    EXPECT_EQ(keys[0].get(), name.get()) << "the key string the array holds, lent";
    EXPECT_EQ(keys[0].view(), std::string_view("a\0b", 3));
    EXPECT_EQ(keys[0].view().data(), name.get()->val);
    EXPECT_EQ(keys[0].integer(), 0u);

    EXPECT_TRUE(keys[1].isInteger());
    EXPECT_FALSE(keys[1].isString());
    EXPECT_EQ(keys[1].get(), nullptr);
    EXPECT_EQ(keys[1].view().data(), nullptr);
    EXPECT_EQ(keys[1].view().size(), 0u);
    EXPECT_EQ(keys[1].integer(), 18446744073709551615ull);
    EXPECT_EQ(static_cast<long long>(keys[1].integer()), -1);
    EXPECT_TRUE(array.contains(keys[1].integer())) << "the integer key finds its element";
}

TEST_F(ArrayItems, ValuesAreTheBucketsOwn) {
    ZendArray array(8);
    array.add("a", ZVal(1));
    array.add("b", ZVal(2.5));
    std::vector<const zval*> addresses;
    for (auto [key, value] : array.items()) addresses.push_back(&value);
    ASSERT_EQ(addresses.size(), 2u);
    EXPECT_EQ(addresses[0], &array.get()->arData[0].val);
    EXPECT_EQ(addresses[1], &array.get()->arData[1].val);
    EXPECT_EQ(addresses[1]->value.dval, 2.5);

    // A packed array's values: its Buckets' on PHP 7.3, its bare zvals on PHP 8.2.
    ZendArray packed(8);
    packed.add(ZVal(1));
    packed.add(ZVal(2));
    ASSERT_TRUE(isPacked(packed));
    addresses.clear();
    for (auto [key, value] : packed.items()) addresses.push_back(&value);
    ASSERT_EQ(addresses.size(), 2u);
    EXPECT_EQ(addresses[0], &facts::slot(packed.get(), 0));
    EXPECT_EQ(addresses[1], &facts::slot(packed.get(), 1));
    EXPECT_EQ(reinterpret_cast<const char*>(addresses[1]) - reinterpret_cast<const char*>(addresses[0]),
              facts::kPhp82 ? 16 : 32);
}

TEST_F(ArrayItems, AWalkCountsNothing) {
    ZendArray array(8);
    ZendString key("key");
    zend_string* value = newString("value");
    array.add(key, ZVal(value));
    ZendArray nested(8);
    array.add("nested", ZVal(nested));
    const unsigned int arrayCount = array.refCount(), keyCount = key.refCount();
    const unsigned int valueCount = countOf(value), nestedCount = nested.refCount();

    size_t steps = 0;
    for (auto [k, v] : array.items()) steps += k.view().size() + v.u1.type_info;
    for (const auto& [k, v] : array.items().reversed()) steps += k.view().size() + v.u1.type_info;
    EXPECT_GT(steps, 0u);
    EXPECT_EQ(array.refCount(), arrayCount);
    EXPECT_EQ(key.refCount(), keyCount);
    EXPECT_EQ(countOf(value), valueCount);
    EXPECT_EQ(nested.refCount(), nestedCount);
}

TEST_F(ArrayItems, AValueMadeFromAnItemAddsExactlyOneReference) {
    ZendArray array(8);
    zend_string* value = newString("value");
    array.add("s", ZVal(value));
    ASSERT_EQ(countOf(value), 1u);
    for (auto [key, item] : array.items()) {
        ZVal copy(item);
        EXPECT_EQ(countOf(value), 2u);
        EXPECT_EQ(copy.getTypeInfo(), corvane::engine::kStringInfo);
        EXPECT_EQ(copy.asString().get(), value);
        ZendString sharedKey(key.get(), false);
        EXPECT_EQ(sharedKey.refCount(), 2u) << "sharing the key is the caller's choice";
    }
    EXPECT_EQ(countOf(value), 1u) << "the copy gave its reference back";
    EXPECT_EQ(array.at("s").getTypeInfo(), corvane::engine::kStringInfo) << "the element is unchanged";
}

TEST_F(ArrayItems, ARemoveDuringTheWalkKeepsItGoing) {
    ZendArray array(8);
    for (long long i = 0; i < 7; ++i) array.add(ZVal(i));
    std::vector<unsigned long long> visited;
    for (auto [key, value] : array.items()) {
        const unsigned long long k = key.integer();  // read before the bucket is emptied
        visited.push_back(k);
        if (k == 1) {
            ASSERT_TRUE(array.remove(2));  // ahead of the walk: never visited
        }
        if (k == 3) {
            ASSERT_TRUE(array.remove(3));  // the current element: the next one still comes
        }
    }
    EXPECT_EQ(visited, (std::vector<unsigned long long>{0, 1, 3, 4, 5, 6}));

    std::vector<unsigned long long> back;
    for (auto [key, value] : array.items().reversed()) {
        const unsigned long long k = key.integer();
        back.push_back(k);
        if (k == 5) {
            ASSERT_TRUE(array.remove(5));
        }
    }
    EXPECT_EQ(back, (std::vector<unsigned long long>{6, 5, 4, 1, 0}));
}

// The same over a hash, whose slots are Buckets on every engine version: deleting ahead of the walk,
// under it, and at the tail.
TEST_F(ArrayItems, DeletingUnderAWalkOfAHashVisitsEachLiveElementOnce) {
    ZendArray array(8);
    for (const char* key : {"a", "b", "c", "d"}) array.add(key, ZVal(1));
    std::vector<std::string> seen;
    for (auto [key, value] : array.items()) {
        const std::string name(key.view());  // read before a delete frees the key
        seen.push_back(name);
        if (name == "b") array.remove("b");
        if (name == "c") array.remove("d");
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "c"}));
    seen.clear();
    for (auto [key, value] : array.items().reversed()) {
        const std::string name(key.view());
        seen.push_back(name);
        if (name == "c") array.remove("c");
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"c", "a"}));
}

// Deleting the last elements lowers nNumUsed below the walk's bound; the slots past it are left
// deleted where they were, and passed over.
TEST_F(ArrayItems, DeletingTheTailOfAListUnderAWalkEndsItThere) {
    ZendArray array(8);
    for (long long i = 0; i < 6; ++i) array.add(ZVal(i));
    ASSERT_TRUE(isPacked(array));
    std::vector<unsigned long long> visited;
    for (auto [key, value] : array.items()) {
        visited.push_back(key.integer());
        if (key.integer() == 2) {
            ASSERT_TRUE(array.remove(5));
            ASSERT_TRUE(array.remove(4));
            ASSERT_EQ(array.get()->nNumUsed, 4u) << "the engine trims the trailing holes";
        }
    }
    EXPECT_EQ(visited, (std::vector<unsigned long long>{0, 1, 2, 3}));

    std::vector<unsigned long long> back;
    for (auto [key, value] : array.items().reversed()) {
        back.push_back(key.integer());
        if (key.integer() == 3) {
            ASSERT_TRUE(array.remove(3));  // the current element, at the tail
        }
    }
    EXPECT_EQ(back, (std::vector<unsigned long long>{3, 2, 1, 0}));
    EXPECT_EQ(forward(array), (std::vector<std::string>{"0=0", "1=1", "2=2"}));
}

// The engine's shared empty array: nothing used, nothing read.
TEST_F(ArrayItems, TheEnginesStaticEmptyArrayWalksNothing) {
    const uint32_t count = zend_empty_array.gc.refcount;
    ZendArray empty(const_cast<zend_array*>(&zend_empty_array));
    EXPECT_TRUE(empty.items().begin() == empty.items().end());
    EXPECT_TRUE(empty.items().reversed().begin() == empty.items().reversed().end());
    EXPECT_EQ(zend_empty_array.gc.refcount, count) << "immutable: held and walked without counting";
}

TEST_F(ArrayItems, IteratorsStepLikeTheRangeFor) {
    ZendArray array(8);
    array.add(ZVal(1));
    array.add(ZVal(2));
    auto it = array.items().begin();
    auto before = it++;
    EXPECT_EQ((*before).key.integer(), 0u);
    EXPECT_EQ((*it).key.integer(), 1u);
    EXPECT_TRUE(++it == array.items().end());
    auto rit = array.items().reversed().begin();
    auto rbefore = rit++;
    EXPECT_EQ((*rbefore).key.integer(), 1u);
    EXPECT_EQ((*rit).value.value.lval, 1);
    EXPECT_TRUE(++rit == array.items().reversed().end());
    EXPECT_EQ(std::distance(array.items().begin(), array.items().end()), 2);
}

}  // namespace
