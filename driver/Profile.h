// Profile files: resolving the profile name, the PRTG directory search, reading a profile's keys
// into the connection fields and checking them.
#pragma once

#include <cstdio>

#include "platform/FixedText.h"
#include "rfc/Rfc.h"

constexpr size_t kProfileLineSingleRun = 159;
constexpr size_t kProfileLineSystemLoop = 199;

// Where a profile (or a listing file) is: its name without directory, the directory (empty for
// the working directory, otherwise ending with a backslash) and the two joined.
struct ProfileLocation {
    FixedText<63> name;
    FixedText<95> directory;
    FixedText<95> path;
    bool globalListing = false; // the name GLOBAL selected "SAP Quorvane.Gbl"
    FixedText<1023> searched;   // every path the search tried, in order, one per line
};

// Default extension, directory part, and the name GLOBAL (which selects item mode).
void ResolveProfileName(const char *argument, ProfileLocation &location);

// Finds and opens the profile (or listing file): with the PRTG directory search, or by its path.
// Returns the open file, or null with the full text of Error 1002 in `error` when no profile is
// there, or of Error 1034 when the first one found cannot be opened (no permission, too many open
// files, an I/O error): the search ends there, and `searched` notes the reason behind its path.
FILE *LocateProfile(ProfileLocation &location, bool directorySearch, TextBase &error);

// Opens a profile named by a listing, in the listing's directory. In a directory other than the
// working directory (a listing found below a PRTG folder, or given with its folder) the profile
// counts only when no other account could have written it or put it there; otherwise it is
// missing (errno ENOENT, so the caller tells it from a profile there that cannot be opened).
FILE *OpenListedProfile(const ProfileLocation &location);

enum class ProfileFault {
    None,
    InvalidPassword,   // 1004: the stored password has the wrong form
    WrongPassword,     // 1005: the check digit fails
    UserMissing,       // 1006
    PasswordMissing,   // 1007
    InvalidParameters, // 1003: a value shorter than its minimum
    Unreadable,        // 1034: a read error (or a file beyond any profile's size) before the end
};

// Reads the keys of an open profile into the fields. With stopAtPasswordFault (a single-system run)
// the reading ends at a password line that fails, and that fault is returned; otherwise every line
// is read, a failing password empties the password field (another system's password is never kept
// for this one) and the first password fault is returned. A profile that cannot be read to its end
// is Unreadable, and every field is emptied: values cut by a read error are never used.
ProfileFault ReadProfile(FILE *file, ConnectionFields &fields, size_t maxLine, bool stopAtPasswordFault);

// The checks after reading, in their order: user, password, then every field's length.
ProfileFault CheckProfileFields(const ConnectionFields &fields);
// Whether a field holds at least its minimum length and was not cut to fit (a value longer than
// its field is refused rather than used cut).
bool FieldLengthValid(const ConnectionFields &fields, size_t keyIndex);

// The error message of a fault for the profile name.
void ProfileFaultText(TextBase &text, ProfileFault fault, const char *profileName);
// "Error 1034": a profile or listing file that cannot be read to its end.
void UnreadableProfileText(TextBase &text, const char *profileName);
// The same for a profile that is there but could not be opened, with the system's reason:
// "Error 1034: Profile S01.P00 cannot be read ! - Permission denied".
void UnopenableProfileText(TextBase &text, const char *profileName, int errorNumber);

// Profile keys, for the tool that writes profiles.
struct ProfileKey {
    const char *key; // 12 characters
    size_t minimum;
};
extern const ProfileKey kProfileKeys[11];
TextBase &ProfileField(ConnectionFields &fields, size_t keyIndex);
const TextBase &ProfileField(const ConnectionFields &fields, size_t keyIndex);
