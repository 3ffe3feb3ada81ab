// Model-based fuzzing of the reference rules. The input is a program of operations over a small
// pool of string handles, array handles and values (slots.h). A model predicts the reference count
// of every engine object from the owners the program has made; after each step every live object's
// count must match it, and at the end, with every owner dropped, the engine must hold no memory at
// all. Objects with destructors and the cycle collector call back into the program while the library
// works; walks delete as they go (walks.cpp); dumps meet arrays the engine has marked (dumps.cpp).
#include "operations.h"
#include "slots.h"

#include <standin/standin.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace fuzz;

namespace {

class Run {
public:
    explicit Run(Program& program) : p_(program) {}

    void step() {
        switch (p_.byte() % 33) {
            case 0: newString(); break;
            case 1: copyString(p_.slot(), p_.slot()); break;
            case 2: moveString(); break;
            case 3: releaseString(p_.slot()); break;
            case 4: deepCopy(); break;
            case 5: stringRoundTrip(); break;
            case 6: assignRawString(); break;
            case 7: extract(); break;
            case 8: newArray(); break;
            case 9: arrayAssignments(); break;
            case 10: arrayRoundTrip(); break;
            case 11: scalarValue(); break;
            case 12: valueFromHandle(); break;
            case 13: valueAssignments(); break;
            case 14: valueRoundTrip(); break;
            case 15: convert(); break;
            case 16: store(); break;
            case 17: lookUp(); break;
            case 18: removeKey(); break;
            case 19: walkDeleting(p_); break;
            case 20: dump(); break;
            case 21: storeSelf(); break;
            case 22: internString(); break;
            case 23: immutableArray(); break;
            case 24: markedDump(p_); break;
            case 25: newObjectWithDestructor(p_.slot(), readActions(p_)); break;
            case 26: armCollector(readActions(p_)); break;
            case 27: spares(); break;
            case 28: walkDeleting(p_); break;
            case 29: runActions(readActions(p_)); break;
            case 30: borrowedRead(p_.slot()); break;
            case 31: {
                size_t a = p_.slot(), v = p_.slot();
                borrowedKeep(a, v, p_.byte());
                break;
            }
            case 32: lentWrite(p_); break;
        }
        model.verify();
        check(collectorArmed() == standin::cycleCollectionArmed(), "the collector armed or not, as the program armed it");
    }

    // Breaks every cycle, then drops every owner; callbacks may fill slots again while it does.
    void finish() {
        for (ObjId id : model.liveArrays()) {
            if (!model.alive(id)) continue;
            ZendArray handle(static_cast<zend_array*>(model.obj(id).ptr));
            model.addRef(id);
            std::vector<Key> keys = model.obj(id).order;
            for (const Key& key : keys) removeElement(handle, id, key);
            handle.release();
            model.delRef(id);
        }
        for (int round = 0; round < 100 && (!slotsEmpty() || collectorArmed()); ++round) {
            for (size_t i = 0; i < kSlots; ++i) {
                releaseString(i);
                releaseValue(i);
                releaseArray(i);
            }
            replaceIn(slots.spareValueId, std::nullopt, [] { slots.spareValue.get().release(); });
            replaceIn(slots.spareArrayId, std::nullopt, [] { slots.spareArray.get().release(); });
            fireCollector();
        }
        check(slotsEmpty() && !collectorArmed(), "callbacks kept filling the slots");
        model.verify();
        model.verifyOnlyImmutableLeft();
    }

private:
    static bool slotsEmpty() {
        for (size_t i = 0; i < kSlots; ++i) {
            if (slots.stringIds[i] || slots.arrayIds[i] || slots.valueIds[i]) return false;
            if (!slots.strings[i].isNull() || !slots.arrays[i].isNull() || !slots.values[i].isUndef()) return false;
        }
        return !slots.spareValueId && !slots.spareArrayId;
    }

