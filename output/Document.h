// The sensor document: one process-wide buffer in which the PRTG document is assembled, written to
// standard output piece by piece and emptied after each piece, in one of three output modes.
//
// Reads from the run state: the option text and its as-typed copy, item mode, the item channel name.
#pragma once

#include <cstdint>

#include "platform/FixedText.h"

enum class OutputMode {
    ExeXml,   // PRTG's EXE/XML document
    Ostravel, // message and statistic lines, at most ten channels
    Brennic,  // plain lines, or the bare value of the channel selected with CH=
};

constexpr size_t kDocumentCapacity = 4095;

extern FixedText<kDocumentCapacity> documentBuffer;
extern OutputMode outputMode;
// Channels handed to WriteChannel in this process, written or not.
extern int32_t channelCount;

void BeginDocument();
void BeginText();
// Appends the content of the text element; in the XML document it is escaped.
void AppendTextContent(const char *text);
void EndText();
void EndDocument();
void WriteChannel(const char *channelName, const char *value, const char *unit);
// Rebuilds the buffer as the PRTG error document, in every output mode.
void WriteErrorDocument(const char *errorText);

// Writes the buffer to standard output as it stands and empties it.
void FlushDocument();

// Appends text with "&", "<" and ">" written as XML entities.
void AppendXmlEscaped(TextBase &out, const char *text);
// Replaces the characters that a statistic key cannot hold by "_", then the first full stop.
void CleanChannelKey(TextBase &key);
