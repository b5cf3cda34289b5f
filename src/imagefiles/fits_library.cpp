#include "imagefiles/fits_library.h"

#include <fitsio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <memory>

#include "workspace/error.h"
#include "workspace/shared_library.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

// cfitsio, loaded by the first FITS file that needs it (see shared_library.h): linked, it
// brought a network stack into every start of the program. These are the functions read
// through it; the long names stand for cfitsio's short ones, which the library exports.
#define TALVENOR_CFITSIO_FUNCTIONS(X)                                                                   \
    X(fits_clear_errmsg) X(fits_close_file) X(fits_get_errstatus) X(fits_get_img_equivtype)            \
    X(fits_get_img_paramll) X(fits_get_num_hdus) X(fits_is_compressed_image) X(fits_movabs_hdu)         \
    X(fits_open_diskfile) X(fits_read_key_dbl) X(fits_read_key_str) X(fits_read_pixll)

struct CfitsioLibrary {
#define TALVENOR_CFITSIO_POINTER(name) decltype(&::name) name = nullptr;
    TALVENOR_CFITSIO_FUNCTIONS(TALVENOR_CFITSIO_POINTER)
#undef TALVENOR_CFITSIO_POINTER
};

std::unique_ptr<const CfitsioLibrary> LoadCfitsio() {
    const SharedLibrary from(TALVENOR_SONAME("cfitsio", CFITSIO_SONAME));
    auto library = std::make_unique<CfitsioLibrary>();
    bool complete = true;
#define TALVENOR_CFITSIO_FIND(name) complete = from.Find(TALVENOR_SYMBOL_NAME(name), library->name) && complete;
    TALVENOR_CFITSIO_FUNCTIONS(TALVENOR_CFITSIO_FIND)
#undef TALVENOR_CFITSIO_FIND
    if (!complete) return nullptr;
    return library;
}

// The library, loaded once for the process and never changed; a file that needs it when it
// cannot be loaded is refused with the reason.
const CfitsioLibrary& Cfitsio() {
    static const std::unique_ptr<const CfitsioLibrary> library = LoadCfitsio();
    if (!library) throw Error("cfitsio (" TALVENOR_SONAME("cfitsio", CFITSIO_SONAME) ") could not be loaded");
    return *library;
}

// "<file>: <cfitsio's status text>", the library's message stack cleared so the next file
// starts without this one's messages.
[[noreturn]] void ThrowStatus(const std::string& name, int status) {
    char text[FLEN_STATUS] = {};
    Cfitsio().fits_get_errstatus(status, text);
    Cfitsio().fits_clear_errmsg();
    throw Error(name + ": " + text);
}

// An open file, closed however the reader leaves.
class OpenFits {
public:
    explicit OpenFits(const std::string& name) : name_(name) {
        int status = 0;
        // The disk-file call takes the name as it is: brackets or a trailing "+" in a folder
        // name must not be read as cfitsio's filters. It still opens gzip-compressed files.
        Cfitsio().fits_open_diskfile(&file_, name.c_str(), READONLY, &status);
        if (status) ThrowStatus(name_, status);
    }
    ~OpenFits() {
        int status = 0;
        if (file_) Cfitsio().fits_close_file(file_, &status);
    }
    OpenFits(const OpenFits&) = delete;
    OpenFits& operator=(const OpenFits&) = delete;

    fitsfile* get() const { return file_; }
    void Check(int status) const {
        if (status) ThrowStatus(name_, status);
    }

private:
    std::string name_;
    fitsfile* file_ = nullptr;
};

bool IsGzip(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char magic[2] = {};
    in.read(reinterpret_cast<char*>(magic), 2);
    return in && magic[0] == 0x1F && magic[1] == 0x8B;
}

// A keyword's number, or `fallback` when the header does not have it.
double NumberOr(fitsfile* f, const char* key, double fallback) {
    int status = 0;
    double v = fallback;
    Cfitsio().fits_read_key_dbl(f, key, &v, nullptr, &status);
    if (status) {
        Cfitsio().fits_clear_errmsg();
        return fallback;
    }
    return v;
}

