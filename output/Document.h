// The sensor document: one process-wide buffer in which the PRTG document is assembled, written to
// standard output piece by piece and emptied after each piece, in one of three output modes.
#pragma once

#include <cstdint>

#include "platform/FixedText.h"

enum class OutputMode {
    ExeXml,   // PRTG's EXE/XML document
    Ostravel, // message and statistic lines, at most ten channels
    Brennic,  // plain lines, or the bare value of the channel selected with CH=
};

// The Brennic mode's "CH=n": only the value of channel n is printed.
struct ChannelSelection {
    bool given = false;
    int64_t number = 0;
};

// PRTG takes at most 50 channels per sensor and drops the rest without a word.
constexpr int32_t kPrtgChannelLimit = 50;

// What the writer is told by the run driver; the driver sets it from the parsed options.
struct DocumentSettings {
    OutputMode mode = OutputMode::ExeXml;
    ChannelSelection channel;
    bool forPerson = false; // verbose: progress lines for a person stand between the pieces
    // The channel guard: how many channels the document may hold; 0, no guard. Channels past it
    // are left out and counted, in every mode.
    int32_t channelRoom = 0;
};

// What a channel carries besides name, value and unit: PRTG's own unit, the warning state, and
// limits that PRTG applies when it creates the channel. Only the XML document shows them; the line
// modes ignore them.
struct ChannelExtras {
    const char *prtgUnit = nullptr; // "Percent", "Count": in place of the custom unit
    // <Warning>1</Warning>: PRTG knows the warning only as a channel's, and shows the whole sensor
    // as Warning when one channel has it.
    bool sensorWarning = false;
    bool warningLevel = false;
    int64_t maxWarning = 0;
    const char *warningMessage = "";
    bool errorLevel = false;
    int64_t maxError = 0;
    const char *errorMessage = "";
    bool lowerLimits = false; // the levels are minimums (LimitMinWarning, LimitMinError)
    bool floatValue = false;  // <Float>1</Float>: the value has decimals
};

constexpr size_t kDocumentCapacity = 4095;
constexpr size_t kChannelNameCapacity = 63;
constexpr size_t kLimitMessageCapacity = 159;

// One channel as data: what a reader measured and what the writer shows of it.
struct ChannelReport {
    FixedText<kChannelNameCapacity> name;
    FixedText<23> value;
    FixedText<7> unit;     // the custom unit ("PerCent", "%", "MByte", "GByte"); empty: none
    FixedText<15> prtgUnit; // PRTG's own unit ("Percent", "Count") in place of the custom one
    bool sensorWarning = false;
    bool warningLevel = false;
    int64_t maxWarning = 0;
    FixedText<kLimitMessageCapacity> warningMessage;
    bool errorLevel = false;
    int64_t maxError = 0;
    FixedText<kLimitMessageCapacity> errorMessage;
    bool lowerLimits = false; // the levels are minimums (free space, days until full)
    bool floatValue = false;  // the value has decimals
};

namespace output {

// The document under construction. The channel count runs across every system of the process,
// written or not, so the Ostravel limit and CH= count channels of the whole run.
struct SensorDocument {
    FixedText<kDocumentCapacity> buffer;
    DocumentSettings settings;
    int32_t channelCount = 0;
    bool openOnOutput = false; // the start of a result document is out, its end is not
    int32_t channelsWritten = 0; // channels the guard let through
    int32_t channelsLeftOut = 0; // channels the guard held back
};

extern SensorDocument document;

} // namespace output

void ConfigureDocument(const DocumentSettings &settings);
OutputMode CurrentOutputMode();

void BeginDocument();
void BeginText();
// Appends the content of the text element; in the XML document it is escaped.
void AppendTextContent(const char *text);
void EndText();
void EndDocument();
void WriteChannel(const char *channelName, const char *value, const char *unit);
void WriteChannel(const char *channelName, const char *value, const char *unit, const ChannelExtras &extras);
void WriteChannel(const ChannelReport &channel);

// Widens the channel guard's room (see DocumentSettings); what it has held back so far.
void SetChannelRoom(int32_t room);
int32_t ChannelsLeftOut();
// A result document piece by piece, each piece written as soon as it is built: the start with the
// text element holding the summary, every channel (WriteChannel, FlushDocument), and the end.
void WriteDocumentStart(const char *summary);
void WriteDocumentEnd();

// Rebuilds the buffer as the PRTG error document, in every output mode.
void WriteErrorDocument(const char *errorText);

// Writes the error that ends the run: in the XML mode, when a result document is already out, as
// its error and text elements and its end (one document); otherwise as the error document.
void WriteRunEndingError(const char *errorText);

// The same into `out`, leaving the document buffer alone (for the deadline watch, which must not
// touch what the main thread is building).
void ComposeRunEndingError(TextBase &out, const char *errorText);

// The end of an item-mode document into `out`: the text element with the summary and the end of
// the document, in the output mode.
void ComposeClosingSummary(TextBase &out, const char *summary);

// Whether a failure inside the RFC library is reported as the plain block for a person (line
// modes and verbose forms) rather than as an error document.
bool PlainFailureReport();

// A failure inside the RFC library: the operation and what the library's last error says.
struct LibraryFailureReport {
    FixedText<63> operation;
    FixedText<32> key;
    FixedText<127> status;
    FixedText<255> message;
    FixedText<127> internalStatus;
};

// Writes the report of a failure inside the RFC library, which ends the run: the plain block for a
// person, or for PRTG the same lines joined into the text of one well-formed document.
void WriteLibraryFailure(const LibraryFailureReport &failure);

// Writes the buffer to standard output as it stands and empties it.
void FlushDocument();
// Empties the buffer without writing it.
void DiscardDocument();

// Appends text for an XML document: "&", "<" and ">" as entities, bytes above 0x7F as the
// character reference of their ISO 8859-1 character, other control bytes than tab, line feed and
// carriage return as "?". What does not fit is left out whole, never half an entity.
void AppendXmlEscaped(TextBase &out, const char *text);
// The same, with the text growing to at most limit characters.
void AppendXmlEscaped(TextBase &out, const char *text, size_t limit);
// Replaces the characters that a statistic key cannot hold by "_", then the first full stop.
void CleanChannelKey(TextBase &key);
