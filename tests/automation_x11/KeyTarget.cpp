// A text-entry window for the keystroke tests and the benchmark:
//   kr_key_target <title> <label text> <output file>
// It shows a label and a text area with the focus, and writes the text area's
// contents to the output file (replaced as a whole) a moment after each
// change, and once more when it closes.
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 4) return 2;
    const QString output = QString::fromLocal8Bit(argv[3]);
    QWidget window;
    window.setWindowTitle(QString::fromUtf8(argv[1]));
    auto* layout = new QVBoxLayout(&window);
    auto* label = new QLabel(QString::fromUtf8(argv[2]));
    auto* edit = new QPlainTextEdit;
    edit->setAccessibleName("Typed text");
    layout->addWidget(label);
    layout->addWidget(edit);
    auto write = [&] {
        QSaveFile f(output);
        if (!f.open(QIODevice::WriteOnly)) return;
        f.write(edit->toPlainText().toUtf8());
        f.commit();
    };
    QTimer later;
    later.setSingleShot(true);
    later.setInterval(30);
    QObject::connect(&later, &QTimer::timeout, write);
    QObject::connect(edit, &QPlainTextEdit::textChanged, &later, qOverload<>(&QTimer::start));
    QObject::connect(&app, &QApplication::lastWindowClosed, write);
    write();
    window.resize(400, 300);
    window.show();
    window.activateWindow();
    edit->setFocus();
    return app.exec();
}
