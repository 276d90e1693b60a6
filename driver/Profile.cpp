#include "driver/Profile.h"

#include <cerrno>
#include <cstring>

#include "driver/Password.h"
#include "output/Errors.h"
#include "platform/Platform.h"
#include "platform/Trust.h"

const ProfileKey kProfileKeys[11] = {
    {"Extcompany.:", 2}, {"Destination:", 3}, {"Client.....:", 3}, {"User.......:", 2},
    {"Password...:", 2}, {"Language...:", 1}, {"Mode.......:", 3}, {"Hostname...:", 2},
    {"Sysnr......:", 2}, {"Gwhost.....:", 2}, {"Gwservice..:", 2},
};

namespace {

enum KeyIndex : size_t {
    kExtcompany,
    kDestination,
    kClient,
    kUser,
    kPassword,
    kLanguage,
    kMode,
    kHostname,
    kSysnr,
    kGwhost,
    kGwservice,
};

constexpr const char *kPrtgPathFile = "C:\\PRTG_Path.Txt";
constexpr const char *kPrtgSensorDirectory = "PRTG Network Monitor\\Custom Sensors\\ExeXml\\";
constexpr const char *kSensorDirectory = "Custom Sensors\\ExeXml\\";
constexpr const char *kProgramDirectories[] = {
    "\\Programme\\PRTG Network Monitor\\Custom Sensors\\ExeXml\\",
    "\\Program Files\\PRTG Network Monitor\\Custom Sensors\\ExeXml\\",
    "\\Program Files (x86)\\PRTG Network Monitor\\Custom Sensors\\ExeXml\\",
};

void SelectGlobalListing(TextBase &name, ProfileLocation &location) {
    FixedText<255> upper;
    upper.Assign(name);
    upper.ToUpper();
    if (upper.Equals("GLOBAL.P00")) {
        location.globalListing = true;
        name.Assign("SAP Quorvane.Gbl");
    }
}

void BuildProfilePath(ProfileLocation &location) { location.path.Assign(location.directory).Append(location.name); }

// Notes the profile path among the paths tried.
void NoteSearchedPath(ProfileLocation &location) { location.searched.Append(location.path).Append("\n"); }

// Whether a file of that name is there: one that opens, or one that is there but cannot be read.
bool ProfileThere(const TextBase &path) {
    FILE *file = OpenFile(path, "rb");
    if (file == nullptr) return ClassifyOpenFailure(errno) == OpenFailure::Unreadable;
    CloseFile(file);
    return true;
}

// Notes a file the search found and left, with the reason: "C:\PRTG_Path.Txt (skipped: writable by others)".
void NoteSkippedFile(ProfileLocation &location, const char *path, TrustFault fault) {
    location.searched.Append(path).Append(" (skipped: ").Append(TrustFaultText(fault)).Append(")\n");
}

// A file of the search outside the working directory counts only when no other account could
// have put it there or changed it; otherwise it is closed and counts as absent.
bool KeepIfTrusted(FILE *&file, ProfileLocation &location, const char *path) {
    if (file == nullptr) return false;
    TrustFault fault = CheckTrustedFile(path);
    if (fault == TrustFault::None) return true;
    CloseFile(file);
    NoteSkippedFile(location, path, fault);
    return false;
}

// Opens the profile path and notes it among the paths tried. A profile that is there but cannot be
// opened is noted with the reason and marked in `unreadable`: the search ends there, since a
// profile further on would not be the one meant.
FILE *TryProfilePath(ProfileLocation &location, bool &unreadable) {
    FILE *file = OpenFile(location.path, "rb");
    int openError = errno;
    location.searched.Append(location.path);
    unreadable = file == nullptr && ClassifyOpenFailure(openError) == OpenFailure::Unreadable;
    if (unreadable) {
        FixedText<127> reason;
        ErrorNumberText(reason, openError);
        location.searched.Append(" (cannot be read: ").Append(reason).Append(")");
    }
    location.searched.Append("\n");
    return file;
}

// The same in a search folder outside the working directory: a profile there counts only when it
// is trusted, one that cannot be opened as well (a planted file does not end the search).
FILE *TryTrustedProfilePath(ProfileLocation &location, bool &unreadable) {
    FILE *file = OpenFile(location.path, "rb");
    int openError = errno;
    unreadable = false;
    if (file == nullptr && ClassifyOpenFailure(openError) == OpenFailure::Unreadable) {
        TrustFault fault = CheckTrustedFile(location.path.c_str());
        if (fault != TrustFault::None) {
            NoteSkippedFile(location, location.path.c_str(), fault);
            return nullptr;
        }
        errno = openError;
        return TryProfilePath(location, unreadable);
    }
    if (file == nullptr) NoteSearchedPath(location);
    if (!KeepIfTrusted(file, location, location.path.c_str())) return nullptr;
    NoteSearchedPath(location);
    return file;
}

// Whether directory + subdirectory + profile name names a file, readable or not.
bool ProfileBelow(const TextBase &directory, const char *subdirectory, const TextBase &name) {
    FixedText<255> path;
    path.Assign(directory).Append(subdirectory).Append(name);
    return ProfileThere(path);
}

bool PrtgDirectoryLine(const TextBase &line) { return line[0] == '\\' || line[2] == '\\' || line[1] == ':'; }

} // namespace

