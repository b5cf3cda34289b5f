#pragma once
// FITS, the scientific image format: the header parser every FITS reader shares, the choice
// between our own reader and cfitsio, the frame reader of an image series (FitsPlane +
// CurrentFrameImage, or FrameWide for a colour cube), the row decoder the dark-frame and
// flat-field loaders use, and the writer behind the FIT saves.
//
// Our own reader decodes the simple images it reads exactly and fast: a two-dimensional
// primary image of 16- or 32-bit big-endian integers, BSCALE 1 and a whole BZERO. Every other
// image (8-bit, 64-bit and floating-point samples, BSCALE, colour cubes, images in an
// extension, compressed files) goes through cfitsio (fits_library.h). Readers take the whole
// file into memory once; anything malformed (no END card, a missing or non-numeric size, data
// that ends early) is a talvenor::Error whose text starts with the file name.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imagefiles/decoded_image.h"
#include "imagefiles/file_info.h"
#include "workspace/error.h"

namespace talvenor {

struct Workspace;
struct Controls;
class Host;
class SafeFileSet;

// Header parameters the writer puts into the DATE-OBS, TIME-OBS and text cards.
struct TFITParams {
    std::string Object;
    std::string Object2;      // carried along for callers; no card is written from it
    std::string Instrument;
    std::string Exposure;
    std::string Observer;
    std::string Comment;
    double Date = -1;         // day number counted from 30 Dec 1899; < 0 = today
    double Time = -1;         // fraction of a day; < 0 = now
    bool UseCurrentTime = false;
    std::string Recipe;       // project text carried in commentary cards; empty = none
};

// What the readers take from a header; every other card is ignored.
struct FitsHeader {
    int Width = 0;               // NAXIS1
    int Height = 0;              // NAXIS2
    int64_t Bzero = 0;           // BZERO rounded to an integer, ties to even
    int Bitpix = 0;
    int Naxis = -1;              // NAXIS; -1 when absent
    int Naxis3 = 0;              // NAXIS3; 0 when absent
    double Bscale = 1;           // BSCALE; 1 when absent
    bool BzeroWhole = true;      // BZERO is a whole number (Bzero holds it exactly)
    int CardCount = 0;           // cards up to and including END
    std::size_t DataOffset = 0;  // first data byte: the END card's 2880-byte block ends here
    // A raw colour sensor's mosaic: BAYERPAT ("RGGB", ...; empty when absent or not one of
    // the four), counted from the first stored row, and the XBAYROFF/YBAYROFF shifts.
    std::string BayerPattern;
    int BayerOffsetX = 0, BayerOffsetY = 0;
};

// The mosaic as it lies in the picture the reader makes (rows turned bottom-up, the offsets
// applied): "RGGB", "GRBG", "GBRG" or "BGGR", or empty for a file that names none.
std::string PictureBayerPattern(const FitsHeader& header);

// A FITS file read whole, with its parsed header.
struct FitsFile {
    std::filesystem::path Path;
    std::vector<uint8_t> Bytes;
    FitsHeader Header;

