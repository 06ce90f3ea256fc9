#pragma once
// The downloader on virtual time: a fake transfer service whose bytes arrive step by step as virtual
// time passes, an in-process host, real files under a drive folder and a stand-in news player.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "download/downloader.h"
#include "hostlink/host_link.h"
#include "hostlink/local_host_transport.h"
#include "runtime/virtual_runtime.h"
#include "support/temp_dir.h"
#include "toolbox/tool_registry.h"

namespace tarnwick::test {

// What a fake server answers for one address.
struct FakeResource {
    std::string body;
    std::int64_t stated = -2;     // the size the server states: -2 the body's size, -1 none
    std::size_t chunk = 512;      // bytes per step
    int stepMs = 100;             // virtual time per step
    std::int64_t cutAt = -1;      // the connection ends after this many bytes
    long status = 200;            // HTTP status of the final reply
    TransferFailure failure = TransferFailure::None;  // fails before any byte
    bool login = true;            // FTP: the log-in is accepted
    std::int64_t stallAt = -1;    // nothing more comes after this many bytes, and the connection stays
};

class FakeTransfers : public TransferService {
public:
    explicit FakeTransfers(VirtualRuntime& rt) : rt_(rt) {}

    std::map<std::string, FakeResource> resources;
    std::vector<TransferRequest> requests;
    // What uploads sent, by address.
    std::map<std::string, std::string> uploads;
    int running = 0;

    std::unique_ptr<Transfer> start(const TransferRequest& request, TransferEvents events) override {
        requests.push_back(request);
        auto t = std::make_unique<Running>(*this, request, std::move(events));
        return t;
    }

private:
    struct Running : Transfer {
        Running(FakeTransfers& owner, const TransferRequest& req, TransferEvents ev)
            : owner_(owner), req_(req), ev_(std::move(ev)), timer_(std::make_unique<Timer>(owner.rt_, 0)) {
            auto it = owner.resources.find(req.url);
            if (it != owner.resources.end()) {
                res_ = it->second;
            } else if (req.direction == TransferRequest::Direction::Get) {
                res_.failure = req.url.rfind("ftp", 0) == 0 ? TransferFailure::NotFound : TransferFailure::HttpStatus;
                res_.status = 404;
            }
            if (req.direction == TransferRequest::Direction::Put) {
                std::ifstream in(req.localPath, std::ios::binary);
                if (!in) res_.failure = TransferFailure::LocalFile;
                std::stringstream ss;
                ss << in.rdbuf();
                res_.body = ss.str();
            }
            ++owner_.running;
            timer_->setInterval(res_.stepMs);
            timer_->onTick = [this] {
                inTick_ = true;
                step();
            };
            timer_->setEnabled(true);
        }
        ~Running() override {
            if (!finished_) --owner_.running;
            timer_->setEnabled(false);
            // Dropped from inside its own tick: the timer lives on until the tick has returned.
            if (inTick_) owner_.graveyard_.push_back(std::move(timer_));
        }

        void step() {
            const bool ftp = req_.url.rfind("ftp", 0) == 0;
            if (first_) {
                first_ = false;
                if (ftp && !res_.login) return end(TransferFailure::Login, false);
                if (ftp && ev_.loggedIn) ev_.loggedIn();
                if (res_.failure != TransferFailure::None && res_.failure != TransferFailure::HttpStatus &&
                    res_.failure != TransferFailure::NotFound)
                    return end(res_.failure, false);
                if (res_.failure == TransferFailure::NotFound || (!ftp && (res_.status < 200 || res_.status > 299)))
                    return end(ftp ? TransferFailure::NotFound : TransferFailure::HttpStatus, false);
                if (req_.direction == TransferRequest::Direction::Put) {
                    owner_.uploads[req_.url] = res_.body;
                    return end(TransferFailure::None, true);
                }
                if (ev_.sized &&
                    !ev_.sized(res_.stated == -2 ? static_cast<std::int64_t>(res_.body.size()) : res_.stated))
                    return end(TransferFailure::LocalFile, false);
            }
            inTick_ = true;
            std::size_t n = std::min(res_.chunk, res_.body.size() - pos_);
            if (res_.cutAt >= 0) n = std::min<std::size_t>(n, static_cast<std::size_t>(res_.cutAt) - pos_);
            if (res_.stallAt >= 0) n = std::min<std::size_t>(n, static_cast<std::size_t>(res_.stallAt) - pos_);
            if (n > 0) {
                if (req_.sinkFd >= 0 && ::write(req_.sinkFd, res_.body.data() + pos_, n) != static_cast<ssize_t>(n))
                    return end(TransferFailure::LocalFile, false);
                pos_ += n;
                if (ev_.progress && !ev_.progress(static_cast<std::int64_t>(pos_)))
                    return end(TransferFailure::LocalFile, false);
            }
            if (res_.cutAt >= 0 && pos_ >= static_cast<std::size_t>(res_.cutAt)) return end(TransferFailure::Cut, false);
            if (pos_ >= res_.body.size()) {
                // A transfer reports success once its file is on the disk.
                if (req_.sinkFd >= 0) ::fsync(req_.sinkFd);
                end(TransferFailure::None, true);
            }
        }

