// The pick lists of script keys and values, one widget for every window that
// edits keystrokes or value references (the item form, the text editor, the
// template form): group "Key Code" with a modifier list, a key list and
// "Append", group "Value" with the value-name list and "A&ppend". Each
// append hands its code ("[CtrlAlt-DELETE]", "[F5]", "[TODAY]") to the owner,
// which adds it where it edits and gives that entry the focus again.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

class QComboBox;
class QPushButton;

namespace kr::scriptedit {

inline constexpr const char* kKeyModifiers = "|Ctrl|Alt|Shift|CtrlAlt|CtrlShift|AltShift";
inline constexpr const char* kKeyNames =
    "a|b|c|d|e|f|g|h|i|j|k|l|m|n|o|p|q|r|s|t|u|v|w|x|y|z|BS|DELETE|DOWN|END|ENTER|ESC|F1|F2|F3|F4|F5|F6|F7|F8|"
    "F9|F10|F11|F12|HOME|INSERT|LEFT|PGDN|PGUP|PLUS|PRINT|RIGHT|SLASH|SPACE|TAB|UP";
inline constexpr const char* kValueNames =
    "TODAY|DATE|NOW|TIME|FOCUS|EXITCODE|FILECOPY|FILEMOVE|FILEDELETE|DIRCREATE|DIRREMOVE|FILEDATE|FILETIME|"
    "FILESIZE|FILEEXISTS|ERRORCODE|MAIL|MAILERROR";

class ScriptPickLists : public QWidget {
public:
    explicit ScriptPickLists(QWidget* parent = nullptr);
    // Called with the code of each append.
    void SetOnAppend(std::function<void(const std::string& code)> fn) { onAppend_ = std::move(fn); }

    QComboBox* modifier = nullptr;
    QComboBox* key = nullptr;
    QPushButton* appendKey = nullptr;
    QComboBox* valueName = nullptr;
    QPushButton* appendValue = nullptr;

private:
    std::function<void(const std::string&)> onAppend_;
};

// The value names as a popup at the cursor (the "..." of a value-name
// entry); the chosen name, or empty.
std::string PopupValueName(QWidget* parent);

}  // namespace kr::scriptedit
