#pragma once
// The real Qt loop for this test program: its one application object, and running the loop until
// something has happened.

#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>
#include <functional>

namespace tarnwick::testing {

inline QCoreApplication& app() {
    static QCoreApplication* a = [] {
        static int argc = 1;
        static char name[] = "tarnwick_transfers_tests";
        static char* argv[] = {name, nullptr};
        return new QCoreApplication(argc, argv);
    }();
    return *a;
}

// Runs the loop until `done` holds or the time is up.
inline bool until(const std::function<bool()>& done, int ms = 15000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

}  // namespace tarnwick::testing
