#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "hostlink/host_link.h"
#include "hostlink/local_host_transport.h"
#include "runtime/virtual_runtime.h"

namespace tarnwick {
namespace {

// Records every call; replies with `reply`, or refuses when `refuse` is set.
struct FakeTransport : HostTransport {
    struct Call {
        std::string link, op;
        std::vector<HostValue> args;
    };
    std::vector<Call> calls;
    HostValue reply;
    bool refuse = false;

    HostValue call(const std::string& link, const std::string& op, const std::vector<HostValue>& args) override {
        calls.push_back({link, op, args});
        if (refuse) throw HostError("refused");
        return reply;
    }
    void emit(HostEvent ev) { eventSink(std::move(ev)); }
};

HostEvent dtmf(const std::string& digits) { return {"DTMFString", {digits}}; }

class HubTest : public ::testing::Test {
protected:
    // Opens a link whose DTMF handler writes "<owner>:<digits>" into `seen`, then runs `extra`.
    HostLink& open(const std::string& owner, std::function<void(const std::string&)> extra = {}) {
        links.push_back(std::make_unique<HostLink>(hub, owner));
        HostLink* l = links.back().get();
        l->DTMFString = [this, owner, extra](const std::string& d) {
            seen.push_back(owner + ":" + d);
            if (extra) extra(d);
        };
        return *l;
    }

