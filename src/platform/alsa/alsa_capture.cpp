#include "platform/alsa/alsa_capture.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "runtime/runtime.h"

namespace tarnwick {

namespace {

// A configuration tree made from text, for devices defined outside the system's configuration.
snd_config_t* loadConfig(const std::string& text) {
    snd_config_t* top = nullptr;
    if (snd_config_top(&top) < 0) return nullptr;
    snd_input_t* in = nullptr;
    if (snd_input_buffer_open(&in, text.data(), static_cast<ssize_t>(text.size())) < 0) {
        snd_config_delete(top);
        return nullptr;
    }
    const int err = snd_config_load(top, in);
    snd_input_close(in);
    if (err < 0) {
        snd_config_delete(top);
        return nullptr;
    }
    return top;
}

class AlsaCaptureStream : public CaptureStream {
public:
    AlsaCaptureStream(Runtime& rt, snd_pcm_t* pcm, snd_config_t* config, int rate, int channels, CaptureNotify notify)
        : CaptureStream(std::move(notify)), rt_(rt), pcm_(pcm), config_(config), rate_(rate), channels_(channels),
          pace_(rt) {
        pace_.onTick = [this] { readAvailable(); };
    }
    ~AlsaCaptureStream() override { release(); }

    // The first buffer's length sets the period; the number of buffers the periods in the device.
    bool prepare(CaptureHeader& h) override {
        if (!CaptureStream::prepare(h)) return false;
        if (periodBytes_ == 0) periodBytes_ = h.bufferLength;
        ++periods_;
        return true;
    }

