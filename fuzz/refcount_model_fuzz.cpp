// Model-based fuzzing of the reference rules. The input is a program of operations over a small
// pool of string handles, array handles and values. A model predicts the reference count of every
// engine object from the owners the program has made; after each step every live object's count
// must match it, and at the end, with every owner dropped, the engine must hold no memory at all.
#include <corvane/ZVal.h>
#include <standin/standin.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace {

constexpr size_t kSlots = 4;

[[noreturn]] void fail(const char* what, const std::string& detail = {}) {
    std::fprintf(stderr, "model mismatch: %s %s\n", what, detail.c_str());
    std::abort();
}

void check(bool ok, const char* what, const std::string& detail = {}) {
    if (!ok) fail(what, detail);
}

// Reads the program: each call takes the next byte, or 0 once the input is spent.
class Program {
public:
    Program(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool done() const { return pos_ >= size_; }
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    size_t slot() { return byte() % kSlots; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

const std::string& textFor(uint8_t n) {
    static const std::string texts[] = {"", "a", "5", "key", "k2", std::string("z\0z", 3), std::string(300, 'L')};
    return texts[n % 7];
}

// --- The model -----------------------------------------------------------------------------------

using ObjId = int;
using Key = std::variant<unsigned long long, std::string>;

struct Element {
    std::optional<ObjId> value;  // a counted engine object, or a scalar
    std::optional<ObjId> key;    // the key string the table holds a reference of, when modelled
};

struct Obj {
    void* ptr = nullptr;
    bool isArray = false;
    bool immutable = false;
    unsigned int storedCount = 0;  // for immutable objects: never changes
    int expected = 1;
    std::map<Key, Element> elements;  // arrays only
    std::vector<Key> order;           // arrays only: keys in insertion order
};

class Model {
public:
    // An object the program has just created: the model must not know its address.
    ObjId created(void* ptr, bool isArray) {
        check(!known(ptr), "a new object at the address of one the model thinks alive (freed too early)");
        return add(ptr, isArray);
    }

    // An object that may already be modelled: an interned string or an immutable array.
    ObjId found(void* ptr, bool isArray) {
        for (auto& [id, obj] : objs_) {
            if (obj.ptr == ptr) {
                addRef(id);
                return id;
            }
        }
        return add(ptr, isArray);
    }

    ObjId idOf(void* ptr) const {
        for (auto& [id, obj] : objs_) {
            if (obj.ptr == ptr) return id;
        }
        fail("object not in the model");
    }

    bool known(void* ptr) const {
        for (auto& [id, obj] : objs_) {
            if (obj.ptr == ptr) return true;
        }
        return false;
    }

    void addRef(ObjId id) {
        Obj& obj = objs_.at(id);
        if (!obj.immutable) ++obj.expected;
    }

    void delRef(ObjId id) {
        Obj& obj = objs_.at(id);
        if (obj.immutable) return;
        if (--obj.expected > 0) return;
        // The engine frees it now; an array gives back what its elements held.
        std::map<Key, Element> elements = std::move(obj.elements);
        objs_.erase(id);
        for (auto& [key, element] : elements) {
            if (element.key) delRef(*element.key);
            if (element.value) delRef(*element.value);
        }
    }

    Obj& obj(ObjId id) { return objs_.at(id); }
    bool alive(ObjId id) const { return objs_.count(id) != 0; }

    void verify() const {
        for (auto& [id, obj] : objs_) {
            unsigned int actual = static_cast<zend_refcounted*>(obj.ptr)->gc.refcount;
            unsigned int want = obj.immutable ? obj.storedCount : static_cast<unsigned int>(obj.expected);
            check(actual == want, "reference count",
                  "object " + std::to_string(id) + ": engine " + std::to_string(actual) + ", model " +
                      std::to_string(want));
            auto flags = static_cast<zend_refcounted*>(obj.ptr)->gc.u.type_info;
            check(!(flags & 0x20) || obj.immutable, "array left marked");
            if (obj.isArray) {
                auto* ht = static_cast<zend_array*>(obj.ptr);
                check(zend_array_count(ht) == obj.elements.size(), "element count");
            }
        }
    }

    // After every owner is gone only engine-owned objects may remain.
    void verifyOnlyImmutableLeft() const {
        for (auto& [id, obj] : objs_) check(obj.immutable, "a counted object outlived its owners", std::to_string(id));
    }

    std::vector<ObjId> liveArrays() const {
        std::vector<ObjId> ids;
        for (auto& [id, obj] : objs_) {
            if (obj.isArray && !obj.immutable) ids.push_back(id);
        }
        return ids;
    }

private:
    ObjId add(void* ptr, bool isArray) {
        auto* header = static_cast<zend_refcounted*>(ptr);
        bool immutable = header->gc.u.type_info & 0x40;
        ObjId id = next_++;
        Obj& obj = objs_[id];
        obj.ptr = ptr;
        obj.isArray = isArray;
        obj.immutable = immutable;
        obj.storedCount = header->gc.refcount;
        obj.expected = immutable ? 0 : 1;
        return id;
    }

    std::map<ObjId, Obj> objs_;
    ObjId next_ = 1;
};

// What a slot holds, as the model sees it.
struct Slots {
    ZendString strings[kSlots];
    ZendArray arrays[kSlots];
    ZVal values[kSlots];
    std::optional<ObjId> stringIds[kSlots];
    std::optional<ObjId> arrayIds[kSlots];
    std::optional<ObjId> valueIds[kSlots];
};

// --- The interpreter -----------------------------------------------------------------------------

class Run {
public:
    explicit Run(Program& program) : p_(program) {}

    void step() {
        switch (p_.byte() % 24) {
            case 0: newString(); break;
            case 1: copyString(); break;
            case 2: moveString(); break;
            case 3: releaseString(); break;
            case 4: deepCopy(); break;
            case 5: stringRoundTrip(); break;
            case 6: assignRawString(); break;
            case 7: extract(); break;
            case 8: newArray(); break;
            case 9: copyArray(); break;
            case 10: arrayRoundTrip(); break;
            case 11: scalarValue(); break;
            case 12: valueFromHandle(); break;
            case 13: copyValue(); break;
            case 14: valueRoundTrip(); break;
            case 15: convert(); break;
            case 16: store(); break;
            case 17: lookUp(); break;
            case 18: removeKey(); break;
            case 19: walk(); break;
            case 20: dump(); break;
            case 21: storeSelf(); break;
            case 22: internString(); break;
            case 23: immutableArray(); break;
        }
        model_.verify();
    }

    // Breaks every cycle, then drops every owner.
    void finish() {
        for (ObjId id : model_.liveArrays()) {
            if (!model_.alive(id)) continue;
            ZendArray handle(static_cast<zend_array*>(model_.obj(id).ptr));
            model_.addRef(id);
            std::vector<Key> keys = model_.obj(id).order;
            for (const Key& key : keys) removeFrom(handle, id, key);
            handle.release();
            model_.delRef(id);
        }
        for (size_t i = 0; i < kSlots; ++i) {
            s_.strings[i].release();
            dropString(i);
            s_.values[i].release();
            dropValue(i);
            s_.arrays[i].release();
            dropArray(i);
        }
        model_.verify();
        model_.verifyOnlyImmutableLeft();
    }

private:
    // Slot bookkeeping: what the slot held loses the slot's reference.
    void dropString(size_t i) { drop(s_.stringIds[i]); }
    void dropArray(size_t i) { drop(s_.arrayIds[i]); }
    void dropValue(size_t i) { drop(s_.valueIds[i]); }
    void drop(std::optional<ObjId>& id) {
        if (id) model_.delRef(*id);
        id.reset();
    }
    // Slot i now holds what slot j holds: one more owner (shared) or the same one (moved).
    void sharedInto(std::optional<ObjId>* ids, size_t i, size_t j) {
        if (i == j) return;
        drop(ids[i]);
        ids[i] = ids[j];
        if (ids[i]) model_.addRef(*ids[i]);
    }
    void movedInto(std::optional<ObjId>* ids, size_t i, size_t j) {
        if (i == j) return;
        drop(ids[i]);
        ids[i] = ids[j];
        ids[j].reset();
    }

    std::optional<ObjId> idOfString(const ZendString& s) {
        return s.isNull() ? std::nullopt : std::optional<ObjId>(model_.idOf(s.get()));
    }

    void newString() {
        size_t i = p_.slot();
        const std::string& text = textFor(p_.byte());
        uint8_t how = p_.byte() % 3;
        if (how == 0) {
            s_.strings[i] = ZendString(std::string_view(text));
        } else if (how == 1) {
            s_.strings[i] = std::string_view(text);
        } else {
            s_.strings[i] = text.c_str();  // up to the first zero byte
        }
        dropString(i);
        s_.stringIds[i] = model_.created(s_.strings[i].get(), false);
    }

    void internString() {
        size_t i = p_.slot();
        s_.strings[i] = ZendString(standin::internString(textFor(p_.byte())), false);
        dropString(i);
        s_.stringIds[i] = model_.found(s_.strings[i].get(), false);
    }

    void copyString() {
        size_t i = p_.slot(), j = p_.slot();
        if (p_.byte() & 1) {
            ZendString copy(s_.strings[j]);
            s_.strings[i] = std::move(copy);
        } else {
            s_.strings[i] = s_.strings[j];
        }
        sharedInto(s_.stringIds, i, j);
    }

    void moveString() {
        size_t i = p_.slot(), j = p_.slot();
        s_.strings[i] = std::move(s_.strings[j]);
        movedInto(s_.stringIds, i, j);
    }

    void releaseString() {
        size_t i = p_.slot();
        s_.strings[i].release();
        dropString(i);
    }

    void deepCopy() {
        size_t i = p_.slot(), j = p_.slot();
        bool persistent = p_.byte() & 1;
        ZendString copy = ZendString::deep_copy(s_.strings[j].get(), persistent);
        s_.strings[i] = std::move(copy);
        dropString(i);
        if (!s_.strings[i].isNull()) s_.stringIds[i] = model_.created(s_.strings[i].get(), false);
    }

    void stringRoundTrip() {
        size_t i = p_.slot();
        zend_string* raw = s_.strings[i].detach();
        s_.strings[i] = ZendString::take(raw);
    }

    void assignRawString() {
        size_t i = p_.slot(), j = p_.slot();
        s_.strings[i] = s_.strings[j].get();
        sharedInto(s_.stringIds, i, j);
    }

    void extract() {
        size_t i = p_.slot();
        smart_str builder{};
        uint8_t parts = p_.byte() % 3;
        for (uint8_t n = 0; n < parts; ++n) standin::smartStrAppend(builder, textFor(p_.byte()));
        s_.strings[i] = ZendString(ZendString::smartStrExtract(builder, false));
        dropString(i);
        s_.stringIds[i] = parts == 0 ? model_.found(s_.strings[i].get(), false)
                                     : model_.created(s_.strings[i].get(), false);
    }

    void newArray() {
        size_t i = p_.slot();
        s_.arrays[i] = ZendArray(static_cast<unsigned long long>(p_.byte()));
        dropArray(i);
        s_.arrayIds[i] = model_.created(s_.arrays[i].get(), true);
    }

    void immutableArray() {
        size_t i = p_.slot();
        s_.arrays[i] = const_cast<zend_array*>(&zend_empty_array);
        dropArray(i);
        s_.arrayIds[i] = model_.found(s_.arrays[i].get(), true);
    }

    void copyArray() {
        size_t i = p_.slot(), j = p_.slot();
        switch (p_.byte() % 4) {
            case 0: s_.arrays[i] = s_.arrays[j]; break;
            case 1: s_.arrays[i] = s_.arrays[j].get(); break;
            case 2: {
                s_.arrays[i] = std::move(s_.arrays[j]);
                movedInto(s_.arrayIds, i, j);
                return;
            }
            case 3: {
                s_.arrays[i].release();
                dropArray(i);
                return;
            }
        }
        sharedInto(s_.arrayIds, i, j);
    }

    void arrayRoundTrip() {
        size_t i = p_.slot();
        zend_array* raw = s_.arrays[i].detach();
        if (!raw) return;
        ZendArray again(raw);  // shares: two references now
        ZendArray::zendArrayRelease(raw);
        s_.arrays[i] = std::move(again);
    }

    void scalarValue() {
        size_t i = p_.slot();
        switch (p_.byte() % 5) {
            case 0: s_.values[i] = ZVal(static_cast<long long>(p_.byte()) - 128); break;
            case 1: s_.values[i] = ZVal::makeNull(); break;
            case 2: s_.values[i] = ZVal::makeBool(p_.byte() & 1); break;
            case 3: s_.values[i] = ZVal(0.5 * p_.byte()); break;
            case 4: s_.values[i] = ZVal(); break;
        }
        dropValue(i);
    }

    void valueFromHandle() {
        size_t i = p_.slot(), j = p_.slot();
        uint8_t how = p_.byte() % 4;
        std::optional<ObjId> held;
        if (how < 2) {
            held = s_.stringIds[j];
            if (how == 0) {
                s_.values[i] = ZVal(s_.strings[j]);
                if (held) model_.addRef(*held);
            } else {
                s_.values[i] = ZVal::makeString(std::move(s_.strings[j]));
                s_.stringIds[j].reset();
            }
        } else {
            held = s_.arrayIds[j];
            if (how == 2) {
                s_.values[i] = ZVal(s_.arrays[j]);
                if (held) model_.addRef(*held);
            } else {
                s_.values[i] = ZVal::makeArray(std::move(s_.arrays[j]));
                s_.arrayIds[j].reset();
            }
        }
        dropValue(i);
        s_.valueIds[i] = held;
    }

    void copyValue() {
        size_t i = p_.slot(), j = p_.slot();
        if (p_.byte() & 1) {
            s_.values[i] = std::move(s_.values[j]);
            movedInto(s_.valueIds, i, j);
        } else {
            s_.values[i] = s_.values[j];
            sharedInto(s_.valueIds, i, j);
        }
    }

    void valueRoundTrip() {
        size_t i = p_.slot();
        zval raw;
        raw.u2.extra = 0x5A5A5A5A;
        s_.values[i].detach(raw);
        check(raw.u2.extra == 0x5A5A5A5A, "detach wrote the spare word");
        s_.values[i] = ZVal::take(raw);
        check(raw.u1.type_info == 0, "take left the source defined");
    }

    void convert() {
        size_t i = p_.slot(), j = p_.slot();
        ZVal& v = s_.values[j];
        if (p_.byte() & 1) {
            try {
                s_.strings[i] = v.asString();
            } catch (const std::runtime_error&) {
                check(!v.isString(), "asString refused a string");
                return;
            }
            dropString(i);
            s_.stringIds[i] = s_.valueIds[j];
            if (s_.stringIds[i]) model_.addRef(*s_.stringIds[i]);
        } else {
            try {
                s_.arrays[i] = v.asArray();
            } catch (const std::runtime_error&) {
                check(!v.isArray(), "asArray refused an array");
                return;
            }
            dropArray(i);
            s_.arrayIds[i] = s_.valueIds[j];
            if (s_.arrayIds[i]) model_.addRef(*s_.arrayIds[i]);
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
            const ZendString& s = s_.strings[k.slot];
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

    // PHP 7.3 frees what a request array lets go (values and keys) with efree: persistent string
    // values are refused, and persistent string keys are stored by their bytes. Permanent interned
    // strings (the engine's empty string) are never freed and go in as they are.
    static bool persistentString(ZVal& v) {
        if (v.getType() != corvane::engine::kString) return false;
        const zend_string* str = v.get()->value.str;
        return corvane::engine::isPersistent(str) && !corvane::engine::isImmutable(str);
    }

    void store() {
        size_t a = p_.slot(), v = p_.slot();
        bool update = p_.byte() & 1;
        KeyChoice k = chooseKey();
        if (k.kind == 4) update = false;
        ZendArray& array = s_.arrays[a];
        std::optional<ObjId> arrayId = s_.arrayIds[a];
        bool writable = arrayId && !model_.obj(*arrayId).immutable && !s_.values[v].isUndef() &&
                        !persistentString(s_.values[v]);

        std::optional<ObjId> valueId = s_.valueIds[v];
        if (valueId) model_.addRef(*valueId);  // the copy passed in
        bool stored;
        ZVal value = s_.values[v];
        switch (k.kind) {
            case 0: stored = update ? array.insert(s_.strings[k.slot], std::move(value))
                                    : array.add(s_.strings[k.slot], std::move(value)); break;
            case 1: stored = update ? array.insert(std::string_view(k.text), std::move(value))
                                    : array.add(std::string_view(k.text), std::move(value)); break;
            case 2: stored = update ? array.insert(k.text.c_str(), std::move(value))
                                    : array.add(k.text.c_str(), std::move(value)); break;
            case 3: stored = update ? array.insert(k.index, std::move(value)) : array.add(k.index, std::move(value)); break;
            default: stored = array.add(std::move(value)); break;
        }
        check(value.isUndef(), "the value parameter was not consumed");

        if (k.kind == 4) {
            if (!writable) {
                check(!stored, "append to an unwritable array");
            } else if (stored) {
                Obj& obj = model_.obj(*arrayId);
                unsigned long long next = nextIndexOf(obj);
                Key key(next);
                obj.elements[key] = Element{valueId, std::nullopt};
                obj.order.push_back(key);
                return;
            }
            if (valueId) model_.delRef(*valueId);
            return;
        }
        if (!writable || !k.modelKey) {
            check(!stored, "store into an empty handle or immutable array, of an undefined value or with an empty key");
            if (valueId) model_.delRef(*valueId);
            return;
        }
        Obj& obj = model_.obj(*arrayId);
        auto existing = obj.elements.find(*k.modelKey);
        if (existing != obj.elements.end()) {
            check(stored == update, "add over an existing key, or insert");
            if (!update) {
                if (valueId) model_.delRef(*valueId);
                return;
            }
            std::optional<ObjId> old = existing->second.value;
            existing->second.value = valueId;
            if (old) model_.delRef(*old);
            return;
        }
        check(stored, "store of a new key");
        std::optional<ObjId> keyId;
        if (k.kind == 0 && !(s_.strings[k.slot].isPersistent() && !s_.strings[k.slot].isImmutable())) {
            keyId = s_.stringIds[k.slot];
            if (keyId) model_.addRef(*keyId);
        }
        obj.elements[*k.modelKey] = Element{valueId, keyId};
        obj.order.push_back(*k.modelKey);
    }

    // The engine's next free integer key, from the model's history of the array.
    unsigned long long nextIndexOf(Obj& obj) {
        auto* ht = static_cast<zend_array*>(obj.ptr);
        return static_cast<unsigned long long>(ht->nNextFreeElement - 1);
    }

    ZVal lookUpWith(ZendArray& array, const KeyChoice& k) {
        switch (k.kind) {
            case 0: return array.at(s_.strings[k.slot]);
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
        ZendArray& array = s_.arrays[a];
        ZVal found = lookUpWith(array, k);
        bool contains;
        switch (k.kind) {
            case 0: contains = array.contains(s_.strings[k.slot]); break;
            case 1: contains = array.contains(std::string_view(k.text)); break;
            case 2: contains = array.contains(k.text.c_str()); break;
            default: contains = array.contains(k.index); break;
        }
        std::optional<ObjId> arrayId = s_.arrayIds[a];
        const Element* element = nullptr;
        if (arrayId && k.modelKey) {
            Obj& obj = model_.obj(*arrayId);
            auto it = obj.elements.find(*k.modelKey);
            if (it != obj.elements.end()) element = &it->second;
        }
        check(contains == (element != nullptr), "contains");
        check(found.isUndef() == (element == nullptr), "at");
        std::optional<ObjId> valueId = element ? element->value : std::nullopt;
        if (valueId) model_.addRef(*valueId);  // the found copy
        s_.values[v] = std::move(found);
        dropValue(v);
        s_.valueIds[v] = valueId;
    }

    void removeFrom(ZendArray& array, ObjId arrayId, const Key& key) {
        // Through an engine-string key: the only kind that reaches the empty string key.
        bool removed = std::holds_alternative<std::string>(key)
                           ? array.remove(ZendString(std::string_view(std::get<std::string>(key))))
                           : array.remove(std::get<unsigned long long>(key));
        check(removed, "remove of a key the model holds");
        forget(arrayId, key);
    }

    // The model's side of a removal: the array gives the element's key and value back.
    void forget(ObjId arrayId, const Key& key) {
        Obj& obj = model_.obj(arrayId);
        auto it = obj.elements.find(key);
        if (it == obj.elements.end()) return;
        Element element = it->second;
        obj.elements.erase(it);
        obj.order.erase(std::find(obj.order.begin(), obj.order.end(), key));
        if (element.key) model_.delRef(*element.key);
        if (element.value) model_.delRef(*element.value);
    }

    void removeKey() {
        size_t a = p_.slot();
        KeyChoice k = chooseKey();
        if (k.kind == 4) return;
        ZendArray& array = s_.arrays[a];
        std::optional<ObjId> arrayId = s_.arrayIds[a];
        bool present = false;
        if (arrayId && k.modelKey) {
            Obj& obj = model_.obj(*arrayId);
            present = !obj.immutable && obj.elements.count(*k.modelKey);
        }
        bool removed;
        switch (k.kind) {
            case 0: removed = array.remove(s_.strings[k.slot]); break;
            case 1: removed = array.remove(std::string_view(k.text)); break;
            case 2: removed = array.remove(k.text.c_str()); break;
            default: removed = array.remove(k.index); break;
        }
        check(removed == present, "remove");
        if (present) forget(*arrayId, *k.modelKey);
    }

    void walk() {
        size_t a = p_.slot();
        const ZendArray& array = s_.arrays[a];
        size_t forward = 0, backward = 0;
        for (const Bucket& b : array) {
            check(b.val.u1.type_info != 0, "walk stood on a deleted bucket");
            ++forward;
        }
        for (auto it = array.rbegin(); it != array.rend(); ++it) ++backward;
        check(forward == backward, "forward and reverse walks differ");
        check(forward == array.size(), "walk length", std::to_string(forward) + " vs " + std::to_string(array.size()));
    }

    void dump() {
        size_t i = p_.slot();
        std::ostringstream out;
        switch (p_.byte() % 4) {
            case 0: s_.values[i].dump(out, 0); break;
            case 1: s_.arrays[i].dump(out, 1); break;
            case 2: s_.strings[i].dump(out, 2); break;
            case 3:
                try {
                    s_.values[i].dump(out, -1);  // refused by {fmt} unless it is a string
                } catch (const std::runtime_error&) {
                }
                break;
        }
    }

    void storeSelf() {
        size_t a = p_.slot();
        std::optional<ObjId> arrayId = s_.arrayIds[a];
        if (!arrayId || model_.obj(*arrayId).immutable) return;
        model_.addRef(*arrayId);
        bool stored = s_.arrays[a].add(ZVal(s_.arrays[a]));
        check(stored, "append of an array to itself");
        Obj& obj = model_.obj(*arrayId);
        Key key(nextIndexOf(obj));
        obj.elements[key] = Element{arrayId, std::nullopt};
        obj.order.push_back(key);
    }

    Program& p_;
    Model model_;
    Slots s_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    standin::startup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    standin::requestStartup();
    size_t persistentBefore = standin::livePersistentBlocks();
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