    VirtualRuntime rt;
    FakeTransport host;
    HostHub hub{rt, host};
    std::vector<std::unique_ptr<HostLink>> links;
    std::vector<std::string> seen;
};

TEST_F(HubTest, EachEventReachesEveryLinkInCreationOrderBeforeTheNext) {
    open("Form1", [&](const std::string& d) {
        if (d == "1") host.emit(dtmf("2"));  // arrives while the first event is still being delivered
    });
    open("Form3");
    open("Form4");
    host.emit(dtmf("1"));
    EXPECT_EQ(seen, (std::vector<std::string>{"Form1:1", "Form3:1", "Form4:1", "Form1:2", "Form3:2", "Form4:2"}));
}

TEST_F(HubTest, EventsArrivingWhileAHandlerYieldsWaitInTheQueue) {
    LocalHostTransport local(rt);
    HostHub localHub(rt, local);
    HostLink a(localHub, "Form1"), b(localHub, "Form3");
    std::vector<std::string> order;
    a.DTMFString = [&](const std::string& d) {
        order.push_back("Form1:" + d);
        if (d == "1") {
            local.raise("dtmf", {"2"});
            rt.yield();  // the host's next event comes in here
            order.push_back("Form1 yielded");
        }
    };
    b.DTMFString = [&](const std::string& d) { order.push_back("Form3:" + d); };
    local.raise("dtmf", {"1"});
    EXPECT_TRUE(order.empty()) << "events come from the loop, not from inside raise";
    rt.runPending();
    EXPECT_EQ(order, (std::vector<std::string>{"Form1:1", "Form1 yielded", "Form3:1", "Form1:2", "Form3:2"}));
}

TEST_F(HubTest, AThrowingHandlerIsReportedAndDeliveryGoesOn) {
    open("Form1");
    open("Form3", [](const std::string&) { throw std::runtime_error("boom"); });
    open("Form4");
    ::testing::internal::CaptureStderr();
    host.emit(dtmf("1"));
    host.emit(dtmf("2"));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(seen, (std::vector<std::string>{"Form1:1", "Form3:1", "Form4:1", "Form1:2", "Form3:2", "Form4:2"}));
    EXPECT_NE(err.find("ERROR Form3 DTMFString: boom\n"), std::string::npos) << err;
}

TEST_F(HubTest, ClosingReachesEveryLinkThenEndsOnceAndLaterEventsAreDropped) {
    std::vector<std::string> closed;
    int ended = 0;
    HostLink& a = open("Form1");
    HostLink& b = open("Form3");
    a.Closing = [&] {
        closed.push_back("Form1");
        host.emit({"Closing", {}});  // a second Closing while the first is delivered
    };
    b.Closing = [&] { closed.push_back("Form3"); };
    hub.afterClosing = [&] {
        ++ended;
        EXPECT_EQ(closed.size(), 2u) << "the process ends only after every link has cleaned up";
    };
    host.emit({"Closing", {}});
    host.emit(dtmf("1"));
    EXPECT_EQ(closed, (std::vector<std::string>{"Form1", "Form3"}));
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(seen.empty());
    EXPECT_FALSE(rt.processEnded()) << "afterClosing replaces the default end";
}

TEST_F(HubTest, ClosingWithoutAfterClosingEndsTheProcessThroughTheRuntime) {
    open("Form1");
    host.emit({"Closing", {}});
    host.emit({"Closing", {}});
    EXPECT_TRUE(rt.processEnded());
    EXPECT_EQ(rt.endCount(), 1);
}

TEST_F(HubTest, LinksClosedOrOpenedDuringDeliveryAreRespected) {
    open("Form1", [&](const std::string& d) {
        if (d != "1") return;
        links[1].reset();  // Form3's window closes
        open("Form9");     // a window loads
    });
    open("Form3");
    open("Form4");
    host.emit(dtmf("1"));
    host.emit(dtmf("2"));
    EXPECT_EQ(seen, (std::vector<std::string>{"Form1:1", "Form4:1", "Form1:2", "Form4:2", "Form9:2"}));
}

TEST_F(HubTest, EventArgumentsReachTheMatchingHandler) {
    HostLink& l = open("Form3");
    std::vector<std::string> got;
    l.RX = [&](bool on) { got.push_back(std::string("RX ") + (on ? "1" : "0")); };
    l.CarrierDetect = [&](bool on) { got.push_back(std::string("CD ") + (on ? "1" : "0")); };
    l.connected = [&](const std::string& c, const std::string& n, const std::string& a) {
        got.push_back("connected " + c + "|" + n + "|" + a);
    };
    l.Disconnected = [&](const std::string& c) { got.push_back("Disconnected " + c); };
    l.ChatTextReceived = [&](const std::string& t) { got.push_back("chat " + t); };
    host.emit({"RX", {true}});
    host.emit({"CarrierDetect", {false}});
    host.emit({"connected", {std::string("W1AW"), std::string("Ann"), std::string("1.2.3.4")}});
    host.emit({"connected", {std::string("K1ABC"), std::string(), std::string()}});  // a name is not a must
    host.emit({"Disconnected", {std::string("W1AW")}});
    host.emit({"ChatTextReceived", {std::string("/ver/")}});
    host.emit({"NoSuchEvent", {}});
    EXPECT_EQ(got, (std::vector<std::string>{"RX 1", "CD 0", "connected W1AW|Ann|1.2.3.4", "connected K1ABC||",
                                             "Disconnected W1AW", "chat /ver/"}));
}

// A faulty host's event that lacks what it must carry is one error line, never handled with blanks in
// place of what is missing (" , Connected" spoken on air for a station without a callsign).
TEST_F(HubTest, AnEventWithoutWhatItMustCarryIsAnErrorLineAndReachesNoHandler) {
    const std::string text, blank = " \t";
    struct Case {
        HostEvent ev;
        std::string line;
    } cases[] = {
        {{"connected", {}}, "connected: passed over (no callsign)"},
        {{"connected", {text, std::string("Ann"), std::string("1.2.3.4")}}, "connected: passed over (no callsign)"},
        {{"connected", {blank, std::string("Ann"), std::string("1.2.3.4")}}, "connected: passed over (no callsign)"},
        {{"connected", {42LL, std::string("Ann"), std::string("1.2.3.4")}},
         "connected: passed over (the callsign is no text)"},
        {{"connected", {std::string("W1AW")}}, "connected: passed over (no name)"},
        {{"connected", {std::string("W1AW"), std::string("Ann")}}, "connected: passed over (no address)"},
        {{"Disconnected", {}}, "Disconnected: passed over (no callsign)"},
        {{"Disconnected", {text}}, "Disconnected: passed over (no callsign)"},
        {{"DTMFString", {}}, "DTMFString: passed over (no digits)"},
        {{"DTMFString", {text}}, "DTMFString: passed over (no digits)"},
        {{"RX", {}}, "RX: passed over (no receive state)"},
        {{"RX", {std::string("1")}}, "RX: passed over (the receive state is not true or false)"},
        {{"CarrierDetect", {HostValue{}}}, "CarrierDetect: passed over (the carrier state is not true or false)"},
        {{"ChatTextReceived", {}}, "ChatTextReceived: passed over (no chat line)"},
        {{"ChatTextReceived", {true}}, "ChatTextReceived: passed over (the chat line is no text)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        // A hub of its own, so a line the case before wrote is not held back as a repeat.
        VirtualRuntime caseRt;
        FakeTransport caseHost;
        HostHub caseHub(caseRt, caseHost);
        HostLink l(caseHub, "Form3");
        int handled = 0;
        l.DTMFString = [&](const std::string&) { ++handled; };
        l.RX = l.CarrierDetect = [&](bool) { ++handled; };
        l.connected = [&](const std::string&, const std::string&, const std::string&) { ++handled; };
        l.Disconnected = l.ChatTextReceived = [&](const std::string&) { ++handled; };
        ::testing::internal::CaptureStderr();
        caseHost.emit(c.ev);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(err, "ERROR HostLink " + c.line + "\n");
        EXPECT_EQ(handled, 0);
        // The events after it are delivered as ever.
        caseHost.emit({"Disconnected", {std::string("W1AW")}});
        EXPECT_EQ(handled, 1);
    }
}

TEST_F(HubTest, ALinkIntroducesItselfAndEachOperationCarriesItsOwnerAndArguments) {
    HostLink& l = open("Form4");
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].link, "Form4");
    EXPECT_EQ(host.calls[0].op, "Hello");
    EXPECT_EQ(host.calls[0].args, (std::vector<HostValue>{std::string("Form4")}));