    // Slot i receives a handle made outside it; the model learns the new object after the store.
    void newStringIn(size_t i, ZendString made, bool isNew) {
        std::optional<ObjId> id;
        if (!made.isNull()) id = isNew ? model.created(made.get(), Kind::String) : model.found(made.get(), Kind::String);
        replaceIn(slots.stringIds[i], id, [&] { slots.strings[i] = std::move(made); });
    }

    void newString() {
        size_t i = p_.slot();
        checkString(i);
        const std::string& text = textFor(p_.byte());
        uint8_t how = p_.byte() % 3;
        if (how == 0) {
            newStringIn(i, ZendString(std::string_view(text)), true);
            return;
        }
        // Assignments that build the string themselves: the old one goes first in the model too.
        replaceIn(slots.stringIds[i], std::nullopt, [&] {
            if (how == 1) {
                slots.strings[i] = std::string_view(text);
            } else {
                slots.strings[i] = text.c_str();  // up to the first zero byte
            }
        });
        slots.stringIds[i] = model.created(slots.strings[i].get(), Kind::String);
    }

    void internString() {
        size_t i = p_.slot();
        checkString(i);
        newStringIn(i, ZendString(standin::internString(textFor(p_.byte())), false), false);
    }

    void moveString() {
        size_t i = p_.slot(), j = p_.slot();
        checkString(i);
        checkString(j);
        if (i == j) {
            slots.strings[i] = std::move(slots.strings[j]);
            return;
        }
        std::optional<ObjId> moved = slots.stringIds[j];
        slots.stringIds[j].reset();
        replaceIn(slots.stringIds[i], moved, [&] { slots.strings[i] = std::move(slots.strings[j]); });
    }

    void deepCopy() {
        size_t i = p_.slot(), j = p_.slot();
        checkString(i);
        bool persistent = p_.byte() & 1;
        ZendString copy = ZendString::deep_copy(slots.strings[j].get(), persistent);
        newStringIn(i, std::move(copy), true);
    }

    void stringRoundTrip() {
        size_t i = p_.slot();
        zend_string* raw = slots.strings[i].detach();
        slots.strings[i] = ZendString::take(raw);
        checkString(i);
    }

    void assignRawString() {
        size_t i = p_.slot(), j = p_.slot();
        checkString(i);
        checkString(j);
        model.addRef(slots.stringIds[j]);
        replaceIn(slots.stringIds[i], slots.stringIds[j], [&] { slots.strings[i] = slots.strings[j].get(); });
    }

    void extract() {
        size_t i = p_.slot();
        checkString(i);
        smart_str builder{};
        uint8_t parts = p_.byte() % 3;
        for (uint8_t n = 0; n < parts; ++n) standin::smartStrAppend(builder, textFor(p_.byte()));
        newStringIn(i, ZendString(ZendString::smartStrExtract(builder, false)), parts != 0);
    }

    void newArrayIn(size_t i, ZendArray made, bool isNew) {
        ObjId id = isNew ? model.created(made.get(), Kind::Array) : model.found(made.get(), Kind::Array);
        assignArray(slots.arrays[i], slots.arrayIds[i], id, [&] { slots.arrays[i] = std::move(made); });
    }

    void newArray() {
        size_t i = p_.slot();
        checkArray(i);
        newArrayIn(i, ZendArray(static_cast<unsigned long long>(p_.byte())), true);
    }

    void immutableArray() {
        size_t i = p_.slot();
        checkArray(i);
        // Assigning the raw pointer shares it (immutable: nothing counted).
        std::optional<ObjId> id = model.found(const_cast<zend_array*>(&zend_empty_array), Kind::Array);
        assignArray(slots.arrays[i], slots.arrayIds[i], id,
                    [&] { slots.arrays[i] = const_cast<zend_array*>(&zend_empty_array); });
    }

