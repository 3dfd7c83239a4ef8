#pragma once
// The tool's own transmission read back. On a two-wire line every byte the tool sends comes back to its
// receiver; a USB adapter may hand it over many milliseconds after the frame has left. It is told apart
// from the other side's bytes by content alone: what arrives after a transmission is compared, in order
// and however it is split into reads, with the bytes sent. Bytes that match the start of the
// transmission are held back until it is clear what they are:
//   - the whole transmission read back: echo, dropped;
//   - a mismatch after at least the preamble, the frame's start byte and its address: the echo was cut
//     short (a byte lost or garbled), the part read back is dropped and the rest passed on;
//   - a mismatch earlier: not an echo at all (a four-wire line has none, and the controller's answer
//     begins with 0xFF like the tool's preamble), the held bytes are passed on in order.
// Nothing is ever dropped because of when it came.
#include <QtGlobal>
#include <span>
#include <vector>

class EchoFilter {
public:
    // Largest transmission: three preamble bytes and a frame of 255.
    static constexpr int kMaxSent = 3 + 255;

    // Expects the read-back of preamble + frame from now on; anything held from before is forgotten.
    void expect(std::span<const quint8> preamble, std::span<const quint8> frame);
    // Expects nothing (a port just opened).
    void clear();
    // Bytes held back as a possible start of the echo; `out` of pass() must have room for n + held().
    int held() const { return int(matched_); }

    // Passes n bytes read from the line. Writes the bytes that are not echo to out (held bytes that turned
    // out not to be echo first) and returns their count; *echo is set to the echo bytes recognised and
    // dropped in this call.
    int pass(const quint8* in, int n, quint8* out, int* echo);

private:
    std::vector<quint8> sent_;
    std::size_t matched_ = 0; // bytes of sent_ read back so far
    std::size_t partial_ = 0; // from this many bytes on, a cut read-back still counts as echo
    bool armed_ = false;
};
