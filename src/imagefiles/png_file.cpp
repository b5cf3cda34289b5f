#include "imagefiles/png_file.h"

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <png.h>

#include "workspace/error.h"
#include "workspace/file_bytes.h"

namespace talvenor {

namespace {

namespace fs = std::filesystem;

// Deflate codes at most 258 repeated bytes in two bits, so no stream inflates to more than
// 1032 times its size: a header claiming more pixels than that is a lie, refused before
// anything is allocated or inflated for it.
constexpr uint64_t kMaxDeflateRatio = 1032;
// The largest chunk libpng may hold in memory (text is inflated into it too); a recipe of a
// 5000-frame project is well under a megabyte.
constexpr png_alloc_size_t kMaxChunkBytes = png_alloc_size_t(16) << 20;
constexpr char kRecipeKey[] = "Description";

// libpng's own handler prints and aborts. Ours keeps the message and jumps back to the
// function that started the work, which releases every libpng object before reporting. The
// jump never crosses a C++ object with a destructor: the functions below that call setjmp
// hold only plain data, and everything else lives in their caller.
struct Message {
    char text[256] = {};
};

[[noreturn]] void OnError(png_structp png, png_const_charp text) {
    auto* message = static_cast<Message*>(png_get_error_ptr(png));
    std::snprintf(message->text, sizeof message->text, "%s", text);
    png_longjmp(png, 1);
}

// Warnings are about chunks libpng skipped (a damaged or unknown ancillary chunk); the
// picture is intact.
void OnWarning(png_structp, png_const_charp) {}

enum class Goal { Header, Texts, Pixels };
enum class Outcome { Done, DamageAfterPixels, LibraryError, TooLarge, Unbacked, NoMemory };

struct ReadJob {
    std::span<const uint8_t> bytes;
    std::size_t pos = 0;
    Goal goal = Goal::Header;
    DecodedImage* out = nullptr;
    std::vector<png_bytep> rows;
    // The header and the chunks that matter.
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0, interlace = 0, storedChannels = 0;
    int paletteEntries = 0;
    bool transparency = false;
    int channels = 0;  // after decoding
    bool pixelsComplete = false;
    bool hasDescription = false;
    std::string description;
    Message message;
};

void ReadFromMemory(png_structp png, png_bytep out, std::size_t count) {
    auto* job = static_cast<ReadJob*>(png_get_io_ptr(png));
    if (count > job->bytes.size() - job->pos) {
        char text[96];
        std::snprintf(text, sizeof text, "the file ends early, after %zu bytes", job->bytes.size());
        png_error(png, text);
    }
    std::memcpy(out, job->bytes.data() + job->pos, count);
    job->pos += count;
}

bool SizeAdmitted(const ReadJob& job) noexcept {
    try {
        CheckDecodedSize("", job.width, job.height);
        return true;
    } catch (...) {
        return false;
    }
}

uint64_t StoredBytes(const ReadJob& job) {
    const uint64_t rowBytes = (uint64_t(job.width) * uint64_t(job.storedChannels * job.bitDepth) + 7) / 8;
    return uint64_t(job.height) * (rowBytes + 1);  // a filter byte per row
}

bool ClaimIsBacked(const ReadJob& job) { return StoredBytes(job) <= uint64_t(job.bytes.size()) * kMaxDeflateRatio; }

// The decoded picture's storage and libpng's row pointers into it. 8-bit rows take the first
// half of their 16-bit row and are widened in place afterwards.
bool AllocateRows(ReadJob& job) noexcept {
    try {
        DecodedImage& out = *job.out;
        out.Allocate(int(job.width), int(job.height), job.channels);
        job.rows.resize(job.height);
        for (png_uint_32 y = 0; y < job.height; ++y)
            job.rows[y] = reinterpret_cast<png_bytep>(out.Samples.data() + std::size_t(y) * job.width * job.channels);
        return true;
    } catch (...) {
        return false;
    }
}

// Keeps the first "Description" text libpng has met so far (before the pixels, then after).
bool TakeDescription(ReadJob& job, png_structp png, png_infop info) noexcept {
    if (job.hasDescription) return true;
    png_textp texts = nullptr;
    int count = 0;
    png_get_text(png, info, &texts, &count);
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(texts[i].key, kRecipeKey) != 0 || texts[i].text == nullptr) continue;
        // iTXt counts its (UTF-8) text in itxt_length, tEXt and zTXt in text_length.
        const std::size_t length = texts[i].compression > 0 ? texts[i].itxt_length : texts[i].text_length;
        try {
            job.description.assign(texts[i].text, length);
        } catch (...) {
            return false;
        }
        job.hasDescription = true;
        break;
    }
    return true;
}

