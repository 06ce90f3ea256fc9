#include "recorder/wave_in_recorder.h"

#include <exception>

#include "runtime/runtime.h"

namespace tarnwick {

WaveInRecorder::WaveInRecorder(CaptureSource& source, WindowSystem& windows, Runtime& rt)
    : source_(source), windows_(windows), rt_(rt), subclasser_(windows, rt, "WaveInRecorder") {}

WaveInRecorder::~WaveInRecorder() {
    if (IsRecording()) StopRecord();
    mixer_.reset();
}

void WaveInRecorder::setBufferCount(std::int32_t n) {
    if (n >= 1) bufferCount_ = n;
}

void WaveInRecorder::setBufferSize(std::int32_t bytes) {
    if (bytes >= 2) bufferSize_ = bytes;
}

std::int32_t WaveInRecorder::DeviceCount() { return source_.deviceCount(); }

std::string WaveInRecorder::DeviceName(std::int32_t index) {
    if (index < 0 || index >= DeviceCount()) return {};
    return captureDeviceName(source_.deviceName(index));
}

bool WaveInRecorder::SelectDevice(std::int32_t index) {
    if (index < 0 || index > DeviceCount() - 1) return false;
    selectedDevice_ = -1;
    mixer_.reset();
    mixer_ = source_.openMixer(index);
    if (!mixer_) return false;
    selectedDevice_ = index;
    return true;
}

int WaveInRecorder::waveInDestination(MixerLineInfo* info) {
    if (!mixer_) return -1;
    const int n = mixer_->destinationCount();
    for (int d = 0; d < n; ++d) {
        MixerLineInfo line;
        if (mixer_->destination(d, line) && line.componentType == kLineDstWaveIn) {
            if (info) *info = line;
            return d;
        }
    }
    return -1;
}

std::int32_t WaveInRecorder::MixerLineCount() {
    if (selectedDevice_ < 0) return 0;
    MixerLineInfo dest;
    if (waveInDestination(&dest) < 0) return 0;
    return dest.connections;
}

std::string WaveInRecorder::MixerLineName(std::int32_t index) {
    if (selectedDevice_ < 0) return {};
    const int d = waveInDestination();
    MixerLineInfo line;
    if (d < 0 || !mixer_->source(d, index, line)) return {};
    return line.name;
}

std::int32_t WaveInRecorder::MixerLineType(std::int32_t index) {
    if (index == -1) index = SelectedMixerLine();
    const int d = waveInDestination();
    MixerLineInfo line;
    if (d < 0 || !mixer_->source(d, index, line)) return 0;
    return static_cast<std::int32_t>(line.componentType);
}

bool WaveInRecorder::SelectMixerLine(std::int32_t index) {
    if (selectedDevice_ < 0) return false;
    const std::int32_t count = MixerLineCount();
    // A line the device does not have selects nothing (the selector's items would all go off).
    if (index < 0 || index >= count) return false;
    return SelectMuxItem(count - 1 - index);
}

bool WaveInRecorder::SelectMuxItem(std::int32_t item) {
    const int d = waveInDestination();
    if (d < 0) return false;
    int items = 0;
    if (!mixer_->selectorItems(d, items)) return false;
    if (item >= items) return true;
    std::vector<std::int32_t> values(static_cast<std::size_t>(items), 0);
    mixer_->readSelector(d, values);
    values.assign(static_cast<std::size_t>(items), 0);
    if (item >= 0) values[static_cast<std::size_t>(item)] = 1;
    mixer_->writeSelector(d, values);
    return true;
}

std::int32_t WaveInRecorder::GetSelectedMuxItem() {
    const int d = waveInDestination();
    if (d < 0) return 0;
    int items = 0;
    if (!mixer_->selectorItems(d, items)) return 0;
    std::vector<std::int32_t> values(static_cast<std::size_t>(items), 0);
    if (!mixer_->readSelector(d, values)) return 0;
    std::int32_t selected = 0;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (values[i] != 0) selected = static_cast<std::int32_t>(i);
    return selected;
}

std::int32_t WaveInRecorder::SelectedMixerLine() { return MixerLineCount() - 1 - GetSelectedMuxItem(); }

bool WaveInRecorder::volumeControl(std::uint32_t& control, int& channels) {
    const int d = waveInDestination();
    if (d < 0) return false;
    MixerLineInfo line;
    if (!mixer_->source(d, SelectedMixerLine(), line)) return false;
    control = mixer_->volumeControl(line.lineId);
    // The value buffer holds two channels; wider lines are read and set through their first two.
    channels = line.channels < 1 ? 1 : line.channels > 2 ? 2 : line.channels;
    return control != 0;
}

std::int32_t WaveInRecorder::MixerLineVolume() {
    std::uint32_t control = 0;
    int channels = 1;
    if (!volumeControl(control, channels)) return 0;
    std::int32_t values[2] = {0, 0};
    mixer_->readVolume(control, channels, values);
    return values[0];
}

void WaveInRecorder::setMixerLineVolume(std::int32_t Volume) {
    std::uint32_t control = 0;
    int channels = 1;
    if (!volumeControl(control, channels)) return;
    const std::int32_t values[2] = {Volume, Volume};
    mixer_->writeVolume(control, channels, values);
}

bool WaveInRecorder::CreateNotifyWindow() {
    notifyWindow_ = windows_.CreateWindow("STATIC", "WAVE_IN_WINDOW");
    subclassed_ = subclasser_.sc_Subclass(
        notifyWindow_, 0,
        [this](bool before, bool& handled, std::intptr_t& result, WindowHandle window, unsigned message,
               std::intptr_t wParam, std::intptr_t lParam, std::int32_t& userValue) {
            OnWaveInMessage(before, handled, result, window, message, wParam, lParam, userValue);
        });
    if (!subclassed_) return false;
    subclasser_.sc_AttachMessage(notifyWindow_, static_cast<std::int32_t>(kWimData), Subclasser::MSG_AFTER);
    return true;
}

void WaveInRecorder::ReleaseNotifyWindow() {
    // The window itself stays, hidden and idle, until the program ends.
    if (notifyWindow_ != 0 && subclassed_) subclasser_.sc_UnSubclass(notifyWindow_);
    subclassed_ = false;
    notifyWindow_ = 0;
}

bool WaveInRecorder::StartRecord(std::int32_t samplerate, std::int16_t Channels) {
    if (inReport_ == 0) retired_.clear();
    ring_ = std::vector<RingEntry>(static_cast<std::size_t>(bufferCount_));
    ++ringGeneration_;
    if (!CreateNotifyWindow()) {
        ReleaseNotifyWindow();
        return false;
    }
    const WindowHandle window = notifyWindow_;
    stream_ = source_.open(selectedDevice_, samplerate, Channels,
                           [this, window](unsigned message, CaptureHeader* header) {
                               DeviceReport(window, message, header);
                           });
    if (!stream_) {
        ReleaseNotifyWindow();
        return false;
    }
    const std::size_t samples = static_cast<std::size_t>(bufferSize_ / 2);
    for (std::size_t i = 0; i < ring_.size(); ++i) {
        RingEntry& e = ring_[i];
        e.samples.assign(samples, 0);
        e.header.data = e.samples.data();
        e.header.bufferLength = samples * 2;
        e.header.user = static_cast<std::intptr_t>(i);
        if (!stream_->prepare(e.header)) {
            for (std::size_t j = i; j-- > 0;) stream_->unprepare(ring_[j].header);
            stream_->close();
            stream_.reset();
            ReleaseNotifyWindow();
            return false;
        }
    }
    if (!stream_->start()) {
        for (RingEntry& e : ring_) stream_->unprepare(e.header);
        stream_->close();
        stream_.reset();
        ReleaseNotifyWindow();
        return false;
    }
    for (RingEntry& e : ring_) stream_->addBuffer(e.header);
    return true;
}

bool WaveInRecorder::StopRecord() {
    if (stream_) {
        stream_->stop();
        // The buffers the reset gives back reach the window after its subclass is gone.
        stream_->reset();
        for (RingEntry& e : ring_) stream_->unprepare(e.header);
        stream_->close();
        // Stopped from a buffer it reported, the device is still inside its read: closed, it has
        // given back what it held open, and what is left of it goes once no report runs.
        if (inReport_ > 0) retired_.push_back(std::move(stream_));
        stream_.reset();
    }
    if (inReport_ == 0) retired_.clear();
    ReleaseNotifyWindow();
    return true;
}

void WaveInRecorder::DeviceReport(WindowHandle window, unsigned message, CaptureHeader* header) {
    const std::intptr_t index = header ? header->user : 0;
    // A buffer the running device filled is taken now, in the read that filled it, and goes back to
    // the device before the read ends. What a stop gives back, and the close, are posted as they
    // always were: they reach the window after its subclass is gone.
    if (message != kWimData || !stream_ || !stream_->running()) {
        windows_.PostMessage(window, message, 0, index);
        return;
    }
    ++inReport_;
    try {
        windows_.SendMessage(window, message, 0, index);
    } catch (const std::exception& e) {
        rt_.error("window message", e.what());
    } catch (...) {
        rt_.error("window message", "unknown failure");
    }
    --inReport_;
}

void WaveInRecorder::OnWaveInMessage(bool, bool&, std::intptr_t&, WindowHandle, unsigned message, std::intptr_t,
                                     std::intptr_t lParam, std::int32_t&) {
    if (message != kWimData) return;
    // A message that names no buffer of the ring is dropped.
    if (lParam < 0 || static_cast<std::size_t>(lParam) >= ring_.size()) return;
    const unsigned generation = ringGeneration_;
    RingEntry& e = ring_[static_cast<std::size_t>(lParam)];
    const CaptureHeader header = e.header;
    std::int32_t lngLen = static_cast<std::int32_t>(header.bytesRecorded);
    if (GotData) GotData(e.samples, lngLen);
    // The handler may have stopped the recording (or started another ring): queue only into the
    // device that gave the buffer back.
    if (stream_ && generation == ringGeneration_) stream_->addBuffer(e.header);
}

}  // namespace tarnwick
