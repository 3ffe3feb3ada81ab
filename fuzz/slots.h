// The program's handles and values, kept as module globals as an extension keeps them, so that the
// engine's callbacks (object destructors, the cycle collector) reach them while the library is busy
// with one of them. The operations here are the ones the callbacks run too: each predicts what it
// does to the model, and every slot it touches is first checked against the model.
#ifndef CORVANE_FUZZ_SLOTS_H
#define CORVANE_FUZZ_SLOTS_H

#include "model.h"
#include "program.h"

#include <corvane/ZVal.h>

#include <new>
#include <optional>
#include <vector>

namespace fuzz {

// A handle whose destructor the program runs in place (then builds an empty one there), so that a
// callback can look at it while its destructor runs.
template <typename Handle>
class InPlace {
public:
    InPlace() { new (storage_) Handle(); }
    ~InPlace() { get().~Handle(); }
    Handle& get() { return *std::launder(reinterpret_cast<Handle*>(storage_)); }
    void destroyAndRenew() {
        get().~Handle();
        new (storage_) Handle();
    }

private:
    alignas(Handle) unsigned char storage_[sizeof(Handle)];
};

struct Slots {
    ZendString strings[kSlots];
    ZendArray arrays[kSlots];
    ZVal values[kSlots];
    InPlace<ZVal> spareValue;
    InPlace<ZendArray> spareArray;
    // What each one holds, as the model sees it: nothing, or one reference of an object.
    std::optional<ObjId> stringIds[kSlots];
    std::optional<ObjId> arrayIds[kSlots];
    std::optional<ObjId> valueIds[kSlots];
    std::optional<ObjId> spareValueId;
    std::optional<ObjId> spareArrayId;
};

extern Slots slots;
extern Model model;

// The holder now names counted (a reference the model has counted already); then op runs the
// library, and afterwards what the holder named before loses its reference. The library puts the
// new content in place before it lets the old go, so a callback during op sees the new content.
template <typename Op>
void replaceIn(std::optional<ObjId>& holder, std::optional<ObjId> counted, Op op) {
    std::optional<ObjId> old = holder;
    holder = counted;
    op();
    model.delRef(old);
}

// An array handle being assigned: while the old array dies the handle is empty or already holds the
// new one, and a move's source still holds it or is empty. Callbacks find either, and leave such a
// handle alone, and the source of an assignment too: a copy may read it only after the old array
// is gone.
struct InFlux {
    const ZendRefCounted* handle;
    const void* either;  // null, or the new (or moved) array
};
extern std::vector<InFlux> inFlux;
bool isInFlux(const ZendRefCounted& handle);

template <typename Op>
void assignArray(ZendArray& handle, std::optional<ObjId>& holder, std::optional<ObjId> counted, Op op,
                 ZendArray* source = nullptr) {
    const void* arriving = counted ? model.obj(*counted).ptr : nullptr;
    inFlux.push_back(InFlux{&handle, arriving});
    if (source) inFlux.push_back(InFlux{source, arriving});
    replaceIn(holder, counted, [&] {
        op();
        inFlux.resize(inFlux.size() - (source ? 2 : 1));
    });
}

// Checks that a slot holds what the model says (the same object, or nothing counted).
void checkString(size_t i);
void checkArray(size_t i);
void checkValue(size_t i);
void checkSpares();

void copyString(size_t i, size_t j);
void copyArray(size_t i, size_t j);
void copyValue(size_t i, size_t j);
void valueFromString(size_t i, size_t j);
void valueFromArray(size_t i, size_t j);
// arrays[i] = values[j].asArray(), when values[j] holds an array.
void arrayFromValue(size_t i, size_t j);
void releaseString(size_t i);
void releaseArray(size_t i);
void releaseValue(size_t i);
// dump of a value, an array or a string; what (0, 1, 2) picks which.
void dumpSlot(uint8_t what, size_t i);

// The model's side of a removal, before the engine's: the element leaves the array's model, and
// gone keeps the references it held, for the caller to drop once the engine has. False when the
// model holds no such element.
bool takeElement(ObjId arrayId, const Key& key, Element& gone);
// Removes an element the model holds through array (an engine-string key for string keys: the only
// kind that reaches the empty string key).
void removeElement(ZendArray& array, ObjId arrayId, const Key& key);

// What a callback does: a list of these operations on the globals, chosen when it is made.
struct Action {
    uint8_t kind;
    uint8_t i;
    uint8_t j;
};
std::vector<Action> readActions(Program& program);
void runActions(const std::vector<Action>& actions);

// A new object in values[i] whose destructor runs actions.
void newObjectWithDestructor(size_t i, std::vector<Action> actions);
// Arms the cycle collector to run actions (unless it already is armed).
void armCollector(std::vector<Action> actions);
// Makes an armed collector run.
void fireCollector();
bool collectorArmed();

// A new run: an empty model, no destructors, the collector not armed.
void resetRun();

}  // namespace fuzz

#endif
