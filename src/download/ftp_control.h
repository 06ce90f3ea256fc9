#pragma once
// ftpControl: a reusable control that moves one file between the local disk and an FTP server and
// shows what it is doing (a status line, a green or red banner and a progress bar). The host sets its
// properties before each transfer; a transfer goes on in the background and reports its outcome.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "controls/controls.h"
#include "download/transfer.h"
#include "download/transfer_guard.h"

namespace tarnwick {

class Runtime;

// Colours of the banner (0xBBGGRR).
inline constexpr Colour kBannerGreen = 0x008000;
inline constexpr Colour kBannerRed = 0x0000FF;
// System colours as stored properties: button face and button text.
inline constexpr Colour kButtonFaceColour = 0x8000000F;
inline constexpr Colour kButtonTextColour = 0x80000012;

class ftpControl {
public:
    // `transfers` may be null: every transfer then fails at its session.
    ftpControl(Runtime& rt, TransferService* transfers);
    ~ftpControl();

    // ---- Properties ----
    std::int16_t ftp_remote_port() const { return port_; }
    void set_ftp_remote_port(std::int16_t v);
    const std::string& ftp_remote_address() const { return address_; }
    void set_ftp_remote_address(const std::string& v);
    const std::string& ftp_password() const { return password_; }
    void set_ftp_password(const std::string& v);
    bool ftp_is_ascii_mode() const { return ascii_; }
    void set_ftp_is_ascii_mode(bool v);
    const std::string& ftp_username() const { return user_; }
    void set_ftp_username(const std::string& v);
    const std::string& ftp_local_filename() const { return local_; }
    void set_ftp_local_filename(const std::string& v);
    const std::string& ftp_remote_filename() const { return remote_; }
    void set_ftp_remote_filename(const std::string& v);
    Colour BackColour() const { return back_; }
    void set_BackColour(Colour c);
    Colour FontColour() const { return font_; }
    void set_FontColour(Colour c);
    const std::string& CancelButton_Text() const { return cmdCancel.caption(); }
    void set_CancelButton_Text(const std::string& v);
    bool CancelButton_Enabled() const { return cmdCancel.enabled(); }
    void set_CancelButton_Enabled(bool v);
    // Twips; read back rounded to a whole number.
    std::int32_t CancelButton_Width() const;
    void set_CancelButton_Width(double twips);

    // Runs after every property set, with the property's name: the host's design has changed.
    std::function<void(const std::string& name)> PropertyChanged;

    // The persisted set: name and value text of each stored property.
    using PropertyBag = std::vector<std::pair<std::string, std::string>>;
    // Reads every property from the set (its read default when absent), passing over any that cannot
    // be read or applied.
    void ReadProperties(const PropertyBag& bag);
    // The properties that differ from their write defaults.
    PropertyBag WriteProperties() const;

    // ---- Transfers ----
    using Finished = std::function<void(bool ok, const std::string& ReturnResult)>;
    // Fetches ftp_remote_filename into ftp_local_filename; `finished` runs once, afterwards.
    void ftp_Download_quick(Finished finished);
    // Sends ftp_local_filename to the server as ftp_remote_filename.
    void ftp_Upload_quick(Finished finished);
    bool busy() const { return job_ != nullptr; }
    // What no transfer may do (tests give small figures).
    void setTransferLimits(const TransferLimits& limits) { limits_ = limits; }
    // Stops a running transfer without a word (the host is going away); the local file stays as it was.
    void abandon();
    // The reason of the last failed transfer and its address, for the host's diagnostic.
    const std::string& lastFailure() const { return lastFailure_; }
    const std::string& lastAddress() const { return lastAddress_; }

    // The one display step of a transfer.
    void ShowTransferProgress(std::int64_t done, std::int64_t total, const std::string& text);

    // ---- Size (twips) ----
    void setSize(double width, double height);
    double width() const { return width_; }
    double height() const { return height_; }
    double barWidth() const { return barWidth_; }
    double statusWidth() const { return statusWidth_; }
    double cancelLeft() const { return cancelLeft_; }

    // ---- Parts ----
    Label Label1{"Label1"};
    ProgressBar pbTransferStatus{"pbTransferStatus", 0, 100, 0};
    Label lblStatus{"lblStatus"};
    CommandButton cmdCancel{"cmdCancel", "Cancel Transfer"};
    // The control's place in its host's layout.
    LayoutItem layout();

    static constexpr const char* kReadyBanner = " >> SYSTEM READY TO DOWNLOAD FILE << ";
    static constexpr const char* kDownloadingBanner =
        " >> DOWNLOADING FILE <<   This can take some time    >> PLEASE WAIT << ";
    static constexpr const char* kCompleteBanner = " >> DOWNLOADING COMPLETE <<    >> READY FOR NEXT FILE << ";
    static constexpr const char* kFailedBanner = " >>>> FAILED <<<< ";
    static constexpr const char* kPasswordWriteDefault = "news@example.org";

private:
    struct Job;
    void run(bool upload, Finished finished);
    void finish(bool upload, const TransferOutcome& outcome);
    void stop(const std::string& why);
    void showFailure(const std::string& text);
    void changed(const char* name);
    void banner(const char* text, Colour colour);

    Runtime& rt_;
    TransferService* transfers_;
    std::int16_t port_ = 21;
    std::string address_ = "ftp://ftp.";
    std::string password_;
    bool ascii_ = false;
    std::string user_ = "anonymous";
    std::string local_ = "c:\\";
    std::string remote_ = "/public_html/";
    Colour back_ = kButtonFaceColour;
    Colour font_ = kButtonTextColour;
    double cancelWidth_ = 1575;
    double width_ = 4800, height_ = 1410;
    double barWidth_ = 0, statusWidth_ = 0, cancelLeft_ = 0;
    std::unique_ptr<Job> job_;
    std::string lastFailure_, lastAddress_;
    TransferLimits limits_;
};

// The address a transfer uses: the host part of `address` (a host name or an "ftp://" address), the
// port, and the remote path as written.
std::string ftpUrl(const std::string& address, int port, const std::string& remotePath);

}  // namespace tarnwick
