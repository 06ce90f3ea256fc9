#pragma once
// Stand-ins for neighbour windows that a tool under test reads: just their faces, nothing loaded.

#include "toolbox/dtmf_face.h"
#include "toolbox/player_face.h"
#include "toolbox/series_face.h"
#include "toolbox/speech_face.h"
#include "toolbox/tool.h"

namespace tarnwick::testing {

struct FakeDtmfControl : Tool, DtmfControlFace {
    explicit FakeDtmfControl(ToolContext& c) : Tool(c, "Form4"), DtmfControlFace(c.rt) {}
    void Form_Load() override {}
};

struct FakeSeries : Tool, SeriesPlayerFace {
    explicit FakeSeries(ToolContext& c) : Tool(c, "Form12") {}
    void Form_Load() override {}
};

// The news player: it plays nothing; a test says whether a transmission is under way.
struct FakePlayer : Tool, PlayerFace {
    explicit FakePlayer(ToolContext& c) : Tool(c, "Form1"), PlayerFace(c.rt) {}
    void Form_Load() override {}
    void TXFile() override {}
    void StartDTMF() override {}
    void Sleep() override {}
    bool transmissionUnderWay() const override { return underWay; }
    bool underWay = false;
};

// The speech tool: its boxes and switches only; it says nothing.
struct FakeSpeech : Tool, SpeechFace {
    explicit FakeSpeech(ToolContext& c) : Tool(c, "Form3"), SpeechFace(c.rt) {}
    void Form_Load() override {}
    void SpeakTheText() override {}
    void kellow() override {}
    void SayEndOfFile() override {}
    void FanOn() override {}
};

}  // namespace tarnwick::testing