// Plain data only in this frame: it is where libpng's errors jump back to.
Outcome RunRead(ReadJob& job) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job.message, OnError, OnWarning);
    if (png == nullptr) return Outcome::NoMemory;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return Outcome::NoMemory;
    }
    if (setjmp(png_jmpbuf(png))) {
        // Every pixel arrived: what is wrong lies in the chunks after them, and the text
        // chunks read before the damage still count.
        const bool late = job.pixelsComplete && TakeDescription(job, png, info);
        png_destroy_read_struct(&png, &info, nullptr);
        return late ? Outcome::DamageAfterPixels : Outcome::LibraryError;
    }
    png_set_read_fn(png, &job, ReadFromMemory);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_read_info(png, info);
    png_get_IHDR(png, info, &job.width, &job.height, &job.bitDepth, &job.colourType, &job.interlace, nullptr, nullptr);
    job.storedChannels = png_get_channels(png, info);
    job.transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (job.colourType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp palette = nullptr;
        png_get_PLTE(png, info, &palette, &job.paletteEntries);
    }
    Outcome refusal = Outcome::Done;
    if (!TakeDescription(job, png, info)) refusal = Outcome::NoMemory;
    else if (job.goal == Goal::Pixels && !SizeAdmitted(job)) refusal = Outcome::TooLarge;
    else if (job.goal != Goal::Header && !ClaimIsBacked(job)) refusal = Outcome::Unbacked;
    if (job.goal == Goal::Header || refusal != Outcome::Done) {
        png_destroy_read_struct(&png, &info, nullptr);
        return refusal;
    }

    // Stored values, one or three channels: no alpha, no palette, bytes of at least 8 bits.
    png_set_strip_alpha(png);
    if (job.colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (job.colourType == PNG_COLOR_TYPE_GRAY && job.bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if constexpr (std::endian::native == std::endian::little)
        if (job.bitDepth == 16) png_set_swap(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    job.channels = png_get_channels(png, info);
    if (job.goal == Goal::Texts) {
        // The text may follow the pixels, so they are inflated, but kept nowhere.
        for (int pass = 0; pass < passes; ++pass)
            for (png_uint_32 y = 0; y < job.height; ++y) png_read_row(png, nullptr, nullptr);
    } else {
        const std::size_t sampleBytes = job.bitDepth == 16 ? 2 : 1;
        if ((job.channels != 1 && job.channels != 3) ||
            png_get_rowbytes(png, info) != std::size_t(job.width) * std::size_t(job.channels) * sampleBytes)
            png_error(png, "the decoded rows do not have the expected layout");
        if (!AllocateRows(job)) {
            png_destroy_read_struct(&png, &info, nullptr);
            return Outcome::NoMemory;
        }
        png_read_image(png, job.rows.data());
    }
    job.pixelsComplete = true;
    png_read_end(png, info);
    if (!TakeDescription(job, png, info)) refusal = Outcome::NoMemory;
    png_destroy_read_struct(&png, &info, nullptr);
    return refusal;
}

const char* ColourTypeName(int type) {
    switch (type) {
        case PNG_COLOR_TYPE_GRAY: return "grey";
        case PNG_COLOR_TYPE_GRAY_ALPHA: return "grey + alpha";
        case PNG_COLOR_TYPE_RGB: return "RGB";
        case PNG_COLOR_TYPE_RGB_ALPHA: return "RGBA";
        case PNG_COLOR_TYPE_PALETTE: return "palette";
        default: return "unknown";
    }
}

// What decoding changes about the stored picture, as notes.
std::vector<std::string> DecodingNotes(const ReadJob& job) {
    std::vector<std::string> notes;
    if ((job.colourType & PNG_COLOR_MASK_ALPHA) != 0 || job.transparency) notes.emplace_back("alpha dropped");
    if (job.colourType == PNG_COLOR_TYPE_PALETTE) notes.emplace_back("palette expanded to RGB");
    return notes;
}

void Read(ReadJob& job, const std::string& name) {
    if (job.bytes.empty()) throw Error(name + ": empty file, not a PNG image");
    switch (RunRead(job)) {
        case Outcome::Done: return;
        case Outcome::DamageAfterPixels:
            if (job.out != nullptr)
                job.out->Notes.push_back(std::string("damage after the last pixel ignored: ") + job.message.text);
            return;
        case Outcome::LibraryError: throw Error(name + ": " + job.message.text);
        case Outcome::TooLarge:
            CheckDecodedSize(name, job.width, job.height);
            throw Error(name + ": the " + std::to_string(job.width) + " x " + std::to_string(job.height) +
                        " picture is too large to read");
        case Outcome::Unbacked:
            throw Error(name + ": " + std::to_string(job.bytes.size()) + " bytes cannot hold a " +
                        std::to_string(job.width) + " x " + std::to_string(job.height) + " picture of " +
                        std::to_string(job.storedChannels * job.bitDepth) + " bits per pixel");
        case Outcome::NoMemory:
            throw Error(name + ": not enough memory for a " + std::to_string(job.width) + " x " +
                        std::to_string(job.height) + " picture");
    }
}

// Widens rows of 8-bit samples (the first half of each 16-bit row) in place to value x 256,
// from the back so no byte is overwritten before it is read.
void WidenBytes(DecodedImage& image) {
    const std::size_t perRow = std::size_t(image.Width) * std::size_t(image.Channels);
    for (int y = 0; y < image.Height; ++y) {
        uint16_t* row = image.Samples.data() + std::size_t(y) * perRow;
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(row);
        for (std::size_t i = perRow; i-- > 0;) row[i] = uint16_t(bytes[i] << 8);
    }
}

struct WriteJob {
    std::vector<uint8_t> out;
    int width = 0, height = 0;
    bool wide = false, grey = false;
    const Bitmap24* picture = nullptr;
    const TTIFFBitMap* image = nullptr;
    std::string recipe;             // NUL-terminated for libpng, which measures it itself
    std::vector<uint8_t> greyRow;  // one grey row made from the picture
    Message message;
};

bool Append(std::vector<uint8_t>& out, const uint8_t* data, std::size_t count) noexcept {
    try {
        out.insert(out.end(), data, data + count);
        return true;
    } catch (...) {
        return false;
    }
}

void WriteToMemory(png_structp png, png_bytep data, std::size_t count) {
    auto* job = static_cast<WriteJob*>(png_get_io_ptr(png));
    if (!Append(job->out, data, count)) png_error(png, "not enough memory for the encoded file");
}

void FlushNothing(png_structp) {}

png_bytep RowToWrite(WriteJob& job, int y) {
    if (job.wide) return job.image->WideRows[std::size_t(y)];
    const uint8_t* row = job.picture->Row(y);
    if (!job.grey) return const_cast<png_bytep>(row);
    for (int x = 0; x < job.width; ++x) job.greyRow[std::size_t(x)] = row[3 * x];
    return job.greyRow.data();
}

// Plain data only in this frame, as in RunRead.
bool RunWrite(WriteJob& job) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job.message, OnError, OnWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &job, WriteToMemory, FlushNothing);
    png_set_IHDR(png, info, png_uint_32(job.width), png_uint_32(job.height), job.wide ? 16 : 8,
                 job.grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_text text{};
    if (!job.recipe.empty()) {
        text.compression = PNG_TEXT_COMPRESSION_NONE;
        text.key = const_cast<png_charp>(kRecipeKey);
        text.text = job.recipe.data();
        png_set_text(png, info, &text, 1);
    }
    png_write_info(png, info);
    if (job.wide) png_set_swap(png);        // wide samples are little-endian in memory
    else if (!job.grey) png_set_bgr(png);   // the picture's rows are blue, green, red
    for (int y = 0; y < job.height; ++y) png_write_row(png, RowToWrite(job, y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

std::vector<uint8_t> Encode(WriteJob& job, const std::string& name) {
    job.out.reserve(std::size_t(job.width) * std::size_t(job.height) * (job.wide ? 3 : 1) + 1024);
    if (!RunWrite(job)) {
        const char* reason = job.message.text[0] ? job.message.text : "libpng could not start";
        throw Error(name + ": cannot encode PNG (" + reason + ")");
    }
    return std::move(job.out);
}

bool AllGrey(const Bitmap24& picture) {
    for (int y = 0; y < picture.Height(); ++y) {
        const uint8_t* p = picture.Row(y);
        for (int x = 0; x < picture.Width(); ++x, p += 3)
            if (p[0] != p[1] || p[1] != p[2]) return false;
    }
    return true;
}

}  // namespace

DecodedImage DecodePng(std::span<const uint8_t> bytes, const std::string& name) {
    DecodedImage image;
    image.Reader = "libpng";
    ReadJob job;
    job.bytes = bytes;
    job.goal = Goal::Pixels;
    job.out = &image;
    Read(job, name);
    if (job.bitDepth != 16) WidenBytes(image);
    std::vector<std::string> notes = DecodingNotes(job);
    image.Notes.insert(image.Notes.begin(), notes.begin(), notes.end());
    return image;
}

DecodedImage ReadPng(const fs::path& file) {
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    return DecodePng(bytes, file.string());
}

FileInfo ProbePng(const fs::path& file) {
    const std::string name = file.string();
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    ReadJob job;
    job.bytes = bytes;
    job.goal = Goal::Texts;
    Read(job, name);

    FileInfo info;
    info.Format = "PNG";
    info.Width = int(job.width);
    info.Height = int(job.height);
    info.Bits = job.storedChannels * job.bitDepth;
    info.Details.emplace_back("reader", "libpng");
    info.Details.emplace_back("colour type", ColourTypeName(job.colourType));
    info.Details.emplace_back("bit depth", std::to_string(job.bitDepth));
    info.Details.emplace_back("interlace", job.interlace == PNG_INTERLACE_ADAM7 ? "Adam7" : "none");
    if (job.colourType == PNG_COLOR_TYPE_PALETTE)
        info.Details.emplace_back("palette", std::to_string(job.paletteEntries));
    info.Details.emplace_back("recipe", job.hasDescription && !job.description.empty() ? "yes" : "no");
    std::string decoding;
    for (const std::string& note : DecodingNotes(job)) decoding += (decoding.empty() ? "" : "; ") + note;
    info.Details.emplace_back("decoding", decoding.empty() ? "as stored" : decoding);
    return info;
}

std::optional<std::string> PngDescription(std::span<const uint8_t> bytes, const std::string& name) {
    ReadJob job;
    job.bytes = bytes;
    job.goal = Goal::Texts;
    Read(job, name);
    if (!job.hasDescription) return std::nullopt;
    return std::move(job.description);
}

std::vector<uint8_t> EncodePng(const Bitmap24& picture, const std::string& name, std::string_view recipe) {
    if (picture.Empty()) throw Error(name + ": cannot save an empty picture");
    WriteJob job;
    job.width = picture.Width();
    job.height = picture.Height();
    job.picture = &picture;
    job.grey = AllGrey(picture);
    if (job.grey) job.greyRow.resize(std::size_t(job.width));
    job.recipe = recipe;
    return Encode(job, name);
}

std::vector<uint8_t> EncodePng16(const TTIFFBitMap& image, int width, int height, const std::string& name,
                                 std::string_view recipe) {
    if (!image.HasWide || width <= 0 || height <= 0 || image.Width() < width || image.Height() < height)
        throw Error(name + ": there is no 16-bit image of " + std::to_string(width) + " x " + std::to_string(height) +
                    " to save");
    WriteJob job;
    job.width = width;
    job.height = height;
    job.wide = true;
    job.image = &image;
    job.recipe = recipe;
    return Encode(job, name);
}

void WritePng(const fs::path& file, const Bitmap24& picture, std::string_view recipe, SafeFileSet* set) {
    WriteFileReplacing(file, EncodePng(picture, file.string(), recipe), set);
}

void WritePng16(const fs::path& file, const TTIFFBitMap& image, int width, int height, std::string_view recipe,
                SafeFileSet* set) {
    WriteFileReplacing(file, EncodePng16(image, width, height, file.string(), recipe), set);
}

}  // namespace talvenor
