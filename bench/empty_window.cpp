// The floor for the start-up figures: an empty Qt Widgets window, shown, then the same report as the tool
// gives under RMZ47_BENCH_EXIT_ON_SHOW=1 (resident memory at the first turn of the event loop after the
// show), then the end.
#include "BenchSupport.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(400, 200);
    window.show();
    QTimer::singleShot(0, &app, [] {
        std::printf("shown rss_kb=%ld\n", bench::RssKb());
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    return app.exec();
}
