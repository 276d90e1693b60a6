// MarrowindProfile: writes and checks the profiles of SAP Marrowind.
//
//   MarrowindProfile scramble            password from standard input -> stored value
//   MarrowindProfile check FILE          the sensor's reading and checks of a profile
//   MarrowindProfile new --destination D --client C --user U --host H --sysnr NN [...]
#include <cstdio>
#include <cstring>
#include <random>

#include "driver/Password.h"
#include "driver/Profile.h"
#include "platform/Platform.h"

namespace {

constexpr int kUsageStatus = 2;

const char *const kUsage =
    "Usage: MarrowindProfile COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  scramble    read a password from standard input and print its stored value\n"
    "  check FILE  read a profile as SAP Marrowind does and show its fields and checks\n"
    "  new ...     write a complete profile to standard output\n"
    "\n"
    "MarrowindProfile COMMAND --help shows the arguments of a command.\n";

const char *const kScrambleUsage =
    "Usage: MarrowindProfile scramble\n"
    "\n"
    "Reads one password line from standard input (not echoed at a terminal) and prints the\n"
    "24-character value for the profile line \"Password...:\". The password may hold 1 to 20\n"
    "printable ASCII characters without blanks.\n";

const char *const kCheckUsage =
    "Usage: MarrowindProfile check FILE\n"
    "\n"
    "Reads FILE with SAP Marrowind's own profile reader, prints every field (the password only\n"
    "as its length) and every failed check with the sensor's error text. Exit status 0 when the\n"
    "sensor accepts the profile, 2 otherwise.\n";

const char *const kNewUsage =
    "Usage: MarrowindProfile new --destination D --client C --user U --host H --sysnr NN\n"
    "                            [--language L] [--mode M] [--gwhost G] [--gwservice S]\n"
    "                            [--extcompany E]\n"
    "\n"
    "Reads the password like 'scramble' and writes a complete profile to standard output.\n"
    "Defaults: --language E, --mode R/3, --gwhost the host, --gwservice sapgw + NN,\n"
    "--extcompany SAP. --mode R/2 connects through the gateway host and service.\n";

uint32_t RandomNumber(void *context) {
    return static_cast<uint32_t>((*static_cast<std::random_device *>(context))());
}

// Reads and scrambles the password; prints the reason and returns false when it cannot be stored.
bool ReadStoredPassword(TextBase &stored) {
    FixedText<255> password;
    bool read = ReadSecretLine("Password: ", password, 255);
    if (!read || password.empty()) {
        fputs("MarrowindProfile: no password given\n", stderr);
        return false;
    }
    std::random_device device;
    size_t length = password.size();
    size_t minimum = kProfileKeys[4].minimum;
    bool ok = length >= minimum && !password.truncated() &&
              ScramblePassword(password.c_str(), stored, RandomNumber, &device);
    password.Wipe();
    if (!ok) {
        if (length < minimum) {
            fprintf(stderr, "MarrowindProfile: the password needs at least %zu characters\n", minimum);
        } else if (length > kPasswordBodyLength) {
            fprintf(stderr,
                    "MarrowindProfile: the password has %zu characters; a profile holds at most %zu\n",
                    length, kPasswordBodyLength);
        } else {
            fputs("MarrowindProfile: the password holds a character a profile cannot store "
                  "(only printable ASCII without blanks)\n",
                  stderr);
        }
        return false;
    }
    return true;
}

int Scramble() {
    FixedText<kStoredPasswordLength> stored;
    if (!ReadStoredPassword(stored)) return kUsageStatus;
    printf("%s\n", stored.c_str());
    return 0;
}

const char *BaseName(const char *path) {
    const char *base = path;
    for (const char *p = path; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/') base = p + 1;
    }
    return base;
}

int Check(const char *path) {
    FILE *file = OpenFile(path, "rb");
    if (file == nullptr) {
        fprintf(stderr, "MarrowindProfile: cannot open %s\n", path);
        return kUsageStatus;
    }
    ConnectionFields fields;
    ProfileFault passwordFault = ReadProfile(file, fields, kProfileLineSingleRun, false);
    CloseFile(file);
    const char *name = BaseName(path);

    for (size_t i = 0; i < 11; ++i) {
        const TextBase &value = ProfileField(fields, i);
        if (i == 4 && passwordFault != ProfileFault::None) {
            printf("%s (unreadable)\n", kProfileKeys[i].key);
        } else if (i == 4) {
            printf("%s %zu character%s\n", kProfileKeys[i].key, value.size(), value.size() == 1 ? "" : "s");
        } else {
            printf("%s %s\n", kProfileKeys[i].key, value.c_str());
        }
    }

    bool accepted = true;
    FixedText<255> message;
    if (passwordFault != ProfileFault::None) {
        ProfileFaultText(message, passwordFault, name);
        printf("%s\n", message.c_str());
        accepted = false;
    }
    if (fields.user.empty()) {
        ProfileFaultText(message, ProfileFault::UserMissing, name);
        printf("%s\n", message.c_str());
        accepted = false;
    }
    if (fields.password.empty() && passwordFault == ProfileFault::None) {
        ProfileFaultText(message, ProfileFault::PasswordMissing, name);
        printf("%s\n", message.c_str());
        accepted = false;
    }
    // A password that failed its test is reported above, not again as a short field.
    bool invalidLength[11] = {};
    bool anyInvalidLength = false;
    for (size_t i = 0; i < 11; ++i) {
        if (i == 4 && passwordFault != ProfileFault::None) continue;
        invalidLength[i] = !FieldLengthValid(fields, i);
        anyInvalidLength = anyInvalidLength || invalidLength[i];
    }
    if (anyInvalidLength) {
        ProfileFaultText(message, ProfileFault::InvalidParameters, name);
        printf("%s\n", message.c_str());
        for (size_t i = 0; i < 11; ++i) {
            const TextBase &field = ProfileField(fields, i);
            if (invalidLength[i] && field.truncated()) {
                printf("  %s longer than %zu characters\n", kProfileKeys[i].key, field.capacity());
            } else if (invalidLength[i]) {
                printf("  %s shorter than %zu characters\n", kProfileKeys[i].key, kProfileKeys[i].minimum);
            }
        }
        accepted = false;
    }
    fields.password.Wipe();
    printf("%s\n", accepted ? "Profile accepted." : "Profile rejected.");
    return accepted ? 0 : kUsageStatus;
}

struct NewOption {
    const char *name;
    size_t keyIndex;
    bool required;
};

int New(int argc, char **argv) {
    static const NewOption options[] = {
        {"--extcompany", 0, false}, {"--destination", 1, true}, {"--client", 2, true}, {"--user", 3, true},
        {"--language", 5, false},   {"--mode", 6, false},       {"--host", 7, true},   {"--sysnr", 8, true},
        {"--gwhost", 9, false},     {"--gwservice", 10, false},
    };
    ConnectionFields fields;
    bool given[11] = {};
    for (int i = 2; i < argc; ++i) {
        if (strcmp(argv[i], "--help") == 0) {
            fputs(kNewUsage, stdout);
            return 0;
        }
        const NewOption *option = nullptr;
        for (const NewOption &candidate : options) {
            if (strcmp(argv[i], candidate.name) == 0) option = &candidate;
        }
        if (option == nullptr || i + 1 >= argc) {
            fprintf(stderr, "MarrowindProfile: %s %s\n\n%s",
                    option == nullptr ? "unknown argument" : "no value for", argv[i], kNewUsage);
            return kUsageStatus;
        }
        TextBase &field = ProfileField(fields, option->keyIndex);
        field.Assign(argv[++i]);
        if (field.truncated() || strlen(argv[i]) > 60) {
            fprintf(stderr, "MarrowindProfile: %s is longer than a profile holds (%zu characters)\n",
                    option->name, field.capacity() < 60 ? field.capacity() : size_t{60});
            return kUsageStatus;
        }
        given[option->keyIndex] = true;
    }
    for (const NewOption &option : options) {
        if (option.required && !given[option.keyIndex]) {
            fprintf(stderr, "MarrowindProfile: %s is required\n\n%s", option.name, kNewUsage);
            return kUsageStatus;
        }
    }
    if (!given[0]) fields.extcompany.Assign("SAP");
    if (!given[5]) fields.language.Assign("E");
    if (!given[6]) fields.mode.Assign("R/3");
    if (!given[9]) fields.gwhost.Assign(fields.hostname);
    if (!given[10]) fields.gwservice.Assign("sapgw").Append(fields.sysnr);
    for (const NewOption &option : options) {
        const TextBase &value = ProfileField(fields, option.keyIndex);
        size_t minimum = kProfileKeys[option.keyIndex].minimum;
        if (value.size() < minimum) {
            fprintf(stderr, "MarrowindProfile: %s needs at least %zu characters\n", option.name, minimum);
            return kUsageStatus;
        }
    }

    FixedText<kStoredPasswordLength> stored;
    if (!ReadStoredPassword(stored)) return kUsageStatus;
    fields.password.Assign(stored);
    for (size_t i = 0; i < 11; ++i)
        printf("%s %s\n", kProfileKeys[i].key, ProfileField(fields, i).c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2 || strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
        fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? kUsageStatus : 0;
    }
    bool help = argc > 2 && strcmp(argv[2], "--help") == 0;
    if (strcmp(argv[1], "scramble") == 0) {
        if (help) {
            fputs(kScrambleUsage, stdout);
            return 0;
        }
        return Scramble();
    }
    if (strcmp(argv[1], "check") == 0) {
        if (help) {
            fputs(kCheckUsage, stdout);
            return 0;
        }
        if (argc != 3) {
            fputs(kCheckUsage, stderr);
            return kUsageStatus;
        }
        return Check(argv[2]);
    }
    if (strcmp(argv[1], "new") == 0) return New(argc, argv);
    fprintf(stderr, "MarrowindProfile: unknown command %s\n\n%s", argv[1], kUsage);
    return kUsageStatus;
}
