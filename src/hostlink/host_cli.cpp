#include "hostlink/host_cli.h"

#include <signal.h>

#include <atomic>
#include <stdexcept>

#include "hostlink/host_protocol.h"
#include "hostlink/host_server.h"
#include "hostlink/host_state.h"

namespace tarnwick {

namespace {

const char* const kUsage =
    "usage: tarnwick-host serve [--callsign CALL] [--log FILE] | dtmf DIGITS | rx 0|1 | carrier 0|1 | "
    "connected CALL [NAME [ADDR]] | disconnected CALL | chat TEXT | closing | set callsign CALL | "
    "set linkactive 0|1 | set fail OP|none | state | log";

std::atomic<HostServer*> g_serving{nullptr};

extern "C" void onStopSignal(int) {
    if (HostServer* s = g_serving.load()) s->stop();
}

int usageError(std::ostream& err, const std::string& text = kUsage) {
    err << text << std::endl;
    return 2;
}

int serve(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string callsign = kDefaultHostCallsign;
    std::string logPath;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "--callsign" || a == "--log") && i + 1 < args.size()) {
            (a == "--callsign" ? callsign : logPath) = args[++i];
        } else {
            return usageError(err, "usage: tarnwick-host serve [--callsign CALL] [--log FILE]");
        }
    }
    try {
        HostState::checkSetting("callsign", callsign);
    } catch (const std::invalid_argument&) {
        return usageError(err, "usage: tarnwick-host serve [--callsign CALL] [--log FILE] (CALL has no blanks)");
    }

    try {
        HostServer server(hostSocketPath(), callsign);
        if (!logPath.empty()) server.setLogFile(logPath);
        server.open();

        struct sigaction sa {};
        sa.sa_handler = onStopSignal;
        sigemptyset(&sa.sa_mask);
        struct sigaction oldInt {}, oldTerm {};
        g_serving.store(&server);
        sigaction(SIGINT, &sa, &oldInt);
        sigaction(SIGTERM, &sa, &oldTerm);

        out << "tarnwick-host listening on " << server.path() << std::endl;
        server.run();

        sigaction(SIGINT, &oldInt, nullptr);
        sigaction(SIGTERM, &oldTerm, nullptr);
        g_serving.store(nullptr);
        out << "tarnwick-host stopped" << std::endl;
    } catch (const HostError& e) {
        g_serving.store(nullptr);
        err << "tarnwick-host: " << e.what() << std::endl;
        return 1;
    }
    return 0;
}

// Sends one request to the running host and prints its answer with `print`.
template <typename Print>
int ask(Json req, std::ostream& err, Print print) {
    try {
        Json reply = hostRequest(hostSocketPath(), std::move(req));
        const Json* ok = jsonMember(reply, "ok");
        if (!ok || *ok != true) {
            const Json* e = jsonMember(reply, "error");
            err << "tarnwick-host: " << (e && e->is_string() ? e->get<std::string>() : std::string("the host refused"))
                << std::endl;
            return 1;
        }
        const Json* value = jsonMember(reply, "value");
        print(value ? *value : Json());
        return 0;
    } catch (const HostError& e) {
        err << "tarnwick-host: " << e.what() << std::endl;
        return 1;
    }
}

}  // namespace

int runHostCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) return usageError(err);
    const std::string& cmd = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());

    if (cmd == "help" || cmd == "--help" || cmd == "-h") {
        out << kUsage << std::endl;
        return 0;
    }
    if (cmd == "serve") return serve(args, out, err);

    Json req = Json::object();
    if (HostState::isEventCommand(cmd)) {
        HostEvent ev;
        try {
            ev = HostState::eventForCommand(cmd, rest);
        } catch (const std::invalid_argument& e) {
            return usageError(err, e.what());
        }
        req["cmd"] = "raise";
        req["event"] = ev.name;
        req["args"] = hostArgsToJson(ev.args);
        return ask(std::move(req), err, [&](const Json& v) {
            out << "raised " << (v.is_string() ? v.get<std::string>() : describeEvent(ev)) << std::endl;
        });
    }
    if (cmd == "set") {
        if (rest.size() != 2) return usageError(err, "usage: tarnwick-host set callsign CALL | set linkactive 0|1 | set fail OP|none");
        try {
            HostState::checkSetting(rest[0], rest[1]);
        } catch (const std::invalid_argument& e) {
            return usageError(err, e.what());
        }
        req["cmd"] = "set";
        req["key"] = rest[0];
        req["value"] = rest[1];
        return ask(std::move(req), err, [&](const Json& v) {
            out << (v.is_string() ? v.get<std::string>() : rest[0] + " " + rest[1]) << std::endl;
        });
    }
    if (cmd == "state" || cmd == "log") {
        if (!rest.empty()) return usageError(err, "usage: tarnwick-host " + cmd);
        req["cmd"] = cmd;
        return ask(std::move(req), err, [&](const Json& v) {
            if (cmd == "state") {
                out << dumpJson(v) << std::endl;
                return;
            }
            if (!v.is_array()) return;
            for (const auto& line : v)
                if (line.is_string()) out << line.get<std::string>() << '\n';
            out.flush();
        });
    }
    return usageError(err);
}

}  // namespace tarnwick