std::string TextOr(fitsfile* f, const char* key) {
    int status = 0;
    char v[FLEN_VALUE] = {};
    Cfitsio().fits_read_key_str(f, key, v, nullptr, &status);
    if (status) {
        Cfitsio().fits_clear_errmsg();
        return {};
    }
    return v;
}

// Moves to the first unit with an image of at least one pixel and describes it.
FitsLayout FindImage(const OpenFits& file, const std::string& name, bool gzip) {
    fitsfile* f = file.get();
    int status = 0, units = 0;
    file.Check(Cfitsio().fits_get_num_hdus(f, &units, &status));
    for (int unit = 1; unit <= units; ++unit) {
        int type = 0;
        file.Check(Cfitsio().fits_movabs_hdu(f, unit, &type, &status));
        if (type != IMAGE_HDU) continue;  // tile-compressed images count as images here
        FitsLayout l;
        LONGLONG axes[9] = {};
        file.Check(Cfitsio().fits_get_img_paramll(f, 9, &l.Bitpix, &l.Naxis, axes, &status));
        if (l.Naxis <= 0) continue;  // an empty primary header in front of the extensions
        bool empty = false;
        for (int i = 0; i < std::min(l.Naxis, 9); ++i) empty = empty || axes[i] <= 0;
        if (empty) continue;
        file.Check(Cfitsio().fits_get_img_equivtype(f, &l.EquivalentBitpix, &status));
        l.Hdu = unit - 1;
        l.Width = axes[0];
        l.Height = l.Naxis >= 2 ? axes[1] : 1;
        l.Planes = l.Naxis >= 3 ? axes[2] : 1;
        l.Bscale = NumberOr(f, "BSCALE", 1.0);
        l.Bzero = NumberOr(f, "BZERO", 0.0);
        if (Cfitsio().fits_is_compressed_image(f, &status)) {
            l.Compression = TextOr(f, "ZCMPTYPE");
            if (l.Compression.empty()) l.Compression = "tiles";
        } else if (gzip) {
            l.Compression = "gzip file";
        }
        file.Check(status);
        return l;
    }
    throw Error(name + ": holds no image (" + std::to_string(units) + (units == 1 ? " unit" : " units") +
                ", none with picture data)");
}

void CheckPictureLayout(const FitsLayout& l, const std::string& name) {
    if (l.Naxis < 2) throw Error(name + ": NAXIS = " + std::to_string(l.Naxis) + ": a single row of values, not a picture");
    if (l.Naxis > 3) throw Error(name + ": NAXIS = " + std::to_string(l.Naxis) + ": neither a picture nor a colour cube");
    if (l.Planes != 1 && l.Planes != 3)
        throw Error(name + ": NAXIS3 = " + std::to_string(l.Planes) + ": neither grey nor a colour cube");
}

// The values are allocated before cfitsio reads them, so a size the file's bytes cannot back
// is refused first: stored data must be all there, and compressed data cannot shrink a
// picture of any worth by more than deflate's limit of about 1:1032.
void CheckDataFits(const FitsLayout& l, const fs::path& path) {
    std::error_code ec;
    const uint64_t has = fs::file_size(path, ec);
    if (ec) return;  // cfitsio opened it; its own reading will say what is wrong
    const uint64_t needs = uint64_t(l.Width) * uint64_t(l.Height) * uint64_t(l.Planes) * uint64_t(std::abs(l.Bitpix) / 8);
    if (l.Compression.empty() && needs > has)
        throw Error(path.string() + ": image data ends early (needs " + std::to_string(needs) + " bytes, the file has " +
                    std::to_string(has) + ")");
    if (!l.Compression.empty() && needs / 1100 > has)
        throw Error(path.string() + ": a " + std::to_string(l.Width) + " x " + std::to_string(l.Height) +
                    " picture cannot come from " + std::to_string(has) + " bytes of compressed data");
}

}  // namespace

FitsLayout ReadFitsLayout(const fs::path& path) {
    const std::string name = path.string();
    const OpenFits file(name);
    return FindImage(file, name, IsGzip(path));
}

