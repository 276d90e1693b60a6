// A worker's answer frame, over any bytes: what the sensor reads from a worker's pipe.
//
// Input: the frame's bytes (a frame holds no zero byte: the input ends at the first).
// Properties: a frame decodes only when it is exactly what encoding the decoded outcome writes, so
// nothing a worker sends is taken in part; and every outcome the decoder gives encodes and decodes
// to itself.
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "driver/Outcome.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string bytes(reinterpret_cast<const char *>(data), size);
    bytes.resize(std::strlen(bytes.c_str()));
    static FixedText<kMaxOutcomeFrame> frame;
    frame.Assign(bytes.c_str());
    static SystemOutcome outcome;
    if (!DecodeOutcome(frame, outcome)) return 0;
    static FixedText<kMaxOutcomeFrame> again;
    EncodeOutcome(outcome, again);
    fuzz::Check(!again.truncated(), "an outcome that decoded does not encode whole");
    fuzz::Check(std::string(again.c_str()) == bytes, "the frame is not what its outcome encodes to");
    static SystemOutcome twice;
    fuzz::Check(DecodeOutcome(again, twice), "an encoded outcome does not decode");
    return 0;
}
