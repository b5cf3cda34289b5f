#include "imagefiles/tiff_library.h"

#include <tiffio.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "workspace/error.h"
#include "workspace/file_bytes.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

// The picture's memory grows with the rows libtiff has actually decoded, so a damaged
// directory claiming a huge picture over a few bytes fails at its first row instead of
// allocating for all of them (fax codes, Zstandard and LZMA pack pixels too densely for a
// size check against the file's length). Only the buffer of one row, one tile or one band
// of RGBA rows is allocated before any decoding: at most this much (1024 x 1024 pixels of
// three 64-bit floats fit, a damaged tile size does not).
constexpr uint64_t kMaxChunkBytes = uint64_t(32) << 20;
// The rows of a strip converted to RGBA at a time, unless the strip is shorter.
constexpr uint32_t kRgbaBandPixels = uint32_t(1) << 22;
// What libtiff may allocate at once for its own buffers (a compressed strip is held whole).
constexpr tmsize_t kMaxLibraryAllocation = tmsize_t(1) << 30;

std::string Num(uint64_t v) { return std::to_string(v); }

// --- The file in memory, as libtiff reads it -------------------------------------------

struct MemoryFile {
    std::span<const uint8_t> bytes;
    uint64_t position = 0;
};

tmsize_t MemoryRead(thandle_t handle, void* buffer, tmsize_t size) {
    auto* f = static_cast<MemoryFile*>(handle);
    if (size <= 0) return 0;
    const uint64_t left = f->position < f->bytes.size() ? f->bytes.size() - f->position : 0;
    const uint64_t n = std::min<uint64_t>(uint64_t(size), left);
    if (n > 0) std::memcpy(buffer, f->bytes.data() + f->position, std::size_t(n));
    f->position += n;
    return tmsize_t(n);
}

tmsize_t MemoryWrite(thandle_t, void*, tmsize_t) { return -1; }

toff_t MemorySeek(thandle_t handle, toff_t offset, int whence) {
    auto* f = static_cast<MemoryFile*>(handle);
    const uint64_t base = whence == SEEK_CUR ? f->position : whence == SEEK_END ? f->bytes.size() : 0;
    f->position = base + offset;  // a negative offset arrives as its two's complement
    return f->position;
}

int MemoryClose(thandle_t) { return 0; }
toff_t MemorySize(thandle_t handle) { return static_cast<MemoryFile*>(handle)->bytes.size(); }
// Not mapped: libtiff then copies what it reads and never points into the caller's bytes.
int MemoryMap(thandle_t, void**, toff_t*) { return 0; }
void MemoryUnmap(thandle_t, void*, toff_t) {}

// --- libtiff's messages ----------------------------------------------------------------

// Each open file collects its own messages (no handler shared between threads): the first
// error is the cause, what follows is usually its echo.
void KeepFirst(std::string& first, const char* format, va_list args) {
    if (!first.empty()) return;
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    first = text;
}

int KeepFirstError(TIFF*, void* user, const char*, const char* format, va_list args) {
    KeepFirst(*static_cast<std::string*>(user), format, args);
    return 1;
}

// Warnings are about oddities libtiff copes with and are not shown, except the codecs' word
// that the data ended before the picture did ("Premature EOF at line 12", "Premature end
// of JPEG file"): the rest of the picture would be left blank, so it counts as an error.
int KeepPrematureEnd(TIFF*, void* user, const char*, const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    std::string text;
    KeepFirst(text, format, copy);
    va_end(copy);
    auto* first = static_cast<std::string*>(user);
    if (text.find("Premature") != std::string::npos && first->empty()) *first = text;
    return 1;
}

