// The global server listing of item mode: "Quorvane.Prf" (the ITEM= way) or "SAP Quorvane.Gbl"
// (the profile name GLOBAL), read into the server listing, the item name and the channel-name choice.
//
// Writes the run state's server listing, item name, channel-name choice, counters, item-found
// marker and, for GLOBAL, the option text as given.
#pragma once

#include <cstdio>

#include "platform/FixedText.h"

// Prepares item mode from the located listing file (which it closes); raises Errors 1024, 10x1,
// 1025, 1026, 1029 and 1030.
void PrepareListing(FILE *&listingFile, const char *argument2);

// Appends listing text; when the listing is full it is cut at its last complete entry.
void AppendToListing(TextBase &listing, const char *text, bool &full);

// Takes the next entry (up to the first "#") off the front of the listing.
void TakeListingEntry(TextBase &listing, TextBase &entry);
