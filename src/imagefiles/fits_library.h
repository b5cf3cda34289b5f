#pragma once
// FITS files our own reader does not decode, read through cfitsio: 8-bit, 64-bit and
// floating-point samples, BSCALE, colour cubes (NAXIS3 = 3), images in an IMAGE extension
// behind an empty primary header, tile-compressed images and gzip-compressed files.
//
// The first header-and-data unit that holds an image is read; its physical values (BZERO and
// BSCALE applied) are mapped to the 16-bit scale with the conversions every library reader
// shares (decoded_image.h). Errors are talvenor::Error "<file>: <reason>", the reason being
// cfitsio's own status text where the library refused the file.
#include <filesystem>
#include <string>
#include <vector>

#include "imagefiles/decoded_image.h"

namespace talvenor {

// The image a FITS file holds, as cfitsio describes it.
struct FitsLayout {
    int Hdu = 0;            // 0: the primary header; N: the N-th extension
    int Bitpix = 0;         // as stored (ZBITPIX for a tile-compressed image)
    int EquivalentBitpix = 0;  // cfitsio's type of the values once BZERO and BSCALE apply (20: unsigned 16-bit, ...)
    int Naxis = 0;
    long long Width = 0, Height = 0, Planes = 1;  // NAXIS1, NAXIS2, NAXIS3 (1 when absent)
    double Bscale = 1, Bzero = 0;
    std::string Compression;  // empty, "gzip file", or the tile compression ("RICE_1", ...)
};

// The physical values of that image: Planes planes of Width x Height, each plane's rows in
// stored order (the bottom row of the picture first). Undefined pixels (BLANK, NaN) are NaN.
struct FitsValues {
    FitsLayout Layout;
    std::vector<double> Values;
};

// The layout of the first image in the file, without reading its data. Throws Error when the
// file cannot be opened or holds no image.
FitsLayout ReadFitsLayout(const std::filesystem::path& path);

// The layout and the values. Besides the errors above, refuses a layout that is neither a
// grey picture (NAXIS = 2, or 3 with NAXIS3 = 1) nor a colour cube (NAXIS3 = 3), naming it,
// and pictures too large to decode (CheckDecodedSize).
FitsValues ReadFitsValues(const std::filesystem::path& path);

// The picture of such values, rows from the top, whichever reader decoded them (Reader left
// empty): unsigned 8-bit values x 256, whole values within 0..65535 as they are, signed 8-
// and 16-bit data holding negatives offset to the unsigned range, everything else
// (floating-point data, wider or scaled integers off those ranges) through FloatsTo16. Notes
// say what was changed: "image in extension 1", "colour cube", "tile-compressed (RICE_1)", ...
DecodedImage PictureFromFitsValues(const FitsValues& values);

// ReadFitsValues and PictureFromFitsValues, Reader "cfitsio".
DecodedImage ReadFitsWithLibrary(const std::filesystem::path& path);

}  // namespace talvenor