    // Sets the format: false when the device does not take it.
    bool configure(snd_pcm_uframes_t periodFrames, unsigned periods) {
        snd_pcm_hw_params_t* hw = nullptr;
        snd_pcm_hw_params_alloca(&hw);
        if (snd_pcm_hw_params_any(pcm_, hw) < 0) return false;
        if (snd_pcm_hw_params_set_access(pcm_, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0) return false;
        if (snd_pcm_hw_params_set_format(pcm_, hw, SND_PCM_FORMAT_S16_LE) < 0) return false;
        if (snd_pcm_hw_params_set_channels(pcm_, hw, static_cast<unsigned>(channels_)) < 0) return false;
        if (snd_pcm_hw_params_set_rate(pcm_, hw, static_cast<unsigned>(rate_), 0) < 0) return false;
        if (periodFrames) {
            int dir = 0;
            snd_pcm_hw_params_set_period_size_near(pcm_, hw, &periodFrames, &dir);
            unsigned p = std::max(2u, periods);
            snd_pcm_hw_params_set_periods_near(pcm_, hw, &p, &dir);
        }
        if (snd_pcm_hw_params(pcm_, hw) < 0) return false;
        snd_pcm_hw_params_get_buffer_size(hw, &bufferFrames_);
        snd_pcm_uframes_t period = 0;
        int dir = 0;
        snd_pcm_hw_params_get_period_size(hw, &period, &dir);
        periodFrames_ = std::max<snd_pcm_uframes_t>(period, 1);
        return true;
    }

protected:
    bool onStart() override {
        const std::size_t frameBytes = static_cast<std::size_t>(channels_) * 2;
        if (!configure(periodBytes_ / frameBytes, periods_)) return false;
        if (snd_pcm_prepare(pcm_) < 0 || snd_pcm_start(pcm_) < 0) return false;
        watch();
        return true;
    }
    void onStop() override {
        pace_.setEnabled(false);
        unwatch();
        snd_pcm_drop(pcm_);
    }
    // A device read by the clock reads again at its next tick.
    void onQueued() override {
        if (!paced_ && watches_.empty()) watch();
    }
    void onClose() override { release(); }

private:
    // Gives the device back, once.
    void release() {
        pace_.setEnabled(false);
        unwatch();
        if (pcm_) snd_pcm_close(pcm_);
        pcm_ = nullptr;
        if (config_) snd_config_delete(config_);
        config_ = nullptr;
    }

    void watch() {
        const int n = snd_pcm_poll_descriptors_count(pcm_);
        if (n <= 0) return;
        std::vector<pollfd> fds(static_cast<std::size_t>(n));
        snd_pcm_poll_descriptors(pcm_, fds.data(), static_cast<unsigned>(n));
        for (const pollfd& p : fds) watches_.push_back(rt_.addReadWatch(p.fd, [this] { readAvailable(); }));
    }
    void unwatch() {
        for (int id : watches_) rt_.removeWatch(id);
        watches_.clear();
    }

    // Takes what the device holds into the queued buffers, and hands the filled ones to the owner as
    // the read ends. With none queued the sound waits in the device, which holds as many periods as
    // the ring, and the loop stops watching until a buffer is queued again; only when the device
    // overruns too is the gap lost.
    void readAvailable() {
        if (!running()) return;
        readFrames();
        reportFilled();
    }

    void readFrames() {
        for (int rounds = 0; rounds < 16; ++rounds) {
            const std::size_t room = queuedCapacity() / static_cast<std::size_t>(channels_);
            if (room == 0) {
                if (!paced_) unwatch();
                return;
            }
            snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
            if (avail < 0) {
                recover(static_cast<int>(avail));
                break;
            }
            if (avail == 0) break;
            snd_pcm_uframes_t frames = std::min<snd_pcm_uframes_t>({static_cast<snd_pcm_uframes_t>(avail), 4096, room});
            noteWhetherPaced(static_cast<snd_pcm_uframes_t>(avail));
            if (paced_) {
                // Only as much as the clock has let through since the pacing began.
                const std::int64_t due = (rt_.monotonicMs() - pacedSinceMs_) * rate_ / 1000 - pacedFrames_;
                if (due <= 0) break;
                frames = std::min<snd_pcm_uframes_t>(frames, static_cast<snd_pcm_uframes_t>(due));
            }
            buffer_.resize(frames * static_cast<std::size_t>(channels_));
            const snd_pcm_sframes_t got = snd_pcm_readi(pcm_, buffer_.data(), frames);
            if (got == -EAGAIN) break;
            if (got < 0) {
                recover(static_cast<int>(got));
                break;
            }
            if (paced_) pacedFrames_ += got;
            deliver(buffer_.data(), static_cast<std::size_t>(got) * static_cast<std::size_t>(channels_));
        }
    }

    // A sound card's buffer can only be full when its reader was late, and then the device stops with
    // an overrun. A device that offers a whole buffer again right after it was read keeps no time at
    // all (a file or null device): it is read at the recording's rate by the clock, rather than as fast
    // as the loop can take it.
    void noteWhetherPaced(snd_pcm_uframes_t avail) {
        if (paced_ || bufferFrames_ == 0) return;
        fullBuffers_ = avail >= bufferFrames_ ? fullBuffers_ + 1 : 0;
        if (fullBuffers_ < 3) return;
        paced_ = true;
        pacedSinceMs_ = rt_.monotonicMs();
        pacedFrames_ = 0;
        unwatch();
        // From now on it wakes once a period, after a recovery too (nothing else would wake it: it is
        // not watched), and reads what the clock let through; the timer runs on from tick to tick.
        const auto ms = static_cast<int>((periodFrames_ * 1000 + static_cast<snd_pcm_uframes_t>(rate_) - 1) /
                                         static_cast<snd_pcm_uframes_t>(rate_));
        pace_.setInterval(std::max(10, ms));
        // A late read takes what the clock lets through; waiting up to half a period lets it share
        // the display's wake-up.
        pace_.setLeeway(pace_.interval() / 2);
        pace_.setEnabled(true);
    }

    // An overrun (the owner was late) or a suspend: the device starts again and the gap is lost.
    void recover(int err) {
        if (snd_pcm_recover(pcm_, err, 1) < 0) {
            rt_.error("capture", snd_strerror(err));
            return;
        }
        snd_pcm_start(pcm_);
    }

    Runtime& rt_;
    snd_pcm_t* pcm_;
    snd_config_t* config_;
    int rate_, channels_;
    std::size_t periodBytes_ = 0;
    unsigned periods_ = 0;
    snd_pcm_uframes_t bufferFrames_ = 0, periodFrames_ = 1;
    std::vector<int> watches_;
    std::vector<std::int16_t> buffer_;
    // A device that keeps no time, read by the clock (noteWhetherPaced).
    Timer pace_;
    int fullBuffers_ = 0;
    bool paced_ = false;
    std::int64_t pacedSinceMs_ = 0;
    std::int64_t pacedFrames_ = 0;
};

std::uint32_t lineType(const std::string& name) {
    auto has = [&](const char* s) { return name.find(s) != std::string::npos; };
    if (has("Mic")) return kLineSrcMicrophone;
    if (has("Line")) return kLineSrcLine;
    if (has("CD")) return kLineSrcCompactDisc;
    if (has("Aux")) return kLineSrcAuxiliary;
    if (has("IEC958") || has("SPDIF") || has("Digital")) return kLineSrcDigital;
    return kLineSrcAnalog;
}

// The card's recording lines: the items of its capture-source selector when it has one, else its
// elements with a capture switch. The wave-in destination is destination 0.
class AlsaMixer : public CaptureMixer {
public:
    explicit AlsaMixer(snd_mixer_t* m) : m_(m) {
        for (snd_mixer_elem_t* e = snd_mixer_first_elem(m_); e; e = snd_mixer_elem_next(e)) {
            if (!snd_mixer_selem_is_active(e)) continue;
            if (!selector_ && snd_mixer_selem_is_enum_capture(e)) selector_ = e;
            if (snd_mixer_selem_has_capture_switch(e)) switches_.push_back(e);
        }
        if (selector_) {
            const int n = snd_mixer_selem_get_enum_items(selector_);
            for (int i = 0; i < n; ++i) {
                char name[64] = {};
                snd_mixer_selem_get_enum_item_name(selector_, static_cast<unsigned>(i), sizeof name, name);
                lines_.push_back({name, volumeElement(name)});
            }
        } else {
            for (snd_mixer_elem_t* e : switches_) {
                const std::string name = snd_mixer_selem_get_name(e);
                lines_.push_back({name, snd_mixer_selem_has_capture_volume(e) ? e : nullptr});
            }
        }
    }
    ~AlsaMixer() override { snd_mixer_close(m_); }

