// Which profile field fails its check, for a person: Error 1003 itself names none.
#pragma once

#include "platform/FixedText.h"
#include "rfc/Rfc.h"

// Why field `keyIndex` fails its length check: "missing or empty", "shorter than 2 characters" or "longer
// than 31 characters". False when it passes.
bool FieldLengthProblem(const ConnectionFields &fields, size_t keyIndex, TextBase &problem);

// Verbose mode: one line per failing field, "* PRD.P00: Sysnr......: missing or empty".
void WriteInvalidFields(const ConnectionFields &fields, const char *profileName);
