#pragma once
// Form13: the news downloader. It keeps the news files up to date for the news player: three FTP
// slots through its FTP transfer control and four URL slots through its URL engine, each road with
// buttons, a batch, a weekly day-and-time schedule and an every-N-minutes countdown.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "controls/controls.h"
#include "download/ftp_control.h"
#include "download/target_file.h"
#include "download/transfer.h"
#include "download/transfer_guard.h"
#include "hostlink/host_link.h"
#include "runtime/clock_moments.h"
#include "settings/settings_file.h"
#include "toolbox/download_face.h"
#include "toolbox/tool.h"

namespace tarnwick {

// The bar's blue and the percentage's two text colours (0xBBGGRR).
inline constexpr Colour kBarBlue = 0xC00000;
inline constexpr Colour kBlack = 0x000000;
inline constexpr Colour kWhite = 0xFFFFFF;

class Form13 : public Tool, public DownloaderFace {
public:
    // `transfers` may be null: every transfer then fails.
    Form13(ToolContext& ctx, TransferService* transfers);
    ~Form13() override;

    bool keepsSettings() const override { return true; }
    // Writes the 44 keys of brannockd.ini; a failure is reported, never silent.
    bool SaveData() override;

    // ---- The two batches ----
    void GetURL();   // FTP: the ticked FTP slots in turn
    void GetURL2();  // URL: the ticked URL slots in turn

    // ---- The URL engine ----
    using Done = std::function<void(bool ok)>;
    // Copies the resource at sURLfrom into sFileName (a path as the operator writes it). `done` runs
    // once with the result, possibly before this returns (a refusal, a cancel in force).
    void DownloadAFile(const std::string& sFileName, const std::string& sURLfrom, bool bShowStatus, bool bProgressBar,
                       Done done);
    // Brings the bar and the byte readout up to date.
    void ProgressBar(std::int64_t lSize, std::int64_t lDone, const std::string& sFiles);
    // Whether a regular file (not hidden: its name does not begin with ".") exists at strFile, a path
    // as the operator writes it; any error gives false.
    static bool Fexist(const std::string& strFile);
    // Deletes the file when Fexist reports it; a failed deletion is passed over. Always false.
    static bool KillFile(const std::string& strFile);
    // The reason of the last failed URL transfer.
    std::string GetInetErrorText() const { return lastError_; }
    // Set by "Cancel" and by closing during a transfer; cleared only by the next caller's start.
    bool CancelFlag = false;
    bool urlBusy() const { return url_ != nullptr; }
    bool ftpBusy() const { return ftpControl1.busy(); }
    // What no transfer of this window may do (tests give small figures and their own free space).
    void setTransferLimits(const TransferLimits& limits);

    HostLink* hostLink() const { return EchoLink.get(); }

