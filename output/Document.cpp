#include "output/Document.h"

#include <initializer_list>

#include "platform/Platform.h"

namespace output {
SensorDocument document;
} // namespace output

namespace {

constexpr size_t kPrivateCopyCapacity = 123;

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

} // namespace

void AppendXmlEscaped(TextBase &out, const char *text) {
    for (; *text != '\0'; ++text) {
        switch (*text) {
        case '&':
            out.Append("&amp;");
            break;
        case '<':
            out.Append("&lt;");
            break;
        case '>':
            out.Append("&gt;");
            break;
        default:
            out.AppendChar(*text);
        }
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

void BeginText() { buffer.Append(outputMode == OutputMode::ExeXml ? "\n<Text>" : "\n# "); }

void AppendTextContent(const char *text) {
    if (outputMode == OutputMode::ExeXml) {
        AppendXmlEscaped(buffer, text);
    } else {
        buffer.Append(text);
    }
}

void EndText() {
    if (outputMode == OutputMode::ExeXml) {
        buffer.Append("</Text>\n");
    } else if (outputMode == OutputMode::Brennic && output::document.settings.channel.given) {
        buffer.Clear();
    }
}

void EndDocument() { buffer.Append(outputMode == OutputMode::ExeXml ? "\n</Prtg>\n" : "\n"); }

void WriteChannel(const char *channelName, const char *value, const char *unit) {
    int32_t channelNumber = ++output::document.channelCount;
    if (outputMode == OutputMode::Ostravel && channelNumber > 10) return;

    FixedText<kPrivateCopyCapacity> valueCopy(value);
    // In item mode the channel name is the system's item channel name already.
    FixedText<kPrivateCopyCapacity> key(channelName);
    CleanChannelKey(key);
    FixedText<kPrivateCopyCapacity> unitCopy(unit);

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
        AppendXmlEscaped(buffer, channelName);
        buffer.Append("</Channel>");
        if (!unitCopy.empty()) {
            buffer.Append("\n<Unit>Custom</Unit>\n<CustomUnit>");
            AppendXmlEscaped(buffer, unitCopy.c_str());
            buffer.Append("</CustomUnit>");
        }
        buffer.Append("\n<Value>");
        AppendXmlEscaped(buffer, valueCopy.c_str());
        buffer.Append("</Value></Result>\n");
        return;
    }
}

void WriteErrorDocument(const char *errorText) {
    // The text may come from the buffer itself: keep a copy before the buffer is rebuilt.
    FixedText<kDocumentCapacity> text(errorText);
    buffer.Assign("<Prtg>\n<Error>1</Error>\n<Text>");
    AppendXmlEscaped(buffer, text.c_str());
    buffer.Append("</Text>\n</Prtg>\n");
}

void FlushDocument() {
    WriteOut(buffer);
    buffer.Clear();
}

void DiscardDocument() { buffer.Clear(); }