class OpenTiff {
public:
    OpenTiff(std::span<const uint8_t> bytes, std::string_view name) : name_(name), file_{bytes} {
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        if (options) {
            TIFFOpenOptionsSetErrorHandlerExtR(options, KeepFirstError, &error_);
            TIFFOpenOptionsSetWarningHandlerExtR(options, KeepPrematureEnd, &error_);
            TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxLibraryAllocation);
        }
        tif_ = TIFFClientOpenExt(name_.c_str(), "rm", &file_, MemoryRead, MemoryWrite, MemorySeek, MemoryClose,
                                 MemorySize, MemoryMap, MemoryUnmap, options);
        if (options) TIFFOpenOptionsFree(options);
        if (!tif_) Fail("libtiff cannot open it");
        // Warnings about the directory (odd tags libtiff ignores) are not about the picture.
        ForgetErrors();
    }
    ~OpenTiff() {
        if (tif_) TIFFClose(tif_);
    }
    OpenTiff(const OpenTiff&) = delete;
    OpenTiff& operator=(const OpenTiff&) = delete;

    TIFF* get() const { return tif_; }
    const std::string& Name() const { return name_; }
    bool HadError() const { return !error_.empty(); }
    void ForgetErrors() { error_.clear(); }

    // "<name>: <what failed>: <libtiff's first error>" (without the name libtiff may have
    // put in front of it), or without the last part when libtiff said nothing.
    [[noreturn]] void Fail(std::string_view what) const {
        std::string reason = error_;
        if (reason.rfind(name_ + ": ", 0) == 0) reason.erase(0, name_.size() + 2);
        throw Error(name_ + ": " + std::string(what) + (reason.empty() ? "" : ": " + reason));
    }
    // A reason of our own, whatever libtiff said.
    [[noreturn]] void Refuse(const std::string& reason) const { throw Error(name_ + ": " + reason); }

private:
    std::string name_;
    MemoryFile file_;
    std::string error_;
    TIFF* tif_ = nullptr;
};

// --- The first directory ---------------------------------------------------------------

struct Layout {
    uint32_t width = 0, height = 0;
    uint16_t bits = 1, samples = 1, format = SAMPLEFORMAT_UINT;
    uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    bool hasPhotometric = false;
    uint16_t planar = PLANARCONFIG_CONTIG, compression = COMPRESSION_NONE, fillOrder = FILLORDER_MSB2LSB;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    uint32_t rowsPerStrip = 0;
    bool tiled = false;
    uint32_t tileWidth = 0, tileLength = 0;
    uint16_t extraSamples = 0;
    bool firstExtraIsAlpha = false;

    bool Separate() const { return planar == PLANARCONFIG_SEPARATE && samples > 1; }
};

Layout ReadLayout(const OpenTiff& t) {
    TIFF* tif = t.get();
    Layout l;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &l.width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &l.height))
        t.Fail("Invalid TIFF header: no dimension");
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &l.format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &l.planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &l.compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &l.fillOrder);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &l.orientation);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &l.rowsPerStrip);
    l.hasPhotometric = TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l.photometric);
    // As the own reader takes a file without one: RGB from three samples, else grey.
    if (!l.hasPhotometric) l.photometric = l.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    uint16_t count = 0;
    uint16_t* kinds = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &kinds) && count > 0 && kinds) {
        l.extraSamples = count;
        l.firstExtraIsAlpha = kinds[0] == EXTRASAMPLE_ASSOCALPHA || kinds[0] == EXTRASAMPLE_UNASSALPHA;
    }
    l.tiled = TIFFIsTiled(tif);
    if (l.tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &l.tileWidth);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &l.tileLength);
    }
    return l;
}

// Makes room for the rows before `rows` (all channels); the vector grows by doubling, so
// a picture whose data ends early never takes the memory of its full size.
template <typename T>
void GrowToRows(std::vector<T>& samples, const DecodedImage& image, uint32_t rows) {
    const std::size_t rowSamples = std::size_t(image.Width) * std::size_t(image.Channels);
    const std::size_t needed = std::size_t(rows) * rowSamples;
    if (samples.size() >= needed) return;
    const std::size_t all = std::size_t(image.Height) * rowSamples;
    samples.resize(std::min(all, std::max(needed, 2 * samples.size())));
}

void Start(DecodedImage& image, const Layout& l, int channels) {
    image.Width = int(l.width);
    image.Height = int(l.height);
    image.Channels = channels;
    image.Samples.clear();
}

void NoteExtraSamples(DecodedImage& image, int extras, bool alpha) {
    if (extras <= 0) return;
    if (extras == 1 && alpha) image.Notes.push_back("alpha dropped");
    else image.Notes.push_back(Num(uint64_t(extras)) + (extras == 1 ? " extra sample dropped" : " extra samples dropped"));
}

