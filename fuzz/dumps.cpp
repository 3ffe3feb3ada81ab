// Dumps of arrays the engine has marked as being walked (var_dump, print_r and json_encode set the
// protection bit). A dump must leave that mark as it found it and show the marked array, when it
// meets it nested, as *RECURSION*. Where those appear is predicted from the model: the dump marks
// each mutable array while it walks it and prints *RECURSION* for a marked one nested inside.
#include "operations.h"
#include "slots.h"

#include <set>
#include <sstream>
#include <string>

namespace fuzz {
namespace {

size_t predictedRecursions(ObjId arrayId, std::set<ObjId>& marked) {
    const Obj& array = model.obj(arrayId);
    bool mine = !array.immutable && marked.insert(arrayId).second;
    size_t found = 0;
    for (const Key& key : array.order) {
        const Element& element = array.elements.at(key);
        if (!element.value || !model.isArray(*element.value)) continue;
        const Obj& nested = model.obj(*element.value);
        if (!nested.immutable && marked.count(*element.value)) {
            ++found;
        } else {
            found += predictedRecursions(*element.value, marked);
        }
    }
    if (mine) marked.erase(arrayId);
    return found;
}

size_t occurrences(const std::string& text, const std::string& word) {
    size_t found = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + word.size())) ++found;
    return found;
}

void setMark(ObjId id, bool on) {
    auto* array = static_cast<zend_array*>(model.obj(id).ptr);
    if (on) {
        corvane::engine::setGcFlags(array, corvane::engine::kGcProtected);
    } else {
        corvane::engine::clearGcFlags(array, corvane::engine::kGcProtected);
    }
    model.obj(id).marked = on;
}

}  // namespace

void markedDump(Program& program) {
    size_t m = program.slot(), d = program.slot();
    uint8_t how = program.byte();
    checkArray(m);
    checkArray(d);
    std::optional<ObjId> markedId = slots.arrayIds[m];
    if (!markedId || model.obj(*markedId).immutable) return;
    // Local handles: destructors that run during the dump may release the slots.
    model.addRef(markedId);
    ZendArray marked = slots.arrays[m];
    setMark(*markedId, true);

    std::optional<ObjId> targetId;
    ZendArray target;
    switch (how % 3) {
        case 0:  // the marked array itself
            targetId = markedId;
            break;
        case 1:  // what slot d holds, which may or may not reach it
            targetId = slots.arrayIds[d];
            break;
        default: {  // a new array that holds it
            ZendArray outer(0ull);
            targetId = model.created(outer.get(), Kind::Array);
            model.addRef(markedId);
            check(outer.add(ZVal(marked)), "append of the marked array");
            Obj& holder = model.obj(*targetId);
            holder.order.emplace_back(std::in_place_index<0>, 0ull);
            holder.elements.emplace(holder.order.back(), Element{markedId, std::nullopt});
            target = std::move(outer);
            break;
        }
    }
    if (how % 3 != 2) {
        model.addRef(targetId);
        target = how % 3 == 0 ? marked : slots.arrays[d];
    }

    std::set<ObjId> engineMarks{*markedId};
    size_t expected = targetId ? predictedRecursions(*targetId, engineMarks) : 0;
    std::ostringstream out;
    if (how & 4) {
        model.addRef(targetId);
        ZVal value(target);
        value.dump(out, 0);
        value.release();
        model.delRef(targetId);
    } else {
        target.dump(out, 0);
    }
    check((corvane::engine::gcFlags(marked.get()) & corvane::engine::kGcProtected) != 0,
          "a dump cleared the mark of an array the engine is walking");
    size_t printed = occurrences(out.str(), "*RECURSION*");
    check(printed == expected, "*RECURSION* in the dump",
          std::to_string(printed) + " printed, " + std::to_string(expected) + " expected");

    setMark(*markedId, false);
    target.release();
    model.delRef(targetId);
    marked.release();
    model.delRef(markedId);
}

}  // namespace fuzz