    // ---- "Website Downloads" ----
    TextBox txtURL11{"txtURL11", "Enter Your URL here", kUrlTip};
    TextBox txtURL22{"txtURL22", "Enter Your URL here", kUrlTip};
    TextBox txtURL33{"txtURL33", "Enter Your URL here", kUrlTip};
    TextBox Text1{"Text1", "", kUrlTip};
    CheckBox Check1{"Check1", kUseUrl, "Tick to Enable Read URL"};
    CheckBox Check2{"Check2", kUseUrl, "Tick to Enable Read URL"};
    CheckBox Check3{"Check3", kUseUrl, "Tick to Enable Read URL"};
    CheckBox Check4{"Check4", kUseUrl, "Tick to Enable Read URL"};
    CommandButton Command12{"Command12", "URL", "Test and load URL"};
    CommandButton Command17{"Command17", "URL", "Test and load URL"};
    CommandButton Command14{"Command14", "URL", "Test and load URL"};
    CommandButton Command1{"Command1", "URL", "Test and load URL"};
    CheckBox Sun{"Sun", "Sun"}, Mon{"Mon", "Mon"}, Tue{"Tue", "Tue"}, Wed{"Wed", "Wed"}, Thur{"Thur", "Thur"},
        Fri{"Fri", "Fri"}, Sat{"Sat", "Sat"};
    TextBox Hour{"Hour", "24"};
    TextBox Mins{"Mins", "00"};
    TextBox BeaconPeriod4{"BeaconPeriod4", "60", "Read File Every XX Minutes ", TypingStyle::DigitsOnly};
    CheckBox Check5{"Check5", "Every", "Use Download URL Data"};
    Label BeaconSeconds4{"BeaconSeconds4", "10"};
    Label ShowTime2{"ShowTime2", "00:00:00"};
    CommandButton Command5{"Command5", "Save Changes", "Save Your Data"};
    CommandButton Command2{"Command2", "Hide", "Hide this screen"};
    Label Percent{"Percent"};  // the progress bar: its width follows the percentage
    Label txtPercent{"txtPercent"};
    // Beyond the window's right edge.
    std::array<Label, 3> lblData{Label{"lblData(0)", "FileSize"}, Label{"lblData(1)", "Average"},
                                 Label{"lblData(2)", "Time Left"}};
    Label Label3{"Label3", "Progress Monitor"};
    CommandButton cmdCancel{"cmdCancel", "Cancel"};
    CommandButton cmdGo{"cmdGo", "Connect"};
    TextBox txtURL{"txtURL", "http://example.org/news/News4.mp3"};
    CommandButton cmdUpload{"cmdUpload", "Quick Upload"};
    Timer tmrSpeedTest;
    // The close-pending marker.
    std::string tmrSpeedTestTag;

    // ---- "FTP Downloads" ----
    std::array<TextBox, 3> RemoteAddress_{TextBox{"RemoteAddress1", "ftp.example.org"},
                                          TextBox{"RemoteAddress2", "ftp.example.org"},
                                          TextBox{"RemoteAddress3", "ftp.example.org"}};
    std::array<TextBox, 3> RemoteFilename_{TextBox{"RemoteFilename1", "/pub/news/News1.mp3"},
                                           TextBox{"RemoteFilename2", "/pub/news/News2.mp3"},
                                           TextBox{"RemoteFilename3", "/pub/news/News3.mp3"}};
    std::array<TextBox, 3> MyFile_{TextBox{"MyFile1", "C:\\News1.mp3"}, TextBox{"MyFile2", "C:\\News2.mp3"},
                                   TextBox{"MyFile3", "C:\\News3.mp3"}};
    TextBox& RemoteAddress1 = RemoteAddress_[0];
    TextBox& RemoteAddress2 = RemoteAddress_[1];
    TextBox& RemoteAddress3 = RemoteAddress_[2];
    TextBox& RemoteFilename1 = RemoteFilename_[0];
    TextBox& RemoteFilename2 = RemoteFilename_[1];
    TextBox& RemoteFilename3 = RemoteFilename_[2];
    TextBox& MyFile1 = MyFile_[0];
    TextBox& MyFile2 = MyFile_[1];
    TextBox& MyFile3 = MyFile_[2];
    CheckBox Check11{"Check11", "Use"}, Check22{"Check22", "Use"}, Check33{"Check33", "Use"};
    CommandButton cmdDownload{"cmdDownload", "Download"};
    CommandButton cmdDownload2{"cmdDownload2", "Download"};
    CommandButton cmdDownload3{"cmdDownload3", "Download"};
    TextBox RemoteAddress{"RemoteAddress", ""};
    TextBox RemoteFilename{"RemoteFilename", ""};
    TextBox MyFile{"MyFile", ""};
    Label LabelInfo{"LabelInfo", "Status: Idle"};
    Label Example{"Example", "e.g.   ftp.example.org     /pub/news/News1.mp3     C:\\News1.mp3"};
    CheckBox Sunx{"Sunx", "Sun"}, Monx{"Monx", "Mon"}, Tuex{"Tuex", "Tue"}, Wedx{"Wedx", "Wed"},
        Thurx{"Thurx", "Thur"}, Frix{"Frix", "Fri"}, Satx{"Satx", "Sat"};
    TextBox Hourx{"Hourx", "24"};
    TextBox Minsx{"Minsx", "00"};
    TextBox BeaconPeriod44{"BeaconPeriod44", "15", "Read File Every XX Minutes "};
    CheckBox Check55{"Check55", "Every", "Use Download URL Data"};
    Label BeaconSeconds44{"BeaconSeconds44", "10"};
    Label ShowTime22{"ShowTime22", "00:00:00"};
    CommandButton Command55{"Command55", "Save Changes", "Save Your Data"};
    CommandButton Command22{"Command22", "Hide", "Hide this screen"};
    ftpControl ftpControl1;
    Timer Beacon44;

