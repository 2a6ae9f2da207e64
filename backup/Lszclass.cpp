#include "backup/Lszclass.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "dictionary/SchedulingTables.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"

namespace kr::backup {

namespace {
ArchiveUi g_defaultUi;
ArchiveUi* g_ui = nullptr;

class SilentProgress : public ProgressWindow {
public:
    void SetMember(const std::string&) override {}
    void SetPercentA(int) override {}
    void SetPercentB(int) override {}
};
}  // namespace

std::unique_ptr<ProgressWindow> ArchiveUi::OpenProgress(const std::string&, bool) {
    return std::make_unique<SilentProgress>();
}
bool ArchiveUi::AskPassword(std::string&) { return false; }
bool ArchiveUi::AskFileComment(std::string&) { return false; }

void InstallArchiveUi(ArchiveUi* ui) { g_ui = ui; }
ArchiveUi& CurrentArchiveUi() { return g_ui ? *g_ui : g_defaultUi; }

LSZCLASS::LSZCLASS() {
    // Data files are copied consistently; the owner password opens them.
    lib.SetDataFilePasswords({kOwnerPassword, ""});
}
LSZCLASS::~LSZCLASS() = default;

void LSZCLASS::Init() {
    LSZQ = std::make_unique<std::vector<LSZQRow>>();
    DLL_UNZIP_VERSION = lib.LSUZ_VER();
    DLL_ZIP_VERSION = lib.LSZIP_VER();
    S_ZIPMEMBERS = 0;
    S_OSIZE = 0;
    S_CRATIO = 0;
    S_CSIZE = 0;
}

void LSZCLASS::Kill() { LSZQ.reset(); }

void LSZCLASS::InitZip() {
    HWNDCW = FIRSTWINDOWHANDLE;
    lib.LSZIP_INIT({[this](const std::string& n) { OnMember(n); }, [this](int p) { OnPercent(p); }});
}

void LSZCLASS::InitUnzip() {
    HWNDCW = FIRSTWINDOWHANDLE;
    lib.LSUZ_INIT({[this](const std::string& n) { OnMember(n); }, [this](int p) { OnPercent(p); }});
}

void LSZCLASS::HookUp(uint32_t windowHandle) {
    if (HWNDCW != 0) return;
    FIRSTWINDOWHANDLE = windowHandle ? windowHandle : 1;
    InitUnzip();
    InitZip();
}

void LSZCLASS::OnMember(const std::string& name) {
    if (APPREF && MEMBERTEXTA != 0) APPREF->SetMember(name.substr(0, 127));
}

void LSZCLASS::OnPercent(int percent) {
    PROGRESSA_THERMOMETER = percent;
    if (APPREF && PERCENTCOMPLETEDA != 0) APPREF->SetPercentA(percent);
}

void LSZCLASS::ShowStop(const std::string& text, const std::string& title) {
    Message(text, title, MessageIcon::Hand);
}

std::unique_ptr<ProgressWindow> LSZCLASS::OpenProgress(const std::string& title, bool overall) {
    auto w = CurrentArchiveUi().OpenProgress(title, overall);
    PROGRESSA_THERMOMETER = 0;
    APPREF = w.get();
    PERCENTCOMPLETEDA = 1;
    MEMBERTEXTA = 2;
    w->SetPercentA(0);
    return w;
}

bool LSZCLASS::LoadArchive() {
    if (ZIPARCHIVENAME.empty()) return false;
    if (!LSZQ) LSZQ = std::make_unique<std::vector<LSZQRow>>();
    LSZQ->clear();
    S_ZIPMEMBERS = 0;
    S_OSIZE = 0;
    S_CRATIO = 0;
    S_CSIZE = 0;
    if (lib.LSUZ_ZIPNAME(ZIPARCHIVENAME) == 0) return false;
    int n = lib.LSUZ_EXECUTE(kUnzipComment, 0);
    if (n < 0) {
        lib.LSUZ_RESET();
        return false;
    }
    if (n == 0)
        ARCHIVECOMMENT.clear();
    else
        lib.LSUZ_GETCMT(ARCHIVECOMMENT);
    auto count = static_cast<int16_t>(lib.LSUZ_EXECUTE(kUnzipCount, 0));
    if (count > 0) {
        S_ZIPMEMBERS = count;
        char record[kMemberRecordSize];
        for (int i = 0; i < count; ++i)
            if (lib.LSUZ_GETNEXT(record) == 0) AddDirectoryEntry(record);
        S_CRATIO = CompressionRatio(S_CSIZE, S_OSIZE);
    } else if (count < 0) {
        ReportLoadError(count);
    }
    lib.LSUZ_RESET();
    return true;
}

void LSZCLASS::ReportLoadError(int32_t code) { ShowStop(ErrorText(code)); }

void LSZCLASS::AddDirectoryEntry(const char (&record)[kMemberRecordSize]) {
    MemberRecord m = UnpackMemberRecord(record);
    LSZQRow row;
    row.FILENAME = m.name;
    row.INDEX = m.index;
    row.FILEDATE = DosDateToDate(m.dosDate);
    row.FILETIME = DosTimeToTime(m.dosTime);
    row.OSIZE = m.originalSize;
    row.CRATIO = m.ratio;
    row.CSIZE = m.compressedSize;
    row.CMETHOD = MethodName(static_cast<int16_t>(m.method), static_cast<int16_t>(m.flags));
    row.CRC32 = LongToHex(m.crc);
    row.ATTRIBUTE = AttributeString(static_cast<int32_t>(m.attributes));
    row.DISKNUMBER = static_cast<int16_t>(m.disk);
    row.FILECOMMENT = m.comment;
    row.MARKED = 0;
    S_OSIZE += row.OSIZE;
    S_CSIZE += row.CSIZE;
    LSZQ->push_back(std::move(row));
}

void LSZCLASS::ClearSelection() {
    SHIFTMOUSELEFTPOS = SHIFTMOUSELEFTNEWPOS = SHIFTMOUSELEFTOLDPOS = 0;
    NEWSELECTPOINTER = OLDSELECTPOINTER = LASTACTION = 0;
    BYVAR = 0;
    MULTISELECT = 0;
}

void LSZCLASS::CloseArchive() {
    if (LSZQ) LSZQ->clear();
    S_ZIPMEMBERS = 0;
    S_OSIZE = 0;
    S_CRATIO = 0;
    S_CSIZE = 0;
    ClearSelection();
    ZIPWILDCARD.clear();
    ZIPPASSWORD.clear();
    ZIPARCHIVENAME.clear();
    ARCHIVECOMMENT.clear();
}

int LSZCLASS::ZipAction() const {
    switch (ACTION) {
        case 2: return kZipFreshen;
        case 3: return kZipUpdate;
        default: return kZipAdd;
    }
}

int LSZCLASS::ZipLevel() const {
    switch (COMPRESSIONLEVELSWITCH) {
        case 1: return 1;
        case 3: return 9;
        case 4: return 0;
        default: return 6;
    }
}

int LSZCLASS::BaseZipFlags() const {
    int flags = 0;
    if (SYSTEMANDHIDDEN) flags += kZipSystemHidden;
    if (MOVEFILES) flags += kZipMove;
    if (LATESTDATE) flags += kZipLatestDate;
    if (CREATEMULTIPLEVOLUME) flags += kZipMultiVolume;
    if (PATHINFORMATIONSWITCH == 3) flags += kZipFullPath;
    return flags;
}

int LSZCLASS::AskZipFlags(int flags) {
    if (ADDFILECOMMENT) {
        std::string comment;
        if (CurrentArchiveUi().AskFileComment(comment)) {
            lib.LSZIP_SETFILECMT(comment.substr(0, 127));
            flags += kZipFileComment;
        }
    }
    if (ENCRYPTDATA) {
        std::string password;
        if (CurrentArchiveUi().AskPassword(password) && !password.empty()) {
            lib.LSZIP_PASSWORD(password.substr(0, 64));
            flags += kZipEncrypt;
        }
    }
    if (ADDARCHIVECOMMENT) flags += kZipArchiveComment;
    if (USETEMPDIR && !TEMPDIR.empty() && lib.LSZIP_SETTEMPATH(TEMPDIR) != 0) flags += kZipTempPath;
    return flags;
}

int LSZCLASS::ZipFiles() {
    auto window = OpenProgress("Zipping...", false);
    int action = ZipAction();
    int level = ZipLevel();
    int flags = AskZipFlags(BaseZipFlags());
    auto finish = [&](int result) {
        FILESPEC.clear();
        ZIPWILDCARD.clear();
        APPREF = nullptr;
        return result;
    };
    if (lib.LSZIP_INCLUDE(FILESPEC) == 0) {
        FILESPEC.clear();
        ShowStop("Wildcard specification error.", "Application Error");
        APPREF = nullptr;
        return -1;
    }
    if (!BEFOREDATE.empty()) {
        bool accepted = lib.LSZIP_SETDATE(BEFOREDATE, AFTERDATE) != 0;
        BEFOREDATE.clear();
        if (!accepted &&
            Message("Date specification error. Process anyway?", "Warning", MessageIcon::Question,
                    kButtonYes | kButtonNo, kButtonNo) != kButtonYes)
            return finish(0);
    }
    int rc = window->Run([&] { return lib.LSZIP_EXECUTE(ZIPARCHIVENAME, action, level, flags); });
    if (rc == 0)
        LoadArchive();
    else if (const std::string cause = ZipFailureCause(); !cause.empty())
        ShowStop(ErrorText(rc) + "\r\n" + cause);
    else
        ShowStop(ErrorText(rc));
    // A failed zip is reported with its code: the caller must not take it for
    // success.
    return finish(rc);
}

std::string LSZCLASS::ZipFailureCause() const {
    if (!lib.fullDiskFolder().empty()) return "No space left on the disk holding " + lib.fullDiskFolder() + ".";
    return lib.readOnlyCause();
}

std::string LSZCLASS::MarkedMemberList() const {
    std::string list;
    if (!LSZQ) return list;
    for (const LSZQRow& row : *LSZQ)
        if (row.MARKED == 1) {
            if (!list.empty()) list += ' ';
            std::string name = row.FILENAME;
            while (!name.empty() && name.back() == ' ') name.pop_back();
            list += '"' + name + '"';
        }
    return list;
}

int LSZCLASS::DeleteFiles() {
    auto window = OpenProgress("Deleting...", false);
    int flags = 0;
    if (USETEMPDIR && !TEMPDIR.empty() && lib.LSZIP_SETTEMPATH(TEMPDIR) != 0) flags = kZipTempPath;
    FILESPEC = !ZIPWILDCARD.empty() ? ZIPWILDCARD : MarkedMemberList();
    if (lib.LSZIP_INCLUDE(FILESPEC) == 0) {
        FILESPEC.clear();
        ShowStop("Wildcard specification error.", "Application Error");
        APPREF = nullptr;
        return -1;
    }
    int rc = window->Run([&] { return lib.LSZIP_EXECUTE(ZIPARCHIVENAME, kZipDelete, 0, flags); });
    if (rc != 0) ShowStop(ErrorText(rc));
    window.reset();
    APPREF = nullptr;
    FILESPEC.clear();
    ZIPWILDCARD.clear();
    LoadArchive();
    return rc;
}

int LSZCLASS::TestFiles() {
    auto window = OpenProgress("Testing...", false);
    auto reject = [&](std::string& field) {
        field.clear();
        ShowStop("Wildcard specification error.", "Application Error");
        APPREF = nullptr;
        return -1;
    };
    if (!ZIPWILDCARD.empty()) {
        if (lib.LSUZ_INCLUDE(ZIPWILDCARD) == 0) return reject(ZIPWILDCARD);
        lib.LSUZ_ZIPNAME(ZIPARCHIVENAME);
    } else {
        lib.LSUZ_ZIPNAME(ZIPARCHIVENAME);
        FILESPEC = MarkedMemberList();
        if (lib.LSUZ_INCLUDE(FILESPEC) == 0) return reject(FILESPEC);
    }
    int flags = USEFOLDERNAMES == 0 ? kUnzipJunkPaths : 0;
    if (!ZIPPASSWORD.empty()) lib.LSUZ_PASSWORD(ZIPPASSWORD);
    int rc = window->Run([&] { return lib.LSUZ_EXECUTE(kUnzipTest, flags); });
    if (rc < 0) ShowStop(ErrorText(rc));
    EndUnzip();
    return rc;
}

int LSZCLASS::UnzipFiles() {
    auto window = OpenProgress("Unzipping...", false);
    if (!ZIPWILDCARD.empty()) {
        if (lib.LSUZ_INCLUDE(ZIPWILDCARD) == 0) {
            ZIPWILDCARD.clear();
            ShowStop("Wildcard specification error", "Error");
            APPREF = nullptr;
            return -1;
        }
        lib.LSUZ_EXTRACTTO(ZIPDESTDIR);
        lib.LSUZ_ZIPNAME(ZIPARCHIVENAME);
    } else {
        lib.LSUZ_ZIPNAME(ZIPARCHIVENAME);
        lib.LSUZ_EXTRACTTO(ZIPDESTDIR);
        FILESPEC = MarkedMemberList();
        if (lib.LSUZ_INCLUDE(FILESPEC) == 0) {
            FILESPEC.clear();
            ShowStop("Wildcard specification error.", "Application Error");
            APPREF = nullptr;
            return -1;
        }
    }
    int flags = (USEFOLDERNAMES == 0 ? kUnzipJunkPaths : 0) + (OVERWRITEEXISTINGFILES ? kUnzipOverwrite : 0);
    if (!ZIPPASSWORD.empty()) lib.LSUZ_PASSWORD(ZIPPASSWORD);
    int rc = window->Run([&] { return lib.LSUZ_EXECUTE(kUnzipExtract, flags); });
    if (rc < 0 && !lib.readOnlyCause().empty())
        ShowStop(ErrorText(rc) + "\r\n" + lib.readOnlyCause());
    else if (rc < 0)
        ShowStop(ErrorText(rc));
    EndUnzip();
    return rc;
}

void LSZCLASS::EndUnzip() {
    FILESPEC.clear();
    ZIPWILDCARD.clear();
    lib.LSUZ_RESET();
    ClearMarks(false);
    ClearSelection();
    APPREF = nullptr;
}

void LSZCLASS::CountSelected() {
    SELECTEDFILES = 0;
    SELECTEDBYTES = 0;
    if (!LSZQ) return;
    for (const LSZQRow& row : *LSZQ)
        if (row.MARKED == 1) {
            ++SELECTEDFILES;
            SELECTEDBYTES += row.OSIZE;
        }
}

void LSZCLASS::MarkAll() {
    MULTISELECT = 1;
    if (LSZQ)
        for (LSZQRow& row : *LSZQ) row.MARKED = 1;
    CurrentArchiveUi().ListChanged();
}

void LSZCLASS::ClearMarks(bool reselect) {
    (void)reselect;  // the list keeps its focus; nothing to reselect here
    int current = CurrentArchiveUi().CurrentRow();
    if (LSZQ)
        for (size_t i = 0; i < LSZQ->size(); ++i)
            if (static_cast<int>(i) != current) (*LSZQ)[i].MARKED = 0;
    MULTISELECT = 0;
    CurrentArchiveUi().ListChanged();
}

void LSZCLASS::SortList(int order, bool descending) {
    if (LSZQ && order >= 1 && order <= 6) {
        auto key = [order](const LSZQRow& a, const LSZQRow& b) {
            switch (order) {
                case 1: return a.INDEX < b.INDEX;
                case 2: return a.FILENAME < b.FILENAME;
                case 3: return a.OSIZE < b.OSIZE;
                case 4: return a.CRATIO < b.CRATIO;
                case 5: return a.CSIZE < b.CSIZE;
                default: return a.FILEDATE < b.FILEDATE;
            }
        };
        if (descending)
            std::stable_sort(LSZQ->begin(), LSZQ->end(), [&](const LSZQRow& a, const LSZQRow& b) { return key(b, a); });
        else
            std::stable_sort(LSZQ->begin(), LSZQ->end(), key);
    }
    ClearMarks(true);
}

// --- converters ---

std::string LSZCLASS::ErrorText(int32_t code) {
    switch (code) {
        case 0: return "";
        case -30: return "Operation aborted";
        case -151: return "Invalid ZIP archive name";
        case -152: return "Invalid file specification";
        case -153: case -154: case -155: case -156: return "Out of memory";
        case -157: return "Cannot support multiple volumes on this device";
        case -158: return "Internal error";
        case -159: return "Filename not matched";
        case -162: return "Cannot repeat names in ZIP archive";
        case -163: return "List processing error";
        case -164: return "ZIP archive is empty";
        case -165: return "Out of memory";
        case -166: return "ZIP archive is empty";
        case -167: case -168: return "Nothing to do";
        case -169: return "Creat file error";
        case -170: return "Memory error";
        case -171: return "ZIP archive is empty";
        case -172: return "Internal error";
        case -173: return "ZIP archive is empty";
        case -174: return "Out of memory";
        case -175: return "Temporary file error";
        case -176: return "Out of memory";
        case -177: return "Internal error";
        case -178: return "Zipping error";
        case -179: case -180: return "Copying error";
        case -181: return "Out of memory";
        case -182: return "Zipping error";
        case -183: return "Write central directory error";
        case -184: return "Write end of central directory error";
        case -185: return "Disk spanning error";
        case -186: return "Temporary file error";
        case -187: return "Disk spanning error";
        case -188: return "Internal error";
        case -189: return "Replave archive error";
        case -1: return "Filename not matched";
        case -2: return "ZIP format error";
        case -3: return "Error in ZIP archive";
        case -4: return "Out of memory";
        case -9: return "Open file error";
        case -11: return "Internal error";
        case -15: return "CRC-32 error";
        case -50: return "Disk full error";
        case -51: return "ZIP archive structure error";
        case -60: return "Internal error";
        case -61: return "Bad or missing decryption key";
        default: return "Unknown error #" + std::to_string(code);
    }
}

double LSZCLASS::CompressionRatio(int64_t c, int64_t o) {
    double q = o == 0 ? 0.0 : static_cast<double>(c) / static_cast<double>(o);
    double r = c > o ? 1.0 - q : 100.0 * (1.0 - q);
    return std::round(r * 100.0) / 100.0;
}

std::string LSZCLASS::AttributeString(int32_t a) {
    std::string s(7, ' ');
    if (a & 1) s[0] = 'r';
    if (a & 2) s[1] = 'h';
    if (a & 4) s[2] = 's';
    if (a & 32) s[3] = 'a';
    if (a & 16) s[4] = 'D';
    if (a & 8) s[4] = 'V';
    if (a & 16384) s[5] = '+';
    return s;
}

std::string LSZCLASS::ByteToHex(int32_t v) {
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned>(v) & 0xffu);
    return buf;
}

std::string LSZCLASS::LongToHex(uint32_t v) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

int32_t LSZCLASS::DosDateToDate(uint16_t d) {
    return MakeDate((d >> 5) & 15, d & 31, (d >> 9) + 1980);
}

int32_t LSZCLASS::DosTimeToTime(uint16_t t) {
    return (t >> 11) * 360000 + ((t >> 5) & 63) * 6000 + (t & 31) * 200 + 1;
}

std::string LSZCLASS::MethodName(int16_t m, int16_t f) {
    switch (m) {
        case 0: return "Stored";
        case 1: return "Shrunk";
        case 2: return "Reduced1";
        case 3: return "Reduced2";
        case 4: return "Reduced3";
        case 5: return "Reduced4";
        case 6: return "Imploded";
        case 7: return "Tokenized";
        case 8: {
            // The deflate option is in bits 1 and 2 of the flag word; the
            // other bits (encryption, streamed sizes) say nothing about it.
            static const char kOption[] = {'N', 'X', 'F', 'S'};
            return std::string("Deflated") + kOption[(f >> 1) & 3];
        }
        default: return "Undefined";
    }
}

}  // namespace kr::backup