    int destinationCount() override { return 1; }
    bool destination(int index, MixerLineInfo& out) override {
        if (index != 0) return false;
        out = {};
        out.name = "Capture";
        out.componentType = kLineDstWaveIn;
        out.connections = static_cast<int>(lines_.size());
        out.channels = 2;
        return true;
    }
    bool source(int dest, int index, MixerLineInfo& out) override {
        if (dest != 0 || index < 0 || index >= static_cast<int>(lines_.size())) return false;
        const Line& l = lines_[static_cast<std::size_t>(index)];
        out = {};
        out.name = l.name.substr(0, 63);
        out.componentType = lineType(l.name);
        out.channels = l.volume && !snd_mixer_selem_is_capture_mono(l.volume) ? 2 : 1;
        out.lineId = static_cast<std::uint32_t>(index + 1);
        return true;
    }
    bool selectorItems(int dest, int& count) override {
        if (dest != 0 || lines_.empty()) return false;
        count = static_cast<int>(lines_.size());
        return true;
    }
    bool readSelector(int dest, std::vector<std::int32_t>& values) override {
        int count = 0;
        if (!selectorItems(dest, count)) return false;
        snd_mixer_handle_events(m_);
        values.assign(static_cast<std::size_t>(count), 0);
        for (int line = 0; line < count; ++line) values[static_cast<std::size_t>(count - 1 - line)] = lineOn(line);
        return true;
    }
    bool writeSelector(int dest, const std::vector<std::int32_t>& values) override {
        int count = 0;
        if (!selectorItems(dest, count) || static_cast<int>(values.size()) != count) return false;
        for (int line = 0; line < count; ++line) {
            const bool on = values[static_cast<std::size_t>(count - 1 - line)] != 0;
            if (selector_) {
                if (on) snd_mixer_selem_set_enum_item(selector_, SND_MIXER_SCHN_MONO, static_cast<unsigned>(line));
            } else {
                snd_mixer_selem_set_capture_switch_all(switches_[static_cast<std::size_t>(line)], on ? 1 : 0);
            }
        }
        return true;
    }
    std::uint32_t volumeControl(std::uint32_t lineId) override {
        if (lineId < 1 || lineId > lines_.size()) return 0;
        return lines_[lineId - 1].volume ? lineId : 0;
    }
    bool readVolume(std::uint32_t control, int channels, std::int32_t* values) override {
        snd_mixer_elem_t* e = volumeOf(control);
        if (!e) return false;
        snd_mixer_handle_events(m_);
        long lo = 0, hi = 0;
        snd_mixer_selem_get_capture_volume_range(e, &lo, &hi);
        for (int c = 0; c < channels; ++c) {
            long v = lo;
            snd_mixer_selem_get_capture_volume(e, static_cast<snd_mixer_selem_channel_id_t>(c), &v);
            values[c] = hi > lo ? static_cast<std::int32_t>(std::lround(double(v - lo) * 65535.0 / double(hi - lo))) : 0;
        }
        return true;
    }
    bool writeVolume(std::uint32_t control, int channels, const std::int32_t* values) override {
        snd_mixer_elem_t* e = volumeOf(control);
        if (!e) return false;
        long lo = 0, hi = 0;
        snd_mixer_selem_get_capture_volume_range(e, &lo, &hi);
        for (int c = 0; c < channels; ++c) {
            const double v = std::clamp(values[c], 0, 65535);
            snd_mixer_selem_set_capture_volume(e, static_cast<snd_mixer_selem_channel_id_t>(c),
                                               lo + std::lround(v * double(hi - lo) / 65535.0));
        }
        return true;
    }

private:
    struct Line {
        std::string name;
        snd_mixer_elem_t* volume;
    };
    // The capture volume of a selector item: the element of that name, else the card's "Capture".
    snd_mixer_elem_t* volumeElement(const std::string& name) {
        snd_mixer_elem_t* fallback = nullptr;
        for (snd_mixer_elem_t* e = snd_mixer_first_elem(m_); e; e = snd_mixer_elem_next(e)) {
            if (!snd_mixer_selem_has_capture_volume(e)) continue;
            const std::string n = snd_mixer_selem_get_name(e);
            if (n == name) return e;
            if (n == "Capture" && !fallback) fallback = e;
        }
        return fallback;
    }
    snd_mixer_elem_t* volumeOf(std::uint32_t control) {
        if (control < 1 || control > lines_.size()) return nullptr;
        return lines_[control - 1].volume;
    }
    std::int32_t lineOn(int line) {
        if (selector_) {
            unsigned item = 0;
            snd_mixer_selem_get_enum_item(selector_, SND_MIXER_SCHN_MONO, &item);
            return static_cast<int>(item) == line ? 1 : 0;
        }
        int on = 0;
        snd_mixer_selem_get_capture_switch(switches_[static_cast<std::size_t>(line)], SND_MIXER_SCHN_FRONT_LEFT, &on);
        return on ? 1 : 0;
    }

