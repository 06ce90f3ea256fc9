#include "platform/curl/curl_transfers.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "platform/curl/disk_writer.h"
#include "platform/curl/upload_source.h"
#include "runtime/runtime.h"

namespace tarnwick {
namespace {

class CurlService;

struct CurlJob : Transfer {
    ~CurlJob() override;

    CurlService* service = nullptr;
    CURL* easy = nullptr;
    TransferEvents events;
    bool ftp = false;
    bool inMulti = false;
    bool sizedSent = false;
    bool loginSeen = false;
    // Held back while the disk writer's queue is full.
    bool paused = false;
    // A stop asked for by an event handler: the transfer ends with LocalFile.
    bool stopped = false;
    std::unique_ptr<UploadSource> source;  // the file an upload sends
    std::int64_t moved = 0;                // body bytes received or sent
    std::shared_ptr<DiskWriter::Sink> sink;
    // The outcome of a finished download whose bytes are still on their way to the disk.
    std::unique_ptr<TransferOutcome> pending;
    // libcurl keeps the first error text of a transfer, which may belong to a step it got past (the
    // active FTP mode's probe of address families). A text that was there before the server's next
    // reply is not the failure's own.
    bool staleErrorText = false;
    std::string refusal;  // the FTP server's last refusing reply (4xx or 5xx)
    char errorText[CURL_ERROR_SIZE] = {};
};

class CurlService : public TransferService {
public:
    CurlService(Runtime& rt, DiskWriter::Options disk);
    ~CurlService() override;

    std::unique_ptr<Transfer> start(const TransferRequest& request, TransferEvents events) override;
    void drop(CurlJob* job);

private:
    struct Watches {
        int read = -1, write = -1;
    };

    static int onSocket(CURL* easy, curl_socket_t s, int what, void* self, void* socketData);
    static int onTimer(CURLM* multi, long ms, void* self);
    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* job);
    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* job);
    static std::size_t onRead(char* data, std::size_t size, std::size_t count, void* job);

    void watch(curl_socket_t s, int what);
    void act(curl_socket_t s, int events);
    void collectFinished();
    void failLater(std::unique_ptr<CurlJob>& job, TransferFailure failure, const std::string& message);
    void sinkChanged(CurlJob* job);
    void sourceOpened(CurlJob* job);

