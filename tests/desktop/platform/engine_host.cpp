// The program of the input tests in a process of its own, so that a test can pause and resume it:
// engine_host <settings folder>. Creates the file "listening" in the folder once its grabs hold.
#include <QApplication>
#include <QTimer>
#include <fstream>

#include "program.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const std::filesystem::path folder = argv[1];
    ombrel::platform_test::Program program(folder);
    program.start();
    QTimer ready;
    QObject::connect(&ready, &QTimer::timeout, [&] {
        if (program.tapInstalled() && std::ofstream(folder / "listening") << "yes\n") {
            ready.stop();
        }
    });
    ready.start(10);
    return QApplication::exec();
}
