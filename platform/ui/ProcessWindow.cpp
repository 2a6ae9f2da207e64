#include "platform/ui/ProcessWindow.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/runtime/ProcedureContext.h"
#include "platform/ui/Requests.h"
#include "platform/ui/WindowManager.h"
#include "platform/ui/WindowPosition.h"

namespace kr {

namespace {

struct ProcessWindowLayout {
    QWidget* window = nullptr;
    QLabel* percent = nullptr;
    QLabel* user = nullptr;
    QProgressBar* bar = nullptr;
    QLabel* errorsLabel = nullptr;
    QListWidget* errors = nullptr;
    QPushButton* cancel = nullptr;

    void Build() {
        window = new QWidget;
        window->setMinimumWidth(320);
        auto* v = new QVBoxLayout(window);
        percent = new QLabel(window);
        percent->setObjectName("percent");
        percent->setAlignment(Qt::AlignCenter);
        user = new QLabel(window);
        user->setObjectName("userText");
        user->setAlignment(Qt::AlignCenter);
        bar = new QProgressBar(window);
        bar->setObjectName("progress");
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        errorsLabel = new QLabel("Records that could not be processed:", window);
        errors = new QListWidget(window);
        errors->setObjectName("errors");
        errors->setFocusPolicy(Qt::NoFocus);
        cancel = new QPushButton("Cancel", window);
        cancel->setObjectName("cancel");
        cancel->setDefault(true);
        v->addWidget(percent);
        v->addWidget(user);
        v->addWidget(bar);
        v->addWidget(errorsLabel);
        v->addWidget(errors);
        auto* h = new QHBoxLayout;
        h->addStretch();
        h->addWidget(cancel);
        h->addStretch();
        v->addLayout(h);
        errorsLabel->hide();
        errors->hide();
    }
};

class ProcessWindow : public WindowManager {
public:
    ProcessWindow(std::shared_ptr<BatchProcess> process, ProcessWindowOptions options, std::function<void(int)> done)
        : WindowManager(options.procedureName),
          process_(std::move(process)),
          options_(std::move(options)),
          done_(std::move(done)) {}

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        SetTitle(options_.title);
        SetCancelControl(ui.cancel);
        ShowPercent(0);
        ui.user->setText(QString::fromStdString(options_.userText));
        ui.user->setVisible(!options_.userText.empty());
        if (options_.listErrors) {
            process_->onError = [this](const std::string& text) { AddError(text); };
        }
        SetTimer(options_.intervalHundredths > 0 ? options_.intervalHundredths : 1);
        if (options_.backToBack) {
            next_ = new QTimer(this);
            next_->setSingleShot(true);
            next_->setInterval(0);
            QObject::connect(next_, &QTimer::timeout, this, [this] {
                if (!IsOpen()) return;
                ProcedureThreadScope scope(Thread());
                TakeTimer();
            });
            next_->start();
        }
        return true;
    }
    void TakeTimer() override {
        if (busy_ || ended_) return;
        busy_ = true;
        process_->Step(process_->batchSize());
        busy_ = false;
        if (ended_ || !IsOpen()) return;
        if (next_ && process_->Running()) next_->start();
        ShowPercent(process_->Percent());
        if (options_.userTextSource) {
            const QString text = QString::fromStdString(options_.userTextSource());
            if (text != ui.user->text()) ui.user->setText(text);
            ui.user->setVisible(!text.isEmpty());
        }
        if (!process_->Running()) End();
    }
    void TakeCancelled() override {
        if (ended_) {
            CloseNow();
            return;
        }
        if (busy_) return;
        // A process that asks first may show questions; no batch runs meanwhile.
        busy_ = true;
        process_->RequestCancel();
        busy_ = false;
        // The next timer event ends a cancelled process.
    }
    bool TakeCloseRequest() override {
        if (ended_) return true;
        TakeCancelled();
        return false;
    }
    void Kill() override {
        // Closed from outside (the program ending): the work stops here.
        if (process_->Running()) process_->Cancel();
        process_->onError = nullptr;
        const int response = process_->state() == ProcessState::Finished ? kRequestCompleted : kRequestCancelled;
        SetResponse(response);
        auto done = std::move(done_);
        if (!done) return;
        const int thread = Thread();
        QTimer::singleShot(0, QCoreApplication::instance(), [done, response, thread] {
            ProcedureThreadScope scope(thread);
            done(response);
        });
    }

private:
    void ShowPercent(int p) {
        if (p == shown_) return;
        shown_ = p;
        ui.percent->setText(QString::number(p) + QString::fromStdString(options_.percentText));
        ui.bar->setValue(p);
    }
    void AddError(const std::string& text) {
        if (!IsOpen()) return;
        ui.errorsLabel->show();
        ui.errors->show();
        ui.errors->addItem(QString::fromStdString(text));
        ui.errors->scrollToBottom();
    }
    void End() {
        ended_ = true;
        SetTimer(0);
        if (next_) next_->stop();
        if (options_.holdOnErrors && options_.listErrors && !process_->errors().empty() &&
            process_->state() != ProcessState::Cancelled) {
            const auto n = process_->errors().size();
            ui.user->setText(QString("%1 record%2 could not be processed.").arg(n).arg(n == 1 ? "" : "s"));
            ui.user->show();
            ui.cancel->setText("Cl&ose");
            ui.cancel->setFocus();
            return;
        }
        if (options_.afterEnd) {
            // A hidden window keeps the position saved before: save it while
            // it is still shown, as its closing would.
            SaveWindowPosition(options_.procedureName, Window());
            Window()->hide();
            QPointer<QWidget> window = Window();
            options_.afterEnd([window] {
                if (window) window->close();
            });
            return;
        }
        CloseNow();
    }

    ProcessWindowLayout ui;
    std::shared_ptr<BatchProcess> process_;
    ProcessWindowOptions options_;
    std::function<void(int)> done_;
    int shown_ = -1;
    bool busy_ = false;
    QTimer* next_ = nullptr;  // the next batch at once (backToBack)
    bool ended_ = false;
};

}  // namespace

bool RunProcessWindow(std::shared_ptr<BatchProcess> process, ProcessWindowOptions options,
                      std::function<void(int response)> done) {
    if (!process) {
        if (done) done(kRequestCancelled);
        return false;
    }
    const bool own = options.ownWindow;
    auto* w = new ProcessWindow(std::move(process), std::move(options), done);
    if (own) {
        if (w->Open()) return true;
    } else if (w->Call()) {
        return true;
    }
    // Not opened: the manager is gone without Kill.
    if (done) done(kRequestCancelled);
    return false;
}

}  // namespace kr
