#include "imagefiles/tiff_ifd.h"

#include <string>

#include "workspace/error.h"

namespace talvenor {

namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kEntrySize = 12;

// Bytes per element of each TIFF field type (0 for types a classic TIFF cannot hold).
std::size_t TypeSize(uint16_t type) {
    switch (type) {
        case 1: case 2: case 6: case 7: return 1;   // BYTE, ASCII, SBYTE, UNDEFINED
        case 3: case 8: return 2;                   // SHORT, SSHORT
        case 4: case 9: case 11: case 13: return 4; // LONG, SLONG, FLOAT, IFD
        case 5: case 10: case 12: return 8;         // RATIONAL, SRATIONAL, DOUBLE
        default: return 0;
    }
}

bool IsInteger(uint16_t type) { return type == 1 || type == 3 || type == 4 || type == 6 || type == 8 || type == 9; }

std::string TagName(uint16_t tag) {
    switch (tag) {
        case TIFD::kImageWidth: return "ImageWidth";
        case TIFD::kImageLength: return "ImageLength";
        case TIFD::kBitsPerSample: return "BitsPerSample";
        case TIFD::kCompression: return "Compression";
        case TIFD::kPhotometric: return "PhotometricInterpretation";
        case TIFD::kFillOrder: return "FillOrder";
        case TIFD::kStripOffsets: return "StripOffsets";
        case TIFD::kOrientation: return "Orientation";
        case TIFD::kSamplesPerPixel: return "SamplesPerPixel";
        case TIFD::kRowsPerStrip: return "RowsPerStrip";
        case TIFD::kStripByteCounts: return "StripByteCounts";
        case TIFD::kPlanarConfiguration: return "PlanarConfiguration";
        case TIFD::kPredictor: return "Predictor";
        case TIFD::kColorMap: return "ColorMap";
        case TIFD::kTileWidth: return "TileWidth";
        case TIFD::kTileLength: return "TileLength";
        case TIFD::kExtraSamples: return "ExtraSamples";
        case TIFD::kSampleFormat: return "SampleFormat";
        default: return "tag " + std::to_string(tag);
    }
}

// One directory entry, with the position of its elements in the file: the value field
// itself when they fit in its four bytes, else the offset it holds.
struct Entry {
    uint16_t tag = 0, type = 0;
    uint32_t count = 0;
    std::size_t position = 0;
};

class Reader {
public:
    Reader(const uint8_t* data, std::size_t size, bool big) : data_(data), size_(size), big_(big) {}

    Entry ReadEntry(std::size_t at) const {
        Entry e;
        e.tag = TiffGet16(data_ + at, big_);
        e.type = TiffGet16(data_ + at + 2, big_);
        e.count = TiffGet32(data_ + at + 4, big_);
        const uint64_t bytes = uint64_t(e.count) * TypeSize(e.type);
        e.position = bytes <= 4 ? at + 8 : TiffGet32(data_ + at + 8, big_);
        return e;
    }

    // Checks that the entry is a number whose elements all lie inside the file.
    void Check(const Entry& e) const {
        if (!IsInteger(e.type))
            throw Error(TagName(e.tag) + " has field type " + std::to_string(e.type) + ", not a whole number");
        const uint64_t bytes = uint64_t(e.count) * TypeSize(e.type);
        if (e.position > size_ || bytes > size_ - e.position)
            throw Error(TagName(e.tag) + " values (" + std::to_string(bytes) + " bytes at offset " +
                        std::to_string(e.position) + ") lie past the end of the file (" + std::to_string(size_) +
                        " bytes)");
    }

    uint32_t Element(const Entry& e, uint32_t i) const {
        const uint8_t* p = data_ + e.position + std::size_t(i) * TypeSize(e.type);
        switch (e.type) {
            case 1: case 6: return p[0];
            case 3: case 8: return TiffGet16(p, big_);
            default: return TiffGet32(p, big_);
        }
    }

    uint32_t First(const Entry& e) const {
        Check(e);
        return Element(e, 0);
    }

    // For entries that only decide which reader takes the file: a damaged one gives
    // `fallback` (a value that sends the file to libtiff) instead of an error.
    uint32_t FirstOr(const Entry& e, uint32_t fallback) const {
        try {
            return First(e);
        } catch (const Error&) {
            return fallback;
        }
    }

    std::vector<uint32_t> Array(const Entry& e) const {
        Check(e);
        std::vector<uint32_t> values(e.count);
        for (uint32_t i = 0; i < e.count; ++i) values[i] = Element(e, i);
        return values;
    }

private:
    const uint8_t* data_;
    std::size_t size_;
    bool big_;
};

}  // namespace