void ResolveProfileName(const char *argument, ProfileLocation &location) {
    FixedText<255> name(argument);
    if (name.size() < 4 || name[name.size() - 4] != '.') name.Append(".P00");
    SelectGlobalListing(name, location);
    location.directory.Clear();
    size_t lastBackslash = TextBase::npos;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\') lastBackslash = i;
    }
    if (lastBackslash != TextBase::npos && lastBackslash > 0) {
        location.directory.AssignPart(name.c_str(), lastBackslash + 1);
        location.name.Assign(name.c_str() + lastBackslash + 1);
    } else {
        location.name.Assign(name);
    }
    SelectGlobalListing(location.name, location);
    BuildProfilePath(location);
}

FILE *LocateProfile(ProfileLocation &location, bool directorySearch, TextBase &error) {
    TextBase &directory = location.directory;
    location.searched.Clear();
    bool unreadable = false;
    if (!directorySearch) {
        BuildProfilePath(location);
        FILE *file = TryProfilePath(location, unreadable);
        if (unreadable) {
            UnreadableProfileText(error, location.name.c_str());
        } else if (file == nullptr) {
            FormatError(error, ErrorId::ProfileMissing, location.path.c_str());
        }
        return file;
    }

    FormatError(error, ErrorId::ProfileMissing, location.name.c_str());
    directory.Clear();
    FILE *prtgPath = OpenFile(kPrtgPathFile, "rb");
    if (KeepIfTrusted(prtgPath, location, kPrtgPathFile)) {
        location.searched.Append(kPrtgPathFile).Append(" (names the directory)\n");
        FixedText<99> line;
        while (ReadTextLine(prtgPath, line, 99)) {
            line.StripLineEnd();
            if (PrtgDirectoryLine(line)) directory.Assign(line);
        }
        CloseFile(prtgPath);
        if (directory.Last() != '\\') directory.AppendChar('\\');
        if (ProfileBelow(directory, kPrtgSensorDirectory, location.name)) {
            directory.Append(kPrtgSensorDirectory);
        }
        if (ProfileBelow(directory, kSensorDirectory, location.name))
            directory.Append(kSensorDirectory);
        BuildProfilePath(location);
        FILE *named = TryTrustedProfilePath(location, unreadable);
        if (named == nullptr) {
            if (unreadable) UnreadableProfileText(error, location.name.c_str());
            return nullptr;
        }
        CloseFile(named);
    }

    BuildProfilePath(location);
    FILE *file = TryProfilePath(location, unreadable);
    for (const char *programDirectory : kProgramDirectories) {
        if (file != nullptr || unreadable) break;
        directory.Assign(programDirectory);
        BuildProfilePath(location);
        file = TryTrustedProfilePath(location, unreadable);
    }
    if (unreadable) UnreadableProfileText(error, location.name.c_str());
    return file;
}

FILE *OpenListedProfile(const ProfileLocation &location) {
    FILE *file = OpenFile(location.path, "rb");
    if (file == nullptr || location.directory.empty()) return file;
    if (CheckTrustedFile(location.path.c_str()) == TrustFault::None) return file;
    CloseFile(file);
    errno = ENOENT; // counts as missing
    return nullptr;
}

