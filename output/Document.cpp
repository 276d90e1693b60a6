#include "output/Document.h"

#include <cinttypes>
#include <initializer_list>

#include "output/Console.h"
#include "platform/Platform.h"
#include "platform/Process.h"

namespace output {
SensorDocument document;
} // namespace output

namespace {

constexpr size_t kPrivateCopyCapacity = 123;
// "</Text>\n" and "\n</Prtg>\n".
constexpr size_t kTextClosingReserve = 17;

// Line modes show the unit as a short sign.
void NormaliseUnit(TextBase &unit) {
    if (unit.empty()) {
        unit.Assign("#");
    } else if (unit.Equals("PerCent")) {
        unit.Assign("%");
    } else if (unit.Equals("TimeResponse")) {
        unit.Assign("mSec");
    }
}

TextBase &buffer = output::document.buffer;
const OutputMode &outputMode = output::document.settings.mode;

// The warning and limit elements of a channel.
void AppendChannelExtras(const ChannelExtras &extras) {
    if (extras.sensorWarning) buffer.Append("\n<Warning>1</Warning>");
    if (!extras.warningLevel && !extras.errorLevel) return;
    buffer.Append("\n<LimitMode>1</LimitMode>");
    const char *bound = extras.lowerLimits ? "Min" : "Max";
    if (extras.warningLevel)
        buffer.AppendFormat("\n<Limit%sWarning>%" PRId64 "</Limit%sWarning>", bound, extras.maxWarning, bound);
    if (extras.errorLevel)
        buffer.AppendFormat("\n<Limit%sError>%" PRId64 "</Limit%sError>", bound, extras.maxError, bound);
    if (extras.warningLevel) {
        buffer.Append("\n<LimitWarningMsg>");
        AppendXmlEscaped(buffer, extras.warningMessage);
        buffer.Append("</LimitWarningMsg>");
    }
    if (extras.errorLevel) {
        buffer.Append("\n<LimitErrorMsg>");
        AppendXmlEscaped(buffer, extras.errorMessage);
        buffer.Append("</LimitErrorMsg>");
    }
}

} // namespace

void AppendXmlEscaped(TextBase &out, const char *text) { AppendXmlEscaped(out, text, out.capacity()); }

void AppendXmlEscaped(TextBase &out, const char *text, size_t limit) {
    if (limit > out.capacity()) limit = out.capacity();
    for (; *text != '\0'; ++text) {
        unsigned char c = static_cast<unsigned char>(*text);
        FixedText<7> piece;
        if (c == '&') {
            piece.Assign("&amp;");
        } else if (c == '<') {
            piece.Assign("&lt;");
        } else if (c == '>') {
            piece.Assign("&gt;");
        } else if (c >= 0x80) {
            // SAP's texts come in ISO 8859-1: each byte is the character of that number.
            piece.Format("&#%u;", static_cast<unsigned>(c));
        } else if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            piece.Assign("?"); // XML 1.0 cannot carry other control characters at all
        } else {
            piece.AppendChar(static_cast<char>(c));
        }
        // An entity goes in whole or not at all, so a cut text stays well-formed.
        if (out.size() + piece.size() > limit) {
            size_t before = out.size();
            out.AppendRepeated(' ', out.capacity() - before + 1); // marks the text as cut
            out.Cut(before);
            return;
        }
        out.Append(piece);
    }
}

void CleanChannelKey(TextBase &key) {
    for (char c : {' ', '/', '\\', '[', ']', '*', '(', ')', ':', '-'})
        key.Replace(c, '_');
    size_t dot = key.Find(".");
    if (dot != TextBase::npos) key.SetAt(dot, '_');
}

void ConfigureDocument(const DocumentSettings &settings) { output::document.settings = settings; }

OutputMode CurrentOutputMode() { return outputMode; }

void BeginDocument() {
    if (outputMode == OutputMode::ExeXml) {
        buffer.Assign("\n<Prtg>\n");
    } else {
        buffer.Clear();
    }
}

