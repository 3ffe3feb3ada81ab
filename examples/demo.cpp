// A typical use of corvane inside an extension function, run here on the stand-in engine: build an
// array, read it back, walk it, dump it, and hand it to the engine as a return value.
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

    // Reading adds a reference for as long as the temporaries live.
    std::cerr << "name is " << arr.at("name").asString().view() << ", " << arr.size() << " elements\n";

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
