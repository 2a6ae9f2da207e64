#include "platform/runtime/ReportPreviewStrings.h"

#include <mutex>

#include "platform/runtime/IniFile.h"
#include "platform/runtime/Strings.h"

namespace kr {

namespace {

std::mutex g_mutex;
ReportPreviewTexts& Current() {
    static ReportPreviewTexts texts;
    return texts;
}

}  // namespace

void LoadReportPreviewStrings(const std::string& iniFile, const std::string& progressUserText,
                              const std::string& askPreviewTitle, const std::string& askPreviewText) {
    std::string file = ClipRight(iniFile);
    if (file.empty()) file = "WIN.INI";
    ReportPreviewTexts t;
    t.ProgWinUsrText = progressUserText;
    t.AskPrvwDialogTitle = askPreviewTitle;
    t.AskPrvwDialogText = askPreviewText;
    // In reading order, each with its default and its width.
    struct Key {
        const char* name;
        std::string* text;
        size_t width;
    };
    const Key keys[] = {
        {"ProgWinTitlePrvw", &t.ProgWinTitlePrvw, 63},
        {"ProgWinTitlePrnt", &t.ProgWinTitlePrnt, 63},
        {"ProgWinPctText", &t.ProgWinPctText, 63},
        {"ProgWinRecText", &t.ProgWinRecText, 63},
        {"ProgWinUsrText", &t.ProgWinUsrText, 63},
        {"PrinterDlgTitle", &t.PrinterDlgTitle, 63},
        {"AskPrvwDialogTitle", &t.AskPrvwDialogTitle, 63},
        {"AskPrvwDialogText", &t.AskPrvwDialogText, 63},
        {"CancelAreYouSureTitle", &t.CancelAreYouSureTitle, 63},
        {"CancelAreYouSureText", &t.CancelAreYouSureText, 63},
        {"CancelPrvwPartialTitle", &t.CancelPrvwPartialTitle, 63},
        {"CancelPrvwPartialText", &t.CancelPrvwPartialText, 127},
        {"NoDfltPrtrTitle", &t.NoDfltPrtrTitle, 63},
        {"NoDfltPrtrText", &t.NoDfltPrtrText, 254},
        {"NothingToPrvwTitle", &t.NothingToPrvwTitle, 63},
        {"NothingToPrvwText", &t.NothingToPrvwText, 63},
        {"NothingToPrntTitle", &t.NothingToPrntTitle, 63},
        {"NothingToPrntText", &t.NothingToPrntText, 63},
        {"AsciiOutTitle", &t.AsciiOutTitle, 63},
        {"AsciiOutMasks", &t.AsciiOutMasks, 63},
        {"DynLblErrTitle", &t.DynLblErrTitle, 63},
        {"DynLblErrText1", &t.DynLblErrText1, 63},
        {"DynLblErrText2", &t.DynLblErrText2, 63},
    };
    for (const Key& k : keys) {
        std::string v = GetIniValue(file, kReportStringsSection, k.name, *k.text);
        if (v.size() > k.width) v.resize(k.width);
        *k.text = std::move(v);
    }
    std::lock_guard<std::mutex> l(g_mutex);
    Current() = std::move(t);
}

ReportPreviewTexts ReportPreviewStrings() {
    std::lock_guard<std::mutex> l(g_mutex);
    return Current();
}

}  // namespace kr
