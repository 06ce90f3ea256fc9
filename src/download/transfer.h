#pragma once
// Internet transfers as the downloader uses them: one file fetched from an http:// or ftp:// address,
// or sent to an FTP server. A transfer runs on the program's loop and reports through its events; it
// never blocks the thread and never calls back from inside start(). The program backs this with
// libcurl; tests use a fake whose bytes follow virtual time.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tarnwick {

// Why a transfer did not succeed.
enum class TransferFailure {
    None,
    Resolve,     // the server's name does not resolve
    Connect,     // no connection, or the connect time-out passed
    Login,       // the FTP server refused the user or password
    Timeout,     // no byte moved for the stall time
    Cut,         // the connection ended before the whole body arrived
    NotFound,    // the remote file does not exist
    HttpStatus,  // the final HTTP status was not 2xx
    LocalFile,   // the local file could not be read or written, or the transfer was stopped
    Protocol,    // an address the transfer does not take
    RedirectScheme,    // a redirect to another kind of address than plain http
    TooManyRedirects,  // more redirects than a transfer follows
    Other,
};

struct TransferOutcome {
    bool ok = false;
    TransferFailure failure = TransferFailure::None;
    long httpStatus = 0;  // the final HTTP status; 0 for FTP
    std::string message;  // the library's own words, for the diagnostic line
};

struct TransferRequest {
    enum class Direction { Get, Put };
    Direction direction = Direction::Get;
    // "http://..." or "ftp://host:port/path". FTP paths are taken as written (see ftpPath below).
    std::string url;
    std::string agent;
    // FTP log-in; empty user means the address's own (anonymous).
    std::string user, password;
    // FTP only: the ASCII transfer type instead of binary (text lines arrive with the local line end and
    // leave with the network's), and the active data mode.
    bool ascii = false;
    bool active = false;
    // Straight to the server, whatever proxy the environment names.
    bool direct = false;
    // Put: the local file whose bytes are sent.
    std::string localPath;
    // Get: the open file the body is written to, from its start. The service writes it (off the
    // program's loop where it can, so a slow disk holds no tool), never closes it, and reports success
    // only once every byte is on the disk (synced).
    int sinkFd = -1;
};

// What a running transfer reports. Each event may be left unset.
struct TransferEvents {
    // The size the server stated for the body (HTTP Content-Length of the final reply, or the FTP
    // size), before the first bytes; -1 when it stated none. Returning false stops the transfer.
    std::function<bool(std::int64_t size)> sized;
    // The bytes moved so far: body bytes received (Get) or sent (Put). Returning false stops the
    // transfer; it then ends with LocalFile. Neither this nor `sized` may drop the transfer.
    std::function<bool(std::int64_t total)> progress;
    // FTP: the server accepted the log-in.
    std::function<void()> loggedIn;
    // The end, exactly once (unless the transfer was dropped first). Its handler may drop the transfer.
    std::function<void(const TransferOutcome&)> done;
};

// A running transfer. Dropping it stops the transfer; no event follows.
class Transfer {
public:
    virtual ~Transfer() = default;
};

class TransferService {
public:
    virtual ~TransferService() = default;
    // Starts a transfer. Events come later, from the loop.
    virtual std::unique_ptr<Transfer> start(const TransferRequest& request, TransferEvents events) = 0;
};

// Transfer limits the operator can rely on.
inline constexpr int kConnectTimeoutSeconds = 30;
inline constexpr int kStallSeconds = 60;

}  // namespace tarnwick
