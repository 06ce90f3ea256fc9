// The station-info window: fennick.ini, the look-up box, the page buttons and its life cycle.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "conference_fixture.h"
#include "shell/single_instance.h"
#include "support/tool_surroundings.h"

namespace tarnwick::test {
namespace {

class StationInfo : public ConferenceTest {};

TEST_F(StationInfo, LookUpTakesCapitalsAndPageButtonsShowAndOpenTheirPages) {
    start();
    form9.Text1.type("g4/p");
    EXPECT_EQ(form9.Text1.text(), "G4/P");
    form9.Command1.click();
    EXPECT_EQ(form9.WebBrowser1.caption(), "https://www.qrz.com/db/G4%2FP");
    form9.Text1.setText("");
    form9.Command1.click();
    EXPECT_EQ(form9.WebBrowser1.caption(), kLookupPage);
    for (CommandButton* b : {&form9.Command10, &form9.Command11, &form9.Command9, &form9.Command2, &form9.Command3})
        b->click();
    EXPECT_EQ(rt.urls, (std::vector<std::string>{"https://www.qrz.com/db/G4%2FP", kLookupPage, kCurrentLoginsPage,
                                                  kProxyListPage, kEchoLinkHomePage, kEqslPage, kTranslationPage}));
    form9.Navigate("https://example.org/x");
    EXPECT_EQ(rt.urls.size(), 7u);
    form9.OpenPage.click();
    EXPECT_EQ(rt.urls.back(), "https://example.org/x");
}

TEST_F(StationInfo, ClosingTheWindowSavesAndAReferenceLoadsItAgain) {
    writeIni("fennick.ini", "CHECK9=1\n");
    start();
    EXPECT_EQ(form9.Check9.value(), 1);
    EXPECT_EQ(form9.windowCaption(), "Tarnwick    N0CALL-L   v7.2.1   Internet Option");
    form9.Check9.setValue(0);
    EXPECT_TRUE(form9.onCloseRequest());
    EXPECT_FALSE(form9.loaded());
    EXPECT_FALSE(rt.processEnded());
    EXPECT_EQ(readIni("fennick.ini"), "[SETTINGS]\nCHECK9=0\n");
    writeIni("fennick.ini", "CHECK9=1\n");
    // An arrival refers to the window: it loads again and reads its file anew, so the switch it
    // acts on is the stored one, not the one left at the close.
    link("G4ABC", "Ann");
    EXPECT_TRUE(form9.loaded());
    EXPECT_EQ(form9.Check9.value(), 1);
    EXPECT_EQ(form9.WebBrowser1.caption(), "https://www.qrz.com/db/G4ABC");
    EXPECT_EQ(form9.Label2.caption(), "G4ABC Ann");
}

TEST_F(StationInfo, HostClosingSavesTheSwitch) {
    start();
    form9.Check9.setValue(0);
    raise("closing");
    EXPECT_EQ(readIni("fennick.ini"), "[SETTINGS]\nCHECK9=0\n");
}

TEST(StationInfoAlone, AnotherCopyRunningEndsTheProgram) {
    testing::ToolSurroundings s;
    Form9 form9(s.ctx, [] { return true; });
    form9.load();
    ASSERT_EQ(s.rt.boxes.size(), 1u);
    EXPECT_EQ(s.rt.boxes[0].text, "Program is already running.");
    EXPECT_TRUE(s.rt.processEnded());
    EXPECT_EQ(form9.EchoLink, nullptr);
}

}  // namespace
}  // namespace tarnwick::test

namespace tarnwick::test {
namespace {

TEST(StationInfoAlone, OnlyAnotherProcessHoldingTheLockCountsAsAnotherCopy) {
    testing::TempDir tmp;
    EXPECT_FALSE(SingleInstance::heldByAnotherProcess(tmp.path()));
    {
        SingleInstance mine;
        ASSERT_TRUE(mine.acquire(tmp.path()));
        EXPECT_FALSE(SingleInstance::heldByAnotherProcess(tmp.path()));
    }
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        SingleInstance theirs;
        const char ok = theirs.acquire(tmp.path()) ? 'y' : 'n';
        (void)!::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y');
    EXPECT_TRUE(SingleInstance::heldByAnotherProcess(tmp.path()));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_FALSE(SingleInstance::heldByAnotherProcess(tmp.path()));
    ::close(ready[0]);
    ::close(ready[1]);
}

}  // namespace
}  // namespace tarnwick::test
