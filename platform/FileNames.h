// Windows-style file names and the names the platform uses for them.
#pragma once

#include "platform/FixedText.h"

// On Windows a name is used as given. On POSIX every backslash becomes a slash and a leading drive
// letter with its colon stands for the file-system root: "C:\PRTG_Path.Txt" is "/PRTG_Path.Txt".
void NativeFileName(TextBase &native, const char *windowsName);
