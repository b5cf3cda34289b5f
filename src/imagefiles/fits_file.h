#pragma once
// FITS, the scientific image format: the header parser every FITS reader shares, the frame
// reader of an image series (FitsPlane + CurrentFrameImage), the row decoder the dark-frame
// and flat-field loaders use, and the writer behind the FIT saves.
//
// Only simple two-dimensional images of 16- or 32-bit big-endian integers are handled.
// Readers take the whole file into memory once and decode from that buffer; anything
// malformed (no END card, a missing or non-numeric size, data that ends early) is a
// talvenor::Error whose text starts with the file name.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imagefiles/file_info.h"
#include "workspace/error.h"

namespace talvenor {

struct Workspace;
struct Controls;
class Host;

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

// What the readers take from a header; every other card (BSCALE included) is ignored.
struct FitsHeader {
    int Width = 0;               // NAXIS1
    int Height = 0;              // NAXIS2
    int64_t Bzero = 0;           // BZERO rounded to an integer, ties to even
    int Bitpix = 0;
    int Naxis = -1;              // NAXIS, only reported by ProbeFits; -1 when absent
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

// Loads one frame of a FITS series into FitsPlane and CurrentFrameImage (grey) and sets the
// image and source sizes, clamped to 4096. A missing file changes nothing. An unsupported
// BITPIX shows "unsupported fits format" and changes nothing but the channel. Malformed
// files throw Error before anything in the workspace changes.
void ReadFitsFrame(Workspace& ws, Controls& f, Host& host, const std::filesystem::path& path);

// Writes the stack (kind 0: normalised, kind 2: fixed point x 128, 16 bits) or the 16-bit
// result image StackTiff (kind 1) as FITS, one file per channel with colour processing.
// Asks before replacing a file; No skips that file and every later channel. Each file is
// written to a temporary beside it and renamed into place; a failure throws Error naming it.
void WriteFits(Workspace& ws, Controls& f, Host& host, const std::filesystem::path& path, int width, int height,
               int kind, int bitpix, const TFITParams& params = {});

// What `talvenor-cli info` shows of a FITS file.
FileInfo ProbeFits(const std::filesystem::path& path);

}  // namespace talvenor
