#include "EchoFilter.h"

#include <algorithm>

void EchoFilter::expect(std::span<const quint8> preamble, std::span<const quint8> frame) {
    sent_.assign(preamble.begin(), preamble.end());
    sent_.insert(sent_.end(), frame.begin(), frame.end());
    if (sent_.size() > std::size_t(kMaxSent))
        sent_.resize(std::size_t(kMaxSent));
    matched_ = 0;
    // Preamble, start byte and address: the other side never sends these in this order.
    partial_ = std::min(sent_.size(), preamble.size() + 2);
    armed_ = !sent_.empty();
}

void EchoFilter::clear() {
    sent_.clear();
    matched_ = 0;
    armed_ = false;
}

int EchoFilter::pass(const quint8* in, int n, quint8* out, int* echo) {
    int kept = 0;
    *echo = 0;
    for (int i = 0; i < n; ++i) {
        const quint8 b = in[i];
        if (armed_ && b == sent_[matched_]) {
            if (++matched_ == sent_.size()) {
                *echo += int(matched_);
                matched_ = 0;
                armed_ = false;
            }
            continue;
        }
        if (armed_) {
            if (matched_ >= partial_) {
                *echo += int(matched_);
            } else {
                std::copy_n(sent_.begin(), matched_, out + kept);
                kept += int(matched_);
            }
            matched_ = 0;
            armed_ = false;
        }
        out[kept++] = b;
    }
    return kept;
}
