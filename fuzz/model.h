// The model of the refcount fuzz target: every engine object the program has reached, the count it
// must have, what each array holds in which order, the marks the engine has set, and which object
// destructors have run.
#ifndef CORVANE_FUZZ_MODEL_H
#define CORVANE_FUZZ_MODEL_H

#include <corvane/engine.h>

#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace fuzz {

[[noreturn]] void fail(const char* what, const std::string& detail = {});

inline void check(bool ok, const char* what, const std::string& detail = {}) {
    if (!ok) fail(what, detail);
}

using ObjId = int;
using Key = std::variant<unsigned long long, std::string>;

std::string describe(const Key& key);

struct Element {
    std::optional<ObjId> value;  // a counted engine object, or a scalar
    std::optional<ObjId> key;    // the key string the table holds a reference of, when modelled
};

enum class Kind { String, Array, Object };

struct Obj {
    void* ptr = nullptr;
    Kind kind = Kind::String;
    bool immutable = false;
    unsigned int storedCount = 0;  // for immutable objects: never changes
    int expected = 1;
    bool marked = false;              // arrays: the engine has set the protection mark
    int destructor = -1;              // objects: the index of their destructor's record
    std::map<Key, Element> elements;  // arrays only
    std::vector<Key> order;           // arrays only: keys in bucket order
};

// Counts are predicted as the program goes. While an operation runs, the engine may call back into
// the program (object destructors, the cycle collector), which updates the model at once. So that
// the model's count of an object never falls below the engine's, an operation adds the references
// it makes before it calls the library and drops the ones it ends after the call. (The collector
// holds one reference of its own while it runs, which the model does not see: what it lets go may
// die in the model before the engine frees it, when the collector returns.)
class Model {
public:
    // An object the program has just created: the model must not know its address.
    ObjId created(void* ptr, Kind kind);
    // An object that may already be modelled: an interned string or an immutable array.
    ObjId found(void* ptr, Kind kind);
    ObjId idOf(void* ptr) const;
    bool known(void* ptr) const;

    void addRef(ObjId id);
    // The last reference frees the object: an array gives back what its elements held, an object
    // must have run its destructor by the end of the step.
    void delRef(ObjId id);
    void addRef(const std::optional<ObjId>& id) {
        if (id) addRef(*id);
    }
    void delRef(const std::optional<ObjId>& id) {
        if (id) delRef(*id);
    }

    Obj& obj(ObjId id) { return objs_.at(id); }
    bool alive(ObjId id) const { return objs_.count(id) != 0; }
    bool isArray(ObjId id) const { return objs_.at(id).kind == Kind::Array; }

    // A destructor that the engine will run for an object; the model learns the object later.
    int newDestructor();
    void attachDestructor(ObjId id, int destructor) { objs_.at(id).destructor = destructor; }
    // Called by the destructor itself: it runs once.
    void destructorRuns(int destructor);
    bool destructorRan(int destructor) const { return destructorsRan_.at(destructor); }

    // Counts, element counts, marks and destructors of every object the model holds alive, and the
    // destructors of those that died.
    void verify();
    // After every owner is gone only engine-owned objects may remain.
    void verifyOnlyImmutableLeft() const;

    std::vector<ObjId> liveArrays() const;

private:
    ObjId add(void* ptr, Kind kind);

    std::map<ObjId, Obj> objs_;
    std::vector<bool> destructorsRan_;
    std::vector<int> diedWithDestructor_;
    ObjId next_ = 1;
};

}  // namespace fuzz

#endif
