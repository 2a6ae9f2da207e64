// What the bug report sends, without a display: the lines of its
// "Internal Information", its subject and its body.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kr {

// Where support mail goes, for Help's "E-mail for Support" and the bug
// report alike: the entries "SupportAddress" and "SupportName" (the display
// name sent with it) of the program INI's "Settings" section. They are read
// at each use, never stored in the data file, so a corrected INI takes
// effect at once. There is no default address: `address` is empty when none
// is set, and the callers then say where to set it and send nothing.
inline constexpr const char* kSupportSection = "Settings";
inline constexpr const char* kSupportAddressEntry = "SupportAddress";
inline constexpr const char* kSupportNameEntry = "SupportName";
inline constexpr const char* kDefaultSupportName = "Kairoll Support";
struct SupportContact {
    std::string address;
    std::string name;  // kDefaultSupportName when the INI names none
};
SupportContact ReadSupportContact(const std::string& iniFile);
// What the callers show when no address is set: the entry, the section and
// the INI file's place.
std::string NoSupportAddressText(const std::string& iniFile);

inline constexpr std::size_t kBugReportLineSize = 80;
inline constexpr std::size_t kBugReportBodySize = 9999;
inline constexpr const char* kInternalInformationLine = "--------------Internal Information------------";
inline constexpr const char* kBugReportSubjectStart = "Kairoll:  Support for ";

// The names of the configuration lines, in the order they are sent.
const std::vector<std::string>& BugReportNames();

// The lines "name=value", each cut at 80 characters: the named values in
// the order of BugReportNames (`value` gives each one's current text; the
// fixed ones are filled in here and the news password is never written,
// only an asterisk per character), then one line per script value.
std::vector<std::string> BugReportLines(const std::function<std::string(const std::string& name)>& value,
                                        const std::vector<std::pair<std::string, std::string>>& scriptValues);

// One entry of the folder listing.
struct FolderEntry {
    std::string name;
    int32_t date = 0;
    int32_t time = 0;
};
// The entries of a folder (directories too), by name.
std::vector<FolderEntry> ListFolder(const std::string& folder);

// The body: the comments (trailing blanks removed), CR LF, the separator
// line, CR LF, every configuration line (clipped) with CR LF, then the
// folder's entries as name, date ("d1-") and time ("t1"); at most 9999
// characters.
std::string BugReportBody(const std::string& comments, const std::vector<std::string>& lines,
                          const std::vector<FolderEntry>& folder);

}  // namespace kr
