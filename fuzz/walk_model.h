// Where a walk over an array's positions must stand while elements are deleted under it. A
// position stands on a bucket; comparing or reading it moves it from a deleted bucket to the next
// live one (or the bound); a step goes from the bucket it stands on to the next live one after it.
// So a deleted current element hands over to the next live one, a deleted later one is never
// visited, a deleted earlier one changes nothing, and deleting the last ends the walk.
#ifndef CORVANE_FUZZ_WALK_MODEL_H
#define CORVANE_FUZZ_WALK_MODEL_H

#include "model.h"

#include <optional>
#include <utility>
#include <vector>

namespace fuzz {

class WalkModel {
public:
    // order: the array's keys in the walk's direction.
    explicit WalkModel(std::vector<Key> order) : order_(std::move(order)), deleted_(order_.size(), false) {}

    // A comparison or a read: the element the position stands on now, or none at the bound.
    const Key* stand() {
        while (at_ < order_.size() && deleted_[at_]) ++at_;
        return at_ < order_.size() ? &order_[at_] : nullptr;
    }
    void step() { ++at_; }
    void deleted(const Key& key) {
        for (size_t n = 0; n < order_.size(); ++n) {
            if (order_[n] == key) deleted_[n] = true;
        }
    }

    // The element a deletion takes, if there is one. what: 0 the current one, 1 a later one,
    // 2 an earlier one, 3 the last one; choice picks among several.
    std::optional<Key> pick(int what, uint8_t choice) const {
        std::vector<size_t> live;
        for (size_t n = 0; n < order_.size(); ++n) {
            if (deleted_[n]) continue;
            bool fits = what == 0 ? n == at_ : what == 1 ? n > at_ : what == 2 ? n < at_ : true;
            if (fits) live.push_back(n);
        }
        if (live.empty()) return std::nullopt;
        size_t n = what == 3 ? live.back() : live[choice % live.size()];
        return order_[n];
    }

private:
    std::vector<Key> order_;
    std::vector<bool> deleted_;
    size_t at_ = 0;
};

}  // namespace fuzz

#endif