        void end(TransferFailure f, bool ok) {
            timer_->setEnabled(false);
            finished_ = true;
            --owner_.running;
            TransferOutcome out;
            out.ok = ok;
            out.failure = f;
            out.httpStatus = req_.url.rfind("http", 0) == 0 ? res_.status : 0;
            if (!ok) out.message = "fake failure";
            auto done = ev_.done;
            if (done) done(out);  // may drop this transfer
        }

        FakeTransfers& owner_;
        TransferRequest req_;
        TransferEvents ev_;
        FakeResource res_;
        std::unique_ptr<Timer> timer_;
        std::size_t pos_ = 0;
        bool first_ = true, finished_ = false, inTick_ = false;
    };

    VirtualRuntime& rt_;
    std::vector<std::unique_ptr<Timer>> graveyard_;
};

// The news player as the downloader sees it: a window that "Save Changes" shows.
struct FakePlayer : Tool {
    explicit FakePlayer(ToolContext& c) : Tool(c, "Form1") {}
    void Form_Load() override {}
};

class DownloadTest : public ::testing::Test {
protected:
    DownloadTest() {
        // Monday 7 December 2026, 09:00:00.
        rt.setLocalTime(2026, 12, 7, 9, 0, 0);
        setenv("TARNWICK_DRIVES", (dir + "/drives").c_str(), 1);
        std::filesystem::create_directories(dir + "/drives/c");
        tools.add(player);
    }

    void writeIni(const std::string& body) { std::ofstream(dir + "/brannockd.ini") << "[SETTINGS]\n" << body; }
    std::string readIni() const { return tmp.read("brannockd.ini"); }

    // Builds and loads the downloader as the launcher does.
    Form13& start() {
        form = std::make_unique<Form13>(ctx, &net);
        tools.add(*form);
        form->load();
        rt.runPending();
        return *form;
    }

    // A news file under drive C:.
    std::string news(int n) const { return dir + "/drives/c/News" + std::to_string(n) + ".mp3"; }
    void putNews(int n, const std::string& text) const { std::ofstream(news(n), std::ios::binary) << text; }
    std::string readNews(int n) const {
        std::ifstream in(news(n), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // Files in drive C: other than the news files: what a transfer may have left behind.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> out;
        for (auto& e : std::filesystem::directory_iterator(dir + "/drives/c")) {
            const std::string n = e.path().filename().string();
            if (n.rfind("News", 0) != 0) out.push_back(n);
        }
        return out;
    }
    void runTo(int h, int m, int s, int weekday = 0) { ASSERT_TRUE(rt.runUntil(h, m, s, weekday)); }

    testing::TempDir tmp;
    std::string dir = tmp.path();
    VirtualRuntime rt;
    LocalHostTransport host{rt};
    HostHub hub{rt, host};
    ToolRegistry tools;
    ToolContext ctx{rt, hub, tools, dir};
    FakeTransfers net{rt};
    FakePlayer player{ctx};
    std::unique_ptr<Form13> form;
};

}  // namespace tarnwick::test
