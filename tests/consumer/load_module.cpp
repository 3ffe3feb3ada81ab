// Loads a module as php loads an extension: the engine (here the stand-in) is already in the
// process, and the module must find libcorvane7.3.so by itself, through its own rpath.
#include <standin/standin.h>

#include <dlfcn.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: load_module <module.so>\n");
        return 2;
    }
    standin::startup();
    void* module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "load_module: %s\n", dlerror());
        return 1;
    }
    dlclose(module);
    standin::shutdown();
    return 0;
}