    void arrayAssignments() {
        size_t i = p_.slot(), j = p_.slot();
        switch (p_.byte() % 4) {
            case 0: copyArray(i, j); break;
            case 1:
                checkArray(i);
                checkArray(j);
                model.addRef(slots.arrayIds[j]);
                assignArray(slots.arrays[i], slots.arrayIds[i], slots.arrayIds[j],
                            [&] { slots.arrays[i] = slots.arrays[j].get(); });
                break;
            case 2: {
                checkArray(i);
                checkArray(j);
                if (i == j) {
                    slots.arrays[i] = std::move(slots.arrays[j]);
                    return;
                }
                std::optional<ObjId> moved = slots.arrayIds[j];
                slots.arrayIds[j].reset();
                assignArray(slots.arrays[i], slots.arrayIds[i], moved,
                            [&] { slots.arrays[i] = std::move(slots.arrays[j]); }, &slots.arrays[j]);
                break;
            }
            case 3: releaseArray(i); break;
        }
    }

    void arrayRoundTrip() {
        size_t i = p_.slot();
        checkArray(i);
        zend_array* raw = slots.arrays[i].detach();
        if (!raw) return;
        ZendArray again(raw);  // shares: two references now
        ZendArray::zendArrayRelease(raw);
        slots.arrays[i] = std::move(again);
    }

    void scalarValue() {
        size_t i = p_.slot();
        checkValue(i);
        uint8_t how = p_.byte() % 5;
        uint8_t n = how == 1 || how == 4 ? 0 : p_.byte();
        replaceIn(slots.valueIds[i], std::nullopt, [&] {
            switch (how) {
                case 0: slots.values[i] = ZVal(static_cast<long long>(n) - 128); break;
                case 1: slots.values[i] = ZVal::makeNull(); break;
                case 2: slots.values[i] = ZVal::makeBool(n & 1); break;
                case 3: slots.values[i] = ZVal(0.5 * n); break;
                case 4: slots.values[i] = ZVal(); break;
            }
        });
    }

    void valueFromHandle() {
        size_t i = p_.slot(), j = p_.slot();
        switch (p_.byte() % 4) {
            case 0: valueFromString(i, j); break;
            case 1: {
                checkValue(i);
                checkString(j);
                std::optional<ObjId> moved = slots.stringIds[j];
                slots.stringIds[j].reset();
                replaceIn(slots.valueIds[i], moved,
                          [&] { slots.values[i] = ZVal::makeString(std::move(slots.strings[j])); });
                break;
            }
            case 2: valueFromArray(i, j); break;
            case 3: {
                checkValue(i);
                checkArray(j);
                std::optional<ObjId> moved = slots.arrayIds[j];
                slots.arrayIds[j].reset();
                replaceIn(slots.valueIds[i], moved, [&] { slots.values[i] = ZVal::makeArray(std::move(slots.arrays[j])); });
                break;
            }
        }
    }

    void valueAssignments() {
        size_t i = p_.slot(), j = p_.slot();
        if (!(p_.byte() & 1)) {
            copyValue(i, j);
            return;
        }
        checkValue(i);
        checkValue(j);
        if (i == j) {
            slots.values[i] = std::move(slots.values[j]);
            return;
        }
        std::optional<ObjId> moved = slots.valueIds[j];
        slots.valueIds[j].reset();
        replaceIn(slots.valueIds[i], moved, [&] { slots.values[i] = std::move(slots.values[j]); });
    }

    void valueRoundTrip() {
        size_t i = p_.slot();
        zval raw;
        raw.u2.extra = 0x5A5A5A5A;
        slots.values[i].detach(raw);
        check(raw.u2.extra == 0x5A5A5A5A, "detach wrote the spare word");
        slots.values[i] = ZVal::take(raw);
        check(raw.u1.type_info == 0, "take left the source defined");
        checkValue(i);
    }

