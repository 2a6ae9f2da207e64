// The clipboard saver's windows:
//   BrowseClipboard            "Clipboard Manager": the saved clipboard entries
//   UpdateClipboard            "Clipboard Record": one entry
//   BrowseClipboardCategories  "Clipboard Categories": categories and their entries
//   UpdateClipboardCategories  "Update Category": one category
//   SelectClipboardCategory    "Select a Category": the category picker
// Each is a layout struct and a WindowManager over the list framework; the
// two browses are started by name from the frame (RegisterOrganiserWindows).
#pragma once

#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "organiser/ClipboardRun.h"
#include "platform/ui/FieldHistory.h"
#include "platform/ui/BrowseView.h"
#include "platform/ui/RequiredFields.h"
#include "platform/ui/TabHighlight.h"
#include "platform/ui/WindowManager.h"
#include "platform/runtime/QueryWizardCore.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTableView;

namespace kr {

namespace xplore {
class XploreList;
}

inline constexpr const char* kBrowseClipboardProcedure = "BrowseClipboard";
inline constexpr const char* kBrowseClipboardCategoriesProcedure = "BrowseClipboardCategories";
inline constexpr const char* kSavedEntryDeleteQuestion =
    "This clipboard record has a \"Save\" indicator.  Are you sure you want to delete it?";
// Link colours of the contents (0x00BBGGRR): blue, aqua when selected.
inline constexpr int32_t kLinkColour = 0xFF0000;
inline constexpr int32_t kLinkSelectedColour = 0xFFFF00;

// How "&Run" opens what it found: addresses with the desktop's handler
// (QDesktopServices, that is xdg-open), programs started directly by the
// task runner; never through a shell. Tests record the calls instead.
using ClipboardOpener = std::function<void(const ClipboardRunTarget&)>;
void SetClipboardOpener(ClipboardOpener opener);  // empty: the desktop's
void OpenClipboardTarget(const ClipboardRunTarget& target);

// Makes the browses known to START by their procedure names.
void RegisterOrganiserWindows();

// The list of the clipboard browses: the contents column reads the memo of
// the rows it shows, and only those (at most the first 8192 bytes each).
class ClipboardContents {
public:
    struct Shown {
        std::string text;  // as the list shows it (line breaks as blanks, 255 characters)
        bool link = false;
    };
    const Shown& Of(int64_t row);
    void Forget() { cache_.clear(); }
    int64_t reads() const { return reads_; }

private:
    std::map<int64_t, Shown> cache_;
    int64_t reads_ = 0;
};

// The part every window here shares: it builds its layout struct and shows
// it to tests, and the forms and the picker are known as `current` while
// they are open (one at a time: they are window-modal).
template <class L>
class ClipboardWindowBase : public WindowManager {
public:
    using WindowManager::WindowManager;
    const L& Layout() const { return ui_; }

protected:
    QWidget* MakeWindow() override {
        ui_.Build();
        return ui_.window;
    }
    L ui_;
};

template <class L, class Self>
class ClipboardFormBase : public ClipboardWindowBase<L> {
public:
    using ClipboardWindowBase<L>::ClipboardWindowBase;
    static inline Self* current = nullptr;

protected:
    // From Init and Kill.
    void Opening() { current = static_cast<Self*>(this); }
    void Closing() {
        if (current == this) current = nullptr;
    }
};

// ---- BrowseClipboard --------------------------------------------------------

struct BrowseClipboardLayout {
    QWidget* window = nullptr;
    QTabWidget* sheet = nullptr;  // "By Date", "By Content", "By Category", "Saved Only"
    QTableView* list = nullptr;
    QPushButton *query = nullptr, *reset = nullptr, *copy = nullptr, *view = nullptr, *insert = nullptr,
                *change = nullptr, *del = nullptr, *toggle = nullptr, *run = nullptr, *close = nullptr;
    void Build();
};

class ClipboardList;

class BrowseClipboardWindow : public ClipboardWindowBase<BrowseClipboardLayout> {
public:
    BrowseClipboardWindow();
    ~BrowseClipboardWindow() override;

    BrowseList& List();
    ClipboardContents& Contents() { return contents_; }
    const std::string& QueryText() const { return query_; }
    // The buttons' work, for the accepted controls and for tests.
    void CopyToClipboard();
    void ToggleSave();
    void Run();
    void DeleteEntry();
    void QueryAccepted(const std::string& query);  // as the query wizard's done
    void ResetQuery();
    // Enter or a double click on the list: the save mark's column toggles,
    // any other copies.
    void ListChoice(int column);

protected:
    bool Init() override;
    void TakeOpened() override;
    bool TakeEvent(int event) override;
    void TakeAccepted(QObject* control) override;
    void TakeNewSelection(QObject* control) override;
    void TakeTimer() override;
    void Kill() override;

private:
    void ChooseOrder();

