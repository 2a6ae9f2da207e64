// The required-field check of the data-entry forms.
//
// A form marks its required controls (MarkRequired) and names the field each
// one edits (SetFieldName); Init finds them in window order with the prompt
// that stands before each one (its buddy label, else the last label before
// it). When OK is pressed, Check selects the first required control that is
// empty and shows the message built from the template: "@PROMPT" becomes the
// prompt in double quotes, "@MSG" the control's status tip, "@TIP" its tool
// tip and "@FIELD" the field name in double quotes.
#pragma once

#include <QPointer>
#include <QWidget>
#include <string>
#include <vector>

namespace kr {

class RequiredFields {
public:
    struct Row {
        QPointer<QWidget> control;
        int order = 0;           // the control's place in the window
        std::string prompt;      // without "&" and ":"
        std::string message;     // status-bar text
        std::string tip;
        std::string fieldName;   // e.g. "SCH:Message"
    };

    // Marks a control as required (or not) and names the field it edits.
    static void MarkRequired(QWidget* control, bool required = true);
    static bool IsRequired(const QWidget* control);
    static void SetFieldName(QWidget* control, const std::string& fieldName);

    // Scans the window for required data-entry controls. Every form passes the
    // title "Missing Information" and the template "@PROMPT must be entered.".
    void Init(QWidget* window, const std::string& title = "Missing Information",
              const std::string& text = "@PROMPT must be entered.", bool validateOnFieldAccept = false);
    // Replaces the row of a control; with addIfMissing a control without a row
    // gets one, and is marked required so that Check looks at it.
    void SetMessage(QWidget* control, bool addIfMissing, const std::string& prompt, const std::string& message,
                    const std::string& tip, const std::string& fieldName);
    // The first required control that is enabled, not read-only and empty,
    // after selecting it and showing the message; nullptr when all are filled.
    // With onlyVisible, controls not on show (a tab not showing) are passed
    // over. Controls that the form itself has hidden never take part.
    QWidget* Check(bool onlyVisible);
    // The message text for a row, as ShowMessage shows it.
    std::string MessageFor(const Row& row) const;
    void ShowMessage(const Row& row) const;
    void Kill();

    const std::vector<Row>& Rows() const { return rows_; }
    bool ValidateOnFieldAccept() const { return validateOnFieldAccept_; }

    // Whether a control counts as empty: blank text, no choice, or a number 0.
    static bool IsEmpty(const QWidget* control);

private:
    QWidget* window_ = nullptr;
    std::vector<Row> rows_;
    std::string title_;
    std::string text_;
    bool validateOnFieldAccept_ = false;
};

// A prompt text without "&" and ":" (the runtime's prompts carry both).
std::string CleanPrompt(const std::string& prompt);

}  // namespace kr
