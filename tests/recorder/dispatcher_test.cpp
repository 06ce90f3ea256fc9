#include "recorder/dispatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/virtual_runtime.h"

namespace tarnwick::test {
namespace {

constexpr unsigned kData = 960;

// A window whose own procedure notes each message and answers 7, with the engine of one owner whose
// callback notes what it sees.
struct Engine : ::testing::Test {
    VirtualRuntime rt;
    WindowSystem windows{rt};
    Subclasser engine{windows, rt, "WaveInRecorder"};
    std::vector<std::string> seen;
    WindowHandle w = windows.CreateWindow("STATIC", "WAVE_IN_WINDOW", [this](WindowHandle, unsigned m, std::intptr_t,
                                                                            std::intptr_t) -> std::intptr_t {
        seen.push_back("proc " + std::to_string(m));
        return 7;
    });
    // What the callback does besides noting the call.
    std::function<void(bool before, bool& handled, std::intptr_t& result)> act;

    Subclasser::Callback callback() {
        return [this](bool before, bool& handled, std::intptr_t& result, WindowHandle, unsigned m, std::intptr_t,
                      std::intptr_t l, std::int32_t&) {
            seen.push_back(std::string(before ? "before " : "after ") + std::to_string(m) + " result " +
                           std::to_string(result) + " l " + std::to_string(l));
            if (act) act(before, handled, result);
        };
    }
    std::intptr_t send(unsigned m, std::intptr_t l = 0) { return windows.SendMessage(w, m, 0, l); }
    std::vector<std::string> boxes() const {
        std::vector<std::string> out;
        for (const auto& b : rt.boxes) out.push_back(b.title + ": " + b.text);
        return out;
    }
};

TEST_F(Engine, SubclassFailuresAreReportedAndLeaveTheWindowAsItWas) {
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(engine.sc_Subclass(w + 1, 0, callback()));
    EXPECT_FALSE(engine.sc_Subclass(w, 0, {}));
    ASSERT_TRUE(engine.sc_Subclass(w, 0, callback()));
    engine.sc_AttachMessage(w, kData, Subclasser::MSG_AFTER);
    EXPECT_FALSE(engine.sc_Subclass(w, 0, callback()));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(boxes(), (std::vector<std::string>{
                           "Error in WaveInRecorder.sc_Subclass: Invalid window handle.",
                           "Error in WaveInRecorder.sc_Subclass: Callback method not found.",
                           "Error in WaveInRecorder.sc_Subclass: Window handle is already subclassed.",
                       }));
    EXPECT_NE(err.find("ERROR WaveInRecorder.sc_Subclass: Invalid window handle\n"), std::string::npos) << err;
    EXPECT_EQ(rt.boxes[0].icon, MsgIcon::Exclamation);
    // The first subclass still works, once per message.
    EXPECT_EQ(send(kData, 3), 7);
    EXPECT_EQ(seen, (std::vector<std::string>{"proc 960", "after 960 result 7 l 3"}));
    EXPECT_EQ(engine.liveRecords(), 1);
}

TEST_F(Engine, MessageTablesAddDeleteAndOverflow) {
    ASSERT_TRUE(engine.sc_Subclass(w, 0, callback()));
    auto after = [&] { return *engine.table(w, Subclasser::MSG_AFTER); };
    for (int m = 1; m <= 32; ++m) engine.sc_AttachMessage(w, 1000 + m, Subclasser::MSG_AFTER);
    engine.sc_AttachMessage(w, 1001, Subclasser::MSG_AFTER);  // already there: nothing
    EXPECT_EQ(after()[0], 32);
    EXPECT_TRUE(rt.boxes.empty());
    engine.sc_AttachMessage(w, 2000, Subclasser::MSG_AFTER);
    ASSERT_EQ(rt.boxes.size(), 1u);
    EXPECT_EQ(rt.boxes[0].title, "Error in WaveInRecorder.zAddMsg");
    EXPECT_EQ(rt.boxes[0].text,
              "Message table overflow. Either increase the value of Const MSG_ENTRIES or use ALL_MESSAGES instead "
              "of specific message values.");
    send(2000);
    EXPECT_EQ(seen, std::vector<std::string>{"proc 2000"});

    // A deleted message leaves its slot empty and the count as it was; the next one added takes the slot.
    engine.zDelMsg(w, 1005, Subclasser::MSG_AFTER);
    EXPECT_EQ(after()[0], 32);
    EXPECT_EQ(after()[5], 0);
    engine.zDelMsg(w, 0x3C0, Subclasser::MSG_AFTER);
    EXPECT_EQ(rt.boxes.back().title, "Error in WaveInRecorder.zDelMsg");
    EXPECT_EQ(rt.boxes.back().text, "Message &H3C0 not found in table.");
    // Still full by count: an overflow, as the table counts slots, not messages.
    engine.sc_AttachMessage(w, 2001, Subclasser::MSG_AFTER);
    EXPECT_EQ(rt.boxes.back().title, "Error in WaveInRecorder.zAddMsg");

    engine.zDelMsg(w, Subclasser::ALL_MESSAGES, Subclasser::MSG_AFTER);
    engine.sc_AttachMessage(w, 1010, Subclasser::MSG_AFTER);
    engine.zDelMsg(w, 1010, Subclasser::MSG_AFTER);
    engine.sc_AttachMessage(w, 1011, Subclasser::MSG_AFTER);
    EXPECT_EQ(after()[0], 1);
    EXPECT_EQ(after()[1], 1011);

    // Every message, then a single one again: a table of that one message.
    seen.clear();
    engine.sc_AttachMessage(w, Subclasser::ALL_MESSAGES, Subclasser::MSG_AFTER);
    send(5);
    send(6);
    EXPECT_EQ(seen, (std::vector<std::string>{"proc 5", "after 5 result 7 l 0", "proc 6", "after 6 result 7 l 0"}));
    engine.sc_AttachMessage(w, 6, Subclasser::MSG_AFTER);
    EXPECT_EQ(after()[0], 1);
    EXPECT_EQ(after()[1], 6);
}

TEST_F(Engine, PhasesHandledFlagAndResult) {
    ASSERT_TRUE(engine.sc_Subclass(w, 0, callback()));
    engine.sc_AttachMessage(w, 10, Subclasser::MSG_BEFORE | Subclasser::MSG_AFTER);
    engine.sc_AttachMessage(w, 11, Subclasser::MSG_AFTER);
    act = [](bool before, bool& handled, std::intptr_t& result) {
        if (!before) result = 42;
        (void)handled;
    };
    EXPECT_EQ(send(10), 42);
    EXPECT_EQ(seen, (std::vector<std::string>{"before 10 result 0 l 0", "proc 10", "after 10 result 7 l 0"}));
    seen.clear();
    EXPECT_EQ(send(12), 7);  // in no table: the window's own procedure alone
    EXPECT_EQ(seen, std::vector<std::string>{"proc 12"});

    // Handled in the before phase: neither the window's procedure nor the after phase sees it.
    seen.clear();
    act = [](bool before, bool& handled, std::intptr_t& result) {
        if (before) {
            handled = true;
            result = 99;
        }
    };
    EXPECT_EQ(send(10), 99);
    EXPECT_EQ(seen, std::vector<std::string>{"before 10 result 0 l 0"});
}

TEST_F(Engine, RemovedSubclassCallsNothingAndGivesItsRecordBackAtTheNextMessage) {
    ASSERT_TRUE(engine.sc_Subclass(w, 0, callback()));
    engine.sc_AttachMessage(w, Subclasser::ALL_MESSAGES, Subclasser::MSG_BEFORE | Subclasser::MSG_AFTER);
    engine.sc_UnSubclass(w);
    EXPECT_FALSE(engine.table(w, Subclasser::MSG_AFTER).has_value());
    EXPECT_EQ(engine.liveRecords(), 1);  // still the window's procedure
    EXPECT_EQ(send(kData), 1);           // the release answers this message
    EXPECT_EQ(engine.liveRecords(), 0);
    EXPECT_EQ(send(kData), 7);
    EXPECT_EQ(seen, (std::vector<std::string>{"proc 960", "proc 960"}));
    EXPECT_TRUE(rt.boxes.empty());

    // The window can be subclassed again afterwards.
    ASSERT_TRUE(engine.sc_Subclass(w, 0, callback()));
    EXPECT_EQ(engine.liveRecords(), 1);
}

TEST_F(Engine, RemovalFromInsideTheCallbackWaitsUntilItReturns) {
    ASSERT_TRUE(engine.sc_Subclass(w, 0, callback()));
    engine.sc_AttachMessage(w, kData, Subclasser::MSG_AFTER);
    int liveInside = -1;
    std::intptr_t innerResult = -1;
    act = [&](bool, bool&, std::intptr_t& result) {
        engine.sc_UnSubclass(w);
        // A message sent from inside the callback passes the record without giving it back (which
        // would answer 1).
        innerResult = windows.SendMessage(w, 5, 0, 0);
        liveInside = engine.liveRecords();
        result = 3;
    };
    EXPECT_EQ(send(kData), 3);
    EXPECT_EQ(liveInside, 1);
    EXPECT_EQ(innerResult, 7);
    EXPECT_EQ(engine.liveRecords(), 0);
    act = nullptr;
    seen.clear();
    send(kData);
    EXPECT_EQ(seen, std::vector<std::string>{"proc 960"});
}

TEST_F(Engine, LookupsOfWindowsNotHeldAreReportedOnly) {
    engine.sc_UnSubclass(w);
    engine.sc_AttachMessage(w, kData, Subclasser::MSG_AFTER);
    ASSERT_TRUE(engine.sc_Subclass(w, 0, callback()));
    const WindowHandle other = windows.CreateWindow("STATIC", "x");
    engine.sc_UnSubclass(other);
    EXPECT_EQ(boxes(), (std::vector<std::string>{
                           "Error in WaveInRecorder.sc_UnSubclass: Window handle isn't subclassed.",
                           "Error in WaveInRecorder.zMap_hWnd: Subclassing hasn't been started.",
                           "Error in WaveInRecorder.zMap_hWnd: Window handle isn't subclassed.",
                       }));
    EXPECT_EQ(engine.liveRecords(), 1);
}

TEST_F(Engine, PostedMessagesRunFromTheLoopInOrderAndWindowsHaveALimit) {
    ASSERT_TRUE(engine.sc_Subclass(w, 0, callback()));
    engine.sc_AttachMessage(w, kData, Subclasser::MSG_AFTER);
    windows.PostMessage(w, kData, 0, 1);
    windows.PostMessage(w, kData, 0, 2);
    EXPECT_TRUE(seen.empty());
    rt.runPending();
    EXPECT_EQ(seen, (std::vector<std::string>{"proc 960", "after 960 result 7 l 1", "proc 960",
                                              "after 960 result 7 l 2"}));
    windows.PostMessage(w, kData, 0, 3);
    windows.DestroyWindow(w);
    rt.runPending();
    EXPECT_EQ(seen.size(), 4u);

    WindowSystem few(rt, 2);
    EXPECT_NE(few.CreateWindow("STATIC", "a"), 0);
    EXPECT_NE(few.CreateWindow("STATIC", "b"), 0);
    EXPECT_EQ(few.CreateWindow("STATIC", "c"), 0);
}

}  // namespace
}  // namespace tarnwick::test