    struct Case {
        std::function<void()> run;
        std::string op;
        std::vector<HostValue> args;
    };
    const std::string w = "W1AW";
    std::vector<Case> cases = {
        {[&] { l.ConnectTo(w); }, "ConnectTo", {w, true}},
        {[&] { l.DisconnectFrom(w); }, "DisconnectFrom", {w}},
        {[&] { l.DisconnectAllStations(); }, "DisconnectAllStations", {}},
        {[&] { l.SetPTT(true); }, "SetPTT", {true}},
        {[&] { l.SendCWText(0, "DE N0CALL"); }, "SendCWText", {0LL, std::string("DE N0CALL")}},
        {[&] { l.SendDTMF("*12"); }, "SendDTMF", {std::string("*12")}},
        {[&] { l.SetBusy(false); }, "SetBusy", {false}},
        {[&] { l.SetRTS(true); }, "SetRTS", {true}},
        {[&] { l.SetDTR(false); }, "SetDTR", {false}},
        {[&] { l.SendChatText("hi"); }, "SendChatText", {std::string("hi")}},
    };
    for (const auto& c : cases) {
        c.run();
        EXPECT_EQ(host.calls.back().link, "Form4");
        EXPECT_EQ(host.calls.back().op, c.op);
        EXPECT_EQ(host.calls.back().args, c.args) << c.op;
    }
    host.reply = std::string("N0CALL-L");
    EXPECT_EQ(l.GetCallsign(), "N0CALL-L");
    EXPECT_EQ(host.calls.back().op, "GetCallsign");
    host.reply = 3LL;
    EXPECT_EQ(l.GetConnectedCount(), 3);
    host.reply = true;
    EXPECT_TRUE(l.IsConnectedTo(w));
    EXPECT_EQ(host.calls.back().args, (std::vector<HostValue>{w}));
}

TEST_F(HubTest, RefusedCallsAndOddRepliesThrowHostError) {
    ::testing::internal::CaptureStderr();
    host.refuse = true;
    HostLink& l = open("Form1");  // an unreachable host does not stop the window from loading
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("ERROR Form1 HostLink: refused"), std::string::npos) << err;
    EXPECT_THROW(l.SetPTT(true), HostError);
    host.refuse = false;
    host.reply = std::string("yes");
    EXPECT_THROW(l.IsTransmitting(), HostError);
    host.reply = {};
    EXPECT_THROW(l.GetCallsign(), HostError);
}

}  // namespace
}  // namespace tarnwick
