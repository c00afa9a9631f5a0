#include "archive/codec/output_window.h"

#include <algorithm>
#include <cstring>

namespace kv::codec {

OutputWindow::OutputWindow(std::span<uint8_t> out)
    : buf_(out.data()), bufEnd_(out.data() + out.size()), flushed_(out.data()), limit_(out.size()) {
    pos = buf_;
    end = bufEnd_;
}

OutputWindow::OutputWindow(Sink sink, uint64_t limit, size_t history, size_t capacity)
    : sink_(std::move(sink)), limit_(limit), history_(history) {
    init(own_, capacity);
}

OutputWindow::OutputWindow(Sink sink, uint64_t limit, std::vector<uint8_t>& scratch, size_t history,
                           size_t capacity)
    : sink_(std::move(sink)), limit_(limit), history_(history) {
    init(scratch, capacity);
}

void OutputWindow::init(std::vector<uint8_t>& storage, size_t capacity) {
    capacity = std::max(capacity, history_ * 2 + 4096);
    // A small entry needs no megabyte of window.
    if (limit_ < capacity - history_) capacity = std::max<size_t>(static_cast<size_t>(limit_) + 512, 4096);
    if (storage.size() < capacity) storage.resize(capacity);
    buf_ = flushed_ = pos = storage.data();
    bufEnd_ = buf_ + capacity;
    setEnd();
}

void OutputWindow::setEnd() {
    uint64_t room = limit_ - std::min(limit_, base_);
    end = room < static_cast<uint64_t>(bufEnd_ - buf_) ? buf_ + room : bufEnd_;
}

Status OutputWindow::makeRoom() {
    if (pos < end) return Status::Ok;
    if (atLimit() || !sink_) return Status::OutputLimit;
    if (pos > flushed_ && !sink_(flushed_, static_cast<size_t>(pos - flushed_))) return Status::SinkFailed;
    size_t keep = std::min(history_, static_cast<size_t>(pos - buf_));
    std::memmove(buf_, pos - keep, keep);
    base_ += static_cast<uint64_t>(pos - buf_) - keep;
    pos = flushed_ = buf_ + keep;
    setEnd();
    return Status::Ok;
}

Status OutputWindow::finish() {
    if (sink_ && pos > flushed_) {
        if (!sink_(flushed_, static_cast<size_t>(pos - flushed_))) return Status::SinkFailed;
        flushed_ = pos;
    }
    return Status::Ok;
}

}  // namespace kv::codec
