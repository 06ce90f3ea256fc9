#pragma once
// A capture source fed from sound files, for tests and demonstrations: each file is one device,
// named after the file, that "records" the file's samples at the pace of the runtime's clock (real
// or virtual) and falls silent at the file's end, giving back what its last buffer holds. Unlike a
// card, it loses nothing when its owner is late: what the queued buffers cannot take waits.

#include <string>
#include <vector>

#include "recorder/capture_source.h"

namespace tarnwick {

class Runtime;

class FileCaptureSource : public CaptureSource {
public:
    FileCaptureSource(Runtime& rt, std::vector<std::string> files);

    int deviceCount() override { return static_cast<int>(files_.size()); }
    std::string deviceName(int index) override;
    // The file's rate must be the one asked for; one or two channels are made from any file.
    std::unique_ptr<CaptureStream> open(int device, int rate, int channels, CaptureNotify notify) override;
    // A mixer without lines.
    std::unique_ptr<CaptureMixer> openMixer(int device) override;

private:
    Runtime& rt_;
    std::vector<std::string> files_;
};
}  // namespace tarnwick