FitsValues ReadFitsValues(const fs::path& path) {
    const std::string name = path.string();
    const OpenFits file(name);
    FitsValues out;
    out.Layout = FindImage(file, name, IsGzip(path));
    const FitsLayout& l = out.Layout;
    CheckPictureLayout(l, name);
    CheckDecodedSize(name, uint64_t(l.Width), uint64_t(l.Height));
    CheckDataFits(l, path);
    const LONGLONG count = l.Width * l.Height * l.Planes;
    out.Values.resize(std::size_t(count));
    // cfitsio applies BZERO and BSCALE when it reads into doubles; undefined pixels (the
    // BLANK value of integer data, NaN of floating-point data) come back as NaN.
    double blank = std::numeric_limits<double>::quiet_NaN();
    int anyBlank = 0, status = 0;
    LONGLONG first[3] = {1, 1, 1};
    file.Check(Cfitsio().fits_read_pixll(file.get(), TDOUBLE, first, count, &blank, out.Values.data(), &anyBlank, &status));
    return out;
}

DecodedImage ReadFitsWithLibrary(const fs::path& path) {
    DecodedImage image = PictureFromFitsValues(ReadFitsValues(path));
    image.Reader = "cfitsio";
    return image;
}

DecodedImage PictureFromFitsValues(const FitsValues& v) {
    const FitsLayout& l = v.Layout;
    DecodedImage image;
    const int width = int(l.Width), height = int(l.Height), planes = int(l.Planes);
    image.Allocate(width, height, planes);
    if (l.Hdu > 0) image.Notes.push_back("image in extension " + std::to_string(l.Hdu));
    if (!l.Compression.empty())
        image.Notes.push_back(l.Compression == "gzip file" ? "gzip-compressed file" : "tile-compressed (" + l.Compression + ")");
    if (planes == 3) image.Notes.push_back("colour cube");

    // Integer data whose values are whole numbers on an unsigned 8- or 16-bit range keep them
    // exactly; signed 8- and 16-bit data is offset to the unsigned range when it holds
    // negatives, as our own reader shows signed 16-bit frames. cfitsio gives an integer type
    // exactly when BZERO and BSCALE keep every value whole.
    const int et = l.EquivalentBitpix;
    const bool whole = l.Bitpix > 0 && et > 0;
    double lowest = std::numeric_limits<double>::infinity(), highest = -lowest;
    bool blank = false;
    for (double x : v.Values) {
        blank = blank || std::isnan(x);
        lowest = std::min(lowest, x);  // NaN never wins either comparison
        highest = std::max(highest, x);
    }
    const bool negative = lowest < 0, within16 = lowest >= 0 && highest <= 65535;
    int bits = 0;
    bool isSigned = false;
    if (whole && et == BYTE_IMG) bits = 8;
    else if (whole && negative && (et == SBYTE_IMG || et == SHORT_IMG)) bits = et == SBYTE_IMG ? 8 : 16, isSigned = true;
    else if (whole && within16) bits = 16;

    std::vector<uint16_t> levels(v.Values.size());
    if (bits > 0) {
        for (std::size_t i = 0; i < v.Values.size(); ++i)
            levels[i] = std::isnan(v.Values[i]) ? 0 : IntegerTo16(int64_t(v.Values[i]), bits, isSigned);
        if (isSigned) image.Notes.push_back("signed samples offset to the unsigned range");
    } else {
        FloatsTo16(v.Values, levels, image);
        // The shared note speaks of floating-point data; integer data scaled off the 16-bit
        // range says what it is.
        if (l.Bitpix > 0 && !image.Notes.empty() && image.Notes.back().starts_with("floating-point data"))
            image.Notes.back().replace(0, 19, l.Bscale != 1 ? "scaled integer data" : "integer data");
    }
    if (blank) image.Notes.push_back("undefined pixels shown as the lowest level");

    // FITS stores the bottom row first; planes are red, green and blue.
    const std::size_t planeSize = std::size_t(width) * std::size_t(height);
    for (int c = 0; c < planes; ++c)
        for (int k = 0; k < height; ++k) {
            const uint16_t* src = levels.data() + std::size_t(c) * planeSize + std::size_t(k) * std::size_t(width);
            const int y = height - 1 - k;
            for (int x = 0; x < width; ++x) image.At(x, y, c) = src[x];
        }
    return image;
}

}  // namespace talvenor
