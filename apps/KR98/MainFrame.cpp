#include "apps/KR98/MainFrame.h"

#include "scheduler/windows/Main.h"

namespace kr {

void RunMain(bool closeAtOnce) {
    // The frame runs its own start-up (settings, the "Started" line) and
    // shutdown ("Exit Kairoll").
    MainOptions options;
    options.closeAtOnce = closeAtOnce;
    Main(options);
}

}  // namespace kr
