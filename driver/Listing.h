// The global server listing of item mode: "Quorvane.Prf" (the ITEM= way) or "SAP Quorvane.Gbl"
// (the profile name GLOBAL), read into the server listing, the item name and the channel-name choice.
#pragma once

#include <cstdint>
#include <cstdio>

#include "driver/Options.h"
#include "driver/Profile.h"
#include "platform/FixedText.h"

// Room for several thousand entries ("S0001.P00#" is ten characters).
constexpr size_t kServerListingCapacity = 65535;
// A listing line is read whole at any length; a global sensor's definition line is kept whole up
// to this length, and a longer one is refused (Error 1041).
constexpr size_t kListingLineCapacity = kServerListingCapacity;

// How full the listing is: a listing that does not fit keeps its whole entries and counts the ones
// left out, so the run can say that systems go unwatched.
struct ListingFill {
    bool full = false;
    uint32_t entriesLeftOut = 0;
};

// What item mode runs over.
struct ItemListing {
    FixedText<kServerListingCapacity> serverListing; // profile file names, each ended by "#"
    size_t next = 0;                                 // where the next entry starts
    ListingFill fill;
    FixedText<kItemNameCapacity> itemName;
    char channelNameChoice = '1';
    // GLOBAL: the sensor definition's option text takes the place of the command line's.
    bool optionsReplaced = false;
    FixedText<kOptionTextCapacity> optionTextAsGiven;
};

// Prepares item mode from the located listing file (which it closes). Returns false with the
// message of Error 1024, 10x1, 1025, 1026, 1029, 1030, 1034, 1040 or 1041.
bool PrepareListing(FILE *&listingFile, const ProfileLocation &location, const Options &commandOptions,
                    const char *argument2, ItemListing &listing, TextBase &error);

// Appends listing text; when the listing is full it is cut at its last complete entry, and the
// entries that did not fit are counted.
void AppendToListing(TextBase &listing, const char *text, ListingFill &fill);

// Takes the entry that starts at `next` (up to the next "#"; an unterminated last entry counts as
// well) and moves `next` behind it. Returns false when no entry is left.
bool TakeListingEntry(const TextBase &listing, size_t &next, TextBase &entry);