namespace {

void BeginTextIn(TextBase &out) { out.Append(outputMode == OutputMode::ExeXml ? "\n<Text>" : "\n# "); }

void AppendTextContentIn(TextBase &out, const char *text) {
    if (outputMode == OutputMode::ExeXml) {
        // Whatever the text, the closing tags of the text and of the document still fit behind it.
        AppendXmlEscaped(out, text, out.capacity() - kTextClosingReserve);
    } else {
        out.Append(text);
    }
}

void EndTextIn(TextBase &out) {
    if (outputMode == OutputMode::ExeXml) {
        out.Append("</Text>\n");
    } else if (outputMode == OutputMode::Brennic && output::document.settings.channel.given) {
        out.Clear();
    }
}

void EndDocumentIn(TextBase &out) { out.Append(outputMode == OutputMode::ExeXml ? "\n</Prtg>\n" : "\n"); }

} // namespace

void BeginText() { BeginTextIn(buffer); }

void AppendTextContent(const char *text) { AppendTextContentIn(buffer, text); }

void EndText() { EndTextIn(buffer); }

void EndDocument() { EndDocumentIn(buffer); }

void ComposeClosingSummary(TextBase &out, const char *summary) {
    out.Clear();
    BeginTextIn(out);
    AppendTextContentIn(out, summary);
    EndTextIn(out);
    EndDocumentIn(out);
}

void WriteChannel(const char *channelName, const char *value, const char *unit) {
    WriteChannel(channelName, value, unit, ChannelExtras());
}

void WriteChannel(const ChannelReport &channel) {
    ChannelExtras extras;
    extras.prtgUnit = channel.prtgUnit.empty() ? nullptr : channel.prtgUnit.c_str();
    extras.sensorWarning = channel.sensorWarning;
    extras.warningLevel = channel.warningLevel;
    extras.maxWarning = channel.maxWarning;
    extras.warningMessage = channel.warningMessage.c_str();
    extras.errorLevel = channel.errorLevel;
    extras.maxError = channel.maxError;
    extras.errorMessage = channel.errorMessage.c_str();
    extras.lowerLimits = channel.lowerLimits;
    extras.floatValue = channel.floatValue;
    WriteChannel(channel.name.c_str(), channel.value.c_str(), channel.unit.c_str(), extras);
}

void WriteChannel(const char *channelName, const char *value, const char *unit, const ChannelExtras &extras) {
    // A held-back channel is no channel at all: CH= and the Ostravel limit do not count it.
    int32_t room = output::document.settings.channelRoom;
    if (room > 0 && output::document.channelsWritten >= room) {
        ++output::document.channelsLeftOut;
        return;
    }
    ++output::document.channelsWritten;
    int32_t channelNumber = ++output::document.channelCount;
    if (outputMode == OutputMode::Ostravel && channelNumber > 10) return;

    FixedText<kPrivateCopyCapacity> valueCopy(value);
    // In item mode the channel name is the system's item channel name already.
    FixedText<kPrivateCopyCapacity> key(channelName);
    CleanChannelKey(key);
    FixedText<kPrivateCopyCapacity> unitCopy(unit);
    // The XML element takes the name through a private copy as well, so that the whole element
    // always fits in the emptied buffer (names of the program's own are at most 47 characters).
    FixedText<kPrivateCopyCapacity> nameCopy(channelName);

    switch (outputMode) {
    case OutputMode::Ostravel:
        NormaliseUnit(unitCopy);
        buffer.Append("\n\nMessage.").Append(key).Append(": ").Append(channelName);
        buffer.Append(" (").Append(unitCopy).Append(")");
        buffer.Append("\nStatistic.").Append(key).Append(": ").Append(valueCopy);
        return;
    case OutputMode::Brennic: {
        NormaliseUnit(unitCopy);
        const ChannelSelection &selected = output::document.settings.channel;
        if (!selected.given) {
            buffer.Append("\n> ").Append(channelName).Append(": ").Append(valueCopy);
            buffer.Append(" ").Append(unitCopy);
        } else if (selected.number == channelNumber) {
            buffer.Append(valueCopy);
        }
        return;
    }
    case OutputMode::ExeXml:
        buffer.Append("\n<Result><Channel>");
        AppendXmlEscaped(buffer, nameCopy.c_str());
        buffer.Append("</Channel>");
        if (extras.prtgUnit != nullptr) {
            buffer.Append("\n<Unit>").Append(extras.prtgUnit).Append("</Unit>");
        } else if (!unitCopy.empty()) {
            buffer.Append("\n<Unit>Custom</Unit>\n<CustomUnit>");
            AppendXmlEscaped(buffer, unitCopy.c_str());
            buffer.Append("</CustomUnit>");
        }
        buffer.Append("\n<Value>");
        AppendXmlEscaped(buffer, valueCopy.c_str());
        buffer.Append("</Value>");
        if (extras.floatValue) buffer.Append("\n<Float>1</Float>");
        AppendChannelExtras(extras);
        buffer.Append("</Result>\n");
        return;
    }
}

