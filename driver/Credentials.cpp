#include "driver/Credentials.h"

#include "output/Errors.h"
#include "platform/Environment.h"

namespace {

struct CredentialSet {
    const char *userVariable;
    const char *passwordVariable;
    const char *deviceSection; // the section of PRTG's device settings that fills them
};

constexpr CredentialSet kLinuxSet{"prtg_linuxuser", "prtg_linuxpassword",
                                  "Credentials for Linux/Solaris/macOS (SSH/WBEM) Systems"};
constexpr CredentialSet kWindowsSet{"prtg_windowsuser", "prtg_windowspassword", "Credentials for Windows Systems"};

// Read with room beyond what any field takes, so an overlong value is seen as such.
using EnvironmentValue = FixedText<255>;

void MissingText(TextBase &error, const CredentialSet &set, const char *variable) {
    FormatError(error, ErrorId::CredentialsMissing, variable, set.deviceSection);
}

} // namespace

bool ParseLogonSource(const TextBase &value, LogonSource &source) {
    FixedText<15> upper;
    upper.Assign(value);
    upper.ToUpper();
    if (upper.Equals("LINUX") && !upper.truncated()) {
        source = LogonSource::Linux;
        return true;
    }
    if (upper.Equals("WINDOWS") && !upper.truncated()) {
        source = LogonSource::Windows;
        return true;
    }
    return false;
}

bool TakePrtgCredentials(LogonSource source, ConnectionFields &fields, TextBase &error) {
    if (source == LogonSource::Profile) return true;
    const CredentialSet &set = source == LogonSource::Linux ? kLinuxSet : kWindowsSet;
    fields.password.Wipe();
    EnvironmentValue user;
    if (!ReadEnvironmentValue(set.userVariable, user) || user.empty()) {
        MissingText(error, set, set.userVariable);
        return false;
    }
    EnvironmentValue password;
    bool passwordGiven = ReadEnvironmentValue(set.passwordVariable, password) && !password.empty();
    size_t passwordLength = password.size();
    bool cut = password.truncated();
    bool tooLong = cut || passwordLength > kSapPasswordLength;
    if (passwordGiven && !tooLong) fields.password.Assign(password);
    password.Wipe();
    if (!passwordGiven) {
        MissingText(error, set, set.passwordVariable);
        return false;
    }
    if (tooLong) {
        FixedText<31> count;
        count.Format("%s%u", cut ? "more than " : "", static_cast<unsigned>(passwordLength));
        FormatError(error, ErrorId::PasswordTooLong, set.passwordVariable, count.c_str());
        return false;
    }
    fields.user.Assign(user);
    fields.user.ToUpper();
    if (fields.user.truncated()) {
        FixedText<15> count;
        count.Format("%u", static_cast<unsigned>(fields.user.capacity()));
        FormatError(error, ErrorId::UserTooLong, set.userVariable, count.c_str());
        fields.password.Wipe();
        return false;
    }
    return true;
}

bool TakeLogon(LogonSource source, ConnectionFields &fields, ProfileFault &fault, TextBase &error) {
    if (source == LogonSource::Profile || fault == ProfileFault::Unreadable) return true;
    if (fault == ProfileFault::InvalidPassword || fault == ProfileFault::WrongPassword) fault = ProfileFault::None;
    return TakePrtgCredentials(source, fields, error);
}

bool PrtgCredentialsGiven(LogonSource source, TextBase &error) {
    ConnectionFields scratch;
    bool given = TakePrtgCredentials(source, scratch, error);
    scratch.password.Wipe();
    return given;
}
