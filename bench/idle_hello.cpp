// The idle benchmark's reference (scripts/bench_idle.sh): a Qt Widgets hello world, one label shown,
// on the same platform plugin as the tool box beside it.

#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Hello world"));
    label.show();
    return QApplication::exec();
}
