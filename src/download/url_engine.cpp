// Form13's URL engine: one resource copied into one news file, with the bar, the byte readout, the
// speed readout, the cancel and the close during a transfer.

#include <algorithm>

#include "download/downloader.h"
#include "download/inet_errors.h"
#include "download/transfer_guard.h"
#include "runtime/runtime.h"

namespace tarnwick {

namespace {

constexpr std::int64_t kBlock = 512;
constexpr double kTwipsPerPoint = 57.8;
constexpr const char* kAgent = "Downloader Demo";

std::string lowerCase(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace

std::string oneDecimal(std::int64_t value, std::int64_t divisor) {
    if (value < 0) return "-" + oneDecimal(-value, divisor);
    const std::int64_t tenths = (value * 20 + divisor) / (2 * divisor);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

int roundedPercent(std::int64_t done, std::int64_t size) {
    if (size <= 0 || done <= 0) return 0;
    if (done >= size) return 100;
    const std::int64_t num = done * 100;
    std::int64_t q = num / size;
    const std::int64_t twice = 2 * (num % size);
    if (twice > size || (twice == size && q % 2 == 1)) ++q;
    return static_cast<int>(q);
}

void Form13::DownloadAFile(const std::string& sFileName, const std::string& sURLfrom, bool, bool bProgressBar,
                           Done done) {
    const std::string shown = addressShown(sURLfrom);
    // A call that fails before any transfer: the reason is written and shown, the old file stays.
    auto fail = [&](const std::string& why) {
        lastError_ = why;
        ctx_.rt.error(name() + " download " + shown, why);
        showFailure(why);
        tmrSpeedTest.setEnabled(false);
        if (done) done(false);
    };
    const std::string lower = lowerCase(sURLfrom);
    if ((sFileName.empty() && sURLfrom.empty()) ||
        (lower.rfind("ftp://", 0) != 0 && lower.rfind("http://", 0) != 0))
        return fail("only http:// and ftp:// addresses are fetched");
    if (CancelFlag) {
        // A cancel stays in force until the next caller starts; the old file stays.
        if (done) done(false);
        return;
    }
    if (!transfers_) return fail("no transfer service");
    auto job = std::make_unique<UrlJob>();
    if (!job->file.open(mapWindowsPath(sFileName))) return fail(job->file.error());
    // A new transfer: the last one's failure is no longer news.
    txtPercent.setCaption("");
    job->url = shown;
    job->fileName = sFileName;
    job->progress = bProgressBar;
    job->done = std::move(done);

    UrlJob* raw = job.get();
    job->guard = std::make_unique<TransferGuard>(ctx_.rt, limits_, job->file.temporaryPath(),
                                                 [this](const std::string& why) { stopUrl(why); });
    TransferEvents events;
    events.sized = [raw](std::int64_t size) {
        raw->expected = size > 0 ? size : 0;
        raw->stopReason = raw->guard->sized(size);
        return raw->stopReason.empty();
    };
    events.progress = [this, raw](std::int64_t total) {
        raw->stopReason = raw->guard->moved(total);
        if (!raw->stopReason.empty()) return false;
        const std::int64_t before = raw->total / kBlock;
        raw->total = total;
        // The readouts move in whole blocks; the last, short block is shown at the end.
        tmrSpeedTest.setEnabled(true);
        if (raw->progress && raw->total / kBlock != before)
            ProgressBar(raw->expected, raw->total / kBlock * kBlock, raw->fileName);
        return true;
    };
    events.done = [this](const TransferOutcome& outcome) {
        std::string reason;
        if (!outcome.ok) reason = url_->stopReason.empty() ? transferReason(outcome) : url_->stopReason;
        finishUrl(outcome.ok, reason);
    };
    url_ = std::move(job);
    TransferRequest request;
    request.url = sURLfrom;
    request.agent = kAgent;
    request.sinkFd = raw->file.fd();
    // An ftp:// address is fetched as the FTP road fetches: the server connects back for the data.
    request.active = true;
    raw->transfer = transfers_->start(request, std::move(events));
}

void Form13::finishUrl(bool ok, const std::string& reason) {
    std::unique_ptr<UrlJob> job = std::move(url_);
    job->transfer.reset();
    job->guard.reset();
    std::string why = reason;
    if (ok) {
        // The end of the body: the size is what arrived.
        job->expected = job->total;
        if (job->progress) ProgressBar(job->expected, job->total, job->fileName);
        if (!job->file.commit()) {
            ok = false;
            why = job->file.error();
        }
    }
    job->file.discard();
    if (!ok) {
        lastError_ = why;
        ctx_.rt.error(name() + " download " + job->url, why);
        showFailure(why);
    }
    tmrSpeedTest.setEnabled(false);
    Done done = std::move(job->done);
    job.reset();
    if (done) done(ok);
}

void Form13::stopUrl(const std::string& why) {
    if (url_) finishUrl(false, why);
}

void Form13::showFailure(const std::string& why) {
    // The bar empties and the caption beside it says what failed, until the next transfer starts.
    Percent.setWidth(0);
    Percent.setCaption("");
    txtPercent.setForeColour(kRed);
    txtPercent.setCaption("Failed: " + why);
}

void Form13::cancelTransfer() {
    CancelFlag = true;
    if (!url_) return;
    // The cancel path: the transfer stops, the partial file goes, the old file stays. The speed timer
    // stays on.
    std::unique_ptr<UrlJob> job = std::move(url_);
    job->transfer.reset();
    job->guard.reset();
    job->file.discard();
    Done done = std::move(job->done);
    job.reset();
    if (done) done(false);
}

void Form13::ProgressBar(std::int64_t lSize, std::int64_t lDone, const std::string&) {
    if (lDone == 0) return;
    lastShown_ = lDone;
    if (lSize > 0) {
        const int percent = roundedPercent(lDone, lSize);
        txtPercent.setForeColour(percent < 50 ? kBlack : kWhite);
        const double width = percent * kTwipsPerPoint;
        if (Percent.width() != width) Percent.setWidth(width);
        const std::string caption = std::to_string(percent) + " %";
        if (Percent.caption() != caption) Percent.setCaption(caption);
    }
    const std::string bytes = oneDecimal(lDone, 1000) + "Kb / " + oneDecimal(lSize, 1000) + " Kb";
    if (lblData[0].caption() != bytes) lblData[0].setCaption(bytes);
}

void Form13::speedTick() {
    if (tmrSpeedTestTag == "CLOSEAPP") {
        if (!urlBusy() && !ftpBusy()) closeNow();
        return;
    }
    const std::int64_t delta = lastShown_ - previous_;
    if (delta > 0) {
        const std::string text = "Average : " + oneDecimal(delta, 1024) + " / Kbps";
        for (Label* l : {&lblData[1], &lblData[2]})
            if (l->caption() != text) l->setCaption(text);
    }
    previous_ = lastShown_;
}

}  // namespace tarnwick
