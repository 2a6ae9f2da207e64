// Field history ("ditto"): the history key in a data-entry control puts back
// the value that control had in the last record saved through the same form
// during this program run. The key is Ctrl+' unless the form names Ctrl+`
// (HistoryKey::Grave), as the contact forms do.
//
// Use from a form (a WindowManager):
//
//   FieldHistory history_{"UpdateHolidays"};        // member; the form's name
//   bool Init() override {
//       ...
//       history_.Add(ui.date);                      // line edit, combo box,
//       history_.Add(ui.name);                      // check box, spin/date box,
//       history_.Add(ui.typeBox);                   // plain/rich text edit, or a
//       ...                                         // widget holding radio buttons
//   }
//   bool TakeCompleted() override {
//       ... save; on success:
//       history_.Remember();                        // copies the registered values
//   }
//
// - One copy per form name for the whole program run, shared by every window
//   of that form; it starts empty (the key does nothing until a record was
//   saved) and Remember replaces it whole.
// - Add(control, field): field names the value in the copy (default: the
//   control's objectName, else its place in the order of Add). Add the same
//   controls with the same names in every window of the form.
//   Add(QButtonGroup*, field) registers a radio group that has no container.
//   Add(control, field, get, put) registers a value the form reads and puts
//   itself (a value spread over several controls inside `control`); put
//   returns false when it could not take the value.
// - The key is taken in the registered control and in any widget inside it
//   (a combo box's line edit, the radios of a group box); nowhere else, and
//   not while the control is disabled or read-only.
// - Recalling acts as the user would: a line edit gets the text with
//   textEdited emitted and its modified flag set (the window framework then
//   passes it on as accepted when the focus leaves it), a combo box emits
//   activated, a button is clicked, a spin box changes its value, a text edit
//   marks its document modified. onRecall, when set, runs afterwards with the
//   registered control (or the group's checked button), for forms that must
//   read the value back at once.
// - Nothing is remembered of view or delete windows unless the form calls
//   Remember there.
// - A change the table refuses because another writer changed the record
//   since the form read it ("Record Was Not Updated") remembers the values
//   typed first, so the key brings them back over the stored values the
//   form then shows.
//
// FieldHistoryCopy is the display-free copy itself: field name -> text.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class QButtonGroup;
class QKeyEvent;
class QWidget;

namespace kr {

class FieldHistoryCopy {
public:
    // The program-wide copy of a form, made empty on first use.
    static FieldHistoryCopy& For(const std::string& form);

    // True once a record was remembered (a remembered blank field is a value).
    bool saved() const { return saved_; }
    void Clear();
    // Replaces the whole copy with these values.
    void Set(std::map<std::string, std::string> values);
    // The field's remembered value; none before a save or for a field the
    // last save did not hold.
    std::optional<std::string> Get(const std::string& field) const;

private:
    bool saved_ = false;
    std::map<std::string, std::string> values_;
};

// The key a form recalls with: Ctrl+' (key code 734) or Ctrl+` (704).
enum class HistoryKey { Apostrophe, Grave };

class FieldHistory : public QObject {
public:
    explicit FieldHistory(std::string form, QObject* parent = nullptr);
    FieldHistory(std::string form, HistoryKey key, QObject* parent = nullptr);
    ~FieldHistory() override;

    void Add(QWidget* control, std::string field = {});
    void Add(QButtonGroup* group, std::string field);
    void Add(QWidget* control, std::string field, std::function<std::string()> get,
             std::function<bool(const std::string&)> put);

    // Copies the values of the registered controls into the form's copy
    // (nothing when none are registered, as in a view window).
    void Remember();
    // What the key does in a registered control (or a widget inside one):
    // puts the remembered value into it. False when there is nothing to put
    // back (no save yet, not registered, disabled or read-only).
    bool Recall(QWidget* control);

    // The key with Ctrl on any layout (Shift allowed, for layouts that reach
    // the character with it): the apostrophe, or the acute dead key that
    // stands in its place on international layouts; for Grave the grave
    // accent, or the grave dead key.
    static bool IsHistoryKey(const QKeyEvent* event, HistoryKey key = HistoryKey::Apostrophe);
    HistoryKey key() const { return key_; }

    const std::string& form() const { return form_; }
    FieldHistoryCopy& copy() const { return FieldHistoryCopy::For(form_); }

    std::function<void(QWidget* control)> onRecall;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry {
        std::string field;
        QPointer<QWidget> control;
        QPointer<QButtonGroup> group;
        std::function<std::string()> get;
        std::function<bool(const std::string&)> put;
    };
    Entry* Find(QWidget* w);
    void Watch(QWidget* w);
    static std::string ValueOf(const Entry& e);
    bool Put(const Entry& e, const std::string& value);

    std::string form_;
    int thread_ = 0;  // the procedure thread it keeps typed values for (0: none yet)
    HistoryKey key_ = HistoryKey::Apostrophe;
    std::vector<Entry> entries_;
};

}  // namespace kr