    void convert() {
        size_t i = p_.slot(), j = p_.slot();
        checkValue(j);
        ZVal& v = slots.values[j];
        std::optional<ObjId> id = slots.valueIds[j];
        if (p_.byte() & 1) {
            bool isString = id && model.obj(*id).kind == Kind::String;
            try {
                ZendString converted = v.asString();
                check(isString, "asString took a value the model does not see as a string");
                checkString(i);
                model.addRef(id);
                replaceIn(slots.stringIds[i], id, [&] { slots.strings[i] = std::move(converted); });
            } catch (const std::runtime_error&) {
                check(!isString, "asString refused a string");
            }
        } else {
            bool isArray = id && model.isArray(*id);
            try {
                ZendArray converted = v.asArray();
                check(isArray, "asArray took a value the model does not see as an array");
                checkArray(i);
                model.addRef(id);
                assignArray(slots.arrays[i], slots.arrayIds[i], id, [&] { slots.arrays[i] = std::move(converted); });
            } catch (const std::runtime_error&) {
                check(!isArray, "asArray refused an array");
            }
        }
    }

    // A key of one of the four kinds, with the model's view of it. A refused key has no model key.
    struct KeyChoice {
        uint8_t kind;  // 0 ZendString, 1 string_view, 2 const char*, 3 integer, 4 append
        size_t slot;
        std::string text;
        unsigned long long index;
        std::optional<Key> modelKey;
    };

    KeyChoice chooseKey() {
        KeyChoice k{};
        k.kind = p_.byte() % 5;
        if (k.kind == 0) {
            k.slot = p_.slot();
            checkString(k.slot);
            const ZendString& s = slots.strings[k.slot];
            if (!s.isNull()) k.modelKey = Key(std::string(s.view()));
        } else if (k.kind == 1 || k.kind == 2) {
            k.text = textFor(p_.byte());
            if (k.kind == 2) k.text = k.text.c_str();
            if (!k.text.empty()) k.modelKey = Key(k.text);
        } else if (k.kind == 3) {
            k.index = static_cast<unsigned long long>(static_cast<int8_t>(p_.byte()));
            k.modelKey = Key(k.index);
        }
        return k;
    }

    // A copy of a ZendString key into local, counted; its id, or 0 (ids start at 1) for none.
    ObjId localKeyString(const KeyChoice& k, ZendString& local) {
        if (k.kind != 0 || !slots.stringIds[k.slot]) return 0;
        ObjId id = *slots.stringIds[k.slot];
        model.addRef(id);
        local = slots.strings[k.slot];
        return id;
    }

    // PHP 7.3 frees what a request array lets go (values and keys) with efree: persistent string
    // values are refused, and persistent string keys are stored by their bytes. Permanent interned
    // strings (the engine's empty string) are never freed and go in as they are.
    static bool persistentString(ZVal& v) {
        if (v.getType() != corvane::engine::kString) return false;
        const zend_string* str = v.get()->value.str;
        return corvane::engine::isPersistent(str) && !corvane::engine::isImmutable(str);
    }

    // The engine's next free integer key.
    static unsigned long long nextIndexOf(Obj& obj) {
        auto* ht = static_cast<zend_array*>(obj.ptr);
        return static_cast<unsigned long long>(ht->nNextFreeElement - 1);
    }

    // The array handle, the key string and the value are local copies while the engine works: a
    // destructor that runs when a store replaces a value may release the slots they came from.
    void store() {
        size_t a = p_.slot(), v = p_.slot();
        bool update = p_.byte() & 1;
        KeyChoice k = chooseKey();
        if (k.kind == 4) update = false;
        checkArray(a);
        checkValue(v);
        std::optional<ObjId> arrayId = slots.arrayIds[a];
        model.addRef(arrayId);
        ZendArray array = slots.arrays[a];
        ZendString keyString;
        ObjId keyStringId = localKeyString(k, keyString);
        bool writable = arrayId && !model.obj(*arrayId).immutable && !slots.values[v].isUndef() &&
                        !persistentString(slots.values[v]);

        std::optional<ObjId> valueId = slots.valueIds[v];
        model.addRef(valueId);  // the copy passed in
        ZVal value = slots.values[v];

        // An update of an existing element: the model holds the new value before the old one goes.
        std::optional<ObjId> replaced;
        bool replacing = false, existing = false;
        if (writable && k.kind != 4 && k.modelKey) {
            Obj& obj = model.obj(*arrayId);
            auto found = obj.elements.find(*k.modelKey);
            existing = found != obj.elements.end();
            if (existing && update) {
                replacing = true;
                replaced = found->second.value;
                found->second.value = valueId;
            }
        }

        bool stored;
        switch (k.kind) {
            case 0: stored = update ? array.insert(keyString, std::move(value)) : array.add(keyString, std::move(value)); break;
            case 1: stored = update ? array.insert(std::string_view(k.text), std::move(value))
                                    : array.add(std::string_view(k.text), std::move(value)); break;
            case 2: stored = update ? array.insert(k.text.c_str(), std::move(value))
                                    : array.add(k.text.c_str(), std::move(value)); break;
            case 3: stored = update ? array.insert(k.index, std::move(value)) : array.add(k.index, std::move(value)); break;
            default: stored = array.add(std::move(value)); break;
        }
        check(value.isUndef(), "the value parameter was not consumed");
        bakeStore(k, writable, stored, existing, update, arrayId, valueId, keyString);
        model.delRef(replaced);
        if (replacing) check(stored, "insert over an existing key");

        keyString.release();
        if (keyStringId) model.delRef(keyStringId);
        array.release();
        model.delRef(arrayId);
    }

