#include "platform/SharedLibrary.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

constexpr size_t kLibraryPathCapacity = 1023;

// The folder of the running program, with its trailing separator; empty when it cannot be told.
void ProgramFolder(TextBase &folder) {
    folder.Clear();
    char path[kLibraryPathCapacity + 1];
#if defined(_WIN32)
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return;
    const char separator = '\\';
#else
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof path - 1) return;
    const char separator = '/';
#endif
    path[length] = '\0';
    folder.Assign(path);
    size_t last = TextBase::npos;
    for (size_t i = 0; i < folder.size(); ++i)
        if (folder[i] == separator) last = i;
    if (last == TextBase::npos || folder.truncated()) {
        folder.Clear();
        return;
    }
    folder.Cut(last + 1);
}

} // namespace

void SharedLibraryFileName(TextBase &fileName, const char *stem) {
#if defined(_WIN32)
    fileName.Assign(stem).Append(".dll");
#else
    fileName.Assign(stem).Append(".so");
#endif
}

void *LoadSharedLibrary(const char *fileName) {
    FixedText<kLibraryPathCapacity> path;
    ProgramFolder(path);
#if defined(_WIN32)
    // A DLL in the working directory is not taken: PRTG's working directory is not where SAP's
    // library is installed, and a library planted there would run inside the sensor. A DLL folder
    // takes the working directory's place in the search; the program's own folder, searched first
    // anyway, changes nothing else (Wine, unlike Windows, keeps the working directory for "").
    SetDllDirectoryA(path.c_str());
    // A library that fails to load must not stop an unattended sensor with a dialog box.
    DWORD previousMode = 0;
    bool modeSet = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode) != 0;
    HMODULE library = LoadLibraryA(fileName);
    if (modeSet) SetThreadErrorMode(previousMode, nullptr);
    return reinterpret_cast<void *>(library);
#else
    // As the loader would find a library beside the program through an RPATH of $ORIGIN.
    if (!path.empty()) {
        path.Append(fileName);
        if (!path.truncated()) {
            void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (library != nullptr) return library;
        }
    }
    return dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
#endif
}

LibraryFunction FindLibraryFunction(void *library, const char *name) {
    if (library == nullptr) return nullptr;
#if defined(_WIN32)
    // void (*)() takes any function pointer type without a cast warning.
    return reinterpret_cast<LibraryFunction>(GetProcAddress(reinterpret_cast<HMODULE>(library), name));
#else
    return reinterpret_cast<LibraryFunction>(dlsym(library, name));
#endif
}

void UnloadSharedLibrary(void *library) {
    if (library == nullptr) return;
#if defined(_WIN32)
    FreeLibrary(reinterpret_cast<HMODULE>(library));
#else
    dlclose(library);
#endif
}