    std::string Name() const { return Path.string(); }
    int BytesPerSample() const { return Header.Bitpix / 8; }
    std::size_t RowBytes() const { return std::size_t(Header.Width) * std::size_t(BytesPerSample()); }
    const uint8_t* StoredRow(int k) const { return Bytes.data() + Header.DataOffset + std::size_t(k) * RowBytes(); }
};

// Parses the header in `bytes`; `name` is the file name the errors start with. Throws Error
// when the buffer is shorter than one card, has no END card, or lacks a positive NAXIS1,
// NAXIS2 or a BITPIX, or when a value read is not a number.
FitsHeader ParseFitsHeader(std::span<const uint8_t> bytes, std::string_view name);

// Which reader decodes the FITS file in `bytes`: our own for a primary image it reads
// exactly (NAXIS 2 or absent, BITPIX 16 or 32, BSCALE 1, a whole BZERO), cfitsio for every
// other image FITS defines (BITPIX 8, 64, -32, -64, BSCALE, NAXIS 3, an empty primary header
// in front of an IMAGE or compressed extension, a gzip-compressed file). Headers that are
// malformed or that neither reads (BITPIX 24) stay with our own reader, whose errors name the
// fault. Throws Error only for a value that is not a number.
enum class FitsReaderKind { Own, Library };
FitsReaderKind ChooseFitsReader(std::span<const uint8_t> bytes, std::string_view name);

// Reads the file whole (one read) and parses its header; throws Error as above or when the
// file cannot be read.
FitsFile LoadFitsFile(const std::filesystem::path& path);

inline bool FitsBitpixSupported(int bitpix) { return bitpix == 16 || bitpix == 32; }

// For BITPIX 16 or 32: throws Error unless the file holds NAXIS1 x NAXIS2 samples after
// the header and BZERO keeps every value exact in double precision.
void CheckFitsData(const FitsFile& file);

// One stored row (k counts from the first row stored, the bottom of the image): its first
// `count` samples + BZERO. The file must have passed CheckFitsData.
void DecodeFitsRow(const FitsFile& file, int k, int count, int64_t* out);

// Hands every sample of the stored rows 0 .. height - 1, columns 0 .. width - 1 (at most
// NAXIS2 and NAXIS1: larger files are cut, not stretched) to sink(column, row, value) with
// value = sample + BZERO and row = height - 1 - k, the bottom row first, as the dark-frame
// and flat-field loaders want. Throws Error for an unsupported BITPIX or short data.
template <class Sink>
void ReadFitsRows(const FitsFile& file, int width, int height, Sink&& sink) {
    if (!FitsBitpixSupported(file.Header.Bitpix))
        throw Error(file.Name() + ": BITPIX " + std::to_string(file.Header.Bitpix) + " is not supported");
    CheckFitsData(file);
    width = width < file.Header.Width ? width : file.Header.Width;
    height = height < file.Header.Height ? height : file.Header.Height;
    if (width <= 0 || height <= 0) return;
    std::vector<int64_t> row(static_cast<std::size_t>(width));
    for (int k = 0; k < height; ++k) {
        DecodeFitsRow(file, k, width, row.data());
        const int y = height - 1 - k;
        for (int x = 0; x < width; ++x) sink(x, y, row[static_cast<std::size_t>(x)]);
    }
}

// The channel a FITS frame holds, from its file name: 0 red, 1 green (and anything not
// named), 2 blue, 3 luminance.
int FitsChannelFromName(const std::filesystem::path& path);

// Loads one frame of a FITS series and sets the image and source sizes, clamped to 4096. A
// grey picture goes into FitsPlane and CurrentFrameImage (grey), whichever reader decoded it:
// cfitsio's 16-bit samples are levelled as those of a BITPIX 16 file with BZERO 32768. A
// colour cube goes into FrameWide (FrameIsWide set, FitsPlane released) and its display
// picture into CurrentFrameImage. A missing, malformed or undecodable file (an unsupported
// BITPIX: "<file>: unsupported fits format (BITPIX 24)") throws Error before anything in the
// workspace changes, so a series never stacks the previous frame again in its place.
void ReadFitsFrame(Workspace& ws, Controls& f, Host& host, const std::filesystem::path& path);

// Any FITS file either reader decodes, as a picture with rows from the top: Reader "Talvenor
// FITS reader" or "cfitsio", and notes saying what was changed. The values (sample x BSCALE +
// BZERO) map to the 16-bit scale the same way for both readers (fits_library.h); with
// `stretchLevels` the picture's lowest level becomes 0 and its highest 65535. Throws Error as
// ReadFitsFrame does.
DecodedImage ReadFitsImage(const std::filesystem::path& path, bool stretchLevels);

// Writes the stack (kind 0: normalised, kind 2: fixed point x 128, 16 bits) or the 16-bit
// result image StackTiff (kind 1) as FITS, one file per channel with colour processing.
// Asks before replacing a file; No skips that file and every later channel. All files are
// written to temporaries first and renamed into place together (SafeFileSet): a failure throws
// Error naming the file and leaves every old file as it was. A read-only channel file is asked
// about (ConfirmReadOnlyReplace) in place of the overwrite question. With a `set`, the files
// join it instead and are replaced when the set is committed.
void WriteFits(Workspace& ws, Controls& f, Host& host, const std::filesystem::path& path, int width, int height,
               int kind, int bitpix, const TFITParams& params = {}, SafeFileSet* set = nullptr);

// What `talvenor-cli info` shows of a FITS file: the header's numbers, the reader that will
// decode it, the unit holding the image, the compression and what decoding changes (or why
// it is refused). Throws Error for a file neither reader can even describe.
FileInfo ProbeFits(const std::filesystem::path& path);

}  // namespace talvenor
