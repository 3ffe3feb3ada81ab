// A typical use of corvane inside an extension function, run here on the stand-in engine: build an
// array, read it back, walk it, dump it, and hand it to the engine as a return value. The dump goes
// to standard output; the rest of the story goes to standard error.
#include <corvane/ZVal.h>
#include <standin/standin.h>

#include <iostream>

namespace {

// What an extension function would do with its return value slot.
void buildResult(zval* return_value) {
    ZendArray arr(8);
    arr.add("name", ZVal(ZendString("abc")));
    arr.add(0, ZVal(42));
    ZendArray list(2);
    list.add(ZVal(1.5));
    list.add(ZVal::makeTrue());
    arr.add("list", ZVal(std::move(list)));
    arr.add(1, ZVal::makeNull());

    // Reading adds a reference for as long as the temporaries live. Keys come in four kinds.
    ZendString nameKey("name");
    std::cerr << "name: " << arr.at(nameKey).asString().view() << "\n"
              << "[0]: " << arr.at(0).asLong() << "\n"
              << "list has " << arr.at(std::string_view("list")).asArray().size() << " elements\n"
              << "contains \"1\" (a string key)? " << (arr.contains("1") ? "yes" : "no") << "\n";

    // Walking gives each element in insertion order, deleted ones passed over, on every engine.
    for (auto [key, value] : arr.items()) {
        if (key.isString()) {
            std::cerr << "key \"" << key.view() << "\"\n";
        } else {
            std::cerr << "key " << key.integer() << "\n";
        }
    }

    ZVal result(std::move(arr));
    result.dump(std::cout, 0);
    std::cout << '\n';

    // The engine now owns the array's only reference.
    result.detach(*return_value);
}

}  // namespace

int main() {
    standin::startup();
    standin::requestStartup();

    zval return_value;
    buildResult(&return_value);
    zval_ptr_dtor(&return_value);  // the engine's side: done with the return value

    size_t leaks = standin::requestShutdown();
    standin::shutdown();
    return leaks == 0 ? 0 : 1;
}
