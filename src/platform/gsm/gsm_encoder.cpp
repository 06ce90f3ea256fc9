#include "platform/gsm/gsm_encoder.h"

#include <gsm.h>

namespace tarnwick {

namespace {

// The WAV packing holds two frames in 65 bytes: libgsm's WAV49 option writes the first frame's 32
// bytes and keeps its last half byte for the second frame's 33.
class LibGsmEncoder : public GsmEncoder {
public:
    LibGsmEncoder() : gsm_(gsm_create()) {
        int one = 1;
        if (gsm_) gsm_option(gsm_, GSM_OPT_WAV49, &one);
    }
    ~LibGsmEncoder() override {
        if (gsm_) gsm_destroy(gsm_);
    }
    bool ok() const { return gsm_ != nullptr; }

    void encodeBlock(const std::int16_t* samples, std::uint8_t* block) override {
        gsm_signal frame[160];
        for (int half = 0; half < 2; ++half) {
            for (int i = 0; i < 160; ++i) frame[i] = samples[half * 160 + i];
            gsm_encode(gsm_, frame, block + half * 32);
        }
    }

private:
    gsm gsm_;
};

}  // namespace

std::unique_ptr<GsmEncoder> makeLibGsmEncoder() {
    auto encoder = std::make_unique<LibGsmEncoder>();
    if (!encoder->ok()) return nullptr;
    return encoder;
}

}  // namespace tarnwick
