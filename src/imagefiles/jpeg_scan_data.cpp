#include "imagefiles/jpeg_scan_data.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace talvenor {

namespace {

struct FrameComponent {
    int id = 0, h = 1, v = 1;
};

struct Frame {
    bool seen = false;
    bool progressive = false;
    bool unbounded = false;  // arithmetic or lossless coding: no floor per block
    uint64_t width = 0, height = 0;
    int hMax = 1, vMax = 1;
    std::array<FrameComponent, 4> components{};
    int count = 0;

    // Blocks of component `id` as a scan of that component alone codes them: the fewest any
    // scan that includes it can code.
    uint64_t Blocks(int id) const {
        for (int i = 0; i < count; ++i) {
            const FrameComponent& c = components[std::size_t(i)];
            if (c.id != id) continue;
            const uint64_t w = (width * uint64_t(c.h) + uint64_t(hMax) - 1) / uint64_t(hMax);
            const uint64_t h = (height * uint64_t(c.v) + uint64_t(vMax) - 1) / uint64_t(vMax);
            return (w + 7) / 8 * ((h + 7) / 8);
        }
        return 0;
    }
};

// The shortest code of each Huffman table defined so far (0: not defined, counts as one bit).
struct ShortestCodes {
    std::array<int, 4> dc{}, ac{};
    static uint64_t Bits(int length) { return length > 0 ? uint64_t(length) : 1; }
};

void ReadTables(const uint8_t* p, std::size_t n, ShortestCodes& codes) {
    std::size_t at = 0;
    while (at + 17 <= n) {
        const int kind = p[at] >> 4, slot = p[at] & 3;
        int shortest = 0, symbols = 0;
        for (int len = 1; len <= 16; ++len) {
            const int count = p[at + std::size_t(len)];
            if (count != 0 && shortest == 0) shortest = len;
            symbols += count;
        }
        (kind == 0 ? codes.dc : codes.ac)[std::size_t(slot)] = shortest;
        at += 17 + std::size_t(symbols);
    }
}

void ReadFrame(const uint8_t* p, std::size_t n, uint8_t marker, Frame& f) {
    if (n < 6) return;
    f = Frame{};
    f.seen = true;
    f.progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
    const bool lossless = marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF;
    f.unbounded = marker >= 0xC9 || lossless;
    f.height = uint64_t(p[1]) << 8 | p[2];
    f.width = uint64_t(p[3]) << 8 | p[4];
    const int count = std::min<int>(p[5], 4);
    for (int i = 0; i < count && 6 + 3 * std::size_t(i) + 2 < n; ++i) {
        const uint8_t* c = p + 6 + 3 * i;
        FrameComponent& fc = f.components[std::size_t(i)];
        fc = {c[0], std::max(1, c[1] >> 4), std::max(1, c[1] & 15)};
        f.hMax = std::max(f.hMax, fc.h);
        f.vMax = std::max(f.vMax, fc.v);
        f.count = i + 1;
    }
}

// The fewest bits the scan whose header is `p` (n bytes) can take.
uint64_t ScanFloor(const uint8_t* p, std::size_t n, const Frame& f, const ShortestCodes& codes) {
    if (!f.seen || f.unbounded || n < 1) return 0;
    const std::size_t count = p[0];
    if (n < 1 + 2 * count + 3) return 0;
    const int ss = p[1 + 2 * count], ah = p[3 + 2 * count] >> 4;
    uint64_t bits = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int id = p[1 + 2 * i], dc = p[2 + 2 * i] >> 4 & 3, ac = p[2 + 2 * i] & 3;
        uint64_t perBlock = 0;
        if (!f.progressive) perBlock = ShortestCodes::Bits(codes.dc[std::size_t(dc)]) + ShortestCodes::Bits(codes.ac[std::size_t(ac)]);
        else if (ss == 0) perBlock = ah == 0 ? ShortestCodes::Bits(codes.dc[std::size_t(dc)]) : 1;
        bits += f.Blocks(id) * perBlock;
    }
    return bits;
}

// Entropy-coded bytes from `at` up to the marker that ends the scan; `at` is left on that marker.
uint64_t EntropyBytes(std::span<const uint8_t> d, std::size_t& at) {
    uint64_t bytes = 0;
    const std::size_t n = d.size();
    while (at < n) {
        const void* ff = std::memchr(d.data() + at, 0xFF, n - at);
        const std::size_t next = ff ? std::size_t(static_cast<const uint8_t*>(ff) - d.data()) : n;
        bytes += next - at;
        at = next;
        if (at + 1 >= n) break;
        const uint8_t code = d[at + 1];
        if (code == 0x00) {  // a stuffed 0xFF: one byte of data
            ++bytes;
            at += 2;
        } else if (code >= 0xD0 && code <= 0xD7) {  // restart marker
            at += 2;
        } else if (code == 0xFF) {  // fill byte before a marker
            ++at;
        } else {
            break;
        }
    }
    return bytes;
}

}  // namespace

JpegScanData MeasureJpegScans(std::span<const uint8_t> d) {
    JpegScanData out;
    const std::size_t n = d.size();
    if (n < 4 || d[0] != 0xFF || d[1] != 0xD8) return out;
    Frame frame;
    ShortestCodes codes;
    std::size_t at = 2;
    for (;;) {
        // Bytes between segments are skipped, as libjpeg skips them (with a warning).
        while (at < n && d[at] != 0xFF) ++at;
        while (at < n && d[at] == 0xFF) ++at;
        if (at >= n) break;
        const uint8_t marker = d[at++];
        if (marker == 0xD9) break;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;  // no length
        if (at + 2 > n) break;
        const std::size_t length = std::size_t(d[at]) << 8 | d[at + 1];
        if (length < 2 || at + length > n) break;
        const uint8_t* body = d.data() + at + 2;
        const std::size_t size = length - 2;
        at += length;
        if (marker == 0xC4) {
            ReadTables(body, size, codes);
        } else if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC8 && marker != 0xCC) {
            ReadFrame(body, size, marker, frame);
        } else if (marker == 0xDA) {
            const uint64_t floor = ScanFloor(body, size, frame, codes);
            const uint64_t bytes = EntropyBytes(d, at);
            out.bytes += bytes;
            ++out.scans;
            if (out.shortScan == 0 && bytes * 8 < floor) {
                out.shortScan = out.scans;
                out.shortScanBytes = bytes;
                out.shortScanNeeds = (floor + 7) / 8;
            }
        }
    }
    return out;
}

}  // namespace talvenor
