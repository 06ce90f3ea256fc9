#pragma once
// WaveInRecorder: captures 16-bit PCM from one capture device into a ring of buffers and hands each
// filled buffer to its owner through GotData, queueing it again at once; lists the device's
// recording lines, selects one and reads and sets its volume. Filled buffers arrive as message 960
// at a hidden notification window, one per recording, which the subclassing engine routes here:
// sent as the device's read ends, in the same turn of the loop, rather than posted, which would
// wake the loop a second time for every buffer.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "recorder/capture_source.h"
#include "recorder/dispatcher.h"

namespace tarnwick {

class Runtime;

class WaveInRecorder {
public:
    WaveInRecorder(CaptureSource& source, WindowSystem& windows, Runtime& rt);
    // A running recording is stopped and the mixer closed.
    ~WaveInRecorder();
    WaveInRecorder(const WaveInRecorder&) = delete;
    WaveInRecorder& operator=(const WaveInRecorder&) = delete;

    bool IsRecording() const { return stream_ != nullptr; }
    bool StopRecord();
    bool StartRecord(std::int32_t samplerate, std::int16_t Channels);
    std::int32_t BufferCount() const { return bufferCount_; }
    // At least 1; leave it alone while recording.
    void setBufferCount(std::int32_t n);
    std::int32_t BufferSize() const { return bufferSize_; }
    // Bytes, at least 2; an odd size records into its even part.
    void setBufferSize(std::int32_t bytes);
    std::int32_t DeviceCount();
    std::string DeviceName(std::int32_t index);
    bool SelectDevice(std::int32_t index);
    std::int32_t MixerLineCount();
    std::string MixerLineName(std::int32_t index);
    bool SelectMixerLine(std::int32_t index);
    std::int32_t SelectedDevice() const { return selectedDevice_; }
    std::int32_t SelectedMixerLine();
    // index -1: the selected line.
    std::int32_t MixerLineType(std::int32_t index);
    std::int32_t MixerLineVolume();
    void setMixerLineVolume(std::int32_t Volume);

    // A filled buffer: the ring's own array and the bytes recorded into it. Only the first
    // lngLen / 2 samples are new; the buffer goes back to the device when the handler returns.
    std::function<void(std::vector<std::int16_t>& intBuffer, std::int32_t& lngLen)> GotData;

    // The notification window of the running (or last) recording, 0 when none.
    WindowHandle notifyWindow() const { return notifyWindow_; }

private:
    struct RingEntry {
        CaptureHeader header;
        std::vector<std::int16_t> samples;
    };

    bool CreateNotifyWindow();
    void ReleaseNotifyWindow();
    // What the device reports to the recording's window.
    void DeviceReport(WindowHandle window, unsigned message, CaptureHeader* header);
    void OnWaveInMessage(bool before, bool& handled, std::intptr_t& result, WindowHandle window, unsigned message,
                         std::intptr_t wParam, std::intptr_t lParam, std::int32_t& userValue);
    int waveInDestination(MixerLineInfo* info = nullptr);
    bool SelectMuxItem(std::int32_t item);
    std::int32_t GetSelectedMuxItem();
    // The selected line's volume control and channel count; false when there is none.
    bool volumeControl(std::uint32_t& control, int& channels);

    CaptureSource& source_;
    WindowSystem& windows_;
    Runtime& rt_;
    Subclasser subclasser_;
    std::int32_t selectedDevice_ = -1;
    std::int32_t bufferSize_ = 10240;
    std::int32_t bufferCount_ = 5;
    std::vector<RingEntry> ring_;
    unsigned ringGeneration_ = 0;
    WindowHandle notifyWindow_ = 0;
    bool subclassed_ = false;
    std::unique_ptr<CaptureStream> stream_;
    // Reports of the device under way, and the devices stopped from one (closed, kept until no
    // report runs: the device's read is still on the stack).
    int inReport_ = 0;
    std::vector<std::unique_ptr<CaptureStream>> retired_;
    std::unique_ptr<CaptureMixer> mixer_;
};

}  // namespace tarnwick
