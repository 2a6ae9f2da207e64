// Colours the tabs of every tab sheet of a window so that the tab on show
// stands out: every window passes the same values, which leave the tab on
// show in the default look and paint the others grey (0xA7A7A7).
//
//   TabHighlight tabs;                 // a member of the window manager
//   tabs.Init(window);                 // after the window is built
//   tabs.Refresh();                    // after a change of the shown tab
//   tabs.Kill();                       // when the window closes
//
// Colours are Windows RGB values (0x00BBGGRR); -1 keeps the default look.
// The colouring is a style rule on each sheet's tab bar, so it follows the
// selection by itself; Refresh applies the rules again (after tabs were
// added, or a sheet entered or left wizard mode). A wizard sheet (tab bar
// hidden, as TabWizard shows it) is left alone while noWizard is set.
#pragma once

#include <QPointer>
#include <QTabWidget>
#include <QWidget>
#include <vector>

namespace kr {

inline constexpr long kUnselectedTabColour = 0xA7A7A7;

class TabHighlight {
public:
    void Init(QWidget* window, long selTabCol = -1, long selTextCol = -1, bool boldSelected = false,
              bool inclChild = false, bool noWizard = true, long unselTextCol = -1,
              long unselTabCol = kUnselectedTabColour);
    void Refresh();
    void Kill();

    // True for a sheet shown as a wizard (its tabs not shown as tabs).
    static bool IsWizardSheet(const QTabWidget* sheet);
    // The style rule a sheet's tab bar gets ("" for none).
    QString RuleFor(const QTabWidget* sheet) const;
    size_t SheetCount() const { return sheets_.size(); }

private:
    std::vector<QPointer<QTabWidget>> sheets_;
    long selTabCol_ = -1, selTextCol_ = -1, unselTabCol_ = -1, unselTextCol_ = -1;
    bool bold_ = false, inclChild_ = false, noWizard_ = true;
};

}  // namespace kr
