#include "platform/FileNames.h"

void NativeFileName(TextBase &native, const char *windowsName) {
    native.Clear();
#if defined(_WIN32)
    native.Assign(windowsName);
#else
    const char *name = windowsName;
    if (((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')) && name[1] == ':') {
        native.AppendChar('/');
        name += 2;
        if (*name == '\\' || *name == '/') ++name;
    }
    for (; *name != '\0'; ++name)
        native.AppendChar(*name == '\\' ? '/' : *name);
#endif
}
