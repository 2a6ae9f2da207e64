// WindowManager: the behaviour half of every procedure window.
//
// A procedure window is two parts: a <Procedure>Layout struct that builds the
// widgets (and nothing else), and a class derived from WindowManager that
// holds the layout and reacts to what happens in the window through the
// Take... hooks below. The manager is owned by its window and dies with it.
//
//   struct UpdateHolidaysLayout {            // UpdateHolidaysLayout.h
//       QWidget* window; QLineEdit* name; QPushButton* ok; QPushButton* cancel;
//       void Build();
//   };
//   class UpdateHolidaysWindow : public WindowManager {
//       UpdateHolidaysLayout ui;
//       QWidget* MakeWindow() override { ui.Build(); return ui.window; }
//       bool Init() override { SetOkControl(ui.ok); SetCancelControl(ui.cancel); ... }
//       void TakeAccepted(QObject* control) override { ... }
//   };
//
// Opening: Open() shows the window non-modal as the current procedure
// thread's own window (a procedure started with START); Call() shows it
// window-modal over the current thread's innermost window and reports the
// response through a callback once it has closed (a form opened from a
// list). Neither runs a nested event loop.
//
// Every hook runs inside a ProcedureThreadScope of the window's procedure thread.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QAbstractButton;
class QEvent;
class QLineEdit;
class QTimer;

namespace kr {

class RequiredFields;

class WindowManager : public QObject {
public:
    explicit WindowManager(std::string procedureName);
    ~WindowManager() override;
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

    // Opens the window as the current procedure thread's own window. False
    // when it did not open (Init refused, or a second copy of a single-instance
    // window); the manager is then gone.
    bool Open();
    // Opens the window window-modal over the current thread's innermost window
    // (application-modal when the thread has none). done gets the response
    // (kRequestCompleted or kRequestCancelled) after the window has closed, in
    // the caller's procedure thread, with GlobalResponse() set to it. When
    // the window does not open, done gets kRequestCancelled.
    bool Call(std::function<void(int response)> done = {});
    // Call when the current thread has a window already (the window opens
    // over it), else Open (the window is the thread's own).
    void OpenOrCall();
    // Closes the window as its close box does, once the current event is done
    // (the runtime's posted close; TakeCloseRequest may refuse).
    void Close();
    // Closes the window now, without asking TakeCloseRequest.
    void CloseNow();
    // Queues user event N for this window.
    void Post(int event);
    // Brings the window forward (shown normal when minimized, raised and
    // active): the answer of a single-instance window to another start.
    void ComeForward();

    const std::string& ProcedureName() const { return procedureName_; }
    QWidget* Window() const { return window_; }
    int Thread() const { return thread_; }
    bool IsOpen() const { return opened_ && !closing_; }
    // The window's close was approved: it is on its way out (its windows
    // close first, then its Kill), and a window called now must not stack
    // over it.
    bool Leaving() const { return leaving_ || closing_; }
    bool IsModal() const { return modal_; }

    // The request the window was opened for (GlobalRequest() when it opened,
    // unless set before), and its response (cancelled until set).
    int Request() const { return request_; }
    void SetRequest(int request) { request_ = request; requestSet_ = true; }
    int Response() const { return response_; }
    void SetResponse(int response) { response_ = response; }

    // Settings, made before Open or Call.
    // A single-instance window registers its procedure name; a second Open
    // posts event 518 to the open copy and does not open. A select request
    // is exempt.
    void SetSingleInstance(bool on) { singleInstance_ = on; }
    // Restore the position saved under the procedure name on open, save it on
    // close (both on by default), and also on every move and resize.
    void SetRestorePosition(bool on) { restorePosition_ = on; }
    void SetSavePosition(bool onClose, bool onMoveAndSize = false) {
        savePosition_ = onClose;
        savePositionOnMove_ = onMoveAndSize;
    }

    // The form's OK and Cancel buttons. OK runs the accept-all pass and then
    // TakeCompleted; Cancel (and Escape) runs TakeCancelled.
    void SetOkControl(QAbstractButton* ok) { ok_ = ok; }
    void SetCancelControl(QAbstractButton* cancel) { cancel_ = cancel; }
    QAbstractButton* OkControl() const { return ok_; }
    QAbstractButton* CancelControl() const { return cancel_; }
    // The required-field check that the default TakeCompleted runs.
    void SetRequiredFields(RequiredFields* fields) { required_ = fields; }

    // View mode: every data control is made non-editable (entries read-only,
    // the other data controls disabled), OK is hidden and disabled and Cancel
    // reads "Cl&ose". ApplyViewMode re-applies it after controls changed.
    void SetViewMode(bool on);
    bool ViewMode() const { return viewMode_; }
    void ApplyViewMode();
    // Controls that view mode leaves alone, or makes non-editable although
    // they are no data controls.
    void KeepEditableInViewMode(QWidget* control);
    void DisableInViewMode(QWidget* control);

