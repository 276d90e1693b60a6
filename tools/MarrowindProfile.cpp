// MarrowindProfile: writes and checks the profiles of SAP Marrowind.
//
//   MarrowindProfile scramble            password from standard input -> stored value
//   MarrowindProfile check FILE [--logon] the sensor's reading and checks of a profile
//   MarrowindProfile new --destination D --client C --user U --host H --sysnr NN [...] [--output FILE]
//   MarrowindProfile new --logon --destination D ...   a profile for LOGON= (no user, no password)
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "driver/Credentials.h"
#include "driver/FieldReport.h"
#include "driver/Password.h"
#include "driver/Profile.h"
#include "platform/Platform.h"
#include "platform/Process.h"
#include "platform/Protection.h"

namespace {

constexpr int kUsageStatus = 2;
constexpr size_t kUserKey = 3;
constexpr size_t kPasswordKey = 4;

const char *const kUsage =
    "Usage: MarrowindProfile COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  scramble    read a password from standard input and print its stored value\n"
    "  check FILE  read a profile as SAP Marrowind does and show its fields and checks\n"
    "              (--logon: as with LOGON=, where user and password come from PRTG)\n"
    "  new ...     write a complete profile (with --output FILE into that file)\n"
    "\n"
    "MarrowindProfile COMMAND --help shows the arguments of a command.\n";

const char *const kScrambleUsage =
    "Usage: MarrowindProfile scramble\n"
    "\n"
    "Reads one password line from standard input (at a terminal not echoed, and asked twice) and\n"
    "prints the 24-character value for the profile line \"Password...:\". The password may hold\n"
    "1 to 20 printable ASCII characters without blanks.\n";

const char *const kCheckUsage =
    "Usage: MarrowindProfile check FILE [--logon]\n"
    "\n"
    "Reads FILE with SAP Marrowind's own profile reader (\".P00\" is added when the name has no\n"
    "extension, as the sensor does), prints every field (the password only as its length), every\n"
    "failed check with the sensor's error text, the lines whose value starts in the wrong column\n"
    "or ends in blanks, and lines whose key the sensor does not know (it ignores them). With\n"
    "--logon the profile is checked for LOGON=LINUX or LOGON=WINDOWS: user and password come\n"
    "from PRTG, so the User and Password lines are not needed and not used. Exit status 0 when\n"
    "the sensor accepts the profile, 2 otherwise.\n";

const char *const kNewUsage =
    "Usage: MarrowindProfile new --destination D --client C --user U --host H --sysnr NN\n"
    "                            [--language L] [--mode M] [--gwhost G] [--gwservice S]\n"
    "                            [--extcompany E] [--output FILE]\n"
    "       MarrowindProfile new --logon --destination D --client C --host H --sysnr NN [...]\n"
    "\n"
    "With --logon the profile gets no User and Password lines and no password is asked: it is\n"
    "for the sensor option LOGON=LINUX or LOGON=WINDOWS, which takes both from PRTG.\n"
    "Otherwise reads the password like 'scramble' and writes a complete profile to standard output, or\n"
    "with --output into FILE (\".P00\" added when the name has no extension). FILE is written\n"
    "only when everything is valid, and replaced in one step: a mistake leaves it as it was.\n"
    "Defaults: --language E, --mode R/3, --gwhost the host, --gwservice sapgw + NN,\n"
    "--extcompany SAP. --mode R/2 connects through the gateway host and service.\n";

// The sensor's rule for a profile name: unless the fourth character from the end is a '.', the
// name gets ".P00".
std::string ProfileFileName(const char *name) {
    std::string file = name;
    if (file.size() < 4 || file[file.size() - 4] != '.') file += ".P00";
    return file;
}

const char *Characters(size_t count) { return count == 1 ? "character" : "characters"; }

uint32_t RandomNumber(void *context) {
    return static_cast<uint32_t>((*static_cast<std::random_device *>(context))());
}

// Reads the password (twice at a terminal, where a typing mistake would go unseen) and scrambles
// it; prints the reason and returns false when it cannot be stored.
bool ReadStoredPassword(TextBase &stored) {
    FixedText<255> password;
    bool read = ReadSecretLine("Password: ", password, 255);
    if (!read || password.empty()) {
        fputs("MarrowindProfile: no password given\n", stderr);
        return false;
    }
    if (StandardInputIsTerminal()) {
        FixedText<255> again;
        ReadSecretLine("Password again: ", again, 255);
        bool same = again.Equals(password.c_str()) && !again.truncated();
        again.Wipe();
        if (!same) {
            password.Wipe();
            fputs("MarrowindProfile: the passwords differ\n", stderr);
            return false;
        }
    }
    std::random_device device;
    size_t length = password.size();
    size_t minimum = kProfileKeys[kPasswordKey].minimum;
    bool ok = length >= minimum && !password.truncated() &&
              ScramblePassword(password.c_str(), stored, RandomNumber, &device);
    password.Wipe();
    if (!ok) {
        if (length < minimum) {
            fprintf(stderr, "MarrowindProfile: the password needs at least %zu %s\n", minimum,
                    Characters(minimum));
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

bool Blank(char c) { return c == ' ' || c == '\t'; }

// The letters of a key, lower-cased: "Sysnr.....:" and "sysnr......:" both give "sysnr".
void KeyLetters(const char *text, size_t length, TextBase &letters) {
    letters.Clear();
    for (size_t i = 0; i < length && text[i] != '\0'; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c >= 'a' && c <= 'z') letters.AppendChar(c);
    }
}

using KeyText = FixedText<15>;

// What the lines of a profile show beyond the fields the sensor reads: which keys are there, the
// lines whose value the sensor reads otherwise than meant, and keys it does not know.
struct LineReview {
    bool present[11] = {};
    FixedText<8191> hints; // a hint names its line; a profile has few lines
    // The password line's value as it was meant: from its first character after the key's
    // separator, without trailing blanks; set when the sensor reads it otherwise.
    bool passwordMisplaced = false;
    size_t passwordColumn = 14;
    size_t passwordTrailingBlanks = 0;
    FixedText<kProfileLineSingleRun> passwordMeant;
};

const char *BlanksWord(size_t count) { return count == 1 ? "trailing blank" : "trailing blanks"; }

// The sensor skips character 13 of a line, whatever it is, and reads the value from column 14: a
// value typed right behind the key loses its first character, one behind two blanks starts with
// a blank, and trailing blanks stay part of the value.
void ReviewLines(FILE *file, LineReview &review) {
    FixedText<kProfileLineSingleRun> line;
    unsigned number = 0;
    bool lineStart = true;
    TextBase &hints = review.hints;
    while (ReadTextLine(file, line, kProfileLineSingleRun)) {
        if (lineStart) ++number;
        lineStart = line.Last() == '\n';
        line.StripLineEnd();
        size_t keyIndex = 11;
        for (size_t i = 0; i < 11 && line.size() >= 12; ++i) {
            if (strncmp(line.c_str(), kProfileKeys[i].key, 12) == 0) keyIndex = i;
        }
        if (keyIndex == 11) {
            // A line that looks like a key line (a word and a colon) but whose key is none of the
            // sensor's: it is ignored, and its field stays missing.
            const char *colon = strchr(line.c_str(), ':');
            KeyText letters;
            KeyLetters(line.c_str(), 1, letters);
            if (colon == nullptr || colon - line.c_str() > 13 || letters.empty()) continue;
            size_t keyLength = static_cast<size_t>(colon - line.c_str()) + 1;
            KeyLetters(line.c_str(), keyLength, letters);
            hints.AppendFormat("Line %u, \"%.*s\" is an unknown key; the sensor ignores the line.\n", number,
                               static_cast<int>(keyLength), line.c_str());
            for (const ProfileKey &known : kProfileKeys) {
                KeyText knownLetters;
                KeyLetters(known.key, 12, knownLetters);
                if (knownLetters.Equals(letters.c_str()))
                    hints.AppendFormat("  The key is \"%s\" (12 characters, letter case as shown).\n", known.key);
            }
            continue;
        }
        review.present[keyIndex] = true;
        const char *key = kProfileKeys[keyIndex].key;
        if (line.size() < 14 && !(line.size() == 13 && !Blank(line[12]))) continue;
        size_t column = 14;
        if (!Blank(line[12])) {
            column = 13;
            hints.AppendFormat("Line %u, %s character 13 is the separator and is skipped;\n"
                               "  the value must start in column 14, after one separator character.\n",
                               number, key);
        } else {
            while (Blank(line[column - 1]))
                ++column;
            if (column > line.size()) continue; // blanks only: an empty value
            if (column > 14) {
                hints.AppendFormat("Line %u, %s the value starts in column %u;\n"
                                   "  it must start in column 14, after one separator character.\n",
                                   number, key, static_cast<unsigned>(column));
            }
        }
        size_t trailing = 0;
        while (trailing < line.size() && Blank(line[line.size() - 1 - trailing]))
            ++trailing;
        if (trailing > 0) {
            hints.AppendFormat("Line %u, %s the value ends in %u %s, which the sensor keeps as part of it.\n", number,
                               key, static_cast<unsigned>(trailing), BlanksWord(trailing));
        }
        if (keyIndex == kPasswordKey) {
            review.passwordMisplaced = column != 14 || trailing > 0;
            review.passwordColumn = column;
            review.passwordTrailingBlanks = trailing;
            review.passwordMeant.AssignPart(line.c_str() + column - 1, line.size() - trailing - (column - 1));
        }
    }
}

// Why a stored password fails, when the line shows more than the sensor's error says: the stored
// value is a good one in the wrong column or with trailing blanks (not a wrong password), or
// clear text.
void ExplainPasswordFault(ProfileFault fault, const LineReview &review) {
    if (review.passwordMisplaced) {
        FixedText<kSapPasswordLength> unscrambled;
        bool good = UnscramblePassword(review.passwordMeant.c_str(), unscrambled) == PasswordFault::None;
        unscrambled.Wipe();
        if (good && review.passwordColumn != 14) {
            printf("  The stored value itself is right, but it starts in column %zu: a value in the wrong\n"
                   "  column, not a wrong password. Let it start in column 14.\n",
                   review.passwordColumn);
            return;
        }
        if (good) {
            printf("  The stored value itself is right, but it is followed by %zu %s: remove them.\n",
                   review.passwordTrailingBlanks, BlanksWord(review.passwordTrailingBlanks));
            return;
        }
    }
    if (fault == ProfileFault::InvalidPassword) {
        printf("  The stored password is not the 24-character value MarrowindProfile writes; it looks like\n"
               "  clear text. Put the output of \"MarrowindProfile scramble\" there.\n");
    }
}

int Check(const char *argument, bool prtgLogon) {
    std::string path = ProfileFileName(argument);
    errno = 0;
    FILE *file = OpenFile(path.c_str(), "rb");
    if (file == nullptr) {
        fprintf(stderr, "MarrowindProfile: cannot open %s: %s\n", path.c_str(),
                strerror(errno != 0 ? errno : ENOENT));
        return kUsageStatus;
    }
    ConnectionFields fields;
    ProfileFault passwordFault = ReadProfile(file, fields, kProfileLineSingleRun, false);
    CloseFile(file);
    LineReview review;
    file = OpenFile(path.c_str(), "rb");
    if (file != nullptr) ReviewLines(file, review);
    CloseFile(file);
    const char *name = BaseName(path.c_str());
    // With LOGON= the sensor uses neither line: they are shown, but not checked.
    if (prtgLogon && passwordFault != ProfileFault::Unreadable) passwordFault = ProfileFault::None;

    for (size_t i = 0; i < 11; ++i) {
        const TextBase &value = ProfileField(fields, i);
        if (prtgLogon && (i == kUserKey || i == kPasswordKey)) {
            printf("%s (not used: LOGON= takes it from PRTG)\n", kProfileKeys[i].key);
        } else if (i == kPasswordKey && passwordFault != ProfileFault::None) {
            printf("%s (unreadable)\n", kProfileKeys[i].key);
        } else if (i == kPasswordKey) {
            printf("%s %zu %s\n", kProfileKeys[i].key, value.size(), Characters(value.size()));
        } else {
            printf("%s %s\n", kProfileKeys[i].key, value.c_str());
        }
    }

    bool accepted = true;
    FixedText<255> message;
    if (passwordFault != ProfileFault::None) {
        ProfileFaultText(message, passwordFault, name);
        printf("%s\n", message.c_str());
        ExplainPasswordFault(passwordFault, review);
        accepted = false;
    }
    if (!prtgLogon && fields.user.empty()) {
        ProfileFaultText(message, ProfileFault::UserMissing, name);
        printf("%s\n", message.c_str());
        accepted = false;
    }
    if (!prtgLogon && fields.password.empty() && passwordFault == ProfileFault::None) {
        ProfileFaultText(message, ProfileFault::PasswordMissing, name);
        printf("%s\n", message.c_str());
        accepted = false;
    }
    if (!prtgLogon && !review.present[kUserKey] && !review.present[kPasswordKey]) {
        printf("  Without User and Password lines the profile serves only LOGON=LINUX or LOGON=WINDOWS\n"
               "  (check it with --logon).\n");
    }
    // A password that failed its test is reported above, not again as a short field.
    FixedText<63> problems[11];
    bool anyInvalidLength = false;
    for (size_t i = 0; i < 11; ++i) {
        if (i == kPasswordKey && passwordFault != ProfileFault::None) continue;
        if (prtgLogon && (i == kUserKey || i == kPasswordKey)) continue;
        if (!FieldLengthProblem(fields, i, problems[i])) continue;
        // A key with no line is missing (a misspelt key is named above); an empty value is short.
        size_t minimum = kProfileKeys[i].minimum;
        if (!review.present[i]) {
            problems[i].Assign("missing (no line with this key)");
        } else if (ProfileField(fields, i).empty()) {
            problems[i].Format("shorter than %u %s", static_cast<unsigned>(minimum), Characters(minimum));
        }
        anyInvalidLength = true;
    }
    if (anyInvalidLength) {
        ProfileFaultText(message, ProfileFault::InvalidParameters, name);
        printf("%s\n", message.c_str());
        for (size_t i = 0; i < 11; ++i) {
            if (!problems[i].empty()) printf("  %s %s\n", kProfileKeys[i].key, problems[i].c_str());
        }
        accepted = false;
    }
    fields.password.Wipe();

    fputs(review.hints.c_str(), stdout);
    printf("%s\n", accepted ? "Profile accepted." : "Profile rejected.");
    return accepted ? 0 : kUsageStatus;
}

// Writes the text beside the target under a temporary name and renames it over the target, so the
// target is either the old file or the complete new one. Reports a failure and returns false.
bool WriteFileInOneStep(const std::string &target, const std::string &text) {
    std::string temporary = target + "." + std::to_string(CurrentProcessId()) + ".tmp";
    errno = 0;
    // A new file only, never through a link planted under the name, and the owner's alone from the
    // start (a profile that is replaced keeps its rights through the rename).
    FILE *file = CreatePrivateFile(temporary.c_str());
    if (file == nullptr) {
        fprintf(stderr, "MarrowindProfile: cannot write %s: cannot create %s: %s\n", target.c_str(),
                temporary.c_str(), strerror(errno));
        return false;
    }
    bool written = fputs(text.c_str(), file) >= 0 && fflush(file) == 0 && ferror(file) == 0;
    int writeError = errno;
    CloseFile(file);
    if (!written || !MoveFileOver(temporary.c_str(), target.c_str())) {
        if (written) writeError = errno;
        RemoveFile(temporary.c_str());
        fprintf(stderr, "MarrowindProfile: cannot write %s: %s\n", target.c_str(), strerror(writeError));
        return false;
    }
    return true;
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
    const char *output = nullptr;
    bool prtgLogon = false;
    for (int i = 2; i < argc; ++i) {
        if (strcmp(argv[i], "--help") == 0) {
            fputs(kNewUsage, stdout);
            return 0;
        }
        if (strcmp(argv[i], "--logon") == 0) {
            prtgLogon = true;
            continue;
        }
        const NewOption *option = nullptr;
        for (const NewOption &candidate : options) {
            if (strcmp(argv[i], candidate.name) == 0) option = &candidate;
        }
        bool isOutput = strcmp(argv[i], "--output") == 0;
        if ((option == nullptr && !isOutput) || i + 1 >= argc) {
            fprintf(stderr, "MarrowindProfile: %s %s\n\n%s",
                    option == nullptr && !isOutput ? "unknown argument" : "no value for", argv[i], kNewUsage);
            return kUsageStatus;
        }
        if (isOutput) {
            output = argv[++i];
            continue;
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
    if (prtgLogon && given[kUserKey]) {
        fputs("MarrowindProfile: --user does not go with --logon (LOGON= takes the user from PRTG)\n", stderr);
        return kUsageStatus;
    }
    for (const NewOption &option : options) {
        if (prtgLogon && option.keyIndex == kUserKey) continue;
        if (option.required && !given[option.keyIndex]) {
            fprintf(stderr, "MarrowindProfile: %s is required\n\n%s", option.name, kNewUsage);
            return kUsageStatus;
        }
    }
    if (output != nullptr && output[0] == '\0') {
        fputs("MarrowindProfile: --output needs a file name\n", stderr);
        return kUsageStatus;
    }
    if (!given[0]) fields.extcompany.Assign("SAP");
    if (!given[5]) fields.language.Assign("E");
    if (!given[6]) fields.mode.Assign("R/3");
    if (!given[9]) fields.gwhost.Assign(fields.hostname);
    if (!given[10]) fields.gwservice.Assign("sapgw").Append(fields.sysnr);
    for (const NewOption &option : options) {
        if (prtgLogon && option.keyIndex == kUserKey) continue;
        const TextBase &value = ProfileField(fields, option.keyIndex);
        size_t minimum = kProfileKeys[option.keyIndex].minimum;
        if (value.size() < minimum) {
            fprintf(stderr, "MarrowindProfile: %s needs at least %zu %s\n", option.name, minimum,
                    Characters(minimum));
            return kUsageStatus;
        }
    }

    FixedText<kStoredPasswordLength> stored;
    if (!prtgLogon && !ReadStoredPassword(stored)) return kUsageStatus;
    fields.password.Assign(stored);
    // A profile for LOGON= has no User and Password lines.
    auto written = [prtgLogon](size_t keyIndex) { return !prtgLogon || (keyIndex != kUserKey && keyIndex != kPasswordKey); };
    if (output == nullptr) {
        for (size_t i = 0; i < 11; ++i)
            if (written(i)) printf("%s %s\n", kProfileKeys[i].key, ProfileField(fields, i).c_str());
        return 0;
    }
    const char *lineEnd = kTextLineEnd;
    std::string text;
    for (size_t i = 0; i < 11; ++i)
        if (written(i)) text.append(kProfileKeys[i].key).append(" ").append(ProfileField(fields, i).c_str()).append(lineEnd);
    std::string target = ProfileFileName(output);
    if (!WriteFileInOneStep(target, text)) return kUsageStatus;
    fprintf(stderr, "MarrowindProfile: profile written to %s\n", target.c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    HardenProcess(); // it holds a password in plain
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
        bool prtgLogon = argc == 4 && strcmp(argv[3], "--logon") == 0;
        if (argc != 3 && !prtgLogon) {
            fputs(kCheckUsage, stderr);
            return kUsageStatus;
        }
        return Check(argv[2], prtgLogon);
    }
    if (strcmp(argv[1], "new") == 0) return New(argc, argv);
    fprintf(stderr, "MarrowindProfile: unknown command %s\n\n%s", argv[1], kUsage);
    return kUsageStatus;
}
