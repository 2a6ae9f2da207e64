// The images of the frame: the tray icons ("tray_ico", "traybusy_ico",
// "traybus2_ico", and "busykey_ico" to "busykey4_ico" while keys are sent) and the status bar's activity images ("~wrka.ico" to
// "~wrkg.ico" while the scheduler runs, "~wrkas.ico" to "~wrkgs.ico" while a
// script runs, "~blank.ico"). They are drawn, not read from files, so the
// program carries no image files of its own for them.
#pragma once

#include <QIcon>
#include <string>

namespace kr {

// The image of that name: a drawn one of the frame's, else the program's
// resource of that name (IconByName), else an empty icon. Names are matched
// without regard to case; a leading "~" is ignored.
QIcon FrameIcon(const std::string& name);

}  // namespace kr
