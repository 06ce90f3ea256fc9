#include <gtest/gtest.h>

#include "recorder/encoder_wav.h"

TEST(EncoderWavDefaults, NamesItsFormat) {
    tarnwick::EncoderWAV encoder;
    EXPECT_EQ(encoder.Encoder_Extension(), "wav");
}
