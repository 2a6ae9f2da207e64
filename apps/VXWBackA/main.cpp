// VXWBackA: the backup assistant. Parameter 1 names the files to recommend
// for backup; parameters 2 and 3 are not read.
#include <QTimer>
#include <string>

#include "platform/data/WorkCopies.h"
#include "apps/KR98/TestResponder.h"
#include "backup/Lszclass.h"
#include "backup/windows/BackupWindows.h"
#include "platform/ui/Application.h"
#include "platform/ui/SessionEnding.h"

int main(int argc, char** argv) {
    kr::Application app(argc, argv);
    kr::SessionEndingWatch sessionEnding;  // SIGTERM, SIGINT, SIGHUP
    auto responder = kr::FileResponder::FromEnvironment();
    if (responder) kr::InstallMessageService(responder.get());

    // Copies that a backup or restore killed at work left here.
    kr::data::RemoveStrayWorkCopies(".");
    kr::backup::LSZCLASS z;
    z.INTERNALCLASSRELEASE = 2010;
    z.Init();
    int rc = 0;
    {
        kr::backup::BackupAssistantFrame frame(z, argc > 1 ? argv[1] : "");
        frame.show();
        QTimer::singleShot(0, &frame, [&frame] { frame.Recommend(); });
        rc = app.exec();
    }
    z.Kill();
    return rc;
}
