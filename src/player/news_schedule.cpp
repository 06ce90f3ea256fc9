// Form1's clocks: the weekly news scheduler with its disconnect warnings, the beacon countdowns and
// the CW ident.

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "player/news_player.h"
#include "player/player_text.h"
#include "runtime/clock_moments.h"
#include "runtime/runtime.h"
#include "toolbox/speech_face.h"

namespace tarnwick {

namespace {

std::string clockText(std::int64_t secondOfDay) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", static_cast<int>(secondOfDay / 3600),
                  static_cast<int>(secondOfDay / 60 % 60), static_cast<int>(secondOfDay % 60));
    return buf;
}

// An hour or minute box as the clock shows it: exactly two digits within range (" 9" is not "09").
std::optional<int> clockField(const std::string& text, int limit) {
    if (text.size() != 2 || !std::isdigit(static_cast<unsigned char>(text[0])) ||
        !std::isdigit(static_cast<unsigned char>(text[1])))
        return std::nullopt;
    auto v = wholeNumber(text);
    if (!v || *v >= limit) return std::nullopt;
    return static_cast<int>(*v);
}

}  // namespace

// ---- Weekly news scheduler ----

void Form1::schedulerTick() {
    // Inside the supervisor's or the break timer's yield a scheduled file that cannot be loaded would
    // hold that tick under its box; the next tick catches the skipped second.
    if (yielding_) return;
    ctx_.rt.yield();
    const LocalTime now = ctx_.rt.localTime();
    ShowTime.setCaption(now.hms());
    Label6.setCaption(Warn.text());

    // The seconds since the last tick, at most a minute old: each is looked at once even when a held
    // thread skipped it. A clock set back looks at the present again, so fired_ keeps each moment to
    // one firing.
    const std::vector<LocalTime> moments = scheduleMoments_.since(now);
    if (moments.empty()) return;
    const std::int64_t today = daysFromCivil(now.year, now.month, now.day);
    const std::int64_t from = localEpochSeconds(moments.front());
    const std::int64_t nowSec = localEpochSeconds(moments.back());
    for (auto it = fired_.begin(); it != fired_.end();)
        it = std::get<3>(*it) < nowSec - 2 * ClockMoments::kCatchUpSeconds ? fired_.erase(it) : std::next(it);

    struct Due {
        std::int64_t moment;
        int order;
        int plan;
        int time;
        bool warning;
    };
    std::vector<Due> due;
    const auto w = wholeNumber(Warn.text());
    for (int p = 0; p < 3; ++p) {
        const NewsPlan& plan = plans_[p];
        for (int k = 0; k < 2; ++k) {
            const auto startHour = clockField(plan.hour[k]->text(), 24);
            const auto startMin = clockField(plan.mins[k]->text(), 60);
            const auto hour = wholeNumber(plan.hour[k]->text());
            const auto mins = wholeNumber(plan.mins[k]->text());
            // A warning before midnight belongs to the next day's start, and to that day's box.
            for (std::int64_t day = today - 1; day <= today + 1; ++day) {
                if (!plan.days[weekdayOfDay(day) - 1]->ticked()) continue;
                const int order = p * 4 + k * 2;
                if (w && hour && mins && *hour < 24) {
                    std::int64_t m = day * 86400 + *hour * 3600 + (*mins - *w) * 60;
                    if (m >= from && m <= nowSec) due.push_back({m, order, p, k, true});
                }
                if (startHour && startMin) {
                    std::int64_t m = day * 86400 + *startHour * 3600 + *startMin * 60 + 15;
                    if (m >= from && m <= nowSec) due.push_back({m, order + 1, p, k, false});
                }
            }
        }
    }
    std::sort(due.begin(), due.end(), [](const Due& a, const Due& b) {
        return a.moment != b.moment ? a.moment < b.moment : a.order < b.order;
    });
    for (const Due& d : due) {
        if (!fired_.insert({d.plan, d.time, d.warning ? 1 : 0, d.moment}).second) continue;
        if (d.warning)
            scheduledWarning(d.moment);
        else
            scheduledStart(plans_[d.plan]);
    }
}

void Form1::scheduledWarning(std::int64_t moment) {
    if (!DisconnectAll.ticked() || !WarnCheck.ticked()) return;
    const std::int64_t secondOfDay = ((moment % 86400) + 86400) % 86400;
    tryStep("SendChatText", [&] {
        link_->SendChatText(clockText(secondOfDay) + "  <" + Warn.text() + "> Minute " + WarnText.text());
    });
    if (SpeechFace* sp = speech()) tryStep("kellow", [&] { sp->kellow(); });
}

void Form1::scheduledStart(const NewsPlan& plan) {
    CurrentFile.clear();
    PlayBox = plan.slot;
    tryStep("StartDTMF", [&] { StartDTMF(); });
    EndDTMF = 1;
    armMonitor();
    tryStep("TXFile", [&] { transmit(false); });
    const PlaySlot* s = slot(plan.slot);
    if (s && s->useVol) applyPreset(*s->useVol, *s->volSet);
    if (plan.slot == 1 && Check2.ticked()) SayFile2 = 1;
}

// ---- Countdowns ----

void Form1::periodRule(Countdown& c) {
    const long long minutes = positiveWhole(c.period->text());
    if (minutes == 0) {
        // No positive whole number of minutes: the countdown stops, showing "0".
        if (c.period->text() != "0") c.period->setText("0");
        c.timer->setEnabled(false);
    } else {
        c.timer->setEnabled(true);
    }
    c.seconds->setText(std::to_string(minutes * 60));
}

bool Form1::countdownStep(Countdown& c) {
    ctx_.rt.yield();
    if (!c.timer->enabled()) return false;
    if (c.period->text() == "0") c.period->setText("1");
    if (c.use->value() != 0)
        c.seconds->setText(std::to_string(boxCount(c.seconds->text()) - 1));
    if (boxCount(c.seconds->text()) > 0) return false;
    c.seconds->setText(std::to_string(positiveWhole(c.period->text()) * 60));
    return true;
}

void Form1::cwTick() {
    ctx_.rt.yield();
    if (!Beacon7.enabled()) return;
    Countdown& c = countdowns_[3];
    if (BeaconPeriod7.text() == "0") BeaconPeriod7.setText("1");
    const bool count = StopClock7.value() != 0 && ((Check1.value() == 1 && PTT.caption() == "PTT ON") ||
                                                   (Check1.value() == 0 && StopClock7.value() == 1));
    if (count) BeaconSeconds7.setText(std::to_string(boxCount(BeaconSeconds7.text()) - 1));
    if (boxCount(BeaconSeconds7.text()) > 0) return;
    BeaconSeconds7.setText(std::to_string(positiveWhole(c.period->text()) * 60));
    if (announcementsDisabled()) return;
    tryStep("CW ident", [&] {
        if (!link_->IsCarrierDetected()) link_->SendCWText(0, CWCallsign.text());
    });
}

}  // namespace tarnwick