    Runtime& rt_;
    CURLM* multi_ = nullptr;
    DiskWriter writer_;
    Timer timer_;
    std::map<curl_socket_t, Watches> watches_;
    std::set<CurlJob*> jobs_;
    // Posted work checks this before it touches the service.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

CurlJob::~CurlJob() {
    if (service) service->drop(this);
    if (sink) sink->close();
    if (easy) curl_easy_cleanup(easy);
}

bool startsWithNoCase(const std::string& s, const char* prefix) {
    for (std::size_t i = 0; prefix[i]; ++i) {
        if (i >= s.size()) return false;
        char c = s[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

CurlService::CurlService(Runtime& rt, DiskWriter::Options disk) : rt_(rt), writer_(rt, disk), timer_(rt, 0) {
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)initialised;
    multi_ = curl_multi_init();
    if (multi_) {
        curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &CurlService::onSocket);
        curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
        curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &CurlService::onTimer);
        curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
    }
    timer_.onTick = [this] {
        timer_.setEnabled(false);
        act(CURL_SOCKET_TIMEOUT, 0);
    };
}

CurlService::~CurlService() {
    *alive_ = false;
    timer_.setEnabled(false);
    for (CurlJob* job : jobs_) {
        if (job->inMulti) curl_multi_remove_handle(multi_, job->easy);
        job->inMulti = false;
        job->service = nullptr;
    }
    jobs_.clear();
    for (auto& [s, w] : watches_) {
        if (w.read >= 0) rt_.removeWatch(w.read);
        if (w.write >= 0) rt_.removeWatch(w.write);
    }
    watches_.clear();
    if (multi_) curl_multi_cleanup(multi_);
}

void CurlService::failLater(std::unique_ptr<CurlJob>& job, TransferFailure failure, const std::string& message) {
    // Never from inside start(): the caller has not stored its handle yet.
    CurlJob* raw = job.get();
    std::weak_ptr<bool> alive = alive_;
    jobs_.insert(raw);
    rt_.post([this, alive, raw, failure, message] {
        if (alive.expired() || !jobs_.count(raw)) return;
        TransferOutcome out;
        out.failure = failure;
        out.message = message;
        auto done = raw->events.done;
        if (done) done(out);
    });
}

std::unique_ptr<Transfer> CurlService::start(const TransferRequest& request, TransferEvents events) {
    auto job = std::make_unique<CurlJob>();
    job->service = this;
    job->events = std::move(events);
    job->ftp = startsWithNoCase(request.url, "ftp://");
    job->easy = multi_ ? curl_easy_init() : nullptr;
    if (!job->easy) {
        failLater(job, TransferFailure::Other, "no transfer session could be made");
        return job;
    }
    CURL* e = job->easy;
    curl_easy_setopt(e, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(e, CURLOPT_PRIVATE, job.get());
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, job->errorText);
    curl_easy_setopt(e, CURLOPT_USERAGENT, request.agent.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,ftp");
    // Redirects stay on plain http.
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http");
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
    // An error page is no file: the transfer stops at a status of 400 or more.
    curl_easy_setopt(e, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, static_cast<long>(kConnectTimeoutSeconds));
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, static_cast<long>(kStallSeconds));
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, 256L * 1024L);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &CurlService::onBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, job.get());
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &CurlService::onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, job.get());
    if (request.direct) curl_easy_setopt(e, CURLOPT_PROXY, "");
    if (job->ftp) {
        if (!request.user.empty()) {
            curl_easy_setopt(e, CURLOPT_USERNAME, request.user.c_str());
            curl_easy_setopt(e, CURLOPT_PASSWORD, request.password.c_str());
        }
        // Each FTP transfer is a session of its own: connect, log in, move the file, disconnect.
        curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
        // The remote path goes to the server as one name, never as a walk of directories.
        curl_easy_setopt(e, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
        if (request.active) curl_easy_setopt(e, CURLOPT_FTPPORT, "-");
        // libcurl turns the network's CR LF into LF on an ASCII download; an upload is sent with CR LF.
        if (request.ascii) {
            curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, 1L);
            if (request.direction == TransferRequest::Direction::Put) curl_easy_setopt(e, CURLOPT_CRLF, 1L);
        }
    }
    if (request.direction == TransferRequest::Direction::Put) {
        // The file is opened and read off the loop; the transfer starts once it is open.
        CurlJob* raw = job.get();
        job->source = UploadSource::open(rt_, request.localPath, [this, raw] { sourceOpened(raw); });
        if (!job->source) {
            failLater(job, TransferFailure::LocalFile,
                      "cannot read " + request.localPath + ": no reader could be started");
            return job;
        }
        curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(e, CURLOPT_READFUNCTION, &CurlService::onRead);
        curl_easy_setopt(e, CURLOPT_READDATA, job.get());
        jobs_.insert(job.get());
        return job;
    }
    if (request.sinkFd >= 0) {
        CurlJob* raw = job.get();
        job->sink = writer_.open(request.sinkFd, [this, raw] { sinkChanged(raw); });
        if (!job->sink) {
            failLater(job, TransferFailure::LocalFile, "the file cannot be written: no writer could be started");
            return job;
        }
    }
    if (curl_multi_add_handle(multi_, e) != CURLM_OK) {
        failLater(job, TransferFailure::Other, "the transfer could not be started");
        return job;
    }
    job->inMulti = true;
    jobs_.insert(job.get());
    return job;
}

void CurlService::drop(CurlJob* job) {
    if (job->inMulti) curl_multi_remove_handle(multi_, job->easy);
    job->inMulti = false;
    jobs_.erase(job);
}

int CurlService::onSocket(CURL*, curl_socket_t s, int what, void* self, void*) {
    static_cast<CurlService*>(self)->watch(s, what);
    return 0;
}

void CurlService::watch(curl_socket_t s, int what) {
    Watches& w = watches_[s];
    const bool wantRead = what == CURL_POLL_IN || what == CURL_POLL_INOUT;
    const bool wantWrite = what == CURL_POLL_OUT || what == CURL_POLL_INOUT;
    if (!wantRead && w.read >= 0) {
        rt_.removeWatch(w.read);
        w.read = -1;
    }
    if (!wantWrite && w.write >= 0) {
        rt_.removeWatch(w.write);
        w.write = -1;
    }
    if (wantRead && w.read < 0) w.read = rt_.addReadWatch(s, [this, s] { act(s, CURL_CSELECT_IN); });
    if (wantWrite && w.write < 0) w.write = rt_.addWriteWatch(s, [this, s] { act(s, CURL_CSELECT_OUT); });
    if (what == CURL_POLL_REMOVE) watches_.erase(s);
}

