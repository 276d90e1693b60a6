// The profile reader with the password unscrambling, over any bytes.
//
// Input: one byte of flags (line length of a single run or of the system loop; whether a password
// fault stops the reading), then the profile's bytes. Properties: every field equals what a model
// of the reading rules (written here with std::string) gives, cut at the field's capacity and
// marked truncated exactly when cut; a fault is returned exactly where the model has one; the
// checks after reading agree with the fields. Beside it, any password of up to 20 storable
// characters scrambles and unscrambles to itself.
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "driver/Password.h"
#include "driver/Profile.h"
#include "platform/Platform.h"

namespace {

struct ModelField {
    std::string value;
    bool truncated = false;
};

void CompareField(const TextBase &field, const ModelField &model, const char *key) {
    std::string cut = model.value.substr(0, field.capacity());
    fuzz::Check(std::string(field.c_str()) == cut, std::string("value of ") + key);
    fuzz::Check(field.size() == std::strlen(field.c_str()), std::string("length of ") + key);
    fuzz::Check(field.truncated() == (model.truncated || cut.size() < model.value.size()),
                std::string("truncated flag of ") + key);
}

uint32_t FromInput(void *context) {
    auto *input = static_cast<fuzz::Input *>(context);
    return static_cast<uint32_t>(input->Byte()) * 2654435761u;
}

void CheckScrambleRoundTrip(const std::string &bytes) {
    std::string password = bytes.substr(0, 20);
    password.resize(std::strlen(password.c_str())); // the tool takes a text
    bool storable = !password.empty();
    for (char c : password)
        storable = storable && c > 0x20 && c < 0x7F;
    fuzz::Input random(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
    FixedText<kStoredPasswordLength> stored;
    bool scrambled = ScramblePassword(password.c_str(), stored, FromInput, &random);
    if (!storable) {
        fuzz::Check(!scrambled, "a password that cannot be stored was scrambled");
        return;
    }
    if (!scrambled) return; // no key offset gave printable characters: refused, never stored wrong
    fuzz::Check(stored.size() == kStoredPasswordLength, "stored password length");
    FixedText<31> back;
    fuzz::Check(UnscramblePassword(stored.c_str(), back) == PasswordFault::None, "own password refused");
    fuzz::Check(password == back.c_str(), "password changed by scrambling");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::Input input(data, size);
    uint8_t flags = input.Byte();
    const size_t maxLine = (flags & 1) ? kProfileLineSingleRun : kProfileLineSystemLoop;
    const bool stopAtPasswordFault = (flags & 2) != 0;
    std::string content = input.Rest();

    FILE *file = content.empty() ? fopen("/dev/null", "rb") : fmemopen(content.data(), content.size(), "rb");
    if (file == nullptr) fuzz::Fail("no stream over the input");
    ConnectionFields fields;
    ProfileFault fault = ReadProfile(file, fields, maxLine, stopAtPasswordFault);
    CloseFile(file); // also forgets the encoding it found: a plain fclose would fill its table

    // The model: keys compared over 12 characters, the value from character 14, at most 60; the
    // later line of a key wins; a password is unscrambled, a failing one stops the reading or
    // empties the field.
    ModelField model[11];
    ModelField shownHost;
    ProfileFault expectedFault = ProfileFault::None;
    for (const std::string &piece : fuzz::TextLinePieces(fuzz::AsRead(content), maxLine)) {
        std::string line = fuzz::StripLineEnd(piece);
        if (line.size() < 12) continue;
        size_t key = 0;
        while (key < 11 && line.compare(0, 12, kProfileKeys[key].key) != 0)
            ++key;
        if (key == 11) continue;
        std::string value = line.size() >= 14 ? line.substr(13, 60) : "";
        if (key == 4) {
            if (value.empty()) {
                model[4] = {};
                continue;
            }
            FixedText<31> password;
            PasswordFault passwordFault = UnscramblePassword(value.c_str(), password);
            if (passwordFault == PasswordFault::None) {
                model[4] = {password.c_str(), password.truncated()};
                continue;
            }
            ProfileFault found = passwordFault == PasswordFault::Form ? ProfileFault::InvalidPassword
                                                                      : ProfileFault::WrongPassword;
            if (stopAtPasswordFault) {
                expectedFault = found;
                break;
            }
            model[4] = {};
            if (expectedFault == ProfileFault::None) expectedFault = found;
            continue;
        }
        if (key == 3) value = fuzz::Upper(value);
        model[key] = {value, false};
        if (key == 7) shownHost = {value, false};
    }

    fuzz::Check(fault == expectedFault, "the fault returned");
    for (size_t key = 0; key < 11; ++key)
        CompareField(ProfileField(fields, key), model[key], kProfileKeys[key].key);
    CompareField(fields.shownHost, shownHost, "shown host");

    ProfileFault check = CheckProfileFields(fields);
    if (fields.user.empty()) {
        fuzz::Check(check == ProfileFault::UserMissing, "1006 first");
    } else if (fields.password.empty()) {
        fuzz::Check(check == ProfileFault::PasswordMissing, "1007 second");
    } else {
        bool allValid = true;
        for (size_t key = 0; key < 11; ++key)
            allValid = allValid && FieldLengthValid(fields, key);
        fuzz::Check(check == (allValid ? ProfileFault::None : ProfileFault::InvalidParameters), "1003 last");
    }
    FixedText<255> message;
    ProfileFaultText(message, check, "PRD.P00");
    fuzz::Check(check == ProfileFault::None ? message.empty() : message.StartsWith("Error 100"), "fault text");

    // The first line of the content, taken as a stored password by itself.
    std::vector<std::string> pieces = fuzz::TextLinePieces(content, 60);
    std::string first = pieces.empty() ? std::string() : fuzz::StripLineEnd(pieces[0]);
    FixedText<31> password;
    PasswordFault passwordFault = UnscramblePassword(first.c_str(), password);
    if (std::strlen(first.c_str()) != kStoredPasswordLength)
        fuzz::Check(passwordFault == PasswordFault::Form, "a stored password of the wrong length passed");
    if (passwordFault == PasswordFault::None) fuzz::Check(password.size() <= 20, "password longer than its body");

    CheckScrambleRoundTrip(content);
    return 0;
}
