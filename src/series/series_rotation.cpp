// Form12's series: the rotation step and what calls it, the quarter-hour triggers of the clock
// and the weekly triggers.

#include <array>

#include "runtime/runtime.h"
#include "series/series_numbers.h"
#include "series/series_player.h"

namespace tarnwick {

using series::numberText;
using series::seriesNumber;

void Form12::kellow() { rotationStep(false); }

void Form12::rotationStep(bool allowDialog) {
    if (FileNumber.text() == "End") return;
    const auto end = seriesNumber(EndNox.text());
    auto next = seriesNumber(FileNumber.text());
    if (!end || !next) {
        ctx_.rt.error("Form12 kellow", "the next file \"" + FileNumber.text() + "\" or the end \"" + EndNox.text() +
                                           "\" is no number");
        return;
    }
    if (LoopFiles.ticked() && *next == *end + 1) {
        FileNumber.setText(StartNo.text());
        next = seriesNumber(FileNumber.text());
        if (!next) {
            ctx_.rt.error("Form12 kellow", "the start \"" + StartNo.text() + "\" is no number");
            return;
        }
    }
    if (*next == *end + 1) {
        Label2.setText("NO MORE FILES");
        FileNumber.setText("End");
        return;
    }
    // The number as typed ("05") names the file; the folder text is put in front verbatim.
    if (mp3.value()) txtFile.setText(MyDir.text() + FileNumber.text() + ".mp3");
    if (wav.value()) txtFile.setText(MyDir.text() + FileNumber.text() + ".wav");
    Playing.setText(FileNumber.text());
    FileNumber.setText(numberText(*next + 1));

    if (DisconnectAll.ticked()) tryStep("DisconnectAllStations", [&] { link_->DisconnectAllStations(); });
    if (ListAsBusyCheck.ticked()) {
        tryStep("SetBusy", [&] { link_->SetBusy(true); });
        busyForStep_ = true;
    }
    CurrentFile.clear();
    tryStep("TXFile", [&] { transmit(allowDialog); });
}

void Form12::clockTick() {
    const LocalTime now = ctx_.rt.localTime();
    ShowTime.setText(now.hms());
    EndNox.setText(EndNo.text());
    // Every second since the last tick is looked at once, also one a held thread let pass.
    for (const LocalTime& moment : clockMoments_.since(now)) {
        const std::string minSec = moment.hms().substr(3);
        if (minSec == "00:15" && InfoHourly.ticked()) kellow();
        if ((minSec == "45:15" || minSec == "15:15") && InfoQuarter.ticked()) kellow();
        if (minSec == "30:15" && InfoHalf.ticked()) kellow();
    }
    // The end of a file: besides the monitor's release, the break countdown is put back.
    if (link_ && Text2.text() == Text3.text()) {
        Beacon8.setEnabled(false);
        reloadBreakSeconds();
        unkeyOwn();
    }
}

void Form12::weeklyTick() {
    ctx_.rt.yield();
    const std::array<const CheckBox*, 7> days = {&Sun, &Mon, &Tue, &Wed, &Thur, &Fri, &Sat};
    // The boxes as typed: "9" never matches a clock reading, "24" is no time at all.
    const std::string first = Hour.text() + ":" + Mins.text() + ":15";
    const std::string second = Text11.text() + ":" + Text12.text() + ":15";
    for (const LocalTime& moment : weeklyMoments_.since(ctx_.rt.localTime())) {
        if (moment.weekday < 1 || moment.weekday > 7 || !days[moment.weekday - 1]->ticked()) continue;
        const std::string hms = moment.hms();
        if (hms == first) tryStep("kellow", [&] { kellow(); });
        if (hms == second) tryStep("kellow", [&] { kellow(); });
    }
}

}  // namespace tarnwick
