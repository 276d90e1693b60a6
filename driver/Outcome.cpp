#include "driver/Outcome.h"

#include <cinttypes>

namespace {

void AppendFlag(TextBase &frame, char tag, bool flag) { AppendFrameField(frame, tag, flag ? "1" : "0", 1); }

void AppendNumber(TextBase &frame, char tag, int64_t number) {
    FixedText<23> text;
    text.Format("%" PRId64, number);
    AppendFrameField(frame, tag, text);
}

// Reads the fields back in the order they were written; the first field that is missing, has
// another tag or does not fit makes the whole frame malformed.
class FieldReader {
  public:
    explicit FieldReader(const TextBase &frame) : frame_(frame) {}

    bool Text(char tag, TextBase &text) {
        if (!good_) return false;
        char found = 0;
        good_ = TakeFrameField(frame_, at_, found, text) && found == tag && !text.truncated();
        return good_;
    }
    bool Flag(char tag, bool &flag) {
        FixedText<1> text;
        if (!Text(tag, text)) return false;
        good_ = text.Equals("0") || text.Equals("1");
        flag = text.Equals("1");
        return good_;
    }
    bool Number(char tag, int64_t &number, int64_t minimum, int64_t maximum) {
        FixedText<23> text;
        if (!Text(tag, text)) return false;
        size_t i = text[0] == '-' ? 1 : 0;
        good_ = text.size() > i && text.size() <= 19;
        for (; good_ && i < text.size(); ++i)
            good_ = IsDigit(text[i]);
        if (!good_) return false;
        number = DecimalValue(text.c_str());
        good_ = number >= minimum && number <= maximum;
        return good_;
    }
    bool AtEnd() const { return good_ && at_ == frame_.size(); }

  private:
    const TextBase &frame_;
    size_t at_ = 0;
    bool good_ = true;
};

} // namespace

void AppendFrameField(TextBase &frame, char tag, const char *text, size_t length) {
    frame.AppendFormat("%c%lu:", tag, static_cast<unsigned long>(length));
    frame.AppendPart(text, length);
}

void AppendFrameField(TextBase &frame, char tag, const TextBase &text) {
    AppendFrameField(frame, tag, text.c_str(), text.size());
}

bool TakeFrameField(const TextBase &frame, size_t &at, char &tag, TextBase &text) {
    text.Clear();
    if (at >= frame.size()) return false;
    tag = frame[at];
    size_t i = at + 1;
    size_t length = 0;
    size_t digits = 0;
    for (; IsDigit(frame[i]) && digits < 7; ++i, ++digits)
        length = length * 10 + static_cast<size_t>(frame[i] - '0');
    if (digits == 0 || frame[i] != ':') return false;
    ++i;
    if (length > frame.size() - i) return false;
    text.AssignPart(frame.c_str() + i, length);
    at = i + length;
    return true;
}

void EncodeOutcome(const SystemOutcome &outcome, TextBase &frame) {
    frame.Clear();
    AppendNumber(frame, 'S', static_cast<int64_t>(outcome.state));
    AppendFrameField(frame, 'L', outcome.systemLine);
    AppendFrameField(frame, 'C', outcome.cause);
    AppendFlag(frame, 'N', outcome.destinationNotice);
    AppendFrameField(frame, 'D', outcome.destination);
    AppendFlag(frame, 'M', outcome.lockMissed);
    AppendNumber(frame, 'K', outcome.channelCount);
    for (uint32_t i = 0; i < outcome.channelCount && i < kMaxItemChannels; ++i) {
        const ChannelReport &channel = outcome.channels[i];
        AppendFrameField(frame, 'n', channel.name);
        AppendFrameField(frame, 'v', channel.value);
        AppendFrameField(frame, 'u', channel.unit);
        AppendFrameField(frame, 'p', channel.prtgUnit);
        AppendFlag(frame, 's', channel.sensorWarning);
        AppendFlag(frame, 'w', channel.warningLevel);
        AppendNumber(frame, 'W', channel.maxWarning);
        AppendFrameField(frame, 'm', channel.warningMessage);
        AppendFlag(frame, 'e', channel.errorLevel);
        AppendNumber(frame, 'E', channel.maxError);
        AppendFrameField(frame, 'M', channel.errorMessage);
        AppendFlag(frame, 'b', channel.lowerLimits);
        AppendFlag(frame, 'r', channel.floatValue);
    }
    AppendFlag(frame, 'R', outcome.runEnds);
    AppendFrameField(frame, 'T', outcome.error);
    AppendFlag(frame, 'F', outcome.libraryFailed);
    AppendFrameField(frame, 'o', outcome.failure.operation);
    AppendFrameField(frame, 'k', outcome.failure.key);
    AppendFrameField(frame, 't', outcome.failure.status);
    AppendFrameField(frame, 'g', outcome.failure.message);
    AppendFrameField(frame, 'i', outcome.failure.internalStatus);
    AppendFrameField(frame, 'V', outcome.eventLines);
}

bool DecodeOutcome(const TextBase &frame, SystemOutcome &outcome) {
    outcome = SystemOutcome();
    if (frame.truncated()) return false;
    FieldReader read(frame);
    int64_t state = 0;
    int64_t channels = 0;
    read.Number('S', state, 0, static_cast<int64_t>(SystemState::RfcFailure));
    read.Text('L', outcome.systemLine);
    read.Text('C', outcome.cause);
    read.Flag('N', outcome.destinationNotice);
    read.Text('D', outcome.destination);
    read.Flag('M', outcome.lockMissed);
    if (!read.Number('K', channels, 0, kMaxItemChannels)) return false;
    outcome.state = static_cast<SystemState>(state);
    outcome.channelCount = static_cast<uint32_t>(channels);
    for (uint32_t i = 0; i < outcome.channelCount; ++i) {
        ChannelReport &channel = outcome.channels[i];
        read.Text('n', channel.name);
        read.Text('v', channel.value);
        read.Text('u', channel.unit);
        read.Text('p', channel.prtgUnit);
        read.Flag('s', channel.sensorWarning);
        read.Flag('w', channel.warningLevel);
        read.Number('W', channel.maxWarning, INT64_MIN + 1, INT64_MAX);
        read.Text('m', channel.warningMessage);
        read.Flag('e', channel.errorLevel);
        read.Number('E', channel.maxError, INT64_MIN + 1, INT64_MAX);
        read.Text('M', channel.errorMessage);
        read.Flag('b', channel.lowerLimits);
        read.Flag('r', channel.floatValue);
    }
    read.Flag('R', outcome.runEnds);
    read.Text('T', outcome.error);
    read.Flag('F', outcome.libraryFailed);
    read.Text('o', outcome.failure.operation);
    read.Text('k', outcome.failure.key);
    read.Text('t', outcome.failure.status);
    read.Text('g', outcome.failure.message);
    read.Text('i', outcome.failure.internalStatus);
    read.Text('V', outcome.eventLines);
    return read.AtEnd();
}
