#include "slots.h"
#include "operations.h"

#include <standin/standin.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <utility>

namespace fuzz {

Slots slots;
Model model;
std::vector<InFlux> inFlux;

bool isInFlux(const ZendRefCounted& handle) {
    for (const InFlux& entry : inFlux) {
        if (entry.handle == &handle) return true;
    }
    return false;
}

namespace {

struct Destructor {
    void* object = nullptr;
    std::vector<Action> actions;
};
std::vector<Destructor> destructors;  // by the model's destructor index
bool collectorPending = false;

void checkHandle(const ZendRefCounted& handle, const std::optional<ObjId>& id, const char* what, size_t i) {
    for (const InFlux& entry : inFlux) {
        if (entry.handle != &handle) continue;
        check(handle.isNull() || handle.get() == entry.either, what,
              "slot " + std::to_string(i) + ", being assigned, holds neither nothing nor the new array");
        return;
    }
    if (id) {
        check(handle.get() == model.obj(*id).ptr, what, "slot " + std::to_string(i) + " holds another object");
    } else {
        check(handle.isNull(), what, "slot " + std::to_string(i) + " should be empty");
    }
}

void checkValueHolds(ZVal& value, const std::optional<ObjId>& id, const char* what) {
    namespace engine = corvane::engine;
    uint8_t type = value.getType();
    bool object = type == engine::kString || type == engine::kArray || type == engine::kObject;
    if (id) {
        check(object && value.get()->value.counted == model.obj(*id).ptr, what, "holds another value");
    } else {
        check(!object, what, "should hold no object");
    }
}

}  // namespace

void checkString(size_t i) { checkHandle(slots.strings[i], slots.stringIds[i], "string slot", i); }
void checkArray(size_t i) { checkHandle(slots.arrays[i], slots.arrayIds[i], "array slot", i); }
void checkValue(size_t i) { checkValueHolds(slots.values[i], slots.valueIds[i], "value slot"); }

void checkSpares() {
    checkValueHolds(slots.spareValue.get(), slots.spareValueId, "spare value");
    checkHandle(slots.spareArray.get(), slots.spareArrayId, "spare array", 0);
}

void copyString(size_t i, size_t j) {
    checkString(i);
    checkString(j);
    model.addRef(slots.stringIds[j]);
    replaceIn(slots.stringIds[i], slots.stringIds[j], [&] { slots.strings[i] = slots.strings[j]; });
}

void copyArray(size_t i, size_t j) {
    checkArray(i);
    checkArray(j);
    model.addRef(slots.arrayIds[j]);
    assignArray(
        slots.arrays[i], slots.arrayIds[i], slots.arrayIds[j], [&] { slots.arrays[i] = slots.arrays[j]; },
        &slots.arrays[j]);
}

void copyValue(size_t i, size_t j) {
    checkValue(i);
    checkValue(j);
    model.addRef(slots.valueIds[j]);
    replaceIn(slots.valueIds[i], slots.valueIds[j], [&] { slots.values[i] = slots.values[j]; });
}

void valueFromString(size_t i, size_t j) {
    checkValue(i);
    checkString(j);
    model.addRef(slots.stringIds[j]);
    replaceIn(slots.valueIds[i], slots.stringIds[j], [&] { slots.values[i] = ZVal(slots.strings[j]); });
}

void valueFromArray(size_t i, size_t j) {
    checkValue(i);
    checkArray(j);
    model.addRef(slots.arrayIds[j]);
    replaceIn(slots.valueIds[i], slots.arrayIds[j], [&] { slots.values[i] = ZVal(slots.arrays[j]); });
}

void arrayFromValue(size_t i, size_t j) {
    checkArray(i);
    checkValue(j);
    std::optional<ObjId> id = slots.valueIds[j];
    if (!id || !model.isArray(*id)) {
        check(!slots.values[j].isArray(), "a value the model does not see as an array is one");
        return;
    }
    model.addRef(id);
    assignArray(slots.arrays[i], slots.arrayIds[i], id, [&] { slots.arrays[i] = slots.values[j].asArray(); });
}

void releaseString(size_t i) {
    checkString(i);
    replaceIn(slots.stringIds[i], std::nullopt, [&] { slots.strings[i].release(); });
}

void releaseArray(size_t i) {
    checkArray(i);
    replaceIn(slots.arrayIds[i], std::nullopt, [&] { slots.arrays[i].release(); });
}

void releaseValue(size_t i) {
    checkValue(i);
    replaceIn(slots.valueIds[i], std::nullopt, [&] { slots.values[i].release(); });
}

void dumpSlot(uint8_t what, size_t i) {
    std::ostringstream out;
    switch (what % 3) {
        case 0:
            checkValue(i);
            slots.values[i].dump(out, 0);
            break;
        case 1:
            checkArray(i);
            slots.arrays[i].dump(out, 1);
            break;
        default:
            checkString(i);
            slots.strings[i].dump(out, 2);
            break;
    }
}

bool takeElement(ObjId arrayId, const Key& key, Element& gone) {
    Obj& obj = model.obj(arrayId);
    auto it = obj.elements.find(key);
    if (it == obj.elements.end()) return false;
    gone = it->second;
    obj.elements.erase(it);
    obj.order.erase(std::find(obj.order.begin(), obj.order.end(), key));
    return true;
}

void removeElement(ZendArray& array, ObjId arrayId, const Key& key) {
    Element gone;
    check(takeElement(arrayId, key, gone), "removal of a key the model does not hold", describe(key));
    bool removed = std::holds_alternative<std::string>(key)
                       ? array.remove(ZendString(std::string_view(std::get<std::string>(key))))
                       : array.remove(std::get<unsigned long long>(key));
    check(removed, "remove of a key the model holds", describe(key));
    model.delRef(gone.key);
    model.delRef(gone.value);
}

std::vector<Action> readActions(Program& program) {
    std::vector<Action> actions(program.byte() % 4);
    for (Action& action : actions) {
        action.kind = program.byte();
        action.i = static_cast<uint8_t>(program.slot());
        action.j = static_cast<uint8_t>(program.slot());
    }
    return actions;
}

void runActions(const std::vector<Action>& actions) {
    for (const Action& a : actions) {
        uint8_t kind = a.kind % 15;
        bool touchesI = kind == 6 || kind == 9 || kind == 11 || kind == 14, touchesJ = kind == 6 || kind == 7;
        if ((touchesI && isInFlux(slots.arrays[a.i])) || (touchesJ && isInFlux(slots.arrays[a.j]))) continue;
        switch (kind) {
            case 0: checkValue(a.i); break;
            case 1: checkString(a.i); break;
            case 2: checkArray(a.i); break;
            case 3: checkSpares(); break;
            case 4: copyValue(a.i, a.j); break;
            case 5: copyString(a.i, a.j); break;
            case 6: copyArray(a.i, a.j); break;
            case 7: valueFromArray(a.i, a.j); break;
            case 8: valueFromString(a.i, a.j); break;
            case 9: arrayFromValue(a.i, a.j); break;
            case 10: releaseValue(a.i); break;
            case 11: releaseArray(a.i); break;
            case 12: releaseString(a.i); break;
            case 13: dumpSlot(a.j, a.i); break;
            case 14: borrowedRead(a.i); break;
        }
    }
}

void newObjectWithDestructor(size_t i, std::vector<Action> actions) {
    checkValue(i);
    int index = model.newDestructor();
    destructors.push_back(Destructor{nullptr, std::move(actions)});
    zval raw = standin::newObject([index] {
        model.destructorRuns(index);
        // As the engine's object store does: the object keeps one reference while it is destroyed.
        check(corvane::engine::refcount(static_cast<zend_refcounted*>(destructors[index].object)) == 1,
              "count of an object while its destructor runs");
        std::vector<Action> actions = destructors[index].actions;
        runActions(actions);
    });
    destructors[index].object = raw.value.counted;
    ObjId id = model.created(raw.value.counted, Kind::Object);
    model.attachDestructor(id, index);
    replaceIn(slots.valueIds[i], id, [&] { slots.values[i] = ZVal::take(raw); });
}

void armCollector(std::vector<Action> actions) {
    if (collectorPending) return;
    collectorPending = true;
    standin::collectCyclesAtNextPossibleRoot([actions = std::move(actions)] {
        check(collectorPending, "the collector ran without being armed, or twice");
        collectorPending = false;
        runActions(actions);
    });
}

// A value dropped while another reference stays: the place where the engine looks for cycles.
void fireCollector() {
    if (!collectorPending) return;
    ZendArray array(0ull);
    ObjId id = model.created(array.get(), Kind::Array);
    model.addRef(id);
    {
        ZVal second(array);
        second.release();
    }
    model.delRef(id);
    check(!collectorPending, "the collector did not run when a shared array lost a reference");
    array.release();
    model.delRef(id);
}

bool collectorArmed() { return collectorPending; }

void resetRun() {
    model = Model();
    destructors.clear();
    collectorPending = false;
}

}  // namespace fuzz
