// What the record forms opened by a list share: the request modes and the
// tables a window holds open while it shows.
//
//   bool Init() override {
//       mode_.Take(*this);                          // first: View becomes Change
//       if (!tables_.Open(Holidays_File())) return false;
//       SetOkControl(ui.ok); SetCancelControl(ui.cancel);
//       ...
//       SetTitle(mode_.Title(Request() == kInsertRecord ? "New Holiday" : "Edit Holiday"));
//       mode_.Apply(*this);
//   }
//   void TakeOpened() override { mode_.Opened(*this); }
//   bool TakeCompleted() override {
//       ... read the controls, check the required fields ...
//       return mode_.Write(*this, Holidays_File(), Holidays_Relations()) == kLevelBenign;
//   }
//   void Kill() override { tables_.Close(); }
#pragma once

#include <string>
#include <vector>

namespace kr {

namespace data {
class FileManager;
class RelationManager;
}
class WindowManager;

// View opens the record read-only as a change (so the list re-reads it
// after); Delete shows it read-only with OK, which confirms the delete;
// Insert and Change edit.
class RecordFormMode {
public:
    // Reads the window's request.
    void Take(WindowManager& w);
    bool View() const { return view_; }
    bool Delete() const { return delete_; }
    bool ReadOnly() const { return view_ || delete_; }
    // The window's title: "View ..." in view mode.
    std::string Title(const std::string& title) const;
    // After the OK and Cancel controls are set: view mode for View and
    // Delete, OK shown and Cancel reading "Cancel" for Delete, the close
    // icon on Cancel for View.
    void Apply(WindowManager& w) const;
    // From TakeOpened: OK again for Delete, and the focus on Cancel for
    // View and Delete.
    void Opened(WindowManager& w) const;
    // Writes the form's record: Delete deletes it through its relations
    // (confirmed by OK already), Insert inserts it, the rest update it
    // through the relations, which carry a changed key to the children.
    // The table's level (kLevelBenign when written).
    int Write(const WindowManager& w, data::FileManager& file, data::RelationManager& relations) const;
    // After the controls changed: view mode again, and for Delete OK shown
    // and Cancel reading "Cancel".
    void Reapply(WindowManager& w) const;

private:
    void DeleteButtons(WindowManager& w) const;
    bool view_ = false, delete_ = false;
};

// The tables a window opens in Init and closes in Kill, each once, the last
// opened first.
class WindowTables {
public:
    // Opens the table; with `use` also takes it into use at once (for lists
    // that re-read through it). False when either fails; what was opened is
    // still closed by Close.
    bool Open(data::FileManager& file, bool use = false);
    void Close();

private:
    std::vector<data::FileManager*> open_;
};

}  // namespace kr
