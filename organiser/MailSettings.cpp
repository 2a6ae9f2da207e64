#include "organiser/MailSettings.h"

#include <pwd.h>
#include <unistd.h>

#include <memory>

#include "dictionary/Settings.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"

namespace kr {

namespace {

constexpr const char* kAccountManagerKey = "Software\\Microsoft\\Internet Account Manager";
constexpr const char* kAccountsKey = "Software\\Microsoft\\Internet Account Manager\\Accounts\\";
constexpr const char* kWindowsKey = "Software\\Microsoft\\Windows\\CurrentVersion";

// The limits of the registry enumeration: value names of up to 255
// characters, data of up to 4096 bytes.
constexpr std::size_t kMaxValueName = 255;
constexpr std::size_t kMaxValueData = 4095;
constexpr int kErrorMoreData = 234;

std::string Cut(std::string s, std::size_t n) {
    if (s.size() > n) s.resize(n);
    return s;
}

}  // namespace

MailSettingsClass MailSettings;

MailSettingsClass::MailSettingsClass() : ownerName(PasswdFullName) {}

void MailSettingsClass::Init(uint8_t quiet) {
    QUIETMODE = quiet;
    valueList_ = std::make_unique<std::vector<NamedValue>>();
}

void MailSettingsClass::Kill() { valueList_.reset(); }

void MailSettingsClass::ReportError(std::string_view operation, std::string_view keyPath, int code) {
    {
        std::lock_guard<std::mutex> lock(m_);
        LASTOP = operation;
        LASTKEYNAME = keyPath;
        LASTERROR = std::to_string(code);
    }
    if (QUIETMODE == 0)
        Message("Error " + std::string(operation) + " " + ClipRight(keyPath) + ":\r" + std::to_string(code),
                "Error", MessageIcon::Exclamation);
}

std::string MailSettingsClass::ReadRegistryValue(RegistryRoot root, std::string_view keyPathIn,
                                                 std::string_view valueName, std::string_view defaultValue) {
    std::string result(defaultValue);
    std::string keyPath = ClipRight(keyPathIn);
    RegistryKey key = OpenRegistryKey(root, keyPath);
    if (!key.opened) {
        ReportError("opening", keyPath, key.error);
        return ClipRight(result);
    }
    const std::string wanted = Upper(Trim(valueName));
    for (const RegistryValue& v : key.values) {
        if (v.name.size() > kMaxValueName) {
            // The enumeration cannot return this name: it ends here.
            ReportError("retrieving", keyPath, kErrorMoreData);
            break;
        }
        if (Upper(Trim(v.name)) == wanted) {
            std::string data = Cut(v.data, kMaxValueData);
            std::size_t nul = data.find('\0');
            if (nul != std::string::npos) data.resize(nul);
            result = Cut(ClipRight(data), 255);
            break;
        }
    }
    return ClipRight(result);
}

std::string MailSettingsClass::DefaultAccountKey() {
    std::string account =
        Cut(ReadRegistryValue(RegistryRoot::CurrentUser, kAccountManagerKey, "Default Mail Account", ""), 8);
    account = ClipRight(account);
    return account.empty() ? std::string() : kAccountsKey + account;
}

std::string MailSettingsClass::SmtpServer() {
    return ReadRegistryValue(RegistryRoot::CurrentUser, DefaultAccountKey(), "SMTP Server", "");
}

std::string MailSettingsClass::SmtpReplyTo() {
    return ReadRegistryValue(RegistryRoot::CurrentUser, DefaultAccountKey(), "SMTP Reply To Email Address", "");
}

std::string MailSettingsClass::SmtpEmailAddress() {
    return ReadRegistryValue(RegistryRoot::CurrentUser, DefaultAccountKey(), "SMTP Email Address", "");
}

std::string MailSettingsClass::RegisteredOwner() {
    std::string owner = ReadRegistryValue(RegistryRoot::LocalMachine, kWindowsKey, "RegisteredOwner", "");
    if (owner.empty() && ownerName) owner = Cut(ClipRight(ownerName()), 255);
    return owner;
}

std::string PasswdFullName() {
    passwd pw{};
    passwd* found = nullptr;
    std::vector<char> buf(16384);
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) != 0 || !found || !pw.pw_gecos) return {};
    std::string gecos = pw.pw_gecos;
    std::size_t comma = gecos.find(',');
    if (comma != std::string::npos) gecos.resize(comma);
    return Trim(gecos);
}

