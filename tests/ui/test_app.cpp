#include "ui/test_app.h"

#include <QApplication>

QApplication& testApp() {
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "tarnwick_ui_tests";
        static char* argv[] = {name, nullptr};
        // Never destroyed: Qt's own statics go away at exit in an order a live application does not survive.
        return new QApplication(argc, argv);
    }();
    return *app;
}
