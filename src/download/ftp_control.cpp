#include "download/ftp_control.h"

#include <cmath>
#include <cstdio>

#include "download/inet_errors.h"
#include "download/target_file.h"
#include "runtime/runtime.h"
#include "settings/settings_file.h"

namespace tarnwick {

namespace {

constexpr const char* kDownloadAgent = "Tarnwick FTP Download";
constexpr const char* kUploadAgent = "Tarnwick FTP Upload";
constexpr const char* kSessionFailed =
    "Error creating InetSession. Please check your Internet Explorer Version and Internet connection status "
    "(working online/offline)";
constexpr const char* kConnectFailed =
    "Unable to connect. Please check your username, password, FTP Address and Port. Alternativly the server may be "
    "down.";
// Offsets of the parts inside the control, in twips.
constexpr double kBarLeft = 120, kStatusLeft = 60;
constexpr double kHeight = 1410;

bool startsWithNoCase(const std::string& s, const std::string& prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    return true;
}

// Percent-encodes everything but unreserved characters and "/"; a leading "/" is encoded too, so the
// server gets the path exactly as written (absolute stays absolute).
std::string encodePath(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        const bool plain = std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || (c == '/' && i > 0);
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string colourText(Colour c) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "&H%08X&", c);
    return buf;
}

// "&H8000000F&", "&HFF&" or a decimal number.
bool parseColour(const std::string& text, Colour& out) {
    std::string t = text;
    if (!t.empty() && t.back() == '&') t.pop_back();
    try {
        std::size_t used = 0;
        unsigned long v;
        if (startsWithNoCase(t, "&h"))
            v = std::stoul(t.substr(2), &used, 16), used += 2;
        else
            v = std::stoul(t, &used, 10);
        if (used != t.size()) return false;
        out = static_cast<Colour>(v);
        return true;
    } catch (...) {
        return false;
    }
}

bool parseBool(const std::string& text, bool& out) {
    if (text == "True" || text == "-1" || text == "1" || text == "true") {
        out = true;
        return true;
    }
    if (text == "False" || text == "0" || text == "false") {
        out = false;
        return true;
    }
    return false;
}

}  // namespace

std::string ftpUrl(const std::string& address, int port, const std::string& remotePath) {
    std::string host = address;
    if (startsWithNoCase(host, "ftp://")) host = host.substr(6);
    host = host.substr(0, host.find('/'));
    if (auto at = host.rfind('@'); at != std::string::npos) host = host.substr(at + 1);
    host = host.substr(0, host.find(':'));
    return "ftp://" + host + ":" + std::to_string(port) + "/" + encodePath(remotePath);
}

// One running transfer: what it works on, copied when it started.
struct ftpControl::Job {
    std::unique_ptr<Transfer> transfer;
    TargetFile file;
    std::unique_ptr<TransferGuard> guard;
    Finished finished;
    bool upload = false;
    bool loggedIn = false;
    bool ascii = false;
    std::string localPath, url;
    std::string stopReason;  // why the local file or a limit stopped it
};

ftpControl::ftpControl(Runtime& rt, TransferService* transfers) : rt_(rt), transfers_(transfers) {
    lblStatus.setShortened(true);
    // Created: idle status and the ready banner, then the stored properties are read in by the host.
    lblStatus.setText("Status: Idle.");
    banner(kReadyBanner, kBannerGreen);
    setSize(width_, height_);
}

ftpControl::~ftpControl() = default;

LayoutItem ftpControl::layout() {
    using namespace layout;
    // Frame1 holds the banner across the top.
    return frame("", {frame("", {row({ctl(Label1)})}), row({ctl(pbTransferStatus, "Transfer progress")}),
                      row({ctl(lblStatus)}), row({ctl(cmdCancel)})});
}

void ftpControl::changed(const char* name) {
    if (PropertyChanged) PropertyChanged(name);
}

void ftpControl::banner(const char* text, Colour colour) {
    Label1.setForeColour(colour);
    Label1.setText(text);
}

void ftpControl::set_ftp_remote_port(std::int16_t v) {
    port_ = v;
    changed("ftp_remote_port");
}
void ftpControl::set_ftp_remote_address(const std::string& v) {
    address_ = v;
    changed("ftp_remote_address");
}
void ftpControl::set_ftp_password(const std::string& v) {
    password_ = v;
    changed("ftp_password");
}
void ftpControl::set_ftp_is_ascii_mode(bool v) {
    ascii_ = v;
    changed("ftp_is_ascii_mode");
}
void ftpControl::set_ftp_username(const std::string& v) {
    user_ = v;
    changed("ftp_username");
}
void ftpControl::set_ftp_local_filename(const std::string& v) {
    local_ = v;
    changed("ftp_local_filename");
}
void ftpControl::set_ftp_remote_filename(const std::string& v) {
    remote_ = v;
    changed("ftp_remote_filename");
}
void ftpControl::set_BackColour(Colour c) {
    back_ = c;
    changed("BackColour");
}
void ftpControl::set_FontColour(Colour c) {
    font_ = c;
    // A system colour (high bit set) is the desktop's own: the status line keeps the default text colour.
    lblStatus.setForeColour(c & 0x80000000u ? kDefaultColour : c);
    changed("FontColour");
}
void ftpControl::set_CancelButton_Text(const std::string& v) {
    cmdCancel.setCaption(v);
    changed("CancelButton_Text");
}
void ftpControl::set_CancelButton_Enabled(bool v) {
    cmdCancel.setEnabled(v);
    changed("CancelButton_Enabled");
}
std::int32_t ftpControl::CancelButton_Width() const { return static_cast<std::int32_t>(std::nearbyint(cancelWidth_)); }
void ftpControl::set_CancelButton_Width(double twips) {
    cancelWidth_ = twips;
    setSize(width_, height_);
    changed("CancelButton_Width");
}

