// Another program that copies a text: kr_clip_source <title> <text>
// shows a window with the title, takes the focus, puts the text on the
// clipboard and keeps serving it until it is ended.
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) return 2;
    const QString text = QString::fromUtf8(argv[2]);
    QLabel window(text);
    window.setWindowTitle(QString::fromUtf8(argv[1]));
    window.resize(300, 100);
    window.show();
    window.activateWindow();
    // Copy once the window is the active one.
    QTimer::singleShot(400, [&] { QGuiApplication::clipboard()->setText(text); });
    return app.exec();
}
