// The floor for the start-up figures: an empty Qt Widgets window, shown, then the same report as the tool
// gives in tool_window (resident memory at the first turn of the event loop after the
// show), then the end. With --label the window holds one line of text: the first text shown loads the
// font configuration, which costs more than the empty window itself.
#include "BenchSupport.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(400, 200);
    if (argc > 1 && !std::strcmp(argv[1], "--label"))
        (new QLabel(QStringLiteral("Короткий адр. 255"), &window))->move(20, 20);
    window.show();
    QTimer::singleShot(0, &app, bench::ReportShownAndQuit);
    return app.exec();
}
