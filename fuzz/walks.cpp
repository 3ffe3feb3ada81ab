// Walks with deletions between the steps. The walk goes through a handle of its own, so that a
// destructor that runs when an element goes may release the slot the array came from. Nothing is
// stored during a walk: a store may move the buckets.
#include "operations.h"
#include "slots.h"
#include "walk_model.h"

#include <algorithm>
#include <string>

namespace fuzz {
namespace {

Key keyOf(const Bucket& bucket) {
    if (bucket.key) return Key(std::string(bucket.key->val, bucket.key->len));
    return Key(static_cast<unsigned long long>(bucket.h));
}

Key keyOf(const ZendArray::Item& item) {
    if (item.key.isString()) return Key(std::string(item.key.view()));
    return Key(item.key.integer());
}

const zval& valueOf(const Bucket& bucket) { return bucket.val; }
const zval& valueOf(const ZendArray::Item& item) { return item.value; }

class Walk {
public:
    Walk(Program& program, ZendArray& array, std::optional<ObjId> arrayId, bool deletable)
        : p_(program), array_(array), arrayId_(arrayId), deletable_(deletable) {}

    // Walks from it with end() for the loop's bound, and checks the finished walk against fresh,
    // an end() taken after it. strict: positions that follow the rules for comparing and reading a
    // deleted bucket, which the program then also compares between a deletion and the step.
    template <typename Position, typename End, typename Fresh>
    void run(WalkModel& expect, Position it, End end, Fresh fresh, bool strict) {
        // Before the first comparison: begin() stands on the first bucket, deleted or not. (A walk
        // of items() has found its first element when it begins.)
        if (strict) maybeDelete(expect);
        for (;;) {
            const Key* want = expect.stand();
            bool more = it != end();
            check(more == !(it == end()), "== and != of a position disagree");
            if (!want) {
                check(!more, "the walk went on past its last element");
                check(it == fresh() && !(it != fresh()), "a finished walk differs from an end() taken after it");
                return;
            }
            check(more, "the walk ended before an element", describe(*want));
            Key got = keyOf(*it);
            check(got == *want, "the walk visited another element", describe(got) + " for " + describe(*want));
            checkValue(valueOf(*it), *want);
            maybeDelete(expect);
            if (strict && (p_.byte() & 1)) {
                // A comparison between a deletion and the step moves the position first.
                bool again = it != end();
                check(again == (expect.stand() != nullptr), "a comparison after a deletion");
                if (!again) continue;  // at the bound: a loop would not step it
            }
            ++it;
            expect.step();
        }
    }

private:
    void checkValue(const zval& value, const Key& key) {
        const Element& element = model.obj(*arrayId_).elements.at(key);
        bool counted = corvane::engine::typeFlagsOf(value) != 0 || corvane::engine::typeOf(value) == corvane::engine::kString ||
                       corvane::engine::typeOf(value) == corvane::engine::kArray;
        if (element.value) {
            check(counted && value.value.counted == model.obj(*element.value).ptr, "the element's value");
        } else {
            check(!counted, "the element's value");
        }
    }

    void maybeDelete(WalkModel& expect) {
        uint8_t what = p_.byte();
        if (!deletable_ || what % 8 < 4) return;
        std::optional<Key> key = expect.pick(what % 4, p_.byte());
        if (!key) return;
        expect.deleted(*key);
        removeElement(array_, *arrayId_, *key);
    }

    Program& p_;
    ZendArray& array_;
    std::optional<ObjId> arrayId_;
    bool deletable_;
};

}  // namespace

void walkDeleting(Program& program) {
    size_t a = program.slot();
    uint8_t how = program.byte() % 8;
    checkArray(a);
    std::optional<ObjId> arrayId = slots.arrayIds[a];
    model.addRef(arrayId);
    ZendArray array = slots.arrays[a];

    std::vector<Key> order;
    if (arrayId) order = model.obj(*arrayId).order;
    bool reversed = how == 2 || how == 3 || how == 6 || how == 7;
    if (reversed) std::reverse(order.begin(), order.end());
    WalkModel expect(order);
    Walk walk(program, array, arrayId, arrayId && !model.obj(*arrayId).immutable);

    switch (how) {
        case 0: {
            const ZendArray::Iterator end = array.end();
            walk.run(expect, array.begin(), [&] { return end; }, [&] { return array.end(); }, true);
            break;
        }
        case 1: walk.run(expect, array.begin(), [&] { return array.end(); }, [&] { return array.end(); }, true); break;
        case 2: {
            const ZendArray::RIterator end = array.rend();
            walk.run(expect, array.rbegin(), [&] { return end; }, [&] { return array.rend(); }, true);
            break;
        }
        case 3: walk.run(expect, array.rbegin(), [&] { return array.rend(); }, [&] { return array.rend(); }, true); break;
        case 4:
        case 5: {
            auto items = array.items();
            const auto end = items.end();
            if (how == 4) {
                walk.run(expect, items.begin(), [&] { return end; }, [&] { return array.items().end(); }, false);
            } else {
                walk.run(expect, items.begin(), [&] { return items.end(); }, [&] { return array.items().end(); }, false);
            }
            break;
        }
        default: {
            auto items = array.items().reversed();
            const auto end = items.end();
            if (how == 6) {
                walk.run(expect, items.begin(), [&] { return end; }, [&] { return array.items().reversed().end(); },
                         false);
            } else {
                walk.run(expect, items.begin(), [&] { return items.end(); },
                         [&] { return array.items().reversed().end(); }, false);
            }
            break;
        }
    }
    array.release();
    model.delRef(arrayId);
}

}  // namespace fuzz
