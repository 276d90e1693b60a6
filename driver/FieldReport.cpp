#include "driver/FieldReport.h"

#include "driver/Profile.h"
#include "platform/Platform.h"

namespace {

const char *Characters(size_t count) { return count == 1 ? "character" : "characters"; }

} // namespace

bool FieldLengthProblem(const ConnectionFields &fields, size_t keyIndex, TextBase &problem) {
    problem.Clear();
    if (FieldLengthValid(fields, keyIndex)) return false;
    const TextBase &field = ProfileField(fields, keyIndex);
    size_t minimum = kProfileKeys[keyIndex].minimum;
    if (field.truncated()) {
        problem.Format("longer than %u %s", static_cast<unsigned>(field.capacity()), Characters(field.capacity()));
    } else if (field.empty()) {
        problem.Assign("missing or empty");
    } else {
        problem.Format("shorter than %u %s", static_cast<unsigned>(minimum), Characters(minimum));
    }
    return true;
}

void WriteInvalidFields(const ConnectionFields &fields, const char *profileName) {
    FixedText<63> problem;
    for (size_t i = 0; i < 11; ++i) {
        if (FieldLengthProblem(fields, i, problem))
            WriteOutFormat("* %s: %s %s\n", profileName, kProfileKeys[i].key, problem.c_str());
    }
}