void WriteDocumentStart(const char *summary) {
    BeginDocument();
    BeginText();
    AppendTextContent(summary);
    EndText();
    FlushDocument();
}

void WriteDocumentEnd() {
    EndDocument();
    FlushDocument();
}

void SetChannelRoom(int32_t room) { output::document.settings.channelRoom = room; }

int32_t ChannelsLeftOut() { return output::document.channelsLeftOut; }

namespace {

// The error and text elements that end a document, the text escaped and cut so that the closing
// tags always fit in the buffer.
void AppendErrorElements(TextBase &out, const char *errorText) {
    FixedText<kDocumentCapacity - 64> escaped;
    AppendXmlEscaped(escaped, errorText);
    out.Append("<Error>1</Error>\n<Text>").Append(escaped).Append("</Text>\n</Prtg>\n");
}

} // namespace

void WriteErrorDocument(const char *errorText) {
    // The text may come from the buffer itself: keep a copy before the buffer is rebuilt.
    FixedText<kDocumentCapacity> text(errorText);
    buffer.Assign("<Prtg>\n");
    AppendErrorElements(buffer, text.c_str());
}

void ComposeRunEndingError(TextBase &out, const char *errorText) {
    if (outputMode == OutputMode::ExeXml && output::document.openOnOutput) {
        // Channels are out already: the document they stand in ends with the error.
        out.Clear();
    } else {
        out.Assign("<Prtg>\n");
    }
    AppendErrorElements(out, errorText);
}

void WriteRunEndingError(const char *errorText) {
    OutputGuard guard;
    FixedText<kDocumentCapacity> text(errorText);
    ComposeRunEndingError(buffer, text.c_str());
    FlushDocument();
}

bool PlainFailureReport() { return outputMode != OutputMode::ExeXml || output::document.settings.forPerson; }

void WriteLibraryFailure(const LibraryFailureReport &failure) {
    if (PlainFailureReport()) {
        WriteOut("RFC error\n");
        PrintListingLine("operation/code", 0, 15, failure.operation.c_str());
        PrintListingLine("key", 0, 15, failure.key.c_str());
        PrintListingLine("status", 0, 15, failure.status.c_str());
        PrintListingLine("message", 0, 15, failure.message.c_str());
        PrintListingLine("internal status", 0, 15, failure.internalStatus.c_str());
        WriteOut("\n");
        WriteOut("* Programm aborted...\n");
        LogAbortLine("* Pgrm aborted...");
        // The abort file keeps no name, so it is never created.
        WriteOut("* Error at EoXput-File...\n");
        return;
    }
    FixedText<1023> text;
    text.Format("RFC error; operation/code : %s; key : %s; status : %s; message : %s; internal status : %s; "
                "* Programm aborted...",
                failure.operation.c_str(), failure.key.c_str(), failure.status.c_str(), failure.message.c_str(),
                failure.internalStatus.c_str());
    WriteRunEndingError(text.c_str());
    LogAbortLine("* Pgrm aborted...");
}

void FlushDocument() {
    OutputGuard guard;
    // Whether standard output now holds a started, unfinished document.
    if (buffer.StartsWith("\n<Prtg>\n")) output::document.openOnOutput = true;
    if (buffer.Contains("</Prtg>")) output::document.openOnOutput = false;
    WriteOut(buffer);
    buffer.Clear();
}

void DiscardDocument() { buffer.Clear(); }