    TabHighlight tabs_;
    ClipboardContents contents_;
    std::unique_ptr<ClipboardList> list_;
    std::unique_ptr<xplore::XploreList> xplore_;
    FieldsQueue fields_;
    int queryError_ = 0;
    std::string query_;
    int timerCount_ = 0;
};

// Starts the Clipboard Manager on the current procedure thread (a second
// start brings the open one to the front). nullptr when it did not open.
BrowseClipboardWindow* BrowseClipboard();

// ---- UpdateClipboard ----------------------------------------------------------

struct UpdateClipboardLayout {
    QWidget* window = nullptr;
    QPushButton* cancel = nullptr;
    QPlainTextEdit* contents = nullptr;
    QPushButton* lookup = nullptr;  // "..."
    QLabel* categoryPrompt = nullptr;
    QLineEdit* category = nullptr;
    QCheckBox* keep = nullptr;
    QLineEdit* date = nullptr;
    QLineEdit* time = nullptr;
    QPushButton* ok = nullptr;
    void Build();
};

class UpdateClipboardWindow : public ClipboardFormBase<UpdateClipboardLayout, UpdateClipboardWindow> {
public:
    UpdateClipboardWindow();

    // Carries out a delete request without a window: true when deleted.
    static bool DeleteHighlighted();

protected:
    bool Init() override;
    void TakeAccepted(QObject* control) override;
    bool TakeCompleted() override;
    void Kill() override;

private:
    void Display();
    void Take();
    void CheckCategory();
    void ChooseCategory(bool fromEntry);

    RequiredFields required_;
    FieldHistory history_{"UpdateClipboard"};
    bool choosing_ = false;
};

// Runs UpdateClipboard for the request (GlobalRequest() is set to it) over
// the current thread's Clipboard buffer; a delete request opens no window.
void UpdateClipboard(int request, std::function<void(int response)> done);

// ---- BrowseClipboardCategories -------------------------------------------------

struct BrowseClipboardCategoriesLayout {
    QWidget* window = nullptr;
    QTableView* categories = nullptr;
    QLabel* entriesLabel = nullptr;
    QTableView* entries = nullptr;
    QPushButton *entryNew = nullptr, *entryEdit = nullptr, *entryDelete = nullptr;
    QPushButton *categoryNew = nullptr, *categoryEdit = nullptr, *categoryDelete = nullptr;
    QPushButton* close = nullptr;
    void Build();
};

class BrowseClipboardCategoriesWindow : public ClipboardWindowBase<BrowseClipboardCategoriesLayout> {
public:
    BrowseClipboardCategoriesWindow();
    ~BrowseClipboardCategoriesWindow() override;
    BrowseList& Categories();
    BrowseList& Entries();
    ClipboardContents& Contents() { return contents_; }

protected:
    bool Init() override;
    void TakeOpened() override;
    bool TakeEvent(int event) override;
    void TakeAccepted(QObject* control) override;
    void Kill() override;

private:
    ClipboardContents contents_;
    std::unique_ptr<BrowseView> categories_;
    std::unique_ptr<BrowseView> entries_;
    std::unique_ptr<xplore::XploreList> xplore_;
};

BrowseClipboardCategoriesWindow* BrowseClipboardCategories();

// ---- UpdateClipboardCategories ----------------------------------------------------

struct UpdateClipboardCategoriesLayout {
    QWidget* window = nullptr;
    QLabel* prompt = nullptr;
    QLineEdit* category = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    void Build();
};

class UpdateClipboardCategoriesWindow
    : public ClipboardFormBase<UpdateClipboardCategoriesLayout, UpdateClipboardCategoriesWindow> {
public:
    UpdateClipboardCategoriesWindow();

protected:
    bool Init() override;
    bool TakeCompleted() override;
    void Kill() override;

private:
    RequiredFields required_;
    FieldHistory history_{"UpdateClipboardCategories"};
    std::string original_;
};

void UpdateClipboardCategories(int request, std::function<void(int response)> done);

// ---- SelectClipboardCategory --------------------------------------------------------

struct SelectClipboardCategoryLayout {
    QWidget* window = nullptr;
    QTabWidget* sheet = nullptr;
    QTableView* list = nullptr;
    QPushButton* select = nullptr;
    QPushButton* cancel = nullptr;
    void Build();
};

class SelectClipboardCategoryWindow
    : public ClipboardFormBase<SelectClipboardCategoryLayout, SelectClipboardCategoryWindow> {
public:
    SelectClipboardCategoryWindow();
    BrowseList& List() { return *list_; }

protected:
    bool Init() override;
    void TakeAccepted(QObject* control) override;
    void TakeNewSelection(QObject* control) override;
    void Kill() override;

private:
    TabHighlight tabs_;
    std::unique_ptr<BrowseView> list_;
};

// Opens the picker (request select); done(completed) leaves the chosen
// category in the ClipboardCategories buffer.
void SelectClipboardCategory(std::function<void(int response)> done);

}  // namespace kr
