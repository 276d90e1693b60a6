#include "output/Document.h"

#include <initializer_list>

#include "driver/RunState.h"
#include "platform/Platform.h"

FixedText<kDocumentCapacity> documentBuffer;
OutputMode outputMode = OutputMode::ExeXml;
int32_t channelCount = 0;

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

// The channel number that follows "CH=" in the option text, or -1 without "CH=".
int64_t SelectedChannel() {
    size_t at = run.optionText.Find("CH=");
    if (at == TextBase::npos) return -1;
    FixedText<3> digits;
    for (size_t i = at + 3; i < at + 6 && i < run.optionTextAsGiven.size(); ++i) {
        char c = run.optionTextAsGiven[i];
        if (c == ',') break;
        digits.AppendChar(c);
    }
    return DecimalValue(digits.c_str());
}

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

void BeginDocument() {
    if (outputMode == OutputMode::ExeXml) {
        documentBuffer.Assign("\n<Prtg>\n");
    } else {
        documentBuffer.Clear();
    }
}

void BeginText() { documentBuffer.Append(outputMode == OutputMode::ExeXml ? "\n<Text>" : "\n# "); }

void AppendTextContent(const char *text) {
    if (outputMode == OutputMode::ExeXml) {
        AppendXmlEscaped(documentBuffer, text);
    } else {
        documentBuffer.Append(text);
    }
}

void EndText() {
    if (outputMode == OutputMode::ExeXml) {
        documentBuffer.Append("</Text>\n");
    } else if (outputMode == OutputMode::Brennic && run.optionText.Contains("CH=")) {
        documentBuffer.Clear();
    }
}

void EndDocument() { documentBuffer.Append(outputMode == OutputMode::ExeXml ? "\n</Prtg>\n" : "\n"); }

void WriteChannel(const char *channelName, const char *value, const char *unit) {
    ++channelCount;
    if (outputMode == OutputMode::Ostravel && channelCount > 10) return;

    FixedText<kPrivateCopyCapacity> valueCopy(value);
    FixedText<kPrivateCopyCapacity> key(run.itemMode ? run.itemChannelName.c_str() : channelName);
    CleanChannelKey(key);
    FixedText<kPrivateCopyCapacity> unitCopy(unit);

    switch (outputMode) {
    case OutputMode::Ostravel:
        NormaliseUnit(unitCopy);
        documentBuffer.Append("\n\nMessage.").Append(key).Append(": ").Append(channelName);
        documentBuffer.Append(" (").Append(unitCopy).Append(")");
        documentBuffer.Append("\nStatistic.").Append(key).Append(": ").Append(valueCopy);
        return;
    case OutputMode::Brennic: {
        NormaliseUnit(unitCopy);
        int64_t selected = SelectedChannel();
        if (selected < 0) {
            documentBuffer.Append("\n> ").Append(channelName).Append(": ").Append(valueCopy);
            documentBuffer.Append(" ").Append(unitCopy);
        } else if (selected == channelCount) {
            documentBuffer.Append(valueCopy);
        }
        return;
    }
    case OutputMode::ExeXml:
        documentBuffer.Append("\n<Result><Channel>");
        AppendXmlEscaped(documentBuffer, channelName);
        documentBuffer.Append("</Channel>");
        if (!unitCopy.empty()) {
            documentBuffer.Append("\n<Unit>Custom</Unit>\n<CustomUnit>");
            AppendXmlEscaped(documentBuffer, unitCopy.c_str());
            documentBuffer.Append("</CustomUnit>");
        }
        documentBuffer.Append("\n<Value>");
        AppendXmlEscaped(documentBuffer, valueCopy.c_str());
        documentBuffer.Append("</Value></Result>\n");
        return;
    }
}

void WriteErrorDocument(const char *errorText) {
    // The text may come from the buffer itself: keep a copy before the buffer is rebuilt.
    FixedText<kDocumentCapacity> text(errorText);
    documentBuffer.Assign("<Prtg>\n<Error>1</Error>\n<Text>");
    AppendXmlEscaped(documentBuffer, text.c_str());
    documentBuffer.Append("</Text>\n</Prtg>\n");
}

void FlushDocument() {
    WriteOut(documentBuffer);
    documentBuffer.Clear();
}
