// About: the product name, version and build of KR98. Called on the frame's
// thread (Help → About, the tray popup's "About"), window-modal over it.
#pragma once

#include <QWidget>

#include "platform/ui/WindowManager.h"

class QLabel;
class QPushButton;

namespace kr {

inline constexpr const char* kAboutProcedure = "About";
inline constexpr int kAboutBuild = 50;
inline constexpr int32_t kAboutBuildDate = 72609;  // the build's day number

struct AboutLayout {
    QWidget* window = nullptr;
    QLabel *product = nullptr, *version = nullptr, *build = nullptr, *buildDate = nullptr;
    QPushButton *close = nullptr, *help = nullptr;
    void Build();
};

class AboutWindow : public WindowManager {
public:
    AboutWindow();
    const AboutLayout& Layout() const { return ui_; }

protected:
    QWidget* MakeWindow() override;
    bool Init() override;
    void TakeAccepted(QObject* control) override;
    void Kill() override;

private:
    AboutLayout ui_;
};

AboutWindow* About();

}  // namespace kr
