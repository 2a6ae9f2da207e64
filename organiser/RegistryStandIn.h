// The registry values the mail defaults are read from, kept on Linux in a
// small INI-format file of ours:
//
//   $XDG_CONFIG_HOME/Kairoll/registry.ini  (~/.config/Kairoll/registry.ini)
//
// Each section is one registry key, named by its root and key path; each
// entry is one named value:
//
//   [HKEY_CURRENT_USER\Software\Microsoft\Internet Account Manager]
//   Default Mail Account=00000001
//   [HKEY_CURRENT_USER\Software\Microsoft\Internet Account Manager\Accounts\00000001]
//   SMTP Server=mail.example.com
//   SMTP Email Address=jane@example.com
//
// Section names match without regard to case (as registry keys do); value
// names are given as stored, for the caller to match. Lines starting with
// ';' or '#' are comments. Nothing here writes the file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kr {

enum class RegistryRoot { CurrentUser, LocalMachine };

constexpr const char* kRegistryFolder = "Kairoll";
constexpr const char* kRegistryFileName = "registry.ini";

// The file in use: the override when one is set, else the one under the
// user's configuration folder.
std::string RegistryFilePath();
// Uses another file (tests, or a program given one); empty restores the default.
void SetRegistryFilePath(std::string path);

// The section name of a key: "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE",
// then "\" and the key path when it is not empty.
std::string RegistrySectionName(RegistryRoot root, std::string_view keyPath);

struct RegistryValue {
    std::string name;  // as written before '=' (blanks kept)
    std::string data;  // after '=', leading blanks removed
};

struct RegistryKey {
    bool opened = false;
    int error = 0;  // when not opened: 2 no such key (or no file), 5 unreadable file
    std::vector<RegistryValue> values;  // in file order
};

// Reads one key's values from the file.
RegistryKey OpenRegistryKey(RegistryRoot root, std::string_view keyPath);

}  // namespace kr
