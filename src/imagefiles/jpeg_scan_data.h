#pragma once
// How much a JPEG file's scans really hold, measured before libjpeg is given the file, so a
// header that claims a picture its data cannot code is refused before anything is allocated.
//
// The markers are walked from the start of the file: only the entropy-coded bytes of each scan
// count (a stuffed zero after 0xFF, restart markers, fill bytes, the other segments and
// whatever follows the end marker do not). Each Huffman-coded scan must then code every
// block it covers: a sequential scan at least the shortest DC code and the shortest AC code
// of the tables it uses, a progressive DC scan the shortest DC code (one bit when it refines).
// That is a floor no encoder can go under, so no sound file is refused, while bytes of padding
// no longer pass for data: zero bytes are valid scan data, but only at the rate the file's own
// tables allow. Arithmetic-coded and lossless scans have no such floor and are not bounded here.
#include <cstdint>
#include <span>

namespace talvenor {

struct JpegScanData {
    uint64_t bytes = 0;  // entropy-coded bytes of all scans
    int scans = 0;
    // The first scan too short for the blocks it must code (0: none), its bytes and the
    // fewest bytes its blocks can take.
    int shortScan = 0;
    uint64_t shortScanBytes = 0, shortScanNeeds = 0;

    bool Backed() const { return scans > 0 && shortScan == 0; }
};

// Walks the file up to its end marker (or the end of the bytes, or a damaged segment).
JpegScanData MeasureJpegScans(std::span<const uint8_t> bytes);

}  // namespace talvenor
