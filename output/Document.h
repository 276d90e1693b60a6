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

// What the writer is told by the run driver; the driver sets it from the parsed options.
struct DocumentSettings {
    OutputMode mode = OutputMode::ExeXml;
    ChannelSelection channel;
    bool forPerson = false; // verbose: progress lines for a person stand between the pieces
};

constexpr size_t kDocumentCapacity = 4095;

namespace output {

// The document under construction. The channel count runs across every system of the process,
// written or not, so the Ostravel limit and CH= count channels of the whole run.
struct SensorDocument {
    FixedText<kDocumentCapacity> buffer;
    DocumentSettings settings;
    int32_t channelCount = 0;
    bool openOnOutput = false; // the start of a result document is out, its end is not
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
// Rebuilds the buffer as the PRTG error document, in every output mode.
void WriteErrorDocument(const char *errorText);

// Writes the error that ends the run: in the XML mode, when a result document is already out, as
// its error and text elements and its end (one document); otherwise as the error document.
void WriteRunEndingError(const char *errorText);

// Whether a failure inside the RFC library is reported as the plain block for a person (line
// modes and verbose forms) rather than as an error document.
bool PlainFailureReport();

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
