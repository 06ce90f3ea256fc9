#include "platform/sndfile/file_capture.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "runtime/runtime.h"

namespace tarnwick {

namespace {

class FileCaptureStream : public CaptureStream {
public:
    FileCaptureStream(Runtime& rt, SNDFILE* file, int fileChannels, int rate, int channels, CaptureNotify notify)
        : CaptureStream(std::move(notify)), rt_(rt), file_(file), fileChannels_(fileChannels), rate_(rate),
          channels_(channels), timer_(rt) {
        timer_.onTick = [this] { tick(); };
    }
    ~FileCaptureStream() override { release(); }

protected:
    bool onStart() override {
        if (ended_) return true;
        startMs_ = rt_.monotonicMs();
        startFrames_ = framesRead_;
        pace();
        return true;
    }
    void onStop() override { timer_.setEnabled(false); }
    void onClose() override { release(); }
    // The ring's buffers are queued once the device runs: the first one sets the pace.
    void onQueued() override {
        if (bufferFrames_ == 0 && !ended_) pace();
    }

private:
    // Gives the file back, once.
    void release() {
        timer_.setEnabled(false);
        if (file_) sf_close(file_);
        file_ = nullptr;
    }

    // Wakes once for every buffer's time and reads what the clock let through since the last tick.
    // The timer runs on from tick to tick rather than being set again for each buffer.
    void pace() {
        if (const std::size_t samples = bufferSamples(); samples > 0)
            bufferFrames_ = samples / static_cast<std::size_t>(channels_);
        const std::size_t frames = bufferFrames_ > 0 ? bufferFrames_ : static_cast<std::size_t>(rate_) / 20;
        const double ms = std::ceil(static_cast<double>(frames) * 1000.0 / rate_);
        timer_.setInterval(std::max(10, static_cast<int>(ms)));
        // A late read takes what the clock says is due, and the ring's other buffers wait meanwhile:
        // waiting up to half a buffer lets the read share the display's wake-up.
        timer_.setLeeway(timer_.interval() / 2);
        timer_.setEnabled(true);
    }

    void tick() {
        const std::int64_t due =
            startFrames_ + (rt_.monotonicMs() - startMs_) * static_cast<std::int64_t>(rate_) / 1000;
        // Only what the queued buffers take: the rest of what is due waits in the file until the owner
        // queues buffers again. A card would lose it; a file standing in for one in tests keeps it, so
        // a busy machine delays the recording and never cuts pieces out of it.
        const auto room = static_cast<std::int64_t>(queuedCapacity() / static_cast<std::size_t>(channels_));
        std::int64_t want = std::min(due - framesRead_, room);
        while (want > 0 && !ended_) {
            const sf_count_t chunk = static_cast<sf_count_t>(std::min<std::int64_t>(want, 4096));
            in_.resize(static_cast<std::size_t>(chunk) * static_cast<std::size_t>(fileChannels_));
            const sf_count_t got = sf_readf_short(file_, in_.data(), chunk);
            if (got > 0) {
                const std::size_t frames = static_cast<std::size_t>(got);
                // A file of the recording's channels is delivered as it was read.
                if (fileChannels_ == channels_) {
                    deliver(in_.data(), frames * static_cast<std::size_t>(channels_));
                } else {
                    convert(frames);
                    deliver(out_.data(), out_.size());
                }
                framesRead_ += got;
                want -= got;
            }
            if (got < chunk) ended_ = true;
        }
        if (ended_) {
            // The file is over: what was recorded comes back, and the device falls silent.
            flushPartial();
            timer_.setEnabled(false);
        }
        // The owner takes the buffers now, in this tick; it may stop the device as it does.
        reportFilled();
    }

    void convert(std::size_t frames) {
        out_.resize(frames * static_cast<std::size_t>(channels_));
        const std::size_t fc = static_cast<std::size_t>(fileChannels_);
        for (std::size_t f = 0; f < frames; ++f) {
            const std::int16_t* frame = &in_[f * fc];
            if (channels_ == 1) {
                out_[f] = fc == 1 ? frame[0] : static_cast<std::int16_t>((frame[0] + frame[1]) / 2);
            } else {
                out_[2 * f] = frame[0];
                out_[2 * f + 1] = fc == 1 ? frame[0] : frame[1];
            }
        }
    }

    Runtime& rt_;
    SNDFILE* file_;
    int fileChannels_, rate_, channels_;
    Timer timer_;
    std::int64_t startMs_ = 0;
    std::int64_t startFrames_ = 0;
    std::int64_t framesRead_ = 0;
    std::size_t bufferFrames_ = 0;  // the ring's buffer length, once known
    bool ended_ = false;
    std::vector<std::int16_t> in_, out_;
};

}  // namespace

FileCaptureSource::FileCaptureSource(Runtime& rt, std::vector<std::string> files)
    : rt_(rt), files_(std::move(files)) {}

std::string FileCaptureSource::deviceName(int index) {
    if (index < 0 || index >= deviceCount()) return {};
    return captureDeviceName(std::filesystem::path(files_[static_cast<std::size_t>(index)]).filename().string());
}

std::unique_ptr<CaptureStream> FileCaptureSource::open(int device, int rate, int channels, CaptureNotify notify) {
    if (device == -1) device = 0;
    if (device < 0 || device >= deviceCount() || (channels != 1 && channels != 2)) return nullptr;
    SF_INFO info{};
    SNDFILE* file = sf_open(files_[static_cast<std::size_t>(device)].c_str(), SFM_READ, &info);
    if (!file) return nullptr;
    if (info.samplerate != rate || info.channels < 1) {
        sf_close(file);
        return nullptr;
    }
    return std::make_unique<FileCaptureStream>(rt_, file, info.channels, rate, channels, std::move(notify));
}

std::unique_ptr<CaptureMixer> FileCaptureSource::openMixer(int device) {
    if (device < 0 || device >= deviceCount()) return nullptr;
    return std::make_unique<EmptyMixer>();
}

}  // namespace tarnwick
