// Form13's slots and schedules: the URL and FTP buttons, the two batches, "Connect", "Quick Upload"
// and the one-second schedule of each road.

#include "download/downloader.h"

#include <memory>
#include "download/inet_errors.h"
#include "runtime/runtime.h"

namespace tarnwick {

namespace {

bool beginsFtp(const std::string& s) { return s.rfind("ftp", 0) == 0; }

}  // namespace

// ---- URL road ----

void Form13::urlButtons(bool on) {
    for (CommandButton* b : {&Command12, &Command17, &Command14, &Command1}) b->setEnabled(on);
}

static TextBox& urlBox(Form13& f, int slot) {
    TextBox* boxes[] = {&f.txtURL11, &f.txtURL22, &f.txtURL33, &f.Text1};
    return *boxes[slot];
}

static CheckBox& urlUse(Form13& f, int slot) {
    CheckBox* boxes[] = {&f.Check1, &f.Check2, &f.Check3, &f.Check4};
    return *boxes[slot];
}

void Form13::urlButton(int slot) {
    // One URL transfer at a time: a press while one runs is passed over.
    if (urlBusy()) return;
    CancelFlag = false;
    urlButtons(false);
    cmdCancel.setEnabled(true);
    auto after = [this](bool) {
        cmdCancel.setEnabled(false);
        urlButtons(true);
    };
    const std::string url = urlBox(*this, slot).text();
    if (beginsFtp(url)) return after(false);
    DownloadAFile(kNewsFiles[slot], url, false, true, after);
}

void Form13::skipped(const std::string& what, const std::string& busyWith) {
    ctx_.rt.error(name() + " " + what, "skipped, the transfer of " + busyWith + " has not ended");
}

void Form13::GetURL2() { urlBatch("URL batch"); }

void Form13::urlBatch(const std::string& what) {
    // One transfer at a time on a road: what falls due meanwhile is skipped, not queued.
    if (urlBusy()) return skipped(what, url_->url);
    CancelFlag = false;
    urlButtons(false);
    cmdCancel.setEnabled(true);
    batchStep(0);
}

void Form13::batchStep(int slot) {
    // A cancel ends the batch: the later slots keep their files.
    for (; slot < 4 && !CancelFlag; ++slot) {
        const std::string url = urlBox(*this, slot).text();
        if (beginsFtp(url) || !urlUse(*this, slot).ticked()) continue;
        // 0: under way inside the call, 1: finished inside it, 2: goes on when it reports.
        auto state = std::make_shared<int>(0);
        DownloadAFile(kNewsFiles[slot], url, false, true, [this, slot, state](bool) {
            if (*state == 0)
                *state = 1;
            else
                batchStep(slot + 1);
        });
        if (*state == 1) continue;
        *state = 2;
        return;
    }
    cmdCancel.setEnabled(false);
    urlButtons(true);
}

void Form13::connectButton() {
    if (urlBusy()) return;
    CancelFlag = false;
    cmdGo.setEnabled(false);
    cmdCancel.setEnabled(true);
    DownloadAFile(kNewsFiles[3], txtURL.text(), false, true, [this](bool) {
        cmdCancel.setEnabled(false);
        cmdGo.setEnabled(true);
    });
}

void Form13::periodChange() {
    tryStep("BeaconPeriod4", [&] {
        if (BeaconPeriod4.text().empty()) {
            BeaconPeriod4.setText("0");
            Beacon4.setEnabled(false);
        } else {
            Beacon4.setEnabled(true);
        }
        BeaconSeconds4.setText(std::to_string(boxCount(BeaconPeriod4.text()) * 60));
    });
}

// ---- FTP road ----

void Form13::ftpButtons(bool on) {
    for (CommandButton* b : {&cmdDownload, &cmdDownload2, &cmdDownload3}) b->setEnabled(on);
}

void Form13::ConfigureFtpTransfer() {
    ftpControl1.set_ftp_is_ascii_mode(false);
    ftpControl1.set_ftp_local_filename(MyFile.text());
    ftpControl1.set_ftp_password(kFtpPassword);
    ftpControl1.set_ftp_remote_address(RemoteAddress.text());
    ftpControl1.set_ftp_remote_filename(RemoteFilename.text());
    ftpControl1.set_ftp_remote_port(21);
    ftpControl1.set_ftp_username("anonymous");
}

void Form13::ftpSlot(int slot, std::function<void()> then) {
    RemoteAddress.setText(RemoteAddress_[slot].text());
    RemoteFilename.setText(RemoteFilename_[slot].text());
    MyFile.setText(MyFile_[slot].text());
    LabelInfo.setForeColour(kRed);
    LabelInfo.setText("Downloading");
    ConfigureFtpTransfer();
    ftpControl1.ftp_Download_quick([this, then = std::move(then)](bool ok, const std::string&) {
        if (!ok)
            ctx_.rt.error(name() + " FTP download " + ftpControl1.lastAddress(), ftpControl1.lastFailure());
        for (TextBox* b : {&RemoteAddress, &RemoteFilename, &MyFile}) b->setText("100%");
        LabelInfo.setForeColour(kDefaultColour);
        LabelInfo.setText("Status: Idle");
        if (then) then();
    });
}

void Form13::ftpButton(int slot) {
    if (ftpBusy()) return;
    ftpButtons(false);
    if (!beginsFtp(RemoteAddress_[slot].text())) return ftpButtons(true);
    ftpSlot(slot, [this] { ftpButtons(true); });
}

void Form13::GetURL() { ftpBatch("FTP batch"); }

void Form13::ftpBatch(const std::string& what) {
    if (ftpBusy()) return skipped(what, addressShown(ftpControl1.lastAddress()));
    ftpButtons(false);
    ftpBatchStep(0);
}

void Form13::ftpBatchStep(int slot) {
    CheckBox* use[] = {&Check11, &Check22, &Check33};
    for (; slot < 3; ++slot) {
        if (!beginsFtp(RemoteAddress_[slot].text()) || !use[slot]->ticked()) continue;
        // The control always reports later, so the batch goes on from its report.
        ftpSlot(slot, [this, slot] { ftpBatchStep(slot + 1); });
        return;
    }
    ftpButtons(true);
}

void Form13::quickUpload() {
    if (ftpBusy()) return;
    ConfigureFtpTransfer();
    ftpControl1.ftp_Upload_quick([this](bool ok, const std::string& result) {
        if (!ok) ctx_.rt.error(name() + " FTP upload " + ftpControl1.lastAddress(), ftpControl1.lastFailure());
        ctx_.rt.messageBox(ok ? "Success!" : "Failed.", "Result: " + result, MsgButtons::Ok, MsgIcon::Information);
    });
}

// ---- Schedules ----

void Form13::scheduleTick(Road& road, Timer& timer, bool ftp) {
    if (!timer.enabled()) return;
    // A period of 0 (or, on the FTP road, one that is empty or no number) becomes 1, so no road ever
    // fetches every second; for the URL road the change handling then reloads the countdown.
    if (leadingNumber(road.period->text()).value_or(0) == 0 && !road.period->text().empty()) road.period->setText("1");
    if (ftp && road.period->text().empty()) road.period->setText("1");
    const LocalTime now = ctx_.rt.localTime();
    road.clock->setText(now.hms());

    // Every second since the last tick is looked at once (a held thread skips none, within a minute),
    // and one minute's action runs at most once.
    const std::string setTime = road.hour->text() + ":" + road.mins->text() + ":00";
    for (const LocalTime& m : road.moments.since(now)) {
        if (!road.days[m.weekday - 1]->ticked() || m.hms() != setTime) continue;
        const std::int64_t minute = localEpochSeconds(m) / 60;
        if (minute == road.lastFired) continue;
        road.lastFired = minute;
        if (ftp)
            ftpBatch("weekly FTP download");
        else
            urlBatch("weekly URL download");
        if (!timer.enabled()) return;
    }

    // The seconds hold up to 60 times the largest period.
    if (road.use->ticked())
        road.seconds->setText(std::to_string(boxCount(road.seconds->text(), kBoxCountMax * 60) - 1));
    if (road.seconds->text() == "0") {
        road.seconds->setText(std::to_string(boxCount(road.period->text()) * 60));
        if (ftp)
            ftpBatch("FTP countdown");
        else
            urlBatch("URL countdown");
    }
}

}  // namespace tarnwick