void ftpControl::ReadProperties(const PropertyBag& bag) {
    auto value = [&](const std::string& name, const std::string& def) {
        for (const auto& [k, v] : bag)
            if (k == name) return v;
        return def;
    };
    auto tryApply = [](const std::function<void()>& fn) {
        try {
            fn();
        } catch (...) {
            // A property that cannot be read or applied keeps its value.
        }
    };
    tryApply([&] {
        const long v = std::stol(value("ftp_remote_port", "21"));
        if (v >= -32768 && v <= 32767) set_ftp_remote_port(static_cast<std::int16_t>(v));
    });
    tryApply([&] { set_ftp_remote_address(value("ftp_remote_address", "ftp://ftp.")); });
    tryApply([&] { set_ftp_password(value("ftp_password", "")); });
    tryApply([&] {
        bool b;
        if (parseBool(value("ftp_is_ascii_mode", "False"), b)) set_ftp_is_ascii_mode(b);
    });
    tryApply([&] { set_ftp_username(value("ftp_username", "anonymous")); });
    tryApply([&] { set_ftp_local_filename(value("ftp_local_filename", "c:\\")); });
    tryApply([&] { set_ftp_remote_filename(value("ftp_remote_filename", "/public_html/")); });
    tryApply([&] {
        Colour c;
        if (parseColour(value("BackColour", colourText(kButtonFaceColour)), c)) set_BackColour(c);
    });
    tryApply([&] {
        Colour c;
        if (parseColour(value("FontColour", colourText(kButtonTextColour)), c)) set_FontColour(c);
    });
    tryApply([&] { set_CancelButton_Text(value("CancelButton_Text", "Cancel Transfer")); });
    tryApply([&] {
        bool b;
        if (parseBool(value("CancelButton_Enabled", "True"), b)) set_CancelButton_Enabled(b);
    });
    tryApply([&] { set_CancelButton_Width(std::stod(value("CancelButton_Width", "1575"))); });
}

ftpControl::PropertyBag ftpControl::WriteProperties() const {
    PropertyBag bag;
    auto put = [&](const char* name, const std::string& v, const std::string& writeDefault) {
        if (v != writeDefault) bag.emplace_back(name, v);
    };
    put("ftp_remote_port", std::to_string(port_), "21");
    put("ftp_remote_address", address_, "ftp://ftp.");
    put("ftp_password", password_, kPasswordWriteDefault);
    put("ftp_is_ascii_mode", ascii_ ? "True" : "False", "False");
    put("ftp_username", user_, "anonymous");
    put("ftp_local_filename", local_, "c:\\");
    put("ftp_remote_filename", remote_, "/public_html/");
    put("BackColour", colourText(back_), colourText(kButtonFaceColour));
    put("FontColour", colourText(FontColour()), colourText(kButtonTextColour));
    put("CancelButton_Text", CancelButton_Text(), "Cancel Transfer");
    put("CancelButton_Enabled", CancelButton_Enabled() ? "True" : "False", "True");
    put("CancelButton_Width", std::to_string(CancelButton_Width()), "1575");
    return bag;
}

void ftpControl::setSize(double width, double /*height*/) {
    width_ = width;
    height_ = kHeight;
    barWidth_ = width - 2 * kBarLeft;
    statusWidth_ = width - 2 * kStatusLeft;
    cancelLeft_ = (width - cancelWidth_) / 2;
}

void ftpControl::ShowTransferProgress(std::int64_t done, std::int64_t total, const std::string& text) {
    pbTransferStatus.setRange(0, 100);
    if (total == 0) {
        pbTransferStatus.setValue(0);
        lblStatus.setText(text);
        return;
    }
    banner(kDownloadingBanner, kBannerRed);
    const auto percent = static_cast<std::int16_t>(done * 100 / total);
    pbTransferStatus.setValue(percent);
    lblStatus.setText(text + " (" + std::to_string(percent) + "%)");
}

void ftpControl::ftp_Download_quick(Finished finished) { run(false, std::move(finished)); }

void ftpControl::ftp_Upload_quick(Finished finished) { run(true, std::move(finished)); }