    snd_mixer_t* m_;
    snd_mixer_elem_t* selector_ = nullptr;
    std::vector<snd_mixer_elem_t*> switches_;
    std::vector<Line> lines_;
};

}  // namespace

AlsaCaptureSource::AlsaCaptureSource(Runtime& rt) : AlsaCaptureSource(rt, systemDevices()) {}

namespace {
// alsa-lib's own complaints would reach stderr beside the program's diagnostics; the recorder reports
// what fails through its results instead.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
}  // namespace

AlsaCaptureSource::AlsaCaptureSource(Runtime& rt, std::vector<AlsaCaptureDevice> devices, std::string defaultPcm)
    : rt_(rt), devices_(std::move(devices)), defaultPcm_(std::move(defaultPcm)) {
    snd_lib_error_set_handler(quietAlsa);
}

std::vector<AlsaCaptureDevice> AlsaCaptureSource::cardDevices() {
    snd_lib_error_set_handler(quietAlsa);
    std::vector<AlsaCaptureDevice> out;
    snd_ctl_card_info_t* card = nullptr;
    snd_pcm_info_t* pcm = nullptr;
    snd_ctl_card_info_alloca(&card);
    snd_pcm_info_alloca(&pcm);
    int number = -1;
    while (snd_card_next(&number) == 0 && number >= 0) {
        const std::string ctlName = "hw:" + std::to_string(number);
        snd_ctl_t* ctl = nullptr;
        if (snd_ctl_open(&ctl, ctlName.c_str(), 0) < 0) continue;
        if (snd_ctl_card_info(ctl, card) >= 0) {
            int dev = -1;
            while (snd_ctl_pcm_next_device(ctl, &dev) == 0 && dev >= 0) {
                snd_pcm_info_set_device(pcm, static_cast<unsigned>(dev));
                snd_pcm_info_set_subdevice(pcm, 0);
                snd_pcm_info_set_stream(pcm, SND_PCM_STREAM_CAPTURE);
                if (snd_ctl_pcm_info(ctl, pcm) < 0) continue;
                AlsaCaptureDevice d;
                d.name = std::string(snd_ctl_card_info_get_name(card)) + ": " + snd_pcm_info_get_name(pcm);
                d.pcm = "plughw:" + std::to_string(number) + "," + std::to_string(dev);
                d.ctl = ctlName;
                out.push_back(d);
            }
        }
        snd_ctl_close(ctl);
    }
    return out;
}

namespace {

// One field of a device name hint; empty when the hint has none.
std::string hintField(const void* hint, const char* field) {
    char* value = snd_device_name_get_hint(hint, field);
    if (!value) return {};
    std::string out = value;
    std::free(value);
    return out;
}

// The control device whose mixer belongs to a PCM: its card's for a PCM named after a card
// ("sysdefault:CARD=PCH" belongs to "hw:CARD=PCH"), else one of the PCM's own name; a name with no
// control gives a mixer without lines.
std::string controlFor(const std::string& pcm) {
    const auto card = pcm.find("CARD=");
    if (card == std::string::npos) return pcm;
    const auto start = card + 5;
    return "hw:CARD=" + pcm.substr(start, pcm.find(',', start) - start);
}

}  // namespace

std::vector<AlsaCaptureDevice> AlsaCaptureSource::systemDevices() {
    snd_lib_error_set_handler(quietAlsa);
    std::vector<AlsaCaptureDevice> out;
    out.push_back({"default", "default", "default", ""});
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) >= 0 && hints) {
        for (void** h = hints; *h; ++h) {
            const std::string name = hintField(*h, "NAME");
            const std::string ioid = hintField(*h, "IOID");
            // Only described devices are offered, and none that plays only.
            if (name.empty() || hintField(*h, "DESC").empty() || (!ioid.empty() && ioid != "Input")) continue;
            if (std::any_of(out.begin(), out.end(), [&](const AlsaCaptureDevice& d) { return d.pcm == name; }))
                continue;
            out.push_back({name, name, controlFor(name), ""});
        }
        snd_device_name_free_hint(hints);
    }
    for (AlsaCaptureDevice& d : cardDevices()) out.push_back(std::move(d));
    return out;
}

