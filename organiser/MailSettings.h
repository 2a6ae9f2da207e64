// The mail account defaults: MailSettings, the program-wide reader of the
// registry values (kept in our stand-in file, RegistryStandIn.h), and
// DefaultEmailSettings, which fills the empty mail settings from them.
//
// The mail settings themselves are option globals of the settings store
// (Options() of dictionary/Settings.h): what the Options window edits is what
// the mail code reads, with no copy in between.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "organiser/RegistryStandIn.h"
#include "platform/net/NntpClient.h"
#include "platform/net/SmtpClient.h"
#include "platform/runtime/FixedString.h"

namespace kr {

// The program title, sent as the mailer of every mail.
inline constexpr const char* kMailerName = "Kairoll 2000";

class MailSettingsClass {
public:
    struct NamedValue {
        FString<1024> VALUENAME;
        FString<1024> VALUE;
    };

    uint8_t QUIETMODE = 0;  // 1: registry errors are recorded, not shown
    FString<255> LASTOP;    // "opening" or "retrieving"
    FString<255> LASTERROR; // the error code, as decimal digits
    FString<255> LASTKEYNAME;

    void Init(uint8_t quiet);
    void Kill();
    bool HasValueList() const { return valueList_ != nullptr; }

    // A value of a key, trailing blanks removed, at most 255 characters;
    // the default when the key or value is missing.
    std::string ReadRegistryValue(RegistryRoot root, std::string_view keyPath, std::string_view valueName,
                                  std::string_view defaultValue);
    // The key path of the default mail account, or empty.
    std::string DefaultAccountKey();
    std::string SmtpServer();
    std::string SmtpReplyTo();
    std::string SmtpEmailAddress();
    // The registered owner: the stand-in's "RegisteredOwner", else the user's
    // full name from the password database.
    std::string RegisteredOwner();
    void ReportError(std::string_view operation, std::string_view keyPath, int code);

    // Where the owner's full name comes from when the stand-in has none; the
    // password database's full-name field by default. Tests replace it.
    std::function<std::string()> ownerName;

    MailSettingsClass();

private:
    std::mutex m_;  // the LAST... fields, for sends that read transport values off thread 1
    std::unique_ptr<std::vector<NamedValue>> valueList_;
};

// The program-wide object; the start-up calls Init(1) and, at shut-down, Kill.
extern MailSettingsClass MailSettings;

// Fills the empty mail option globals from the registry values. Changes
// only settings held in memory; stores nothing. Run after every LoadSettings
// and when the Options window opens.
void DefaultEmailSettings();

// The user's full name from the password database (the first part of the
// GECOS field), or empty.
std::string PasswdFullName();

// How the mail host of a send is reached: the host text of MAILHOST with
// the default account's "SMTP Port", "SMTP Secure Connection" (0 plain,
// 1 STARTTLS, 2 TLS from the start), "SMTP User Name", "SMTP Password" and
// "SMTP Timeout" (seconds, for connecting and for each reply). A port or
// scheme in the host text wins over the account's. valid is false when the
// host text cannot be used.
struct MailTransport {
    net::SmtpOptions options;
    bool valid = false;
};
MailTransport MailTransportFor(std::string_view mailHost);

// The news account: "NNTP User Name" and "NNTP Password" of the same
// default mail account. The one source of the news credentials: the news
// post signs in with them and the bug report shows them.
struct NewsAccount {
    std::string user;
    std::string password;
};
NewsAccount DefaultNewsAccount();

// How the news host of a post is reached: "host[:port]" (119 by default,
// "nntp://" accepted) with the news account's user name and password and
// its "NNTP Timeout" (seconds, for connecting, each reply and each write;
// 60 when not given). valid is false when the host text cannot be used.
struct NewsTransport {
    net::NntpOptions options;
    bool valid = false;
};
NewsTransport NewsTransportFor(std::string_view newsHost);

}  // namespace kr