void ftpControl::run(bool upload, Finished finished) {
    if (job_) {
        // One transfer at a time: the host never starts a second one, and a second call changes nothing.
        if (finished) finished(false, "Unknown");
        return;
    }
    auto job = std::make_unique<Job>();
    job->finished = std::move(finished);
    job->upload = upload;
    // The transfer works on a copy: property changes made while it runs do not reach it.
    job->ascii = ascii_;
    job->localPath = mapWindowsPath(local_);
    // The property is a signed 16-bit number; ports above 32767 are kept as their 16 bits.
    job->url = ftpUrl(address_, static_cast<std::uint16_t>(port_), remote_);
    lastAddress_ = job->url;
    lastFailure_.clear();
    if (!upload && (remote_.empty() || remote_.back() == '/')) {
        // A folder's name: the server would send its listing, which is no file to keep. It fails as a
        // transfer step, as a local file that cannot be opened does.
        job_ = std::move(job);
        job_->loggedIn = true;
        stop(remote_.empty() ? "no remote file name" : "the remote name \"" + remote_ + "\" names a folder");
        return;
    }

    if (upload)
        ShowTransferProgress(1, 4, "Creating Session..");
    else
        ShowTransferProgress(0, 0, "Creating Session..");
    if (!transfers_) {
        lastFailure_ = "no transfer session";
        showFailure(kSessionFailed);
        if (job->finished) job->finished(false, kSessionFailed);
        return;
    }
    if (upload)
        ShowTransferProgress(2, 4, "Creating FTP Session..");
    else
        ShowTransferProgress(0, 0, "Creating FTP Session..");

    TransferRequest request;
    request.direction = upload ? TransferRequest::Direction::Put : TransferRequest::Direction::Get;
    request.url = job->url;
    request.agent = upload ? kUploadAgent : kDownloadAgent;
    request.user = user_;
    request.password = password_;
    request.ascii = ascii_;
    request.active = true;
    request.direct = true;
    request.localPath = job->localPath;

    Job* raw = job.get();
    if (!upload && !raw->file.open(raw->localPath)) {
        // Nowhere to put the file: the transfer fails at its file step, after the log-in it never made.
        job_ = std::move(job);
        raw->loggedIn = true;
        stop(raw->file.error());
        return;
    }
    raw->guard = std::make_unique<TransferGuard>(rt_, limits_, upload ? std::string() : raw->file.temporaryPath(),
                                                 [this](const std::string& why) { stop(why); });
    TransferEvents events;
    events.loggedIn = [this, raw] {
        raw->loggedIn = true;
        ShowTransferProgress(3, 4,
                             std::string(raw->upload ? "Connected! Uploading File..  (" : "Connected! Downloading File..  (") +
                                 (raw->ascii ? "Ascii Mode" : "Binary Mode") + ").. Please Wait.");
    };
    events.sized = [raw](std::int64_t size) {
        raw->stopReason = raw->guard->sized(size);
        return raw->stopReason.empty();
    };
    events.progress = [raw](std::int64_t total) {
        raw->stopReason = raw->guard->moved(total);
        return raw->stopReason.empty();
    };
    events.done = [this, upload](const TransferOutcome& outcome) { finish(upload, outcome); };
    if (!upload) request.sinkFd = raw->file.fd();
    job_ = std::move(job);
    raw->transfer = transfers_->start(request, std::move(events));
}

void ftpControl::finish(bool upload, const TransferOutcome& outcome) {
    std::unique_ptr<Job> job = std::move(job_);
    job->transfer.reset();
    job->guard.reset();
    bool ok = outcome.ok;
    std::string reason = job->stopReason.empty() ? transferReason(outcome) : job->stopReason;
    if (ok && !upload && !job->file.commit()) {
        ok = false;
        reason = job->file.error();
    }
    job->file.discard();
    std::string result;
    if (ok) {
        ShowTransferProgress(4, 4, upload ? "Upload Success, disconnecting." : "Download Success, disconnecting.");
        result = upload ? "upload complete." : "download complete.";
        if (!upload) banner(kCompleteBanner, kBannerGreen);
    } else if (!job->loggedIn && !(outcome.failure == TransferFailure::LocalFile && job->stopReason.empty())) {
        // A local file the transfer refused before it connected failed at the file step all the same.
        result = kConnectFailed;
        showFailure(result);
    } else {
        result = upload ? "Failed uploading file, check file permissions (both remote & local) and try again."
                        : "Failed downloading file, check file permissions (both remote & local) and try again.";
        showFailure("Failed");
    }
    if (!ok) lastFailure_ = reason;
    Finished finished = std::move(job->finished);
    job.reset();
    if (finished) finished(ok, result);
}

void ftpControl::stop(const std::string& why) {
    if (!job_) return;
    job_->stopReason = why;
    TransferOutcome out;
    out.failure = TransferFailure::LocalFile;
    finish(job_->upload, out);
}

void ftpControl::showFailure(const std::string& text) {
    // A failure leaves no step of the transfer on show: no "please wait", no part of the bar.
    pbTransferStatus.setRange(0, 100);
    pbTransferStatus.setValue(0);
    lblStatus.setText(text);
    banner(kFailedBanner, kBannerRed);
}

void ftpControl::abandon() {
    if (!job_) return;
    std::unique_ptr<Job> job = std::move(job_);
    job->transfer.reset();
    job->file.discard();
}

}  // namespace tarnwick
