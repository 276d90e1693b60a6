// SAP's RFC library, bound while the program runs: loaded at the first RFC step, each operation
// looked up by name and called through a pointer of its declared type. Nothing before that step
// needs the library, and a library or operation that is missing becomes an error document.
#pragma once

#include <cstddef>

#include "platform/FixedText.h"
#include "rfc/RfcLibrary.h"

// The operations' types, with the library's calling convention (RFC_CALL). Each is checked against
// its declaration in rfc/RfcLibrary.h when RfcBinding.cpp compiles.
using RfcEnvironmentFunction = void(RFC_CALL *)(RFC_ENV *);
using RfcOpenFunction = RFC_HANDLE(RFC_CALL *)(RFC_OPTIONS *);
using RfcOpenExFunction = RFC_HANDLE(RFC_CALL *)(const char *, RFC_ERROR_INFO_EX *);
using RfcInstallStructureFunction = int(RFC_CALL *)(const char *, RFC_TYPE_ELEMENT *, unsigned,
                                                    RFC_TYPEHANDLE *);
using RfcCallFunction = int(RFC_CALL *)(RFC_HANDLE, const char *, RFC_PARAMETER *, RFC_TABLE *);
using RfcReceiveFunction = int(RFC_CALL *)(RFC_HANDLE, RFC_PARAMETER *, RFC_TABLE *, char **);
using RfcLastErrorFunction = void(RFC_CALL *)(RFC_ERROR_INFO *);
using RfcCloseFunction = void(RFC_CALL *)(RFC_HANDLE);
using ItCreateFunction = ITAB_H(RFC_CALL *)(const char *, unsigned, unsigned, unsigned);
using ItFillFunction = unsigned(RFC_CALL *)(ITAB_H);
using ItGetLineFunction = void *(RFC_CALL *)(ITAB_H, unsigned);
using ItDeleteFunction = int(RFC_CALL *)(ITAB_H);

// The twelve operations the sensor uses, under their own names.
struct RfcFunctions {
    RfcEnvironmentFunction RfcEnvironment = nullptr;
    RfcOpenFunction RfcOpen = nullptr;
    RfcOpenExFunction RfcOpenEx = nullptr;
    RfcInstallStructureFunction RfcInstallStructure = nullptr;
    RfcCallFunction RfcCall = nullptr;
    RfcReceiveFunction RfcReceive = nullptr;
    RfcLastErrorFunction RfcLastError = nullptr;
    RfcCloseFunction RfcClose = nullptr;
    ItCreateFunction ItCreate = nullptr;
    ItFillFunction ItFill = nullptr;
    ItGetLineFunction ItGetLine = nullptr;
    ItDeleteFunction ItDelete = nullptr;
};

// The bound library, called as rfcLibrary.RfcOpen(...): every pointer is null until BindRfcLibrary
// has succeeded, and every one is set after that.
extern const RfcFunctions &rfcLibrary;

// "librfc32.dll" on Windows, "librfc32.so" elsewhere.
void RfcLibraryFileName(TextBase &fileName);

// Loads the library and finds its twelve operations; the first call does the work, later ones
// repeat its answer. False, with the message of Error 1031 (no library) or Error 1032 (the first
// operation it lacks), when the library cannot be used.
bool BindRfcLibrary(TextBase &error);

// The export names under which an operation with argumentBytes bytes of arguments is looked for,
// in this order: its plain name (SAP's library), then where the calling convention decorates names
// "_Name@N" and "Name@N". Returns how many names were filled.
constexpr size_t kExportNameCandidates = 3;
using ExportName = FixedText<47>;
size_t ExportNameCandidates(const char *name, unsigned argumentBytes, bool decorated,
                            ExportName (&names)[kExportNameCandidates]);