void DefaultEmailSettings() {
    OptionGlobals& o = Options();
    if (o.Email_Host.empty()) o.Email_Host = MailSettings.SmtpServer();
    if (o.Email_SenderName.empty() && o.Email_Sender.empty()) o.Email_SenderName = MailSettings.RegisteredOwner();
    if (o.Email_Sender.empty()) o.Email_Sender = MailSettings.SmtpReplyTo();
    if (o.Email_Sender.empty()) o.Email_Sender = MailSettings.SmtpEmailAddress();
    if (o.News_Sender.empty()) o.News_Sender = o.Email_Sender.get();
}

namespace {

// The values of the default mail account, read quietly: this runs on the
// sending thread, which shows nothing. A missing account gives the values
// of HKEY_CURRENT_USER itself, as DefaultAccountKey does.
class AccountValues {
public:
    AccountValues() {
        std::string account = ClipRight(
            Cut(Find(OpenRegistryKey(RegistryRoot::CurrentUser, kAccountManagerKey), "Default Mail Account"), 8));
        key_ = OpenRegistryKey(RegistryRoot::CurrentUser, account.empty() ? "" : kAccountsKey + account);
    }
    std::string Text(const char* name) const { return Find(key_, name); }
    long Number(const char* name, long fallback) const {
        std::string v = Trim(Text(name));
        return IsNumeric(v) ? std::strtol(v.c_str(), nullptr, 10) : fallback;
    }
    // A timeout in seconds: 60 when not given or below 1, at most an hour.
    long TimeoutMs(const char* name) const {
        long timeout = Number(name, 60);
        if (timeout < 1) timeout = 60;
        if (timeout > 3600) timeout = 3600;
        return timeout * 1000;
    }

private:
    static std::string Find(const RegistryKey& key, const char* name) {
        for (const RegistryValue& v : key.values)
            if (EqualNoCase(Trim(v.name), name)) return ClipRight(v.data);
        return {};
    }
    RegistryKey key_;
};

}  // namespace

MailTransport MailTransportFor(std::string_view mailHost) {
    MailTransport t;
    net::MailHost host = net::ParseMailHost(mailHost);
    if (!host.valid) return t;
    t.valid = true;
    net::SmtpOptions& o = t.options;
    o.host = host.host;

    // The account's values; a missing key leaves the defaults (plain SMTP on
    // port 25, no authentication, 60 seconds).
    AccountValues account;
    long security = account.Number("SMTP Secure Connection", 0);
    o.security = security == 1 ? net::SmtpSecurity::StartTls
                 : security == 2 ? net::SmtpSecurity::Tls
                                 : net::SmtpSecurity::None;
    long port = account.Number("SMTP Port", 0);
    o.port = port > 0 && port <= 65535 ? static_cast<int>(port) : 0;
    o.user = account.Text("SMTP User Name");
    o.password = account.Text("SMTP Password");
    o.connectTimeoutMs = o.responseTimeoutMs = o.stallTimeoutMs = account.TimeoutMs("SMTP Timeout");

    if (host.implicitTls) o.security = net::SmtpSecurity::Tls;
    if (host.port != 0) o.port = host.port;
    return t;
}

NewsAccount DefaultNewsAccount() {
    AccountValues account;
    return {account.Text("NNTP User Name"), account.Text("NNTP Password")};
}

NewsTransport NewsTransportFor(std::string_view newsHost) {
    NewsTransport t;
    net::NewsHost host = net::ParseNewsHost(newsHost);
    if (!host.valid) return t;
    t.valid = true;
    net::NntpOptions& o = t.options;
    o.host = host.host;
    o.port = host.port;
    AccountValues account;
    o.user = account.Text("NNTP User Name");
    o.password = account.Text("NNTP Password");
    o.connectTimeoutMs = o.responseTimeoutMs = o.stallTimeoutMs = account.TimeoutMs("NNTP Timeout");
    return t;
}

}  // namespace kr
