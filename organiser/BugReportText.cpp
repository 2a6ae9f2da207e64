#include "organiser/BugReportText.h"

#include <algorithm>
#include <sys/stat.h>
#include <ctime>
#include <filesystem>
#include <map>

#include "platform/runtime/DateTime.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Strings.h"
#include "platform/runtime/Value.h"

namespace kr {

SupportContact ReadSupportContact(const std::string& iniFile) {
    SupportContact c;
    c.address = GetIniValue(iniFile, kSupportSection, kSupportAddressEntry);
    c.name = GetIniValue(iniFile, kSupportSection, kSupportNameEntry);
    if (c.name.empty()) c.name = kDefaultSupportName;
    return c;
}

std::string NoSupportAddressText(const std::string& iniFile) {
    // Appended piece by piece: GCC 12 warns falsely (-Warray-bounds) on a
    // long chain of operator+ over literals once it inlines the chain.
    std::string text = "No support address is set.\r\nAdd the line ";
    text += kSupportAddressEntry;
    text += "=<address> (and, if you like, ";
    text += kSupportNameEntry;
    text += "=<name>) to the [";
    text += kSupportSection;
    text += "] section of ";
    text += ResolveIniPath(iniFile);
    text += ".";
    return text;
}

const std::vector<std::string>& BugReportNames() {
    static const std::vector<std::string> names = {
        "ASCIIFileName", "BrowseThreadNo", "BurstSize", "CheckedClipboard", "CheckedHistory", "DebugMode",
        "Email:Host", "Email:Organization", "Email:Sender", "Email:SenderName", "EnableFullScripting",
        "FrameHandle", "FullSchedule", "GlobalActiveOnly", "GlobalAlarmFile", "GlobalCategory", "GlobalCopyMode",
        "GlobalDateFormat", "GlobalDateFrom", "GlobalDateTo", "GlobalDateToUse", "GlobalDescription",
        "GlobalExportName", "GlobalMessage", "GlobalReplyPath", "GlobalScriptWizardMode", "GlobalKRFilename",
        "GlobalSyncScheduleFilename", "GlobalSyncScriptingFilename", "GlobalSyncTodoFilename", "GlobalUseLog",
        "GlobalDelay", "GlobalFilter", "GlobalOrder", "GlobalRequest", "GlobalResponse", "HideToolbar",
        "HistoryExpires", "ININame", "lpDirectory", "lpFile", "lpOperation", "lpParameters", "MailProgressText",
        "MaxAlarmTime", "MaxClipboardEntries", "MaximizeOnRun", "MinimizeOnCloseRequest", "MonitorClipboard",
        "MultiUser", "News:Host", "News:Organization", "News:Password", "News:Sender", "News:SenderName",
        "News:User", "NoTray", "nShowCmd", "NTService", "OriginalPath", "ParentHandle", "ProductName",
        "RemoveUncompleted", "RepeatAlarmInterval", "ReportIncludeFutureOccurances", "ReportPredict", "SaveError",
        "SaveErrorCode", "SaveFileError", "SaveFileErrorCode", "SavePath", "SaveScripts", "ScheduleWorkfileName",
        "SnoozeInterval", "StartUpActive", "StartupClipboardSaver", "StartupContacts", "StartUpMinimized",
        "StartUpSchedule", "StartUpTodo", "TempScriptingActive", "ThreadCount", "TempCategorySelect",
        "TempCategorySelected", "TempDateFrom", "TempDateSelect", "TempDateTo", "TempOrderSelect",
        "TranslateFilenames", "UseExternalMessage", "UseModalMessage", "UserID", "UserName", "UseWinMessage",
        "VCRRequest", "VersionNumber", "WizardThreadCount", "WizardThreadNo"};
    return names;
}

std::vector<std::string> BugReportLines(const std::function<std::string(const std::string& name)>& value,
                                        const std::vector<std::pair<std::string, std::string>>& scriptValues) {
    static const std::map<std::string, std::string> fixed = {
        {"GlobalKRFilename", "kr97\\!s"},      {"GlobalSyncScheduleFilename", "SyncSch.syn"},
        {"GlobalSyncScriptingFilename", "SyncScr.syn"}, {"GlobalSyncTodoFilename", "SyncTodo.syn"},
        {"lpOperation", "open"},               {"TempCategorySelect", "'All'"},
        {"TempDateSelect", "'All'"},           {"ProductName", "Kairoll 2000"},
        {"VersionNumber", "2.02"},
    };
    auto line = [](const std::string& name, const std::string& v) {
        return (name + "=" + v).substr(0, kBugReportLineSize);
    };
    std::vector<std::string> out;
    for (const std::string& name : BugReportNames()) {
        auto f = fixed.find(name);
        std::string v = f != fixed.end() ? f->second : (value ? value(name) : std::string());
        // The report goes to a third party: the news password is shown only
        // by its length.
        if (name == "News:Password") v = std::string(ClipRight(v).size(), '*');
        out.push_back(line(name, v));
    }
    for (const auto& [name, v] : scriptValues) out.push_back(line(ClipRight(name), v));
    return out;
}

std::vector<FolderEntry> ListFolder(const std::string& folder) {
    std::vector<FolderEntry> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
        FolderEntry f;
        f.name = e.path().filename().string();
        struct stat st {};
        if (::stat(e.path().c_str(), &st) == 0) {
            const std::time_t tt = st.st_mtime;
            std::tm tm{};
            localtime_r(&tt, &tm);
            f.date = MakeDate(tm.tm_mon + 1, tm.tm_mday, tm.tm_year + 1900);
            f.time = MakeTime(tm.tm_hour, tm.tm_min, tm.tm_sec);
        }
        out.push_back(std::move(f));
    }
    std::sort(out.begin(), out.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return out;
}

std::string BugReportBody(const std::string& comments, const std::vector<std::string>& lines,
                          const std::vector<FolderEntry>& folder) {
    std::string body = ClipRight(comments) + "\r\n" + kInternalInformationLine + "\r\n";
    for (const std::string& l : lines) body += ClipRight(l) + "\r\n";
    for (const FolderEntry& f : folder)
        body += f.name + " " + Format(Value(f.date), "@d1-") + " " + Format(Value(f.time), "@t1") + "\r\n";
    if (body.size() > kBugReportBodySize) body.resize(kBugReportBodySize);
    return body;
}

}  // namespace kr
