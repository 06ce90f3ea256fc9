// Runs the platform tests without a QApplication. Every sound goes to the silent sink that keeps
// real time, so the tests make no noise and measure playback as it would last on a device.

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("TARNWICK_AUDIO", "null", 1);
    testing::InitGoogleTest(&argc, argv);
    // GStreamer keeps threads of its own; a death test must start a fresh process, not fork this one.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    return RUN_ALL_TESTS();
}
