// The global server listing of item mode: "Quorvane.Prf" (the ITEM= way) or "SAP Quorvane.Gbl"
// (the profile name GLOBAL), read into the server listing, the item name and the channel-name choice.
#pragma once

#include <cstdio>

#include "driver/Options.h"
#include "driver/Profile.h"
#include "platform/FixedText.h"

constexpr size_t kServerListingCapacity = 2047;

// What item mode runs over.
struct ItemListing {
    FixedText<kServerListingCapacity> serverListing; // profile file names, each ended by "#"
    FixedText<kItemNameCapacity> itemName;
    char channelNameChoice = '1';
    // GLOBAL: the sensor definition's option text takes the place of the command line's.
    bool optionsReplaced = false;
    FixedText<kOptionTextCapacity> optionTextAsGiven;
};

// Prepares item mode from the located listing file (which it closes). Returns false with the
// message of Error 1024, 10x1, 1025, 1026, 1029 or 1030.
bool PrepareListing(FILE *&listingFile, const ProfileLocation &location, const Options &commandOptions,
                    const char *argument2, ItemListing &listing, TextBase &error);

// Appends listing text; when the listing is full it is cut at its last complete entry.
void AppendToListing(TextBase &listing, const char *text, bool &full);

// Takes the next entry (up to the first "#") off the front of the listing.
void TakeListingEntry(TextBase &listing, TextBase &entry);
