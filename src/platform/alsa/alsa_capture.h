#pragma once
// The sound card's capture through ALSA: the devices the system offers (ALSA's default device, the
// PCMs its configuration names and describes, every capture device of every card), 16-bit
// interleaved PCM in periods of the recorder's buffer size, read when the device's poll descriptors
// wake the event loop; each device's recording lines through its card's mixer.

#include <string>
#include <vector>

#include "recorder/capture_source.h"

namespace tarnwick {

class Runtime;

struct AlsaCaptureDevice {
    std::string name;  // as listed
    std::string pcm;   // PCM name to open
    std::string ctl;   // its card's control name; empty: a mixer without lines
    // ALSA configuration text in which `pcm` is looked up; empty: the system's configuration.
    std::string config;
};

class AlsaCaptureSource : public CaptureSource {
public:
    // The devices the system offers now (systemDevices).
    explicit AlsaCaptureSource(Runtime& rt);
    // These devices only; device -1 opens `defaultPcm`.
    AlsaCaptureSource(Runtime& rt, std::vector<AlsaCaptureDevice> devices, std::string defaultPcm = "default");

    int deviceCount() override { return static_cast<int>(devices_.size()); }
    std::string deviceName(int index) override;
    std::unique_ptr<CaptureStream> open(int device, int rate, int channels, CaptureNotify notify) override;
    std::unique_ptr<CaptureMixer> openMixer(int device) override;

    // The capture devices of the cards present now.
    static std::vector<AlsaCaptureDevice> cardDevices();
    // What a capture program lists: ALSA's default device first, then the PCMs the configuration
    // names with a description that may capture (as arecord -L lists them), then cardDevices().
    static std::vector<AlsaCaptureDevice> systemDevices();

private:
    Runtime& rt_;
    std::vector<AlsaCaptureDevice> devices_;
    std::string defaultPcm_;
};

}  // namespace tarnwick