    // The model's side of a store that did not replace a value.
    void bakeStore(const KeyChoice& k, bool writable, bool stored, bool existing, bool update,
                   std::optional<ObjId> arrayId, std::optional<ObjId> valueId, const ZendString& keyString) {
        if (k.kind == 4) {
            if (!writable) {
                check(!stored, "append to an unwritable array");
            } else if (stored) {
                Obj& obj = model.obj(*arrayId);
                Key key(nextIndexOf(obj));
                obj.elements[key] = Element{valueId, std::nullopt};
                obj.order.push_back(key);
                return;
            }
            model.delRef(valueId);
            return;
        }
        if (!writable || !k.modelKey) {
            check(!stored, "store into an empty handle or immutable array, of an undefined value or with an empty key");
            model.delRef(valueId);
            return;
        }
        if (existing) {
            check(stored == update, "add over an existing key, or insert");
            if (!update) model.delRef(valueId);
            return;
        }
        check(stored, "store of a new key");
        std::optional<ObjId> keyId;
        if (k.kind == 0 && !(keyString.isPersistent() && !keyString.isImmutable())) {
            keyId = model.idOf(keyString.get());
            model.addRef(keyId);
        }
        Obj& obj = model.obj(*arrayId);
        obj.elements[*k.modelKey] = Element{valueId, keyId};
        obj.order.push_back(*k.modelKey);
    }

    ZVal lookUpWith(ZendArray& array, const KeyChoice& k) {
        switch (k.kind) {
            case 0: return array.at(slots.strings[k.slot]);
            case 1: return array.at(std::string_view(k.text));
            case 2: return array.at(k.text.c_str());
            default: return array.at(k.index);
        }
    }

    void lookUp() {
        size_t a = p_.slot(), v = p_.slot();
        KeyChoice k = chooseKey();
        if (k.kind == 4) k.kind = 3;
        if (k.kind == 3) k.modelKey = Key(k.index);
        checkArray(a);
        checkValue(v);
        ZendArray& array = slots.arrays[a];
        ZVal found = lookUpWith(array, k);
        bool contains;
        switch (k.kind) {
            case 0: contains = array.contains(slots.strings[k.slot]); break;
            case 1: contains = array.contains(std::string_view(k.text)); break;
            case 2: contains = array.contains(k.text.c_str()); break;
            default: contains = array.contains(k.index); break;
        }
        std::optional<ObjId> arrayId = slots.arrayIds[a];
        const Element* element = nullptr;
        if (arrayId && k.modelKey) {
            Obj& obj = model.obj(*arrayId);
            auto it = obj.elements.find(*k.modelKey);
            if (it != obj.elements.end()) element = &it->second;
        }
        check(contains == (element != nullptr), "contains");
        check(found.isUndef() == (element == nullptr), "at");
        std::optional<ObjId> valueId = element ? element->value : std::nullopt;
        model.addRef(valueId);  // the found copy
        replaceIn(slots.valueIds[v], valueId, [&] { slots.values[v] = std::move(found); });
    }