int CurlService::onTimer(CURLM*, long ms, void* self) {
    auto* service = static_cast<CurlService*>(self);
    service->timer_.setEnabled(false);
    if (ms < 0) return 0;
    if (ms == 0) {
        std::weak_ptr<bool> alive = service->alive_;
        service->rt_.post([service, alive] {
            if (!alive.expired()) service->act(CURL_SOCKET_TIMEOUT, 0);
        });
        return 0;
    }
    service->timer_.setInterval(static_cast<int>(ms > 0x7fffffffL ? 0x7fffffffL : ms));
    service->timer_.setEnabled(true);
    return 0;
}

void CurlService::act(curl_socket_t s, int events) {
    int running = 0;
    curl_multi_socket_action(multi_, s, events, &running);
    collectFinished();
}

TransferFailure failureOf(CURLcode rc) {
    switch (rc) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return TransferFailure::Resolve;
    case CURLE_COULDNT_CONNECT:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_ACCEPT_TIMEOUT:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_WEIRD_SERVER_REPLY:
        return TransferFailure::Connect;
    case CURLE_LOGIN_DENIED:
        return TransferFailure::Login;
    case CURLE_OPERATION_TIMEDOUT:
        return TransferFailure::Timeout;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
        return TransferFailure::Cut;
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FTP_COULDNT_RETR_FILE:
        return TransferFailure::NotFound;
    case CURLE_HTTP_RETURNED_ERROR:
        return TransferFailure::HttpStatus;
    case CURLE_WRITE_ERROR:
    case CURLE_READ_ERROR:
    case CURLE_ABORTED_BY_CALLBACK:
        return TransferFailure::LocalFile;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return TransferFailure::Protocol;
    case CURLE_TOO_MANY_REDIRECTS:
        return TransferFailure::TooManyRedirects;
    default:
        return TransferFailure::Other;
    }
}

// The reason of a failure in the transfer's own words.
std::string failureText(CurlJob& job, CURLcode rc) {
    std::string text = job.errorText[0] && !job.staleErrorText ? job.errorText : curl_easy_strerror(rc);
    // The FTP server's refusal says best what went wrong.
    const std::string& reply = job.refusal;
    if (!reply.empty() && text.find(reply.substr(0, 3)) == std::string::npos) text += ": the server said " + reply;
    return text;
}

void CurlService::collectFinished() {
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
        if (msg->msg != CURLMSG_DONE) continue;
        CurlJob* job = nullptr;
        curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&job));
        const CURLcode rc = msg->data.result;
        if (!job || !jobs_.count(job)) continue;
        curl_multi_remove_handle(multi_, job->easy);
        job->inMulti = false;

        TransferOutcome out;
        if (!job->ftp) curl_easy_getinfo(job->easy, CURLINFO_RESPONSE_CODE, &out.httpStatus);
        long redirects = 0;
        curl_easy_getinfo(job->easy, CURLINFO_REDIRECT_COUNT, &redirects);
        if (rc == CURLE_OK) {
            out.ok = job->ftp || (out.httpStatus >= 200 && out.httpStatus <= 299);
            if (!out.ok) {
                out.failure = TransferFailure::HttpStatus;
                out.message = "HTTP status " + std::to_string(out.httpStatus);
            }
        } else if (job->sink && job->sink->error()) {
            out.failure = TransferFailure::LocalFile;
            out.message = std::string("cannot write the file: ") + std::strerror(job->sink->error());
        } else if (job->source && !job->source->error().empty()) {
            out.failure = TransferFailure::LocalFile;
            out.message = job->source->error();
        } else if (job->stopped) {
            out.failure = TransferFailure::LocalFile;
            out.message = "stopped";
        } else if (rc == CURLE_UNSUPPORTED_PROTOCOL && redirects > 0) {
            out.failure = TransferFailure::RedirectScheme;
            out.message = "the server sent it to an address that is not plain http";
        } else if (rc == CURLE_OUT_OF_MEMORY && !job->sizedSent) {
            // libcurl's word for a reply header larger than it takes.
            out.failure = TransferFailure::Other;
            out.message = "the reply's header is too large";
        } else {
            out.failure = failureOf(rc);
            out.message = failureText(*job, rc);
        }
        if (job->sink) {
            if (out.ok) {
                // Done once the bytes are on the disk.
                job->pending = std::make_unique<TransferOutcome>(out);
                job->sink->finish();
                continue;
            }
            job->sink->close();
        }
        // The handler may drop the job; nothing of it is touched afterwards.
        auto done = job->events.done;
        if (done) done(out);
    }
}