TextBase &ProfileField(ConnectionFields &fields, size_t keyIndex) {
    switch (keyIndex) {
    case kExtcompany:
        return fields.extcompany;
    case kDestination:
        return fields.destination;
    case kClient:
        return fields.client;
    case kUser:
        return fields.user;
    case kPassword:
        return fields.password;
    case kLanguage:
        return fields.language;
    case kMode:
        return fields.mode;
    case kHostname:
        return fields.hostname;
    case kSysnr:
        return fields.sysnr;
    case kGwhost:
        return fields.gwhost;
    default:
        return fields.gwservice;
    }
}

ProfileFault ReadProfile(FILE *file, ConnectionFields &fields, size_t maxLine, bool stopAtPasswordFault) {
    ProfileFault firstFault = ProfileFault::None;
    FixedText<kProfileLineSystemLoop> line;
    ReadBudget budget;
    for (;;) {
        LineRead read = ReadTextLine(file, line, maxLine, budget);
        if (read == LineRead::End) break;
        if (read == LineRead::Failed) {
            fields = ConnectionFields();
            return ProfileFault::Unreadable;
        }
        line.StripLineEnd();
        if (line.size() < 12) continue;
        size_t keyIndex = 0;
        while (keyIndex < 11 && strncmp(line.c_str(), kProfileKeys[keyIndex].key, 12) != 0)
            ++keyIndex;
        if (keyIndex == 11) continue;
        FixedText<60> value;
        if (line.size() >= 14) value.AssignPart(line.c_str() + 13, 60);

        TextBase &field = ProfileField(fields, keyIndex);
        if (keyIndex == kPassword) {
            if (value.empty()) {
                fields.password.Clear();
                continue;
            }
            PasswordFault fault = UnscramblePassword(value.c_str(), fields.password);
            if (fault == PasswordFault::None) continue;
            ProfileFault found =
                fault == PasswordFault::Form ? ProfileFault::InvalidPassword : ProfileFault::WrongPassword;
            if (stopAtPasswordFault) return found;
            fields.password.Clear();
            if (firstFault == ProfileFault::None) firstFault = found;
            continue;
        }
        field.Assign(value);
        if (keyIndex == kUser) field.ToUpper();
        if (keyIndex == kHostname) fields.shownHost.Assign(value);
    }
    return firstFault;
}

const TextBase &ProfileField(const ConnectionFields &fields, size_t keyIndex) {
    return ProfileField(const_cast<ConnectionFields &>(fields), keyIndex);
}

bool FieldLengthValid(const ConnectionFields &fields, size_t keyIndex) {
    const TextBase &field = ProfileField(fields, keyIndex);
    return field.size() >= kProfileKeys[keyIndex].minimum && !field.truncated();
}

void UnreadableProfileText(TextBase &text, const char *profileName) {
    FormatError(text, ErrorId::ProfileUnreadable, profileName);
}

void UnopenableProfileText(TextBase &text, const char *profileName, int errorNumber) {
    UnreadableProfileText(text, profileName);
    FixedText<127> reason;
    ErrorNumberText(reason, errorNumber);
    text.Append(" - ").Append(reason);
}

ProfileFault CheckProfileFields(const ConnectionFields &fields) {
    if (fields.user.empty()) return ProfileFault::UserMissing;
    if (fields.password.empty()) return ProfileFault::PasswordMissing;
    for (size_t i = 0; i < 11; ++i) {
        if (!FieldLengthValid(fields, i)) return ProfileFault::InvalidParameters;
    }
    return ProfileFault::None;
}

void ProfileFaultText(TextBase &text, ProfileFault fault, const char *profileName) {
    switch (fault) {
    case ProfileFault::None:
        text.Clear();
        break;
    case ProfileFault::InvalidPassword:
        FormatError(text, ErrorId::InvalidPassword, profileName);
        break;
    case ProfileFault::WrongPassword:
        FormatError(text, ErrorId::WrongPassword, profileName);
        break;
    case ProfileFault::UserMissing:
        FormatError(text, ErrorId::UserMissing, profileName);
        break;
    case ProfileFault::PasswordMissing:
        FormatError(text, ErrorId::PasswordMissing, profileName);
        break;
    case ProfileFault::InvalidParameters:
        FormatError(text, ErrorId::InvalidParameters, profileName);
        break;
    case ProfileFault::Unreadable:
        UnreadableProfileText(text, profileName);
        break;
    }
}
