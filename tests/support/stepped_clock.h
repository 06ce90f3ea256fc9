#pragma once
// A clock that an end-to-end test moves by hand, so behaviour that takes minutes of the program's time
// takes moments of the test's. libfaketime shows the programs the modification time of one file as
// their time; between steps it stands still, and the test steps it by setting the file's time. Unlike
// a speed factor it leaves the programs' own waits (poll, sleep, the blocking delays) their real
// length, so only what falls due by the clock comes sooner.
//
// Two kinds:
// - Both clocks: the time of day and the monotonic clock stand still together, so a step of one
//   second is one tick of each one-second timer, however loaded the machine. A clock that ticks just
//   after each wall-clock second turns falls due a little past the next whole second, so at every
//   other step of one second; steps of two seconds give it one tick each. Nothing may play meanwhile:
//   GStreamer waits for its clock with raw futex calls that libfaketime does not see, so a file or a
//   speech on air would never end.
// - Time of day only: the monotonic clock runs as usual (timers, sound), and the time of day stands
//   at each step, for schedules that fire at a moment of the day.
//
// The clock stands exactly on the file's whole second ("% i0": no time passes between readings);
// libfaketime's faking of file times is left off, as its lock can deadlock a program that stats
// files while it reads the clock.
//
// "i0" counts readings in a semaphore-guarded shared counter; without one libfaketime hands out the
// real time. Left to itself it makes that pair under names taken from the process id and, on finding
// them already there, silently goes without: a program that ends by _exit or is killed leaves its
// pair behind, so once process ids come round again a program now and then ran on the real clock
// (its timers ticking on their own, its schedules never due). Each program started here gets a
// fresh pair made by the clock, and the clock removes them.

#include <fcntl.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/temp_dir.h"

namespace tarnwick::testing {

class SteppedClock {
public:
    enum class Kind { BothClocks, TimeOfDayOnly };

    static const char* library() { return "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"; }
    static bool available() { return std::filesystem::exists(library()); }

    // `start` is a local time, "2026-12-14 20:00:05".
    explicit SteppedClock(const std::string& start, Kind kind = Kind::BothClocks) : kind_(kind) {
        std::tm tm{};
        if (!::strptime(start.c_str(), "%Y-%m-%d %H:%M:%S", &tm)) throw std::invalid_argument(start);
        tm.tm_isdst = -1;
        at_ = std::mktime(&tm);
        dir_ = std::make_unique<TempDir>();
        file_ = dir_->file("clock");
        dir_->write("clock", "");
        set();
    }

    // A test that steps the clock of its own process runs again in a process of its own on a clock:
    // runHere() gives that clock in there, and nothing elsewhere.
    static std::unique_ptr<SteppedClock> runHere() {
        const char* file = std::getenv("FAKETIME_FOLLOW_FILE");
        if (!file || !std::getenv(kMark)) return nullptr;
        struct stat st {};
        if (::stat(file, &st) != 0) return nullptr;
        return std::unique_ptr<SteppedClock>(new SteppedClock(file, st.st_mtime));
    }
    // Runs the current test again in a process of its own on this clock; its exit code, -1 when it
    // does not end within the deadline. Its output goes to `output`.
    int runCurrentTest(std::string& output, std::chrono::seconds deadline = std::chrono::seconds(120)) const {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        auto env = this->env();
        env[kMark] = "1";
        TempDir out;
        Process p({std::filesystem::read_symlink("/proc/self/exe").string(),
                   std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name()},
                  env, out.file("err"));
        const int code = p.wait(deadline);
        output = p.out() + p.err();
        return code;
    }

    // The environment that puts one program on this clock (each start takes its own).
    std::map<std::string, std::string> env() const {
        std::map<std::string, std::string> e{{"LD_PRELOAD", library()},
                                             {"FAKETIME", "% i0"},
                                             {"FAKETIME_FOLLOW_FILE", file_},
                                             {"FAKETIME_NO_CACHE", "1"},
                                             {"FAKETIME_SHARED", makeShared()},
                                             {"NO_FAKE_STAT", "1"}};
        if (kind_ == Kind::TimeOfDayOnly) e["FAKETIME_DONT_FAKE_MONOTONIC"] = "1";
        return e;
    }

    void step(std::chrono::seconds by = std::chrono::seconds(1)) {
        at_ += by.count();
        set();
    }

    // The time the programs read, "2026-12-14 20:00:05", for messages.
    std::string now() const {
        std::tm tm{};
        ::localtime_r(&at_, &tm);
        char buf[32];
        std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
        return buf;
    }

private:
    // A semaphore (free) and a zeroed page of shared memory under fresh names, as libfaketime reads
    // them from FAKETIME_SHARED: "SEMAPHORE MEMORY".
    std::string makeShared() const {
        static int count = 0;
        const std::string name = "/tarnwick-clock-" + std::to_string(::getpid()) + "-" + std::to_string(++count);
        const std::string memory = name + "-shm";
        // A pair under these names can only be left by a killed process that had this id before.
        ::sem_unlink(name.c_str());
        ::shm_unlink(memory.c_str());
        sem_t* sem = ::sem_open(name.c_str(), O_CREAT | O_EXCL, 0600, 1);
        if (sem == SEM_FAILED) throw std::runtime_error("cannot make the clock's semaphore " + name);
        ::sem_close(sem);
        shared_->names.push_back(name);
        const int fd = ::shm_open(memory.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
        if (fd < 0) throw std::runtime_error("cannot make the clock's shared memory " + memory);
        const int sized = ::ftruncate(fd, 4096);
        ::close(fd);
        if (sized != 0) throw std::runtime_error("cannot size the clock's shared memory " + memory);
        return name + " " + memory;
    }

    void set() const {
        const timespec t{at_, 0};
        const timespec times[2] = {t, t};
        if (::utimensat(AT_FDCWD, file_.c_str(), times, 0) != 0)
            throw std::runtime_error("cannot set the clock file's time");
    }
    SteppedClock(std::string file, std::time_t at) : file_(std::move(file)), kind_(Kind::BothClocks), at_(at) {}

    static constexpr const char* kMark = "TARNWICK_TEST_ON_STEPPED_CLOCK";

    std::unique_ptr<TempDir> dir_;
    std::string file_;
    // The names made for the programs on this clock, removed with it.
    struct Shared {
        std::vector<std::string> names;
        ~Shared() {
            for (const auto& name : names) {
                ::sem_unlink(name.c_str());
                ::shm_unlink((name + "-shm").c_str());
            }
        }
    };
    std::unique_ptr<Shared> shared_ = std::make_unique<Shared>();
    Kind kind_;
    std::time_t at_ = 0;
};

}  // namespace tarnwick::testing
