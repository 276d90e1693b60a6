// What one listed system of item mode came to, as data: the run driver renders it in listing order,
// whether the system ran in this process or in a worker, which sends it over its pipe.
#pragma once

#include <cstdint>

#include "output/Document.h"
#include "platform/FixedText.h"

// A system's table holds its item once; a damaged one may hold it a few times, each a channel.
constexpr uint32_t kMaxItemChannels = 4;
constexpr size_t kOutcomeTextCapacity = 1023;

enum class SystemState : uint8_t {
    Skipped,    // the profile does not exist: neither processed nor failed
    Processed,  // the item's channel is there
    NotFound,   // the system has no such tablespace
    RfcFailure, // the profile, the connection or a call failed
};

struct SystemOutcome {
    SystemState state = SystemState::Skipped;
    FixedText<123> systemLine; // the verbose state line's start: time, profile, host, destination, ...
    FixedText<kOutcomeTextCapacity> cause; // why the system failed, for a person at the console
    // The destination file was used: "* SapRfc.Ini.......: <destination><" for a person.
    bool destinationNotice = false;
    FixedText<11> destination;
    bool lockMissed = false; // a step went on without the working directory's lock
    uint32_t channelCount = 0;
    ChannelReport channels[kMaxItemChannels];
    // The system ends the run: with this error document, or (libraryFailed) with the library's
    // report and status 1.
    bool runEnds = false;
    FixedText<kOutcomeTextCapacity> error;
    bool libraryFailed = false;
    LibraryFailureReport failure;
    // The event log's lines of the system, each ended by a line feed (",SYSLOG").
    FixedText<kOutcomeTextCapacity> eventLines;
};

// The largest encoded outcome: every field full, with its tag and length.
constexpr size_t kMaxOutcomeFrame = 16383;

// The outcome as one frame for a worker's pipe, and back. Decoding refuses anything that is not a
// whole outcome as encoding writes it (a field too long, a number out of range, bytes left over).
void EncodeOutcome(const SystemOutcome &outcome, TextBase &frame);
bool DecodeOutcome(const TextBase &frame, SystemOutcome &outcome);

// Fields of a frame: "<tag><decimal length>:<bytes>", one after the other.
void AppendFrameField(TextBase &frame, char tag, const char *text, size_t length);
void AppendFrameField(TextBase &frame, char tag, const TextBase &text);
// The field at `at` (moved behind it); false when none is there whole.
bool TakeFrameField(const TextBase &frame, size_t &at, char &tag, TextBase &text);