TIFD TIFD::Parse(const uint8_t* data, std::size_t size) {
    if (size < kHeaderSize)
        throw Error("Invalid TIFF header: the file is only " + std::to_string(size) + " bytes long");
    TIFD ifd;
    if (data[0] == 'I' && data[1] == 'I' && data[2] == 0x2A && data[3] == 0)
        ifd.ByteOrder = TiffByteOrder::Little;
    else if (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && data[3] == 0x2A)
        ifd.ByteOrder = TiffByteOrder::Big;
    else
        throw Error("Invalid TIFF header");
    const bool big = ifd.BigEndian();

    const uint32_t at = TiffGet32(data + 4, big);
    if (at < kHeaderSize || uint64_t(at) + 2 > size)
        throw Error("the first directory's offset " + std::to_string(at) + " lies outside the file (" +
                    std::to_string(size) + " bytes)");
    const uint16_t entries = TiffGet16(data + at, big);
    const uint64_t end = uint64_t(at) + 2 + uint64_t(entries) * kEntrySize;
    if (end > size)
        throw Error("the directory of " + std::to_string(entries) + " entries at offset " + std::to_string(at) +
                    " ends past the end of the file (" + std::to_string(size) + " bytes)");
    // The link to a next directory is never followed, so a file cut right after the
    // entries is still readable.
    if (end + 4 <= size) ifd.NextIfdOffset = TiffGet32(data + end, big);

    Reader r(data, size, big);
    for (uint16_t i = 0; i < entries; ++i) {
        const Entry e = r.ReadEntry(at + 2 + std::size_t(i) * kEntrySize);
        // An entry without values carries nothing; the field keeps its default.
        if (e.count == 0) continue;
        switch (e.tag) {
            case kImageWidth: ifd.ImageWidth = r.First(e); break;
            case kImageLength: ifd.ImageLength = r.First(e); break;
            case kBitsPerSample: {
                const std::vector<uint32_t> bits = r.Array(e);
                ifd.BitsPerSample = bits[0];
                for (uint32_t b : bits) ifd.MixedBitsPerSample |= b != bits[0];
                break;
            }
            case kCompression: ifd.Compression = r.First(e); break;
            case kPhotometric:
                ifd.Photometric = r.First(e);
                ifd.HasPhotometric = true;
                break;
            case kFillOrder: ifd.FillOrder = r.First(e); break;
            case kStripOffsets:
                ifd.StripOffsets = r.Array(e);
                ifd.HasStripOffsets = true;
                break;
            case kOrientation: ifd.Orientation = r.First(e); break;
            case kSamplesPerPixel: ifd.SamplesPerPixel = r.First(e); break;
            case kRowsPerStrip: ifd.RowsPerStrip = r.First(e); break;
            case kStripByteCounts:
                ifd.StripByteCounts = r.Array(e);
                ifd.HasStripByteCounts = true;
                break;
            case kPlanarConfiguration: ifd.PlanarConfiguration = r.First(e); break;
            case kPredictor: ifd.Predictor = r.First(e); break;
            case kColorMap:
                if (e.type != 3) throw Error("ColorMap has field type " + std::to_string(e.type) + ", not 16-bit");
                r.Check(e);
                ifd.ColorMapOffset = uint32_t(e.position);
                ifd.ColorMapCount = e.count;
                ifd.HasColorMap = true;
                break;
            case kTileWidth: ifd.TileWidth = r.FirstOr(e, 1); break;
            case kTileLength: ifd.TileLength = r.FirstOr(e, 1); break;
            case kTileOffsets:
                // Only counted: libtiff reads the tiles.
                ifd.HasTileOffsets = true;
                ifd.Chunks = e.count;
                break;
            case kExtraSamples: ifd.ExtraSamples = e.count; break;
            case kSampleFormat: ifd.SampleFormat = r.FirstOr(e, 0); break;
            case kImageDescription:
                ifd.DescriptionType = e.type;
                ifd.DescriptionCount = e.count;
                ifd.DescriptionOffset = e.position;
                ifd.HasDescription = true;
                break;
            default: break;
        }
    }
    if (!ifd.HasPhotometric && ifd.SamplesPerPixel >= 3) ifd.Photometric = 2;
    if (!ifd.HasTileOffsets) ifd.Chunks = ifd.StripOffsets.size();
    return ifd;
}

}  // namespace talvenor