void CurlService::sinkChanged(CurlJob* job) {
    if (!jobs_.count(job)) return;
    if (const int err = job->sink->error()) {
        TransferOutcome out;
        out.failure = TransferFailure::LocalFile;
        out.message = std::string("cannot write the file: ") + std::strerror(err);
        job->pending.reset();
        if (job->inMulti) curl_multi_remove_handle(multi_, job->easy);
        job->inMulti = false;
        job->sink->close();
        auto done = job->events.done;
        if (done) done(out);
        return;
    }
    if (job->pending) {
        if (!job->sink->synced()) return;
        const TransferOutcome out = *job->pending;
        job->pending.reset();
        auto done = job->events.done;
        if (done) done(out);
        return;
    }
    if (job->paused && !job->sink->full()) {
        job->paused = false;
        // libcurl hands over the bytes it held back, maybe from inside this call.
        curl_easy_pause(job->easy, CURLPAUSE_CONT);
        collectFinished();
    }
}

void CurlService::sourceOpened(CurlJob* job) {
    if (!jobs_.count(job)) return;
    TransferOutcome out;
    out.failure = TransferFailure::LocalFile;
    out.message = job->source->error();
    if (out.message.empty()) {
        curl_easy_setopt(job->easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(job->source->size()));
        if (curl_multi_add_handle(multi_, job->easy) == CURLM_OK) {
            job->inMulti = true;
            return;
        }
        out.failure = TransferFailure::Other;
        out.message = "the transfer could not be started";
    }
    // The handler may drop the job.
    auto done = job->events.done;
    if (done) done(out);
}

std::size_t CurlService::onBody(char* data, std::size_t size, std::size_t count, void* p) {
    auto* job = static_cast<CurlJob*>(p);
    const std::size_t n = size * count;
    if (job->stopped) return 0;
    if (!job->sizedSent) {
        job->sizedSent = true;
        curl_off_t length = -1;
        curl_easy_getinfo(job->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        if (job->events.sized && !job->events.sized(length)) {
            job->stopped = true;
            return 0;
        }
    }
    if (job->sink) {
        if (job->sink->error()) return 0;
        if (job->sink->full()) {
            // The disk is behind: the connection waits until the writer has room again.
            job->paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        job->sink->write(data, n);
    }
    job->moved += static_cast<std::int64_t>(n);
    if (job->events.progress && !job->events.progress(job->moved)) {
        job->stopped = true;
        return 0;
    }
    return n;
}

std::size_t CurlService::onHeader(char* data, std::size_t size, std::size_t count, void* p) {
    auto* job = static_cast<CurlJob*>(p);
    const std::size_t n = size * count;
    // An error text that came before this reply belongs to a step the transfer got past.
    if (job->errorText[0]) job->staleErrorText = true;
    if (job->ftp && n >= 3 && (data[0] == '4' || data[0] == '5')) {
        std::string line(data, std::min<std::size_t>(n, 200));
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        job->refusal = line;
    }
    // FTP server replies arrive here; 230 is "user logged in".
    if (job->ftp && !job->loginSeen && n >= 4 && data[0] == '2' && data[1] == '3' && data[2] == '0' &&
        (data[3] == ' ' || data[3] == '-')) {
        job->loginSeen = true;
        if (job->events.loggedIn) job->events.loggedIn();
    }
    return n;
}

std::size_t CurlService::onRead(char* data, std::size_t size, std::size_t count, void* p) {
    auto* job = static_cast<CurlJob*>(p);
    // What the reading thread has sent so far; with nothing yet, the connection waits for it. (The
    // wake-up belongs to the job's source: it never outlives the job.)
    const long n = job->source->take(data, size * count, [job] {
        CurlService* service = job->service;
        if (!service || !service->jobs_.count(job) || !job->inMulti) return;
        curl_easy_pause(job->easy, CURLPAUSE_CONT);
        service->collectFinished();
    });
    if (n == UploadSource::kWait) return CURL_READFUNC_PAUSE;
    if (n == 0) return job->source->error().empty() ? 0 : CURL_READFUNC_ABORT;
    job->moved += n;
    if (job->events.progress && !job->events.progress(job->moved)) {
        job->stopped = true;
        return CURL_READFUNC_ABORT;
    }
    return static_cast<std::size_t>(n);
}

}  // namespace

std::unique_ptr<TransferService> makeCurlTransfers(Runtime& rt, DiskWriter::Options disk) {
    return std::make_unique<CurlService>(rt, disk);
}

}  // namespace tarnwick