    void removeKey() {
        size_t a = p_.slot();
        KeyChoice k = chooseKey();
        if (k.kind == 4) return;
        checkArray(a);
        std::optional<ObjId> arrayId = slots.arrayIds[a];
        model.addRef(arrayId);
        ZendArray array = slots.arrays[a];
        ZendString keyString;
        ObjId keyStringId = localKeyString(k, keyString);

        // The element leaves the model first: its destructor may look at the array.
        bool present = false;
        Element gone;
        if (arrayId && k.modelKey && !model.obj(*arrayId).immutable) {
            present = takeElement(*arrayId, *k.modelKey, gone);
        }
        bool removed;
        switch (k.kind) {
            case 0: removed = array.remove(keyString); break;
            case 1: removed = array.remove(std::string_view(k.text)); break;
            case 2: removed = array.remove(k.text.c_str()); break;
            default: removed = array.remove(k.index); break;
        }
        check(removed == present, "remove");
        if (present) {
            model.delRef(gone.key);
            model.delRef(gone.value);
        }
        keyString.release();
        if (keyStringId) model.delRef(keyStringId);
        array.release();
        model.delRef(arrayId);
    }

    void dump() {
        size_t i = p_.slot();
        uint8_t what = p_.byte() % 4;
        if (what < 3) {
            dumpSlot(what, i);
            return;
        }
        checkValue(i);
        std::ostringstream out;
        try {
            slots.values[i].dump(out, -1);  // refused by {fmt} unless it is a string
        } catch (const std::runtime_error&) {
        }
    }

    void storeSelf() {
        size_t a = p_.slot();
        checkArray(a);
        std::optional<ObjId> arrayId = slots.arrayIds[a];
        if (!arrayId || model.obj(*arrayId).immutable) return;
        model.addRef(*arrayId);
        bool stored = slots.arrays[a].add(ZVal(slots.arrays[a]));
        check(stored, "append of an array to itself");
        Obj& obj = model.obj(*arrayId);
        Key key(nextIndexOf(obj));
        obj.elements[key] = Element{arrayId, std::nullopt};
        obj.order.push_back(key);
    }

    // The spare value and array are destroyed in place: a destructor that runs then may look at them.
    void spares() {
        size_t j = p_.slot();
        switch (p_.byte() % 4) {
            case 0:
                checkValue(j);
                checkSpares();
                model.addRef(slots.valueIds[j]);
                replaceIn(slots.spareValueId, slots.valueIds[j], [&] { slots.spareValue.get() = slots.values[j]; });
                break;
            case 1:
                checkArray(j);
                checkSpares();
                model.addRef(slots.arrayIds[j]);
                assignArray(
                    slots.spareArray.get(), slots.spareArrayId, slots.arrayIds[j],
                    [&] { slots.spareArray.get() = slots.arrays[j]; }, &slots.arrays[j]);
                break;
            case 2:
                checkSpares();
                replaceIn(slots.spareValueId, std::nullopt, [] { slots.spareValue.destroyAndRenew(); });
                break;
            case 3:
                checkSpares();
                replaceIn(slots.spareArrayId, std::nullopt, [] { slots.spareArray.destroyAndRenew(); });
                break;
        }
    }

    Program& p_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    standin::startup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    standin::requestStartup();
    size_t persistentBefore = standin::livePersistentBlocks();
    resetRun();
    {
        Program program(data, size);
        Run run(program);
        for (int steps = 0; !program.done() && steps < 256; ++steps) run.step();
        run.finish();
    }
    check(standin::liveRequestBlocks() == 0, "request memory left at the end",
          std::to_string(standin::liveRequestBlocks()) + " blocks");
    if (standin::persistentFreesVisible()) {
        check(standin::livePersistentBlocks() == persistentBefore, "persistent memory left at the end");
    }
    check(standin::requestShutdown() == 0, "leaks at request end");
    return 0;
}
