// The query wizard window: conditions "field operation value" joined by AND
// and OR over the fields a list hands it, or a query typed by hand; saved
// queries by description. Its texts are the string table of
// QueryWizardCore.h (SetQueryWizardTexts at start-up).
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "platform/runtime/QueryWizardCore.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace kr {

// TC_QWIZARD: opens the wizard window-modal over parent on the fields queue
// and the query (at most 4096 characters). done(query) is called once the
// window has closed: TCQW_Response() is 1 and query the new filter
// expression when the user finished, else 0 and the query as it was.
void TC_QWIZARD(const FieldsQueue& queue, const std::string& query, std::function<void(const std::string&)> done,
                QWidget* parent = nullptr);

class QueryWizardDialog : public QDialog {
public:
    QueryWizardDialog(const FieldsQueue& queue, const std::string& query, QWidget* parent);

    std::function<void(const std::string&)> onClosed;

    // The controls (tests drive them).
    QComboBox* saved = nullptr;
    QPushButton* selectSaved = nullptr;
    QPushButton* deleteSaved = nullptr;
    QListWidget* conditions = nullptr;
    QComboBox* field = nullptr;
    QComboBox* operation = nullptr;
    QComboBox* value = nullptr;
    QCheckBox* caseSensitive = nullptr;
    QPushButton *andButton = nullptr, *orButton = nullptr, *changeButton = nullptr, *deleteButton = nullptr,
                *manualButton = nullptr, *finishButton = nullptr, *cancelButton = nullptr;
    QPlainTextEdit* manual = nullptr;
    QLineEdit* description = nullptr;

    bool ManualMode() const { return manualMode_; }
    const std::vector<QueryCondition>& Conditions() const { return conds_; }

protected:
    void done(int r) override;

private:
    void Build();
    void Load(const std::string& query, bool fromSaved);
    void FillSaved();
    void FieldChanged();
    bool TakeInputs(QueryCondition& c);
    void AddCondition(bool orJoin);
    void ChangeCondition();
    void DeleteCondition();
    void ConditionSelected();
    void ShowConditions();
    void SetManual(bool on);
    void Finish();
    void SelectSaved();
    void DeleteSaved();

    QLabel* manualLabel_ = nullptr;
    FieldsQueue queue_;
    std::string original_;
    std::string result_;
    std::vector<QueryCondition> conds_;
    bool manualMode_ = false;
    bool finished_ = false;
    bool reported_ = false;
};

}  // namespace kr
