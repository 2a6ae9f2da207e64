#include "msgprog/windows/SetSnooze.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/ui/WindowManager.h"

namespace kr::msgprog {

struct SetSnoozeLayout {
    QWidget* window = nullptr;
    QLabel* title = nullptr;
    QSpinBox* minutes = nullptr;
    QPushButton* ok = nullptr;
    void Build() {
        // A dialog: it opens centred over the message window and Enter
        // presses its default button.
        window = new QDialog;
        auto* v = new QVBoxLayout(window);
        title = new QLabel;
        v->addWidget(title);
        auto* row = new QHBoxLayout;
        auto* prompt = new QLabel(QStringLiteral("Snooze for"));
        minutes = new QSpinBox;
        minutes->setRange(0, 999);
        prompt->setBuddy(minutes);
        row->addWidget(prompt);
        row->addWidget(minutes);
        row->addWidget(new QLabel(QStringLiteral("minutes")));
        row->addStretch(1);
        v->addLayout(row);
        ok = new QPushButton(QStringLiteral("&OK"));
        ok->setDefault(true);
        v->addWidget(ok, 0, Qt::AlignRight);
    }
};

class SetSnoozeWindow : public WindowManager {
public:
    SetSnoozeWindow(std::string title, int32_t& minutes)
        : WindowManager("SetSnooze"), title_(std::move(title)), minutes_(minutes) {}
    SetSnoozeLayout ui;

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        SetTitle("Snooze");
        ui.title->setText(QString::fromStdString(title_.substr(0, 60)));
        ui.minutes->setValue(minutes_ < 0 ? 0 : (minutes_ > 999 ? 999 : minutes_));
        SetOkControl(ui.ok);
        return true;
    }
    void TakeAccepted(QObject* control) override {
        // The entry stores its value when it is left after a change.
        if (control == ui.minutes) minutes_ = ui.minutes->value();
    }
    bool TakeCompleted() override {
        minutes_ = ui.minutes->value();
        return true;
    }

private:
    std::string title_;
    int32_t& minutes_;
};

bool SetSnooze(const std::string& title, int32_t& minutes, std::function<void()> done) {
    auto* w = new SetSnoozeWindow(title, minutes);
    return w->Call([done](int) {
        if (done) done();
    });
}

}  // namespace kr::msgprog
