// Shared libraries loaded while the program runs, and the functions they export: the program starts
// without them and finds out only when it needs one whether it is there.
#pragma once

#include "platform/FixedText.h"

// An exported function before the caller gives it its real type.
using LibraryFunction = void (*)();

// "librfc32" becomes "librfc32.dll" on Windows, "librfc32.so" elsewhere.
void SharedLibraryFileName(TextBase &fileName, const char *stem);

// Loads a library by its file name (no folder). Windows: the loader's search for a DLL, the
// program's folder first, then the system folders and the PATH, but never the working directory.
// POSIX: the program's own folder first, then the dynamic loader's search. Null when no library
// of that name can be loaded.
void *LoadSharedLibrary(const char *fileName);

// The library's export of that exact name, or null.
LibraryFunction FindLibraryFunction(void *library, const char *name);

void UnloadSharedLibrary(void *library);