// --- Samples we convert ourselves ------------------------------------------------------

// The colour samples of the models whose samples are converted here (grey, palette, RGB);
// 0 for the ones libtiff's RGBA interface converts.
int ColourSamples(const Layout& l) {
    switch (l.photometric) {
        case PHOTOMETRIC_MINISWHITE:
        case PHOTOMETRIC_MINISBLACK:
        case PHOTOMETRIC_PALETTE: return 1;
        case PHOTOMETRIC_RGB: return 3;
        default: return 0;
    }
}

double HalfToDouble(uint16_t h) {
    const int exponent = (h >> 10) & 31, mantissa = h & 1023;
    double v;
    if (exponent == 0) v = std::ldexp(mantissa, -24);
    else if (exponent == 31) v = mantissa ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
    else v = std::ldexp(mantissa + 1024, exponent - 25);
    return (h & 0x8000) ? -v : v;
}

// Takes rows (or the part of a row a tile holds) as libtiff decodes them and puts their
// samples into the picture. libtiff hands 16-, 24-, 32- and 64-bit samples in the host's
// byte order; narrower ones stay packed from the most significant bit.
class SampleSink {
public:
    SampleSink(const OpenTiff& t, const Layout& l, int colour, DecodedImage& image)
        : l_(l), colour_(colour), image_(image) {
        const bool isFloat = l.format == SAMPLEFORMAT_IEEEFP;
        if (isFloat) {
            if (l.bits != 16 && l.bits != 32 && l.bits != 64)
                t.Refuse(Num(l.bits) + "-bit floating-point samples are not read");
            if (l.photometric == PHOTOMETRIC_PALETTE) t.Refuse("a palette picture with floating-point indices");
        } else if (l.format == SAMPLEFORMAT_UINT || l.format == SAMPLEFORMAT_INT || l.format == SAMPLEFORMAT_VOID) {
            if (l.bits < 1 || l.bits > 32) t.Refuse(Num(l.bits) + "-bit integer samples are not read");
        } else {
            t.Refuse("SampleFormat " + Num(l.format) + " (complex numbers) is not a picture");
        }
        if (l.samples < colour)
            t.Refuse(Num(l.samples) + " samples per pixel are too few for photometric interpretation " +
                     Num(l.photometric));
        const bool invert = l.photometric == PHOTOMETRIC_MINISWHITE;
        Start(image, l, l.photometric == PHOTOMETRIC_PALETTE ? 3 : colour);
        if (isFloat) {
            isFloat_ = true;
            invertFloats_ = invert;
        } else if (l.photometric == PHOTOMETRIC_PALETTE) {
            if (l.bits > 16) t.Refuse(Num(l.bits) + "-bit palette indices are not read");
            uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
            if (!TIFFGetField(t.get(), TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
                t.Fail("a palette picture without a ColorMap");
            // 16-bit map entries to 8-bit colours as the own reader takes them (round(v / 257),
            // so a map written from 8-bit colours as c * 257 gives c back), times 256.
            const std::size_t entries = std::size_t(1) << l.bits;
            palette_.resize(entries * 3);
            for (std::size_t i = 0; i < entries; ++i) {
                palette_[3 * i] = uint16_t(std::lrint(red[i] / 257.0) << 8);
                palette_[3 * i + 1] = uint16_t(std::lrint(green[i] / 257.0) << 8);
                palette_[3 * i + 2] = uint16_t(std::lrint(blue[i] / 257.0) << 8);
            }
        } else {
            // Integer samples of up to 16 bits go through a table of every value.
            const bool isSigned = l.format == SAMPLEFORMAT_INT;
            const uint64_t mask = (uint64_t(1) << l.bits) - 1;
            auto level = [=](uint64_t u) {
                if (invert) u ^= mask;  // white is zero: the mirrored value, signed or not
                int64_t v = int64_t(u);
                if (isSigned && (u >> (l.bits - 1)) & 1) v -= int64_t(mask) + 1;
                return IntegerTo16(v, l.bits, isSigned);
            };
            level_ = level;
            if (l.bits <= 16) {
                table_.resize(std::size_t(mask) + 1);
                for (uint64_t u = 0; u <= mask; ++u) table_[std::size_t(u)] = level(u);
            }
        }
    }

    // The samples of pixels x0 .. x0 + n - 1 of row y: all samples of each pixel (chunky),
    // or only sample `plane` (separate planes, plane >= 0).
    void Put(const uint8_t* raw, uint32_t y, uint32_t x0, uint32_t n, int plane) {
        const std::size_t stride = plane < 0 ? l_.samples : 1;
        const int count = plane < 0 ? colour_ : 1;
        const int firstChannel = plane < 0 ? 0 : plane;
        const std::size_t channels = std::size_t(image_.Channels);
        const std::size_t start = (std::size_t(y) * l_.width + x0) * channels;
        if (isFloat_) GrowToRows(floats_, image_, y + 1);
        else GrowToRows(image_.Samples, image_, y + 1);
        uint16_t* out = image_.Samples.data() + start;
        for (uint32_t x = 0; x < n; ++x) {
            for (int c = 0; c < count; ++c) {
                const std::size_t src = std::size_t(x) * stride + std::size_t(c);
                const std::size_t dst = std::size_t(x) * channels + std::size_t(firstChannel + c);
                if (isFloat_) {
                    floats_[start + dst] = Float(raw, src);
                } else if (!palette_.empty()) {
                    const uint16_t* rgb = &palette_[3 * std::size_t(Raw(raw, src))];
                    out[dst] = rgb[0];
                    out[dst + 1] = rgb[1];
                    out[dst + 2] = rgb[2];
                } else {
                    const uint64_t u = Raw(raw, src);
                    out[dst] = table_.empty() ? level_(u) : table_[std::size_t(u)];
                }
            }
        }
    }

    // Floating-point samples go to the 16-bit scale once all are known.
    void Finish() {
        if (!isFloat_) return;
        image_.Samples.resize(floats_.size());
        FloatsTo16(floats_, image_.Samples, image_);
        if (invertFloats_)
            for (uint16_t& v : image_.Samples) v = uint16_t(65535 - v);
    }

private:
    uint64_t Raw(const uint8_t* row, std::size_t i) const {
        switch (l_.bits) {
            case 8: return row[i];
            case 16: return Load<uint16_t>(row + 2 * i);
            case 24: {
                const uint8_t* p = row + 3 * i;
                if constexpr (std::endian::native == std::endian::little) return p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
                else return p[2] | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16;
            }
            case 32: return Load<uint32_t>(row + 4 * i);
            case 64: return Load<uint64_t>(row + 8 * i);
            default: {
                const uint64_t bit = uint64_t(i) * l_.bits;
                const int skip = int(bit & 7), need = skip + l_.bits, bytes = (need + 7) / 8;
                const uint8_t* p = row + (bit >> 3);
                uint64_t v = 0;
                for (int k = 0; k < bytes; ++k) v = v << 8 | p[k];
                return (v >> (bytes * 8 - need)) & ((uint64_t(1) << l_.bits) - 1);
            }
        }
    }

    double Float(const uint8_t* row, std::size_t i) const {
        if (l_.bits == 16) return HalfToDouble(uint16_t(Raw(row, i)));
        if (l_.bits == 32) return double(std::bit_cast<float>(uint32_t(Raw(row, i))));
        return std::bit_cast<double>(Raw(row, i));
    }

    template <typename T>
    static T Load(const uint8_t* p) {
        T v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }

    const Layout& l_;
    int colour_;
    DecodedImage& image_;
    std::vector<uint16_t> table_;
    std::function<uint16_t(uint64_t)> level_;
    std::vector<uint16_t> palette_;  // red, green, blue per index
    std::vector<double> floats_;
    bool isFloat_ = false, invertFloats_ = false;
};

void ReadStrips(const OpenTiff& t, const Layout& l, int planes, SampleSink& sink) {
    TIFF* tif = t.get();
    const uint64_t rowBytes = TIFFScanlineSize64(tif);
    if (rowBytes == 0) t.Fail("rows of no size");
    if (rowBytes > kMaxChunkBytes) t.Refuse("rows of " + Num(rowBytes) + " bytes are too long to read");
    std::vector<uint8_t> row(static_cast<std::size_t>(rowBytes));
    for (int p = 0; p < planes; ++p)
        for (uint32_t y = 0; y < l.height; ++y) {
            if (TIFFReadScanline(tif, row.data(), y, uint16_t(p)) < 0 || t.HadError())
                t.Fail("row " + Num(y) + " cannot be read");
            sink.Put(row.data(), y, 0, l.width, l.Separate() ? p : -1);
        }
}

void ReadTiles(const OpenTiff& t, const Layout& l, int planes, SampleSink& sink) {
    TIFF* tif = t.get();
    const uint64_t tileBytes = TIFFTileSize64(tif), rowBytes = TIFFTileRowSize64(tif);
    if (tileBytes == 0 || rowBytes == 0 || l.tileWidth == 0 || l.tileLength == 0) t.Fail("tiles of no size");
    if (tileBytes > kMaxChunkBytes || rowBytes * l.tileLength > tileBytes)
        t.Refuse("tiles of " + Num(l.tileWidth) + " x " + Num(l.tileLength) + " (" + Num(tileBytes) +
                 " bytes) are too large to read");
    std::vector<uint8_t> tile(static_cast<std::size_t>(tileBytes));
    for (int p = 0; p < planes; ++p)
        for (uint32_t ty = 0; ty < l.height; ty += l.tileLength)
            for (uint32_t tx = 0; tx < l.width; tx += l.tileWidth) {
                if (TIFFReadTile(tif, tile.data(), tx, ty, 0, uint16_t(p)) < 0 || t.HadError())
                    t.Fail("the tile at (" + Num(tx) + ", " + Num(ty) + ") cannot be read");
                const uint32_t rows = std::min(l.tileLength, l.height - ty), cols = std::min(l.tileWidth, l.width - tx);
                for (uint32_t r = 0; r < rows; ++r)
                    sink.Put(tile.data() + std::size_t(r * rowBytes), ty + r, tx, cols, l.Separate() ? p : -1);
            }
}

void ReadSamples(const OpenTiff& t, const Layout& l, DecodedImage& image) {
    const int colour = ColourSamples(l);
    SampleSink sink(t, l, colour, image);
    // Planes past the colour ones (alpha, masks) are not even decoded.
    const int planes = l.Separate() ? colour : 1;
    if (l.tiled) ReadTiles(t, l, planes, sink);
    else ReadStrips(t, l, planes, sink);
    NoteExtraSamples(image, l.samples - colour, l.firstExtraIsAlpha);
    sink.Finish();
}

// --- Colour models libtiff converts ----------------------------------------------------

void ReadThroughRgba(const OpenTiff& t, const Layout& l, DecodedImage& image) {
    TIFF* tif = t.get();
    char message[1024] = {};
    const std::string refusal = "libtiff cannot convert photometric interpretation " + Num(l.photometric) + " with " +
                                Num(l.samples) + " samples of " + Num(l.bits) + " bits to RGB";
    if (!TIFFRGBAImageOK(tif, message)) t.Refuse(refusal + (message[0] ? std::string(" (") + message + ")" : ""));
    TIFFRGBAImage rgba{};
    if (!TIFFRGBAImageBegin(&rgba, tif, 1, message)) t.Fail(refusal);
    struct End {
        TIFFRGBAImage* image;
        ~End() { TIFFRGBAImageEnd(image); }
    } end{&rgba};
    // Rows as stored, as everywhere else: asking for the file's own orientation flips nothing.
    rgba.req_orientation = rgba.orientation;

    // Bands of whole strips or rows of tiles; a longer strip is cut at a multiple of 16 rows
    // (whole chroma blocks).
    uint32_t band = std::clamp<uint32_t>(l.tiled ? l.tileLength : l.rowsPerStrip, 1, l.height);
    if (uint64_t(band) * l.width > kRgbaBandPixels)
        band = std::min(l.height, std::max<uint32_t>(16, uint32_t(kRgbaBandPixels / l.width / 16 * 16)));
    if (uint64_t(band) * l.width * 4 > kMaxChunkBytes)
        t.Refuse("rows of " + Num(l.width) + " pixels are too long to convert to RGB");
    Start(image, l, 3);
    std::vector<uint32_t> raster(std::size_t(l.width) * band);
    for (uint32_t y = 0; y < l.height; y += band) {
        const uint32_t rows = std::min(band, l.height - y);
        rgba.row_offset = int(y);
        rgba.col_offset = 0;
        if (!TIFFRGBAImageGet(&rgba, raster.data(), l.width, rows) || t.HadError())
            t.Fail("rows from " + Num(y) + " cannot be read");
        GrowToRows(image.Samples, image, y + rows);
        for (uint32_t r = 0; r < rows; ++r) {
            const uint32_t* in = raster.data() + std::size_t(r) * l.width;
            uint16_t* out = &image.At(0, int(y + r), 0);
            for (uint32_t x = 0; x < l.width; ++x) {
                out[3 * x] = uint16_t(TIFFGetR(in[x]) << 8);
                out[3 * x + 1] = uint16_t(TIFFGetG(in[x]) << 8);
                out[3 * x + 2] = uint16_t(TIFFGetB(in[x]) << 8);
            }
        }
    }
    NoteExtraSamples(image, l.extraSamples, l.firstExtraIsAlpha);
    image.Notes.push_back("converted to RGB by libtiff");
}

}  // namespace

DecodedImage ReadTiffWithLibrary(std::span<const uint8_t> bytes, std::string_view name) {
    OpenTiff t(bytes, name);
    const Layout l = ReadLayout(t);
    CheckDecodedSize(t.Name(), l.width, l.height);
    // Counting walks the chain of directories; a damaged link past the first page does not
    // stop the first from being read.
    const uint64_t pages = TIFFNumberOfDirectories(t.get());
    t.ForgetErrors();

    DecodedImage image;
    image.Reader = "libtiff";
    if (ColourSamples(l) > 0) ReadSamples(t, l, image);
    else ReadThroughRgba(t, l, image);
    if (pages > 1) image.Notes.push_back(Num(pages) + " pages, the first read");
    return image;
}

DecodedImage ReadTiffWithLibrary(const fs::path& file) {
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    return ReadTiffWithLibrary(bytes, file.filename().string());
}

TiffLibraryDirectory ReadTiffDirectoryWithLibrary(std::span<const uint8_t> bytes, std::string_view name) {
    OpenTiff t(bytes, name);
    const Layout l = ReadLayout(t);
    TIFF* tif = t.get();
    TiffLibraryDirectory d;
    TIFD& ifd = d.Ifd;
    ifd.ByteOrder = TIFFIsBigEndian(tif) ? TiffByteOrder::Big : TiffByteOrder::Little;
    ifd.BigTiff = TIFFIsBigTIFF(tif);
    ifd.ImageWidth = l.width;
    ifd.ImageLength = l.height;
    ifd.BitsPerSample = l.bits;
    ifd.Compression = l.compression;
    ifd.Photometric = l.photometric;
    ifd.HasPhotometric = l.hasPhotometric;
    ifd.FillOrder = l.fillOrder;
    ifd.Orientation = l.orientation;
    ifd.SamplesPerPixel = l.samples;
    ifd.RowsPerStrip = l.rowsPerStrip;
    ifd.PlanarConfiguration = l.planar;
    uint16_t predictor = 1;
    if (TIFFGetField(tif, TIFFTAG_PREDICTOR, &predictor)) ifd.Predictor = predictor;
    ifd.SampleFormat = l.format;
    ifd.TileWidth = l.tileWidth;
    ifd.TileLength = l.tileLength;
    ifd.HasTileOffsets = l.tiled;
    ifd.Chunks = TIFFNumberOfStrips(tif);  // tiles, in a tiled file
    ifd.ExtraSamples = l.extraSamples;
    d.Pages = int(std::min<uint64_t>(TIFFNumberOfDirectories(tif), uint64_t(std::numeric_limits<int>::max())));
    return d;
}

}  // namespace talvenor
