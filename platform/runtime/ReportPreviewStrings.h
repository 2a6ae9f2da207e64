// The report preview strings: the progress, question and warning texts of
// the report engine, read from an INI file (section "DISPLAY STRINGS 2.0")
// with built-in defaults before each report runs. They are program-wide, as
// the report component's own texts were; ReportPreviewStrings() hands out a
// copy, so a report running on one thread never sees another's load half done.
#pragma once

#include <string>

namespace kr {

inline constexpr const char* kReportStringsIni = "CPCSRPTS.INI";
inline constexpr const char* kReportStringsSection = "DISPLAY STRINGS 2.0";

struct ReportPreviewTexts {
    std::string ProgWinTitlePrvw = "Generating Report";
    std::string ProgWinTitlePrnt = "Printing Report";
    std::string ProgWinPctText = "% Completed";
    std::string ProgWinRecText = "Records Read";
    std::string ProgWinUsrText;
    std::string PrinterDlgTitle = "Report Destination";
    std::string AskPrvwDialogTitle;
    std::string AskPrvwDialogText;
    std::string CancelAreYouSureTitle = "Question";
    std::string CancelAreYouSureText = "Are you sure you want to CANCEL this Report?";
    std::string CancelPrvwPartialTitle = "Question";
    std::string CancelPrvwPartialText = "Report Cancellation Requested!||Preview Report generated so far?";
    std::string NoDfltPrtrTitle = "WARNING!";
    std::string NoDfltPrtrText =
        "Warning:  No DEFAULT Printer Driver Found!||Printing may not occur correctly (or at all)|without a "
        "Default printer assigned.||Use CONTROL PANEL (PRINTERS) to set a|printer as your Default.||Continue with "
        "report anyway?";
    std::string NothingToPrvwTitle = "NOTE...";
    std::string NothingToPrvwText = "Nothing to Preview.";
    std::string NothingToPrntTitle = "NOTE...";
    std::string NothingToPrntText = "Nothing to Print.";
    std::string AsciiOutTitle = "Save to what Filename?";
    std::string AsciiOutMasks = "Text|*.TXT|All Files|*.*";
    std::string DynLblErrTitle = "Problem!";
    std::string DynLblErrText1 = "Sorry!||";
    std::string DynLblErrText2 = "||Does not support paper type:";
};

// Reads every text from section "DISPLAY STRINGS 2.0" of iniFile (trailing
// blanks removed; "WIN.INI" when empty), each key's default being the
// built-in text, or the argument for "ProgWinUsrText", "AskPrvwDialogTitle"
// and "AskPrvwDialogText". Texts are kept to 63 characters, except
// "CancelPrvwPartialText" (127) and "NoDfltPrtrText" (254).
void LoadReportPreviewStrings(const std::string& iniFile, const std::string& progressUserText,
                              const std::string& askPreviewTitle, const std::string& askPreviewText);

// The texts as last loaded (the built-in defaults before any load).
ReportPreviewTexts ReportPreviewStrings();

}  // namespace kr
