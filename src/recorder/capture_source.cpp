#include "recorder/capture_source.h"

#include <algorithm>
#include <cstring>

namespace tarnwick {

std::string captureDeviceName(const std::string& name) {
    std::string n = name.substr(0, name.find('\0'));
    return n.size() > 31 ? n.substr(0, 31) : n;
}

CaptureStream::CaptureStream(CaptureNotify notify) : notify_(std::move(notify)) {}

CaptureStream::~CaptureStream() = default;

bool CaptureStream::prepare(CaptureHeader& h) {
    if (!h.data || h.bufferLength < 2) return false;
    h.prepared = true;
    return true;
}

bool CaptureStream::unprepare(CaptureHeader& h) {
    if (h.queued) return false;
    h.prepared = false;
    return true;
}

bool CaptureStream::addBuffer(CaptureHeader& h) {
    if (closed_ || !h.prepared || h.queued) return false;
    h.bytesRecorded = 0;
    h.done = false;
    h.queued = true;
    queue_.push_back(&h);
    if (running_) onQueued();
    return true;
}

bool CaptureStream::start() {
    if (closed_) return false;
    if (running_) return true;
    if (!onStart()) return false;
    running_ = true;
    return true;
}

void CaptureStream::stop() {
    if (!running_) return;
    onStop();
    running_ = false;
    flushPartial();
    reportFilled();
}

void CaptureStream::reset() {
    stop();
    while (!queue_.empty()) {
        CaptureHeader* h = queue_.front();
        queue_.pop_front();
        giveBack(h);
    }
    reportFilled();
}

void CaptureStream::close() {
    if (closed_) return;
    reset();
    closed_ = true;
    onClose();
    report(kWimClose, nullptr);
}

std::size_t CaptureStream::samplesUntilFull() const {
    if (queue_.empty()) return 0;
    return queue_.front()->bufferLength / 2 - queue_.front()->bytesRecorded / 2;
}

std::size_t CaptureStream::bufferSamples() const { return queue_.empty() ? 0 : queue_.front()->bufferLength / 2; }

std::size_t CaptureStream::queuedCapacity() const {
    std::size_t n = 0;
    for (const CaptureHeader* h : queue_) n += h->bufferLength / 2 - h->bytesRecorded / 2;
    return n;
}

void CaptureStream::deliver(const std::int16_t* samples, std::size_t count) {
    while (count > 0 && !queue_.empty()) {
        CaptureHeader* h = queue_.front();
        const std::size_t capacity = h->bufferLength / 2;
        const std::size_t have = h->bytesRecorded / 2;
        const std::size_t n = std::min(count, capacity - have);
        std::memcpy(h->data + have, samples, n * sizeof(std::int16_t));
        h->bytesRecorded = (have + n) * 2;
        samples += n;
        count -= n;
        if (have + n == capacity) {
            queue_.pop_front();
            giveBack(h);
        }
    }
}

void CaptureStream::flushPartial() {
    if (queue_.empty() || queue_.front()->bytesRecorded == 0) return;
    CaptureHeader* h = queue_.front();
    queue_.pop_front();
    giveBack(h);
}

void CaptureStream::giveBack(CaptureHeader* h) {
    h->queued = false;
    h->done = true;
    filled_.push_back(h);
}

void CaptureStream::reportFilled() {
    // The owner may stop or reset the device from a report, which reports the rest itself.
    while (!filled_.empty()) {
        CaptureHeader* h = filled_.front();
        filled_.pop_front();
        report(kWimData, h);
    }
}

void CaptureStream::report(unsigned message, CaptureHeader* h) {
    if (notify_) notify_(message, h);
}

}  // namespace tarnwick
