#include "ui/tray.h"

#include <gtest/gtest.h>

#include "ui/test_app.h"

using namespace tarnwick;

TEST(TrayIconTest, MouseMessagesAreTheClassicNumbers) {
    EXPECT_EQ(TrayIcon::mouseMessage(QSystemTrayIcon::DoubleClick), 515);
    EXPECT_EQ(TrayIcon::mouseMessage(QSystemTrayIcon::Context), 516);
    EXPECT_EQ(TrayIcon::mouseMessage(QSystemTrayIcon::Trigger), 513);
}

TEST(TrayIconTest, RemovingIsHarmlessWithOrWithoutAnIcon) {
    testApp();
    TrayIcon tray;
    tray.remove();
    EXPECT_FALSE(tray.added());
    tray.add("Tarnwick");
    EXPECT_TRUE(tray.added());
    tray.remove();
    tray.remove();
    EXPECT_FALSE(tray.added());
}