std::string AlsaCaptureSource::deviceName(int index) {
    if (index < 0 || index >= deviceCount()) return {};
    return captureDeviceName(devices_[static_cast<std::size_t>(index)].name);
}

std::unique_ptr<CaptureStream> AlsaCaptureSource::open(int device, int rate, int channels, CaptureNotify notify) {
    if (device < -1 || device >= deviceCount() || rate < 1 || channels < 1) return nullptr;
    const AlsaCaptureDevice* d = device >= 0 ? &devices_[static_cast<std::size_t>(device)] : nullptr;
    const std::string name = d ? d->pcm : defaultPcm_;
    snd_config_t* config = nullptr;
    if (d && !d->config.empty() && !(config = loadConfig(d->config))) return nullptr;
    snd_pcm_t* pcm = nullptr;
    const int err = config ? snd_pcm_open_lconf(&pcm, name.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK, config)
                           : snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (err < 0) {
        if (config) snd_config_delete(config);
        return nullptr;
    }
    auto stream = std::make_unique<AlsaCaptureStream>(rt_, pcm, config, rate, channels, std::move(notify));
    if (!stream->configure(0, 0)) return nullptr;
    return stream;
}

std::unique_ptr<CaptureMixer> AlsaCaptureSource::openMixer(int device) {
    if (device < 0 || device >= deviceCount()) return nullptr;
    const std::string& ctl = devices_[static_cast<std::size_t>(device)].ctl;
    snd_mixer_t* m = nullptr;
    if (ctl.empty() || snd_mixer_open(&m, 0) < 0) return std::make_unique<EmptyMixer>();
    if (snd_mixer_attach(m, ctl.c_str()) < 0 || snd_mixer_selem_register(m, nullptr, nullptr) < 0 ||
        snd_mixer_load(m) < 0) {
        snd_mixer_close(m);
        return std::make_unique<EmptyMixer>();
    }
    return std::make_unique<AlsaMixer>(m);
}

}  // namespace tarnwick
