#pragma once
// A system library opened when a file first needs it, for its functions by name. Libraries
// linked into the program are loaded at every start with everything they bring: libavcodec's
// hundred and cfitsio's network stack took 70 ms of each talvenor-cli run, used or not.
#include <dlfcn.h>

namespace talvenor {

class SharedLibrary {
public:
    // Opened by its versioned name (libfoo.so.N: the version built against); not found leaves
    // it unloaded. Never closed: its functions may be called until the process ends.
    explicit SharedLibrary(const char* soname) : handle_(dlopen(soname, RTLD_NOW | RTLD_LOCAL)) {}
    bool Loaded() const { return handle_ != nullptr; }
    // Sets `fn` to the function `name`; false (and `fn` null) when the library lacks it.
    template <class F>
    bool Find(const char* name, F& fn) const {
        fn = handle_ ? reinterpret_cast<F>(dlsym(handle_, name)) : nullptr;
        return fn != nullptr;
    }

private:
    void* handle_;
};

// "libname.so.N" for a version number given as a macro.
#define TALVENOR_SONAME(base, major) "lib" base ".so." TALVENOR_SONAME_NUMBER(major)
#define TALVENOR_SONAME_NUMBER(major) #major
// A name as text after its macros are expanded (cfitsio's long names stand for short ones).
#define TALVENOR_SYMBOL_NAME(name) TALVENOR_SYMBOL_TEXT(name)
#define TALVENOR_SYMBOL_TEXT(name) #name

}  // namespace talvenor
