#pragma once
// The host protocol: one JSON object per line over a Unix stream socket.
//   request  {"id":7,"link":"Form1","op":"SetPTT","args":[true]}
//   reply    {"id":7,"ok":true,"value":null}   or   {"id":7,"ok":false,"error":"..."}
//   event    {"event":"DTMFString","args":["AA"]}           (only to connections that subscribed)
//   control  {"id":8,"cmd":"subscribe"|"raise"|"set"|"state"|"log", ...}
// This header holds the socket's place and the blocking line I/O shared by the transport and the
// command-line client.

#include <cstdint>
#include <optional>
#include <string>

#include "hostlink/host_link.h"
#include "hostlink/json.h"

namespace tarnwick {

// $TARNWICK_HOST, else $XDG_RUNTIME_DIR/tarnwick/host.sock, else /tmp/tarnwick-<uid>/host.sock.
std::string hostSocketPath();
// The same without $TARNWICK_HOST.
std::string defaultHostSocketPath();
// Makes the socket's folder. The default folders are private: created 0700, and refused when another
// user owns them or others may write there. A folder named by $TARNWICK_HOST is created as needed.
// Throws HostError.
void prepareSocketDir(const std::string& socketPath);

// Milliseconds on a monotonic clock, for reply deadlines (independent of any runtime's virtual time).
std::int64_t steadyMs();

// The reason a HostUnreachable gives when nothing listens at the socket.
inline constexpr const char* kNoHostRunning = "no host is running";

// Connects to a host's socket; the descriptor is non-blocking and closed on exec. Never waits: throws
// HostUnreachable when nothing listens there ("no host is running at PATH") or the host takes no more
// connections (it hangs), HostError for other failures.
int connectHostSocket(const std::string& path);
// Connects as connectHostSocket does, to a host of this user only: the default socket folder must be
// this user's and closed to others, and the process at the other end must run as this user; else
// HostError says why.
int connectOwnHost(const std::string& path);
// The user id of the process at the other end of a connected Unix socket; false when unknown.
bool peerUser(int fd, unsigned& uid);
// Writes a whole line (a line break is appended) before the deadline; throws HostError when the peer
// is gone or the deadline passes. Never raises SIGPIPE.
void sendLine(int fd, const std::string& line, std::int64_t deadlineMs);

// Follows the lines in `buf` that the bytes from `from` on bring: `lineStart` is where the line under
// way begins, and moves past each line break. False, with `lineStart` left at the start of the
// offending line, once a line (ended or still under way) holds more than `cap` bytes before its line
// break; whether it came in one read or in many does not matter.
bool linesWithinCap(const std::string& buf, std::size_t from, std::size_t& lineStart, std::size_t cap);

// Buffered reading of lines from a non-blocking descriptor.
class LineReader {
public:
    explicit LineReader(std::size_t maxLine = 64u << 20) : maxLine_(maxLine) {}
    // Reads without waiting until a whole line is buffered or nothing more is available; what follows
    // a whole line may stay unread on the descriptor. False when the peer closed or the read failed,
    // or a line grew past maxLine bytes (the connection is then useless; the lines before that one
    // can still be taken, that line and what follows it cannot).
    bool fill(int fd);
    // Takes the next complete line (without its line break).
    bool next(std::string& line);
    bool hasLine() const { return buf_.find('\n', pos_) != std::string::npos; }
    // Whether the reading ended on a line longer than maxLine bytes.
    bool overlong() const { return overlong_; }
    std::size_t maxLine() const { return maxLine_; }
    void clear() {
        buf_.clear();
        pos_ = 0;
        lineStart_ = 0;
        overlong_ = false;
    }

private:
    std::string buf_;
    std::size_t pos_ = 0;
    std::size_t lineStart_ = 0;  // where the line under way begins in buf_
    std::size_t maxLine_;
    bool overlong_ = false;
};

// One line from the host as the program reads it: an event, or the reply to the call with that id.
// A line that is neither is passed over; when it was an event whose arguments are no call values,
// `fault` says so, for the diagnostic.
struct HostLine {
    std::optional<HostEvent> event;
    std::optional<long long> replyId;
    Json reply;
    std::string fault;
};
HostLine readHostLine(const std::string& line);

// Waits until fd is readable or the deadline passes; false on time-out.
bool waitReadable(int fd, std::int64_t deadlineMs);

// One request to the host on a connection of its own, for the command-line client: sends req with
// an id and returns the reply object. Throws HostError when no host answers in time.
Json hostRequest(const std::string& path, Json req, int timeoutMs = 5000);

}  // namespace tarnwick
