// Borrowing: reads through views, which must count nothing (every step's check of the counts sees
// any), and writes in place through a lent array, which must separate a shared array as PHP does.
#include "operations.h"
#include "slots.h"

#include <corvane/ZendArray.h>

#include <string>

namespace fuzz {
namespace {

// What a view sees of an element must be the object the model holds there, or a scalar.
void checkSeen(corvane::ZValView seen, const Element& element, const Key& key) {
    if (!element.value) {
        check(!seen.isString() && !seen.isArray(), "a view saw a counted value where the model holds a scalar",
              describe(key));
        return;
    }
    const Obj& obj = model.obj(*element.value);
    const void* ptr = obj.kind == Kind::String ? static_cast<const void*>(seen.isString() ? seen.asString().get() : nullptr)
                      : obj.kind == Kind::Array ? static_cast<const void*>(seen.isArray() ? seen.asArray().get() : nullptr)
                                                : static_cast<const void*>(seen.get() ? seen.get()->value.counted : nullptr);
    check(ptr == obj.ptr, "a view saw another object than the model holds", describe(key));
}

}  // namespace

void borrowedRead(size_t a) {
    checkArray(a);
    const corvane::ZendArrayView view(slots.arrays[a]);
    const std::optional<ObjId> id = slots.arrayIds[a];
    if (!id) {
        check(view.isNull() && view.size() == 0 && view.at(0).isUndef(), "a view of an empty handle");
        return;
    }
    const Obj& obj = model.obj(*id);
    check(view.size() == obj.elements.size(), "a view's size");
    size_t seen = 0;
    for (auto [key, value] : view.items()) {
        const Key modelKey = key.isString() ? Key(std::string(key.view())) : Key(key.integer());
        auto found = obj.elements.find(modelKey);
        check(found != obj.elements.end(), "a view walked an element the model does not hold", describe(modelKey));
        checkSeen(corvane::ZValView(value), found->second, modelKey);
        ++seen;
    }
    check(seen == obj.elements.size(), "a view's walk missed elements");
    for (const auto& [key, element] : obj.elements) {
        if (const auto* index = std::get_if<unsigned long long>(&key)) {
            checkSeen(view.at(*index), element, key);
        } else if (!std::get<std::string>(key).empty()) {
            checkSeen(view.at(std::string_view(std::get<std::string>(key))), element, key);
        }
    }
}

void borrowedKeep(size_t a, size_t v, uint8_t which) {
    checkArray(a);
    checkValue(v);
    const std::optional<ObjId> id = slots.arrayIds[a];
    if (!id || model.obj(*id).order.empty()) return;
    const Obj& obj = model.obj(*id);
    const Key& key = obj.order[which % obj.order.size()];
    const std::optional<ObjId> valueId = obj.elements.at(key).value;
    const corvane::ZendArrayView view(slots.arrays[a]);
    corvane::ZValView seen = std::holds_alternative<unsigned long long>(key)
                                 ? view.at(std::get<unsigned long long>(key))
                                 : corvane::ZValView(view.find(ZendString(std::string_view(std::get<std::string>(key)))));
    model.addRef(valueId);  // owned(): the one read that counts
    replaceIn(slots.valueIds[v], valueId, [&] { slots.values[v] = seen.owned(); });
}

void lentWrite(Program& program) {
    const size_t v = program.slot();
    checkValue(v);
    const std::optional<ObjId> id = slots.valueIds[v];
    if (!id || !model.isArray(*id)) {
        ZVal scratch = slots.values[v];
        corvane::LentArray none(*scratch.get());
        check(!none && !none.add(ZVal(1)) && none.size() == 0, "a loan of a value that holds no array");
        return;
    }
    // The value leaves its slot while the loan writes: callbacks (element destructors) find the
    // slot empty, and cannot end the loan by releasing its lender.
    ZVal lender = std::move(slots.values[v]);
    slots.valueIds[v].reset();
    ObjId arrayId = *id;
    const Obj before = model.obj(arrayId);
    corvane::LentArray loan(*lender.get());
    check(static_cast<bool>(loan), "a loan of an array refused");
    if (before.immutable || before.expected > 1) {
        check(loan.get() != before.ptr, "a shared array written without separation");
        // The engine's copy: the same elements, each counted once more; the lender's reference
        // moves from the shared array to the copy.
        ObjId copy = model.created(loan.get(), Kind::Array);
        Obj& made = model.obj(copy);
        made.elements = before.elements;
        made.order = before.order;
        for (const auto& [key, element] : made.elements) {
            model.addRef(element.value);
            model.addRef(element.key);
        }
        model.delRef(arrayId);
        arrayId = copy;
    } else {
        check(loan.get() == before.ptr, "an unshared array was copied");
    }
    check(corvane::engine::refcount(loan.get()) == 1, "a lent array's count while it is written");
    const Obj& obj = model.obj(arrayId);
    if (!obj.order.empty()) {
        const Key key = obj.order[program.byte() % obj.order.size()];
        Element gone;
        takeElement(arrayId, key, gone);
        const bool removed = std::holds_alternative<unsigned long long>(key)
                                 ? loan.remove(std::get<unsigned long long>(key))
                                 : loan.remove(ZendString(std::string_view(std::get<std::string>(key))));
        check(removed, "a loan's removal of a key the model holds", describe(key));
        model.delRef(gone.key);
        model.delRef(gone.value);
    }
    check(corvane::engine::refcount(loan.get()) == 1, "a lent array's count after a write");
    // Back into the slot; whatever a callback put there meanwhile goes.
    replaceIn(slots.valueIds[v], arrayId, [&] { slots.values[v] = std::move(lender); });
}

}  // namespace fuzz
