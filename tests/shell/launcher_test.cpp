#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <set>

#include "hostlink/local_host_transport.h"
#include "runtime/virtual_runtime.h"
#include "conference/station_info.h"
#include "shell/about.h"
#include "shell/launcher.h"
#include "series/series_player.h"
#include "shell/toolset.h"
#include "speech/speech_tool.h"
#include "support/temp_dir.h"
#include "toolbox/conference_face.h"
#include "toolbox/speech_face.h"

namespace tarnwick {
namespace {

using testing::TempDir;

class FakeTray : public TrayService {
public:
    bool has = true;
    bool shown = false;
    int adds = 0, removes = 0;
    bool available() const override { return has; }
    void add(const std::string&) override {
        ++adds;
        shown = true;
    }
    void remove() override {
        ++removes;
        shown = false;
    }
};

// One program on virtual time: a host in the process, every tool, and the launcher.
struct Program {
    explicit Program(const std::string& dir, const std::string& callsign = "N0CALL-L", bool hostUp = true)
        : host(rt, callsign), hub(rt, host), ctx{rt, hub, registry, dir}, tools(ctx, {}),
          launcher(ctx, tray, [hostUp] { return hostUp; }) {
        hub.afterClosing = [this] { rt.endProcess(0); };
    }
    std::vector<std::string> calls(const std::string& op) {
        std::vector<std::string> out;
        for (const auto& e : host.state().calls(op)) out.push_back(e.link);
        return out;
    }
    VirtualRuntime rt;
    LocalHostTransport host;
    HostHub hub;
    ToolRegistry registry;
    ToolContext ctx;
    Toolset tools;
    FakeTray tray;
    Form5 launcher;
};

TEST(LauncherStartUp, LoadsEveryToolHiddenInOrderAndShowsItself) {
    TempDir dir;
    Program p(dir.path());
    ASSERT_TRUE(p.launcher.start());
    EXPECT_TRUE(p.launcher.isVisible());
    EXPECT_FALSE(p.rt.processEnded());
    std::vector<std::string> loaded;
    for (Tool* t : p.registry.all()) {
        EXPECT_TRUE(t->loaded()) << t->name();
        EXPECT_FALSE(t->isVisible()) << t->name();
        loaded.push_back(t->name());
    }
    // Links introduce themselves in load order; the conference controller loads station info early,
    // and the speech settings window has no link.
    EXPECT_EQ(p.host.state().links(),
              (std::vector<std::string>{"Form5", "Form1", "Form3", "Form4", "Form6", "Form9", "Form7", "Form10",
                                        "Form11", "Form12", "Form13", "Form14"}));
    EXPECT_EQ(p.registry.find("Form4")->windowCaption(), "Tarnwick    N0CALL-L   v7.2.1   DTMFctrl and Nets");
    EXPECT_EQ(p.registry.find("Form14")->windowCaption(), "Tarnwick    N0CALL-L   v7.2.1");
    EXPECT_EQ(p.registry.face<StationInfoFace>("Form9")->Check9.value(), 1);
}

TEST(LauncherStartUp, EachButtonShowsItsToolAndHideAllHidesThem) {
    TempDir dir;
    Program p(dir.path());
    ASSERT_TRUE(p.launcher.start());
    Form5& l = p.launcher;
    const std::pair<CommandButton*, const char*> buttons[] = {
        {&l.Command4, "Form1"},  {&l.Command1, "Form3"},  {&l.Command3, "Form4"},   {&l.Command8, "Form6"},
        {&l.Command10, "Form7"}, {&l.Command13, "Form8"}, {&l.Command11, "Form9"},  {&l.Command15, "Form10"},
        {&l.Command14, "Form11"}, {&l.Command16, "Form12"}, {&l.Command2, "Form13"}, {&l.Command6, "Form14"}};
    for (const auto& [button, name] : buttons) {
        button->click();
        for (Tool* t : p.registry.all()) {
            if (t == &l) continue;
            EXPECT_EQ(t->isVisible(), t->name() == name) << button->caption() << " and " << t->name();
        }
        p.registry.find(name)->setVisible(false);
    }
    // The speech tool's two "DTMF Settings" buttons show the DTMF control.
    auto* speech = dynamic_cast<Form3*>(p.registry.find("Form3"));
    ASSERT_NE(speech, nullptr);
    for (CommandButton* b : {&speech->Command9, &speech->Command1}) {
        p.registry.find("Form4")->setVisible(false);
        b->click();
        EXPECT_TRUE(p.registry.find("Form4")->isVisible()) << b->name();
    }
    for (const auto& [button, name] : buttons) button->click();
    l.Command7.click();
    for (Tool* t : p.registry.all()) EXPECT_EQ(t->isVisible(), t == &l) << t->name();
}

TEST(LauncherStartUp, RefusesANodeNotInSysopMode) {
    TempDir dir;
    Program p(dir.path(), "N0CALL");
    EXPECT_FALSE(p.launcher.start());
    ASSERT_EQ(p.rt.boxes.size(), 1u);
    EXPECT_EQ(p.rt.boxes[0].title, "Tarnwick");
    EXPECT_EQ(p.rt.boxes[0].text, std::string(20, ' ') +
                                      "Tarnwick ONLY Runs in Sysop Mode\r\n\r\n Visit the Website for more "
                                      "information.  " +
                                      kProductWebSite);
    EXPECT_EQ(p.rt.urls, std::vector<std::string>{kProductWebSite});
    EXPECT_TRUE(p.rt.processEnded());
    for (Tool* t : p.registry.all()) EXPECT_FALSE(t->loaded()) << t->name();
}

TEST(LauncherStartUp, SecondCopyOnTheSameSettingsFolderAndMissingHostEndTheProgram) {
    TempDir dir;
    Program first(dir.path());
    ASSERT_TRUE(first.launcher.start());
    Program second(dir.path());
    EXPECT_FALSE(second.launcher.start());
    ASSERT_EQ(second.rt.boxes.size(), 1u);
    EXPECT_EQ(second.rt.boxes[0].text, "Program is already running.");
    EXPECT_TRUE(second.host.state().calls().empty());  // it never touched the host
    EXPECT_NE(second.rt.exitCode(), 0);

    TempDir other;
    Program noHost(other.path(), "N0CALL-L", false);
    EXPECT_FALSE(noHost.launcher.start());
    ASSERT_EQ(noHost.rt.boxes.size(), 1u);
    EXPECT_EQ(noHost.rt.boxes[0].title, "Tarnwick");
    EXPECT_EQ(noHost.rt.boxes[0].text, "EchoLink is not running.");
    EXPECT_NE(noHost.rt.exitCode(), 0);
}

TEST(LauncherStartUp, ASettingsFolderThatCannotBeMadeSaysSoAndAMadeOneIsPrivate) {
    TempDir dir;
    dir.write("file", "not a folder");
    for (const std::string& folder : {dir.file("file/cfg"), dir.file("file")}) {
        Program p(folder);
        EXPECT_FALSE(p.launcher.start()) << folder;
        ASSERT_EQ(p.rt.boxes.size(), 1u) << folder;
        EXPECT_EQ(p.rt.boxes[0].title, "Tarnwick");
        EXPECT_NE(p.rt.boxes[0].text, "Program is already running.");
        EXPECT_NE(p.rt.boxes[0].text.find("The settings folder " + folder + " cannot be made"), std::string::npos)
            << p.rt.boxes[0].text;
        EXPECT_NE(p.rt.exitCode(), 0);
        EXPECT_TRUE(p.host.state().calls().empty());
    }

    const mode_t umask = ::umask(0);  // whatever the umask, the folders the program makes are its own
    Program made(dir.file("new/tarnwick"));
    const bool started = made.launcher.start();
    ::umask(umask);
    ASSERT_TRUE(started);
    for (const char* folder : {"new", "new/tarnwick"}) {
        struct stat st {};
        ASSERT_EQ(::stat(dir.file(folder).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
    }
}

TEST(LauncherChat, AnswersVersionAndSelectsGreetingMode) {
    TempDir dir;
    Program p(dir.path());
    ASSERT_TRUE(p.launcher.start());
    auto* greetings = p.registry.face<GreetingsFace>("Form10");
    greetings->Option4.setValue(true);
    p.host.state().clearLog();

    p.host.raise("chat", {"hello /VER/ there"});
    p.rt.runPending();
    EXPECT_TRUE(p.host.state().calls("SendChatText").empty());

    p.host.raise("chat", {"x/ver/y /Greeting/"});
    p.rt.runPending();
    std::vector<std::string> replies;
    for (const auto& e : p.host.state().calls("SendChatText"))
        replies.push_back(e.link + ":" + std::get<std::string>(e.args.at(0)));
    // Three windows answer, each in its own words; links hear events in creation order.
    EXPECT_EQ(replies, (std::vector<std::string>{"Form5:Tarnwick  v7.2.1", "Form1:Tarnwick  v7.2",
                                                 "Form6:Tarnwick  v7.2"}));
    EXPECT_TRUE(greetings->Option10.value());
    EXPECT_FALSE(greetings->Option4.value());
}

TEST(ConferenceChat, ReceivedLinesAreQueuedForSpeechOnlyWithTextMessagesTicked) {
    TempDir dir;
    Program p(dir.path());
    ASSERT_TRUE(p.launcher.start());
    auto* speech = p.registry.face<SpeechFace>("Form3");
    ASSERT_NE(speech, nullptr);
    p.host.raise("chat", {"first"});
    p.rt.runPending();
    EXPECT_EQ(speech->flag2, 0);
    speech->SayText.setValue(1);
    p.host.raise("chat", {"QRZ?"});
    p.rt.runPending();
    EXPECT_EQ(speech->flag2, 1);
    EXPECT_EQ(speechTextOf(speech->SayTheText), "Message from  QRZ?");
}

TEST(LauncherShutdown, ClosingUnkeysSavesTheLauncherAndEndsOnce) {
    TempDir dir;
    Program p(dir.path());
    ASSERT_TRUE(p.launcher.start());
    p.launcher.Check1.setValue(1);
    p.host.state().call("test", "SetPTT", {true});
    p.host.raise("closing");
    p.rt.runPending();
    EXPECT_FALSE(p.host.state().ptt());
    EXPECT_TRUE(p.rt.processEnded());
    EXPECT_EQ(p.rt.endCount(), 1);
    EXPECT_NE(dir.read("tarnwick.ini").find("CHECK1=1"), std::string::npos);
    EXPECT_EQ(p.rt.exitCode(), 0);
}

TEST(LauncherShutdown, SaveExitUnkeysSavesEveryToolAndEnds) {
    TempDir dir;
    Program p(dir.path());
    ASSERT_TRUE(p.launcher.start());
    p.host.state().clearLog();
    p.launcher.Command5.click();
    auto calls = p.host.state().calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0].op, "SetPTT");
    EXPECT_EQ(calls[1].op, "SetBusy");
    for (const char* f : {"tarnwick.ini", "dtmfctrl.ini", "castrel.ini", "fennick.ini", "wendlow.ini",
                          "seriesplayer.ini"})
        EXPECT_TRUE(dir.exists(f)) << f;
    EXPECT_TRUE(p.rt.processEnded());
}

TEST(LauncherShutdown, SaveExitSavesAToolWhoseWindowWasClosedToo) {
    TempDir dir;
    Program p(dir.path());
    ASSERT_TRUE(p.launcher.start());
    Tool* help = p.registry.find("Form7");
    ASSERT_NE(help, nullptr);
    help->unload();  // its window's close box
    ASSERT_FALSE(dir.exists("dtmfhelp.ini"));
    p.launcher.Command5.click();
    EXPECT_TRUE(dir.exists("dtmfhelp.ini"));
    EXPECT_TRUE(p.rt.processEnded());
}

TEST(LauncherShutdown, SaveExitGathersFailedSavesIntoOneBoxThatAsksWhetherToExit) {
    for (MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
        TempDir dir;
        Program p(dir.path());
        ASSERT_TRUE(p.launcher.start());
        // Two files that cannot be written: folders stand where they should go.
        std::filesystem::create_directory(dir.file("dtmfctrl.ini"));
        std::filesystem::create_directory(dir.file("tarnwick.ini"));
        p.rt.boxes.clear();
        p.rt.answers = {answer};
        ::testing::internal::CaptureStderr();
        p.launcher.Command5.click();
        ::testing::internal::GetCapturedStderr();
        ASSERT_EQ(p.rt.boxes.size(), 1u);
        const RecordedBox& box = p.rt.boxes[0];
        EXPECT_EQ(box.title, "Tarnwick");
        EXPECT_EQ(box.buttons, MsgButtons::YesNo);
        EXPECT_NE(box.text.find(dir.file("dtmfctrl.ini") + ": "), std::string::npos) << box.text;
        EXPECT_NE(box.text.find(dir.file("tarnwick.ini") + ": "), std::string::npos) << box.text;
        EXPECT_EQ(box.text.find("brannock.ini"), std::string::npos) << "only what failed: " << box.text;
        EXPECT_TRUE(dir.exists("castrel.ini")) << "the others were saved";
        EXPECT_EQ(p.rt.processEnded(), answer == MsgAnswer::Yes);
    }
}

TEST(LauncherShutdown, QuitPromptNoKeepsRunningYesSavesOnlyTheLauncher) {
    TempDir dir;
    Program p(dir.path());
    ASSERT_TRUE(p.launcher.start());
    p.rt.answers = {MsgAnswer::No, MsgAnswer::Yes};
    EXPECT_FALSE(p.launcher.onCloseRequest());
    EXPECT_FALSE(p.rt.processEnded());
    ASSERT_EQ(p.rt.boxes.size(), 1u);
    EXPECT_EQ(p.rt.boxes[0].title, "Exit Program");
    EXPECT_EQ(p.rt.boxes[0].text, "Quit - Remember to save your settings - Are You Sure ? ");
    EXPECT_EQ(p.rt.boxes[0].buttons, MsgButtons::YesNo);

    EXPECT_TRUE(p.launcher.onCloseRequest());
    EXPECT_TRUE(p.rt.processEnded());
    EXPECT_TRUE(dir.exists("tarnwick.ini"));
    EXPECT_FALSE(dir.exists("dtmfctrl.ini"));
}

TEST(LauncherShutdown, EveryExitPathUnkeysWhateverToolHoldsTheTransmitter) {
    const std::vector<std::pair<const char*, std::function<void(Program&)>>> paths = {
        {"Save / Exit", [](Program& p) { p.launcher.Command5.click(); }},
        {"quit prompt", [](Program& p) { p.launcher.onCloseRequest(); }},
        {"Closing",
         [](Program& p) {
             p.host.raise("closing");
             p.rt.runPending();
         }},
    };
    for (const auto& [name, exit] : paths) {
        TempDir dir;
        Program p(dir.path());
        ASSERT_TRUE(p.launcher.start());
        HostLink onAir(p.hub, "Form12");
        onAir.SetPTT(true);
        onAir.SetBusy(true);
        exit(p);
        EXPECT_FALSE(p.host.state().ptt()) << name;
        // EchoLink itself is going away on Closing: only the transmitter is released then.
        if (std::string(name) != "Closing") {
            EXPECT_FALSE(p.host.state().busy()) << name;
        }
        EXPECT_TRUE(p.rt.processEnded()) << name;
    }
}

// Every way the program ends runs one exit path: each loaded tool's clean-up, then every line a tool
// still holds goes off (the speech tool's fan line here, which no window's own exit releases), while
// each way keeps its own saves.
TEST(LauncherShutdown, EveryWayOfEndingDropsEveryLineAndKeepsItsOwnSaves) {
    struct Way {
        const char* name;
        std::function<void(Program&)> end;
        std::set<std::string> saved;
    };
    auto closeBox = [](const char* form) {
        return [form](Program& p) { p.registry.find(form)->onCloseRequest(); };
    };
    const std::set<std::string> all = {"brannock.ini", "brightcalltts.ini", "dtmfctrl.ini",  "castrel.ini",
                                       "dtmfhelp.ini", "ttssettings.ini",   "fennick.ini",   "wendlow.ini",
                                       "seriesplayer.ini", "brannockd.ini", "tarnwick.ini"};
    const Way ways[] = {
        {"Save / Exit", [](Program& p) { p.launcher.Command5.click(); }, all},
        {"the launcher's quit prompt", [](Program& p) { p.launcher.onCloseRequest(); }, {"tarnwick.ini"}},
        {"Closing",
         [](Program& p) {
             p.host.raise("closing");
             p.rt.runPending();
         },
         {"tarnwick.ini", "wendlow.ini", "fennick.ini"}},
        {"the news player's quit prompt", closeBox("Form1"), {}},
        {"the speech tool's quit prompt", closeBox("Form3"), {}},
        {"the DTMF control's quit prompt", closeBox("Form4"), {}},
        {"the conference controller's quit prompt", closeBox("Form6"), {}},
        {"the greetings window's quit prompt", closeBox("Form10"), {"wendlow.ini"}},
        {"the recorder's close box", closeBox("Form11"), {}},
        {"the series player's close box", closeBox("Form12"), {}},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        TempDir dir;
        Program p(dir.path());
        ASSERT_TRUE(p.launcher.start());
        p.registry.face<SpeechFace>("Form3")->FanOn();
        p.rt.advance(1100);
        ASSERT_TRUE(p.host.state().dtr()) << "the fan runs";
        dynamic_cast<Form12&>(*p.registry.find("Form12")).Command5.click();  // "Resume": keyed and busy
        ASSERT_TRUE(p.host.state().ptt());
        way.end(p);
        EXPECT_TRUE(p.rt.processEnded());
        EXPECT_FALSE(p.host.state().ptt());
        EXPECT_FALSE(p.host.state().busy());
        EXPECT_FALSE(p.host.state().dtr());
        EXPECT_FALSE(p.host.state().rts());
        std::set<std::string> saved;
        for (const auto& f : std::filesystem::directory_iterator(dir.path()))
            if (f.path().extension() == ".ini") saved.insert(f.path().filename().string());
        EXPECT_EQ(saved, way.saved);
    }
}

TEST(LauncherTray, DecodesOnlyDoubleClickAndRightPress) {
    struct Case {
        long x;
        std::optional<int> want;
    } cases[] = {{515, 1}, {516, 2}, {513, std::nullopt}, {512, std::nullopt}, {0, std::nullopt}};
    for (const auto& c : cases) EXPECT_EQ(DecodeTrayMessage(c.x), c.want) << c.x;
}

TEST(LauncherTray, MenuIntoTrayAndBackOrMinimisedWithoutTray) {
    TempDir dir;
    Program p(dir.path());
    ASSERT_TRUE(p.launcher.start());
    p.registry.find("Form4")->show();
    p.launcher.Command9.click();
    EXPECT_FALSE(p.registry.find("Form4")->isVisible());
    EXPECT_TRUE(p.tray.shown);
    EXPECT_FALSE(p.launcher.isVisible());
    EXPECT_TRUE(dir.exists("tarnwick.ini"));
    p.tray.onMessage(513);  // a single click does nothing
    EXPECT_TRUE(p.tray.shown);
    p.tray.onMessage(515);
    EXPECT_FALSE(p.tray.shown);
    EXPECT_TRUE(p.launcher.isVisible());

    p.tray.has = false;
    p.launcher.Command9.click();
    EXPECT_TRUE(p.launcher.isVisible());
    EXPECT_TRUE(p.launcher.isMinimized());
    EXPECT_FALSE(p.tray.shown);
}

TEST(LauncherTray, StartInTrayOptionIsReadAtStartUp) {
    TempDir dir;
    dir.write("tarnwick.ini", "[settings]\ncheck1=1\n");
    Program p(dir.path());
    ASSERT_TRUE(p.launcher.start());
    EXPECT_TRUE(p.tray.shown);
    EXPECT_FALSE(p.launcher.isVisible());
}

TEST(About, DonationOpensOnlyAChosenAmountAndTheListStaysFresh) {
    TempDir dir;
    Program p(dir.path());
    ASSERT_TRUE(p.launcher.start());
    auto* about = dynamic_cast<Form14*>(p.registry.find("Form14"));
    ASSERT_NE(about, nullptr);
    about->show();
    EXPECT_EQ(about->Combo1.text(), "Donation Amount");
    about->Command4.click();
    EXPECT_TRUE(p.rt.urls.empty());
    EXPECT_TRUE(about->isVisible());

    about->Combo1.setListIndex(2);
    EXPECT_EQ(about->Combo1.text(), "Donation: $30.00");
    about->Command4.click();
    ASSERT_EQ(p.rt.urls.size(), 1u);
    EXPECT_EQ(p.rt.urls[0], donationPage("30.00"));
    EXPECT_FALSE(about->isVisible());

    EXPECT_EQ(about->Label6.text(), "Tarnwick    N0CALL-L   v7.2.1");
    about->onCloseRequest();
    about->show();
    EXPECT_EQ(about->Combo1.items().size(), 5u);
}

// Whatever opens an address (a button, Enter in the look-up box) says so when nothing could open it,
// rather than doing nothing at all.
TEST(OpeningAddresses, EveryAddressTheProgramOpensExplainsAFailure) {
    TempDir dir;
    Program p(dir.path());
    ASSERT_TRUE(p.launcher.start());
    auto* about = dynamic_cast<Form14*>(p.registry.find("Form14"));
    auto* info = dynamic_cast<Form9*>(p.registry.find("Form9"));
    ASSERT_TRUE(about && info);
    info->Text1.type("g4abc");
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"launcher Help", [&] { p.launcher.Command12.click(); }},
        {"About web site", [&] { about->Command2.click(); }},
        {"About mail", [&] { about->Command3.click(); }},
        {"QRZ", [&] { info->Command1.click(); }},
        {"Enter in the look-up box", [&] { info->Text1.keyPress(13); }},
        {"Current Logins", [&] { info->Command10.click(); }},
        {"Open in browser", [&] { info->OpenPage.click(); }},
    };
    p.rt.openResult = 31;  // no browser
    for (const auto& [what, act] : ways) {
        p.rt.boxes.clear();
        p.rt.urls.clear();
        act();
        EXPECT_EQ(p.rt.urls.size(), 1u) << what;
        ASSERT_EQ(p.rt.boxes.size(), 1u) << what;
        EXPECT_EQ(p.rt.boxes[0].text,
                  "No Association Found for HTTP Addresses. A Web Browser Should be Installed or Reinstalled.")
            << what;
    }
    // Enter in the look-up box looks the call up, as "QRZ" does; any other key opens nothing.
    p.rt.urls.clear();
    info->Text1.keyPress('A');
    EXPECT_TRUE(p.rt.urls.empty());
    info->Text1.keyPress(13);
    EXPECT_EQ(p.rt.urls, std::vector<std::string>{"https://www.qrz.com/db/G4ABC"});

