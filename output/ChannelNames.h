// Channel names of one document, told apart. PRTG keeps one channel per name, so two channels of
// the same name (a profile listed twice, several SIDs on one host named by ,Host, two systems of
// one destination named by ,Sid) would put two systems' values into one channel's history. A name
// that repeats gets " (2)", " (3)", ... behind it, at the first number that gives a name not yet
// in the document.
#pragma once

#include <cstdint>

#include "platform/FixedText.h"

// Forgets the names of the document written before.
void ResetChannelNames();

// Makes `name` differ from every name given since the reset, and notes it. Returns true when a
// number had to be added. Names are told apart by a 64-bit hash of their text; beyond several
// thousand names (more than a listing holds) further names are passed on as they are.
bool MakeChannelNameUnique(TextBase &name);

// How many names were numbered since the reset.
uint32_t NumberedChannelNames();
