#pragma once
// One TIFF image file directory: the fields the reader needs, taken from a file held whole
// in memory. Every offset in a directory comes from the file and is checked against its
// size before anything is read there, so a damaged file ends in an Error, never in a read
// outside the buffer.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace talvenor {

enum class TiffByteOrder { Little, Big };

// Multi-byte numbers in a file's byte order. The caller has checked the bounds.
inline uint16_t TiffGet16(const uint8_t* p, bool big) {
    return big ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[0] | p[1] << 8);
}
inline uint32_t TiffGet32(const uint8_t* p, bool big) {
    return big ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
               : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

class TIFD {
public:
    // Tag numbers the reader and the writer use.
    enum Tag : uint16_t {
        kNewSubfileType = 254,
        kImageWidth = 256,
        kImageLength = 257,
        kBitsPerSample = 258,
        kCompression = 259,
        kPhotometric = 262,
        kFillOrder = 266,
        kImageDescription = 270,
        kStripOffsets = 273,
        kOrientation = 274,
        kSamplesPerPixel = 277,
        kRowsPerStrip = 278,
        kStripByteCounts = 279,
        kPlanarConfiguration = 284,
        kPredictor = 317,
        kColorMap = 320,
        kTileWidth = 322,
        kTileLength = 323,
        kTileOffsets = 324,
        kTileByteCounts = 325,
        kExtraSamples = 338,
        kSampleFormat = 339,
    };

    TiffByteOrder ByteOrder = TiffByteOrder::Little;
    uint32_t ImageWidth = 0;
    uint32_t ImageLength = 0;
    uint32_t BitsPerSample = 1;
    // Some writers give each sample its own depth; the reader only decodes equal depths.
    bool MixedBitsPerSample = false;
    uint32_t Compression = 1;
    // Absent in a few old files; they are read as black is zero, or as RGB when they have
    // three samples or more.
    uint32_t Photometric = 1;
    bool HasPhotometric = false;
    uint32_t FillOrder = 1;
    uint32_t Orientation = 1;
    uint32_t SamplesPerPixel = 1;
    // All rows in one strip when the tag is absent.
    uint32_t RowsPerStrip = 0xFFFFFFFFu;
    uint32_t PlanarConfiguration = 1;
    uint32_t Predictor = 1;
    // Where the colour map's 16-bit entries start in the file, and how many there are.
    uint32_t ColorMapOffset = 0;
    uint32_t ColorMapCount = 0;
    bool HasColorMap = false;
    // One entry per strip; byte counts are empty when the file leaves them out.
    std::vector<uint32_t> StripOffsets;
    std::vector<uint32_t> StripByteCounts;
    bool HasStripOffsets = false;
    bool HasStripByteCounts = false;
    uint32_t NextIfdOffset = 0;
    // 1 unsigned integer (also when absent), 2 signed integer, 3 floating point, 4 undefined;
    // 0 when the entry is damaged.
    uint32_t SampleFormat = 1;
    // Tiled files list tiles instead of strips; the own reader reads strips only.
    uint32_t TileWidth = 0;
    uint32_t TileLength = 0;
    bool HasTileOffsets = false;
    // How many strips or tiles the directory lists.
    uint64_t Chunks = 0;
    // Samples beyond the colour ones (alpha, masks), as the ExtraSamples entry counts them.
    uint32_t ExtraSamples = 0;
    // 64-bit offsets (header version 43); only libtiff reads those files.
    bool BigTiff = false;
    // The ImageDescription text as found (type, byte count, where it starts); only checked by
    // whoever reads it, so an odd description never stops a frame from being read.
    uint16_t DescriptionType = 0;
    uint32_t DescriptionCount = 0;
    uint64_t DescriptionOffset = 0;
    bool HasDescription = false;

    bool BigEndian() const { return ByteOrder == TiffByteOrder::Big; }
    bool HorizontalPredictor() const { return Predictor == 2; }
    std::size_t StripCount() const { return StripOffsets.size(); }
    bool Tiled() const { return TileWidth != 0 || TileLength != 0 || HasTileOffsets; }
    uint32_t BitsPerPixel() const { return SamplesPerPixel * BitsPerSample; }

    // Reads the header and the first directory of a TIFF file. Throws Error with the
    // problem ("Invalid TIFF header", "directory ... lies past the end of the file", ...);
    // the caller adds the file's name.
    static TIFD Parse(const uint8_t* data, std::size_t size);
};

// Whether the file starts with a BigTIFF header ("II" or "MM", version 43).
inline bool IsBigTiffHeader(const uint8_t* data, std::size_t size) {
    return size >= 4 && ((data[0] == 'I' && data[1] == 'I' && data[2] == 43 && data[3] == 0) ||
                         (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && data[3] == 43));
}

}  // namespace talvenor
