// The run state: one process-wide record, set up at start and never freed.
//
// The run driver owns it. Other rooms read and write the fields their headers name:
// output/ reads the option texts, item mode and the item channel name; rfc/ reads the connection
// fields and the option text, writes the run status and the shown host; space/ reads item mode,
// the item name, the item channel name, the option text and the destination, and writes the run
// status and the item-found marker.
#pragma once

#include <cstdint>

#include "platform/FixedText.h"
#include "rfc/RfcLibrary.h"

constexpr const char *kProgramName = "Marrowind";
constexpr const char *kProgramVersion = "Vers 4.3 / 29.08.22";

// The connection values of a profile.
struct ConnectionFields {
    FixedText<63> extcompany;
    FixedText<11> destination;
    FixedText<11> client;
    FixedText<47> user;
    FixedText<31> password;
    FixedText<31> language;
    FixedText<31> mode;
    FixedText<47> hostname;
    FixedText<47> shownHost; // the host shown in the system line
    FixedText<31> sysnr;
    FixedText<61> gwhost;
    FixedText<31> gwservice;
};

struct RunState {
    FixedText<8> startTime;
    FixedText<123> headerLine;
    FixedText<123> systemLine;
    FixedText<63> profileName;
    FixedText<127> optionTextAsGiven;
    FixedText<127> optionText; // upper-cased
    bool itemMode = false;
    bool verbose = false;
    FixedText<95> profileDirectory;
    FixedText<95> profilePath;
    ConnectionFields connection;
    FixedText<90> itemName;
    FixedText<2047> serverListing;
    char channelNameChoice = '1';
    FixedText<47> itemChannelName;
    bool itemFound = false;
    bool profileInvalid = false;
    FixedText<3> runStatus;
    uint32_t noSystems = 0;
    uint32_t processed = 0;
    uint32_t failed = 0;
    RFC_HANDLE connectionHandle = 0;
    RFC_ENV rfcEnvironment{};
    int32_t resultValue = 0;
    const char *programPath = "";
};

extern RunState run;

inline bool RunStatusOk() { return run.runStatus.Equals("OK"); }