    static constexpr const char* kUrlTip = "Enter the URL for your Audio File.  ( No FTP Site Downloads)";
    static constexpr const char* kUseUrl = "Use         >> No FTP Site Downloads <<";
    static constexpr const char* kFtpPassword = "zq_fernhold";
    // The news files of the four URL slots ("Connect" fetches the fourth).
    static constexpr const char* kNewsFiles[4] = {"C:\\News1.mp3", "C:\\News2.mp3", "C:\\News3.mp3",
                                                  "C:\\News4.mp3"};

protected:
    void Form_Load() override;
    void Form_Unload() override;

private:
    // One URL transfer under way.
    struct UrlJob {
        std::unique_ptr<Transfer> transfer;
        TargetFile file;
        std::unique_ptr<TransferGuard> guard;
        std::string url;  // as the diagnostics show it
        std::string fileName;
        std::int64_t expected = 0, total = 0;
        bool progress = true;
        std::string stopReason;  // why a limit stopped it
        Done done;
    };
    struct Road {
        std::array<CheckBox*, 7> days;  // Sunday first
        TextBox* hour;
        TextBox* mins;
        TextBox* period;
        CheckBox* use;
        Label* seconds;
        Label* clock;
        ClockMoments moments;
        std::int64_t lastFired = -1;  // local epoch minute of the last weekly action
    };

    void buildLayout();
    void buildSettings(SettingsTable& t);
    void wireHandlers();

    // URL road.
    void urlButton(int slot);
    void connectButton();
    void urlButtons(bool on);
    void urlBatch(const std::string& what);
    void batchStep(int slot);
    void finishUrl(bool ok, const std::string& reason);
    void stopUrl(const std::string& why);
    void showFailure(const std::string& why);
    void cancelTransfer();
    // A batch that falls due while its road is busy is skipped, and says so.
    void skipped(const std::string& what, const std::string& busyWith);
    void speedTick();
    void periodChange();
    // FTP road.
    void ftpButton(int slot);
    void ftpSlot(int slot, std::function<void()> then);
    void ftpBatch(const std::string& what);
    void ftpBatchStep(int slot);
    void ftpButtons(bool on);
    void ConfigureFtpTransfer();
    void quickUpload();
    // Schedules.
    void scheduleTick(Road& road, Timer& timer, bool ftp);
    bool closeRequest();
    void closeNow();
    void onClosing();

    TransferService* transfers_;
    std::unique_ptr<HostLink> EchoLink;
    std::unique_ptr<UrlJob> url_;
    // The previous count of the speed readout and the count of the latest progress update.
    std::int64_t lastShown_ = 0, previous_ = 0;
    std::string lastError_;
    TransferLimits limits_;
    Road ftpRoad_, urlRoad_;
};

// Texts of the readouts.
// "###0.0" of value / divisor: one decimal, a half rounded up.
std::string oneDecimal(std::int64_t value, std::int64_t divisor);
// Percent of done in size, a half to the even neighbour, kept within 0 to 100.
int roundedPercent(std::int64_t done, std::int64_t size);

}  // namespace tarnwick
