// The reference for what recording costs: a plain Qt Widgets window, offscreen, whose only work is
// to repaint four pictures of the recorder's display sizes (two of 100 x 60 pixels, two level bars of
// 200 x 12) with a moving bar every 25 ms, as the recorder's displays change while it records.
// Prints the share of one core its thread takes, measured as the recorder's own measurement does.
//
//   tarnwick-display-reference

#include <sys/resource.h>

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

double threadCpuMs() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

class Picture : public QWidget {
public:
    explicit Picture(QSize size) {
        setFixedSize(size);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    void step(int tick) {
        tick_ = tick;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        painter.fillRect(0, 0, tick_ * 7 % width(), height(), QColor(255, tick_ % 256, 50));
    }

private:
    int tick_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    std::vector<Picture*> pictures;
    for (QSize size : {QSize(100, 60), QSize(100, 60), QSize(200, 12), QSize(200, 12)}) {
        pictures.push_back(new Picture(size));
        column->addWidget(pictures.back());
    }
    window.show();

    int ticks = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        for (Picture* p : pictures) p->step(ticks);
    });
    timer.start(25);
    double cpu0 = 0;
    std::chrono::steady_clock::time_point start;
    QTimer::singleShot(300, [&] {
        cpu0 = threadCpuMs();
        start = std::chrono::steady_clock::now();
        QTimer::singleShot(4000, [&] {
            const double cpu = threadCpuMs() - cpu0;
            const double wall =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            std::printf("reference, a Qt window repainting four pictures every 25 ms: %.1f ms of CPU in %.0f ms "
                        "(%.2f %% of one core)\n",
                        cpu, wall, 100.0 * cpu / wall);
            app.quit();
        });
    });
    return app.exec();
}
