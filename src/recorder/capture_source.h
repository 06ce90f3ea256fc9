#pragma once
// Sound capture as the recorder needs it: wave-in devices that fill the buffers their owner queues
// and hand each one back when it is full, and each device's mixer with its recording lines. The
// program wires the sound card's backend, tests a source fed from a WAV file or a fake.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarnwick {

// Notifications of an open capture device, as window messages carry them.
constexpr unsigned kWimClose = 0x3BF;
constexpr unsigned kWimData = 0x3C0;  // 960: a buffer came back

// One buffer of the capture ring as the device sees it.
struct CaptureHeader {
    std::int16_t* data = nullptr;
    std::size_t bufferLength = 0;   // bytes the device may record into `data`
    std::size_t bytesRecorded = 0;  // bytes it did record
    std::intptr_t user = 0;         // the owner's value: its ring index
    bool prepared = false;
    bool queued = false;
    bool done = false;
};

// What an open device reports: a message and, with kWimData, the buffer it gives back. Devices
// report from the program's event loop, never from another thread. A notification may stop, reset
// or close its device and queue buffers again, but must not destroy it: the device's read is still
// under way. A closed device has given its sound card or file back; what is left of it may wait to
// be destroyed until the read is over.
using CaptureNotify = std::function<void(unsigned message, CaptureHeader* header)>;

// An open capture device in 16-bit PCM, interleaved left first. Buffers are prepared, queued and
// filled in queue order; the buffers a read fills come back through the notification as the read
// ends, while the device runs. The device runs from start() until stop(); buffers queued before
// start() wait for it.
class CaptureStream {
public:
    explicit CaptureStream(CaptureNotify notify);
    virtual ~CaptureStream();
    CaptureStream(const CaptureStream&) = delete;
    CaptureStream& operator=(const CaptureStream&) = delete;

    // False for a header without memory or with a length that holds no whole sample.
    virtual bool prepare(CaptureHeader& h);
    // False while the buffer is queued.
    bool unprepare(CaptureHeader& h);
    // Queues a prepared buffer; false when it is not prepared or already queued.
    bool addBuffer(CaptureHeader& h);
    bool start();
    // Stops recording; a partly filled buffer comes back with what it holds, empty ones stay queued.
    void stop();
    // Stops and gives back every queued buffer.
    void reset();
    // Resets and reports the close; nothing comes back afterwards.
    void close();

    bool running() const { return running_; }
    std::size_t queuedCount() const { return queue_.size(); }
    // Samples the buffer being filled still takes; 0 when none is queued.
    std::size_t samplesUntilFull() const;
    // Samples the buffer being filled takes in all; 0 when none is queued.
    std::size_t bufferSamples() const;
    // Samples all queued buffers still take.
    std::size_t queuedCapacity() const;

protected:
    // The device begins or ends delivering sound; the base keeps the queue.
    virtual bool onStart() = 0;
    virtual void onStop() = 0;
    // A buffer was queued while the device runs.
    virtual void onQueued() {}
    // The device is closed: it gives back what it holds open.
    virtual void onClose() {}
    // Appends interleaved samples to the queued buffers, giving each back as it fills. Sound that
    // finds no queued buffer is lost, as it is on a device whose owner is late.
    void deliver(const std::int16_t* samples, std::size_t count);
    // Gives back the buffer being filled, if it holds anything.
    void flushPartial();
    // Reports the buffers given back since the last report, in order. A read calls it as its last
    // step, so its owner takes each buffer in the same turn of the loop, and whatever the owner does
    // then (queue again, stop, close) finds the device between two reads.
    void reportFilled();
    void report(unsigned message, CaptureHeader* h);

private:
    void giveBack(CaptureHeader* h);

    CaptureNotify notify_;
    std::deque<CaptureHeader*> queue_;
    std::deque<CaptureHeader*> filled_;  // given back, not reported yet
    bool running_ = false;
    bool closed_ = false;
};

// Component types of mixer lines, as the recorder names them.
constexpr std::uint32_t kLineDstWaveIn = 7;
constexpr std::uint32_t kLineSrcUndefined = 0x1000;
constexpr std::uint32_t kLineSrcDigital = 0x1001;
constexpr std::uint32_t kLineSrcLine = 0x1002;
constexpr std::uint32_t kLineSrcMicrophone = 0x1003;
constexpr std::uint32_t kLineSrcCompactDisc = 0x1005;
constexpr std::uint32_t kLineSrcAuxiliary = 0x1009;
constexpr std::uint32_t kLineSrcAnalog = 0x100A;

struct MixerLineInfo {
    std::string name;
    std::uint32_t componentType = 0;
    int channels = 1;
    int connections = 0;  // a destination's source lines
    std::uint32_t lineId = 0;
};

// The mixer of one capture device: destination lines, each with source lines; the wave-in
// destination's selector (one on/off item per source, listed in reverse order) and each line's
// volume in 0 .. 65535.
class CaptureMixer {
public:
    virtual ~CaptureMixer() = default;
    virtual int destinationCount() = 0;
    virtual bool destination(int index, MixerLineInfo& out) = 0;
    virtual bool source(int destination, int index, MixerLineInfo& out) = 0;
    // The destination's selector: its number of items; false when it has none.
    virtual bool selectorItems(int destination, int& count) = 0;
    virtual bool readSelector(int destination, std::vector<std::int32_t>& values) = 0;
    virtual bool writeSelector(int destination, const std::vector<std::int32_t>& values) = 0;
    // The volume control of a line: 0 when the line has none.
    virtual std::uint32_t volumeControl(std::uint32_t lineId) = 0;
    // `channels` values (at most two) of the control.
    virtual bool readVolume(std::uint32_t control, int channels, std::int32_t* values) = 0;
    virtual bool writeVolume(std::uint32_t control, int channels, const std::int32_t* values) = 0;
};

// A mixer without any line, for devices that have no controls.
class EmptyMixer : public CaptureMixer {
public:
    int destinationCount() override { return 0; }
    bool destination(int, MixerLineInfo&) override { return false; }
    bool source(int, int, MixerLineInfo&) override { return false; }
    bool selectorItems(int, int&) override { return false; }
    bool readSelector(int, std::vector<std::int32_t>&) override { return false; }
    bool writeSelector(int, const std::vector<std::int32_t>&) override { return false; }
    std::uint32_t volumeControl(std::uint32_t) override { return 0; }
    bool readVolume(std::uint32_t, int, std::int32_t*) override { return false; }
    bool writeVolume(std::uint32_t, int, const std::int32_t*) override { return false; }
};

class CaptureSource {
public:
    virtual ~CaptureSource() = default;
    virtual int deviceCount() = 0;
    // The device's product name, at most 31 characters; empty for an index with no device.
    virtual std::string deviceName(int index) = 0;
    // Opens a device (-1: the system's default device) for 16-bit PCM of that rate and channel
    // count. nullptr when it cannot be opened so.
    virtual std::unique_ptr<CaptureStream> open(int device, int rate, int channels, CaptureNotify notify) = 0;
    // The device's mixer; nullptr for an index with no device. A card without controls has a mixer
    // without lines.
    virtual std::unique_ptr<CaptureMixer> openMixer(int device) = 0;
};

// Cuts a device name as the 32-character name field of a device's capabilities holds it.
std::string captureDeviceName(const std::string& name);

}  // namespace tarnwick
