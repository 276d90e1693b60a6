// What the process is handed besides its command line and files: environment values (PRTG puts a
// device's credentials there for a sensor whose "Environment" setting asks for it), random bytes,
// and new files of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/FixedText.h"

// The value of an environment variable. False when it is not set; a value longer than the text
// holds is cut (the text says so, truncated()).
bool ReadEnvironmentValue(const char *name, TextBase &value);

// Fills the buffer with random bytes of the operating system's generator. False when it gives
// none (the buffer is then undefined).
bool FillRandomBytes(uint8_t *bytes, size_t count);

// Creates a new file for writing ("wb"); never opens a file or a link that is already there under
// the name (a temporary file to be renamed over another).
FILE *CreateNewFile(const char *windowsName);
