// Turns a window's tab sheet into a step-by-step wizard: Back and Next step
// through the tabs, the last tab shows OK (Finish), hidden tabs can be
// skipped, and each tab can be checked before Next may leave it.
//
//   class HotKeyWizard : public TabWizard {          // the form's own steps
//       void ResetButtons() override { TabWizard::ResetButtons(); ... }
//       void AfterBack() override { ... }
//       void AfterNext() override { ... }
//       int ValidateTab() override { return keyChosen ? 0 : 1; }  // non-zero: not valid
//   };
//   wizard.Init(ui.sheet, ui.back, ui.next, ui.ok, ui.cancel, true, false, true, true);
//   // in TakeAccepted(control) and TakeNewSelection(control):
//   wizard.HandleAccepted(control);
//
// Tabs are numbered from 1. In wizard mode the sheet's tab bar is hidden and
// the buttons follow the tab on show: Back disabled on the first tab, Next
// disabled and OK the default on the last; with coexistOkNext OK takes
// Next's place on the last tab. With validateOnNext, a control accepted on
// the shown tab checks the tab again, and the default button (disabled when
// the tab failed its check on arrival) is enabled once the check passes.
#pragma once

#include <QAbstractButton>
#include <QPointer>
#include <QTabWidget>

namespace kr {

class TabWizard {
public:
    virtual ~TabWizard() = default;

    void Init(QTabWidget* sheet, QAbstractButton* back, QAbstractButton* next, QAbstractButton* ok,
              QAbstractButton* cancel, bool skipHidden, bool coexistOkNext, bool validateOnNext, bool wizardMode);

    // Every accepted control of the window goes here.
    virtual void HandleAccepted(QObject* control);
    // Sets the buttons for the tab on show and selects it (wizard mode only).
    virtual void ResetButtons();
    virtual void AfterBack() {}
    virtual void AfterNext() {}
    // Non-zero when the tab on show is not valid.
    virtual int ValidateTab() { return 0; }

    void NextTab();
    void PreviousTab();
    void SetTabRange();
    // Next while in wizard mode and not on the last tab, else OK.
    QAbstractButton* DefaultButton() const;

    int CurTabNum() const { return curTab_; }
    int MinTab() const { return minTab_; }
    int MaxTab() const { return maxTab_; }
    bool WizardActive() const { return wizardActive_; }
    QTabWidget* Sheet() const { return sheet_; }

private:
    bool Hidden(int tab) const;
    void Clamp();
    static void MakeDefault(QAbstractButton* b, bool on);

    QPointer<QTabWidget> sheet_;
    QPointer<QAbstractButton> back_, next_, ok_, cancel_;
    int curTab_ = 1, minTab_ = 1, maxTab_ = 1;
    bool skipHidden_ = false, coexistOkNext_ = false, validateOnNext_ = false, wizardActive_ = false;
};

}  // namespace kr
