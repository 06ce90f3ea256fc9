// Form13's window: its layout, settings file, start-up, closing and host events.

#include "download/downloader.h"

#include <filesystem>

#include "runtime/runtime.h"
#include "toolbox/tool_registry.h"
#include "toolbox/version.h"

namespace tarnwick {

using namespace layout;

Form13::Form13(ToolContext& ctx, TransferService* transfers)
    : Tool(ctx, "Form13"),
      DownloaderFace(ctx.rt),
      tmrSpeedTest(ctx.rt, 1000),
      ftpControl1(ctx.rt, transfers),
      Beacon44(ctx.rt, 1000),
      transfers_(transfers) {
    setFrameStyle(FrameStyle::FixedTool);
    ftpRoad_ = {{&Sunx, &Monx, &Tuex, &Wedx, &Thurx, &Frix, &Satx},
                &Hourx, &Minsx, &BeaconPeriod44, &Check55, &BeaconSeconds44, &ShowTime22, {}, -1};
    urlRoad_ = {{&Sun, &Mon, &Tue, &Wed, &Thur, &Fri, &Sat},
                &Hour, &Mins, &BeaconPeriod4, &Check5, &BeaconSeconds4, &ShowTime2, {}, -1};
    Beacon4.setAlignedToSeconds(true);
    Beacon44.setAlignedToSeconds(true);
    // Nothing runs until the window loads.
    Beacon4.Timer::setEnabled(false);
    Beacon44.setEnabled(false);
    tmrSpeedTest.setEnabled(false);
    Percent.setBackColour(kBarBlue);
    Percent.setWidth(0);  // the bar starts empty
    Percent.setForeColour(kWhite);
    // It tells why a transfer failed, which may take a long sentence.
    txtPercent.setShortened(true);
    for (TextBox* b : {&RemoteAddress, &RemoteFilename, &MyFile}) b->setForeColour(kRed);
    ftpControl1.ReadProperties({{"ftp_password", ""}});
    wireHandlers();
    buildLayout();
}

Form13::~Form13() {
    ftpControl1.abandon();
    url_.reset();
}

void Form13::buildLayout() {
    auto urlSlot = [](const std::string& title, const char* target, TextBox& box, CheckBox& use, CommandButton& b) {
        return frame(title + " \"" + target + "\"", {row({ctl(box), ctl(b)}), row({ctl(use)})});
    };
    auto days = [](const Road& r) {
        std::vector<LayoutItem> items;
        for (CheckBox* d : r.days) items.push_back(ctl(*d));
        return row(items);
    };
    // `road` names the time boxes for a screen reader ("URL download hour").
    auto schedule = [&](const Road& r, const std::string& title, const std::string& countdown,
                        const std::string& road) {
        return row({frame(title, {days(r), frame("Hour : Mins", {row({ctl(*r.hour, road + " download hour"),
                                                                      caption(":"),
                                                                      ctl(*r.mins, road + " download minutes")})})}),
                    frame(countdown, {row({ctl(*r.period), ctl(*r.use)}),
                                      row({ctl(*r.seconds), caption("Mins"), ctl(*r.clock)})})});
    };
    auto ftpSlotFrame = [&](int n, CheckBox& use, CommandButton& b) {
        return frame("FTP " + std::to_string(n + 1),
                     {row({frame("FTP Remote Address", {row({ctl(RemoteAddress_[n])})}),
                           frame("FTP Remote Filename", {row({ctl(RemoteFilename_[n])})}),
                           frame("Directory and file name", {row({ctl(MyFile_[n])})}), ctl(use), ctl(b)})});
    };
    layout_ = {tabs({
        tab("Website Downloads",
            {urlSlot("Audio File 1   -  mp3  - Will Be Saved As", "C:\\News1.mp3", txtURL11, Check1, Command12),
             urlSlot("Audio File 2   -  mp3  - Will Be Saved As", "C:\\News2.mp3", txtURL22, Check2, Command17),
             urlSlot("Audio File 3   -  mp3  - Will Be Saved As", "C:\\News3.mp3", txtURL33, Check3, Command14),
             urlSlot("2nd Audio File  -  mp3  - Will Be Saved As", "C:\\News4.mp3", Text1, Check4, Command1),
             schedule(urlRoad_, "Scheduled Day and Time for URL Downloads", "Download URL Data", "URL"),
             row({ctl(Percent), ctl(txtPercent), stretch()}), row({stretch(), ctl(Command5), ctl(Command2)})}),
        tab("FTP Downloads",
            {ftpSlotFrame(0, Check11, cmdDownload), ftpSlotFrame(1, Check22, cmdDownload2),
             ftpSlotFrame(2, Check33, cmdDownload3),
             frame("", {row({ctl(RemoteAddress, "Transfer remote address"), ctl(RemoteFilename, "Transfer remote file"),
                             ctl(MyFile, "Transfer local file"), ctl(LabelInfo)}),
                        row({ctl(Example)})}),
             schedule(ftpRoad_, "Scheduled Day and Time for  FTP  Downloads", "Download  FTP  Data", "FTP"),
             ftpControl1.layout(), row({stretch(), ctl(Command55), ctl(Command22)})}),
    })};
}

void Form13::wireHandlers() {
    Command12.onClick = [this] { urlButton(0); };
    Command17.onClick = [this] { urlButton(1); };
    Command14.onClick = [this] { urlButton(2); };
    Command1.onClick = [this] { urlButton(3); };
    cmdGo.onClick = [this] { connectButton(); };
    cmdCancel.onClick = [this] { cancelTransfer(); };
    cmdDownload.onClick = [this] { ftpButton(0); };
    cmdDownload2.onClick = [this] { ftpButton(1); };
    cmdDownload3.onClick = [this] { ftpButton(2); };
    cmdUpload.onClick = [this] { quickUpload(); };
    for (CommandButton* b : {&Command5, &Command55})
        b->onClick = [this] {
            SaveData();
            hide();
            if (Tool* player = ctx_.tools.find("Form1")) tryStep("show Form1", [&] { player->show(); });
        };
    for (CommandButton* b : {&Command2, &Command22}) b->onClick = [this] { hide(); };
    BeaconPeriod4.onChange = [this] { periodChange(); };

    tmrSpeedTest.onTick = [this] { speedTick(); };
    Beacon4.onTick = [this] { scheduleTick(urlRoad_, Beacon4, false); };
    Beacon44.onTick = [this] { scheduleTick(ftpRoad_, Beacon44, true); };
    // Another tool switching the URL schedule refers to this window, which loads it. Moments that
    // passed while the schedule stood still are not made up.
    Beacon4.beforeSwitch = [this](bool on) {
        load();
        if (on && !Beacon4.enabled()) urlRoad_.moments = {};
    };
    onCloseRequest = [this] { return closeRequest(); };
}

void Form13::buildSettings(SettingsTable& t) {
    const char* ftpDays[] = {"SUNx", "MONx", "TUEx", "WEDx", "THURx", "FRIx", "SATx"};
    for (int d = 0; d < 7; ++d) t.check(ftpDays[d], *ftpRoad_.days[d], "0");
    t.text("HOURx", Hourx, "24").text("MINSx", Minsx, "00");
    t.check("CHECK11", Check11, "0").check("CHECK22", Check22, "0").check("CHECK33", Check33, "0");
    t.check("CHECK55", Check55, "0");
    for (int n = 0; n < 3; ++n) t.text("REMOTEADDRESS" + std::to_string(n + 1), RemoteAddress_[n], "ftp.example.org");
    for (int n = 0; n < 3; ++n)
        t.text("REMOTEFILENAME" + std::to_string(n + 1), RemoteFilename_[n],
               "/pub/news/News" + std::to_string(n + 1) + ".mp3");
    for (int n = 0; n < 3; ++n)
        t.text("MYFILE" + std::to_string(n + 1), MyFile_[n], "C:\\News" + std::to_string(n + 1) + ".mp3");
    t.text("BEACONPERIOD44", BeaconPeriod44, "15");
    const char* urlDays[] = {"SUN", "MON", "TUE", "WED", "THUR", "FRI", "SAT"};
    for (int d = 0; d < 7; ++d) t.check(urlDays[d], *urlRoad_.days[d], "0");
    t.text("HOUR", Hour, "24").text("MINS", Mins, "00");
    t.text("TXTURL11", txtURL11, "Enter Your URL here")
        .text("TXTURL22", txtURL22, "Enter Your URL here")
        .text("TXTURL33", txtURL33, "Enter Your URL here");
    t.text("BEACONPERIOD4", BeaconPeriod4, "60");
    t.check("CHECK1", Check1, "0").check("CHECK2", Check2, "0").check("CHECK3", Check3, "0");
    t.check("CHECK4", Check4, "0").check("CHECK5", Check5, "0");
    t.text("TEXT1", Text1, "");
    t.windowPosition(*this);
}

void Form13::setTransferLimits(const TransferLimits& limits) {
    limits_ = limits;
    ftpControl1.setTransferLimits(limits);
}

bool Form13::Fexist(const std::string& strFile) {
    try {
        const std::filesystem::path p(mapWindowsPath(strFile));
        const std::string name = p.filename().string();
        if (name.empty() || name.front() == '.') return false;
        std::error_code ec;
        return std::filesystem::is_regular_file(p, ec);
    } catch (...) {
        return false;
    }
}

bool Form13::KillFile(const std::string& strFile) {
    if (Fexist(strFile)) {
        std::error_code ec;
        std::filesystem::remove(mapWindowsPath(strFile), ec);
    }
    return false;
}

bool Form13::SaveData() {
    SettingsTable table;
    buildSettings(table);
    return writeSettings(table, "brannockd.ini", 256, true);
}

void Form13::Form_Load() {
    EchoLink = std::make_unique<HostLink>(ctx_.hub, name());
    EchoLink->Closing = [this] { onClosing(); };
    setWindowCaption(toolCaption(readCallsign(*EchoLink), "   MP3 Downloader"));

    // A window loaded again starts from its design: what the settings do not hold is reset.
    BeaconSeconds44.setText("10");
    BeaconSeconds4.setText("10");
    for (TextBox* b : {&RemoteAddress, &RemoteFilename, &MyFile}) b->setText("");
    LabelInfo.setForeColour(kDefaultColour);
    LabelInfo.setText("Status: Idle");
    tmrSpeedTestTag.clear();
    tmrSpeedTest.setInterval(1000);
    CancelFlag = false;
    ftpRoad_.moments = {};
    urlRoad_.moments = {};
    ftpRoad_.lastFired = urlRoad_.lastFired = -1;
    urlButtons(true);
    ftpButtons(true);
    cmdGo.setEnabled(true);
    cmdCancel.setEnabled(false);

    // The three one-second timers run from the window's load.
    Beacon44.setEnabled(true);
    tmrSpeedTest.setEnabled(true);
    Beacon4.setEnabled(true);

    SettingsTable table;
    buildSettings(table);
    readSettings(table, "brannockd.ini", 256);
    // The period's change handling runs at load even when the stored text equals the design text.
    periodChange();

    // What transfers of a killed program left beside the files they were to replace. A running
    // transfer (another copy's, on shared drives) holds its file locked and keeps it.
    std::vector<std::string> targets(std::begin(kNewsFiles), std::end(kNewsFiles));
    for (const TextBox& box : MyFile_) targets.push_back(box.text());
    for (const std::string& target : targets)
        if (!target.empty()) removeTemporaries(mapWindowsPath(target));
}

void Form13::Form_Unload() {
    Beacon4.Timer::setEnabled(false);
    Beacon44.setEnabled(false);
    tmrSpeedTest.setEnabled(false);
    tmrSpeedTestTag.clear();
    url_.reset();
    ftpControl1.abandon();
    EchoLink.reset();
}

bool Form13::closeRequest() {
    if (!urlBusy() && !ftpBusy()) {
        unload();
        return true;
    }
    // Closing during a transfer: hide now, stop the transfer, and close once nothing runs.
    setVisible(false);
    tmrSpeedTestTag = "CLOSEAPP";
    tmrSpeedTest.setInterval(500);
    tmrSpeedTest.setEnabled(true);
    cancelTransfer();
    return false;
}

void Form13::closeNow() {
    tmrSpeedTestTag.clear();
    tmrSpeedTest.setInterval(1000);
    unload();
}

void Form13::onClosing() {
    tryStep("SetPTT", [&] { EchoLink->SetPTT(false, Release::Force); });
    // Nothing half-done stays behind.
    url_.reset();
    ftpControl1.abandon();
}

}  // namespace tarnwick