    // The refusal of a node not in Sysop mode opens the web site the same way.
    TempDir other;
    Program refused(other.path(), "N0CALL");
    refused.rt.openResult = 2;
    EXPECT_FALSE(refused.launcher.start());
    ASSERT_EQ(refused.rt.boxes.size(), 2u);
    EXPECT_EQ(refused.rt.boxes[1].text, std::string("The '") + kProductWebSite + "' File or Path was Not Found.");
}

TEST(About, OpenUrlExplainsEachFailure) {
    struct Case {
        int code;
        std::string text;
        MsgIcon icon;
    } cases[] = {
        {31, "No Association Found for HTTP Addresses. A Web Browser Should be Installed or Reinstalled.",
         MsgIcon::Exclamation},
        {2, "The 'u:x' File or Path was Not Found.", MsgIcon::Exclamation},
        {3, "The 'u:x' File or Path was Not Found.", MsgIcon::Exclamation},
        {5, "An error occurred attempting to open 'u:x' (ShellExecute code 5).", MsgIcon::Critical},
    };
    for (const auto& c : cases) {
        VirtualRuntime rt;
        rt.openResult = c.code;
        OpenUrl(rt, "u:x");
        ASSERT_EQ(rt.boxes.size(), 1u) << c.code;
        EXPECT_EQ(rt.boxes[0].title, "Tarnwick");
        EXPECT_EQ(rt.boxes[0].text, c.text);
        EXPECT_EQ(rt.boxes[0].icon, c.icon);
    }
    VirtualRuntime ok;
    OpenUrl(ok, "u:x");
    EXPECT_TRUE(ok.boxes.empty());
}

}  // namespace
}  // namespace tarnwick