    // True during the accept-all pass that OK runs before TakeCompleted.
    bool AcceptingAll() const { return acceptingAll_; }

    // The window's timer, in hundredths of a second (0 stops it): TakeTimer.
    void SetTimer(int hundredths);
    int TimerInterval() const { return timerHundredths_; }

    // The window's icon by its name (IconByName), set when the window is
    // built; without one the window shows the program's icon.
    void SetIcon(std::string name) { iconName_ = std::move(name); }
    const std::string& IconName() const { return iconName_; }

    void SetTitle(const std::string& title);
    std::string Title() const;

    // Connects the controls under root (buttons, entries, lists, tabs, actions)
    // to the hooks. Open does it for the whole window; call it again for
    // controls made later.
    void WireControls(QWidget* root);

    // The runtime's view title: "View" followed by the title from its first
    // blank on ("Edit Task" gives "View Task"; a title without a blank gives "View").
    static std::string ViewTitle(std::string_view title);
    // The window's widgets in their order (the focus chain, which is the
    // order they were made in unless the layout changed the tab order).
    static std::vector<QWidget*> ControlsInOrder(QWidget* window);
    // Puts the focus on the first control of the tab order, passing over
    // the tab bars of sheets (for a window that chose none itself).
    static void FocusFirstControl(QWidget* window);
    // Data controls: entries, spin boxes, combo boxes, texts, check and radio buttons, lists.
    static bool IsDataControl(const QWidget* w);

protected:
    // Builds the window through the procedure's layout and returns it.
    virtual QWidget* MakeWindow() = 0;
    // After the window is built and before it is shown. False keeps it from
    // opening (the response stays cancelled).
    virtual bool Init() { return true; }
    // Once the window has been shown (the runtime's opened-window event).
    virtual void TakeOpened() {}
    // A user event posted to the window (event number without QEvent::User).
    // True when handled.
    virtual bool TakeEvent(int event) {
        (void)event;
        return false;
    }
    // A control was accepted: a button or action pressed, an entry left after
    // a change or with Enter, a choice made in a combo box or list. An entry
    // is still modified here when its text was typed (however it was left).
    virtual void TakeAccepted(QObject* control) { (void)control; }
    // A control received the focus.
    virtual void TakeSelected(QObject* control) { (void)control; }
    // A new tab, list row or combo entry became current.
    virtual void TakeNewSelection(QObject* control) { (void)control; }
    // OK after the accept-all pass. True closes the window with the response
    // completed; false keeps it open. The default runs the required-field check.
    virtual bool TakeCompleted();
    // Cancel or Escape. The default closes with the response cancelled.
    virtual void TakeCancelled();
    // The close box or Close(). False keeps the window open.
    virtual bool TakeCloseRequest() { return true; }
    // Every other event of the window itself (move, resize, show, state
    // changes, key presses that reach it). True consumes it.
    virtual bool TakeWindowEvent(QEvent* event) {
        (void)event;
        return false;
    }
    virtual void TakeTimer() {}
    // The window is closing: release what Init took.
    virtual void Kill() {}

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool OpenWindow(bool modal);
    void Accepted(QObject* control);
    void AcceptEntry(QLineEdit* entry);
    void DoOk();
    void Finish();
    void DeliverResponse();
    bool InViewModeSet(const QWidget* w, const std::vector<QWidget*>& set) const;

    std::string procedureName_;
    std::string iconName_;
    QWidget* window_ = nullptr;
    QTimer* timer_ = nullptr;
    QAbstractButton* ok_ = nullptr;
    QAbstractButton* cancel_ = nullptr;
    RequiredFields* required_ = nullptr;
    std::function<void(int)> done_;
    QPointer<QWidget> caller_;
    std::vector<QWidget*> keepEditable_;
    std::vector<QWidget*> disableInView_;
    int thread_ = 0;
    int request_ = 0;
    int response_ = 2;
    int timerHundredths_ = 0;
    bool requestSet_ = false;
    bool instanceRegistered_ = false;
    bool closeApproved_ = false;
    bool singleInstance_ = false;
    bool restorePosition_ = true;
    bool savePosition_ = true;
    bool savePositionOnMove_ = false;
    bool viewMode_ = false;
    bool acceptingAll_ = false;
    bool opened_ = false;
    bool closing_ = false;
    bool leaving_ = false;
    // Enter in an entry whose value was refused with a message: the key then
    // reaches the window too, where it must not press the default button
    // (which would only refuse the value a second time).
    bool enterSpent_ = false;
    bool modal_ = false;
    QLineEdit* takingEntry_ = nullptr;  // the entry whose text is being taken
};

}  // namespace kr
