#include "imagefiles/jpeg_file.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
#include <jerror.h>

#include "imagefiles/bmp_file.h"
#include "imagefiles/decoded_image.h"
#include "imagefiles/jpeg_scan_data.h"
#include "workspace/error.h"
#include "workspace/workspace.h"

namespace talvenor {

namespace {

namespace fs = std::filesystem;

// What a file may make libjpeg hold beside the picture. Only multi-scan files buffer the
// whole image (as 2-byte coefficients per sample): a progressive 4096 x 4096 colour picture
// without subsampling needs 96 MB, a 6000 x 4000 camera picture 72 MB.
constexpr long kMaxBufferedBytes = 128L << 20;
// Progressive encoders write about ten scans; each scan costs a pass over every block, so a
// file of thousands of tiny scans would take minutes to decode.
constexpr int kMaxScans = 200;

// libjpeg's own handler prints and calls exit(). Ours keeps the message and jumps back to the
// function that started the work, which releases every libjpeg object before reporting.
// The jump never crosses a C++ object with a destructor: the functions below that call
// setjmp hold only plain data, and everything else lives in the caller.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    // Whether running out of data may still be harmless (see OnMessage).
    bool singleScan = false;
    bool pixelsComplete = false;
    bool ranOut = false;
    char message[JMSG_LENGTH_MAX] = {};
    // Called by libjpeg between steps of the work; stops a file with too many scans.
    jpeg_progress_mgr progress{};
};

[[noreturn]] void JumpWithMessage(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void OnError(j_common_ptr cinfo) { JumpWithMessage(cinfo); }

// Installed on decompression objects only.
void OnProgress(j_common_ptr cinfo) {
    const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number <= kMaxScans) return;
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::snprintf(err->message, sizeof err->message, "the picture is spread over more than %d scans", kMaxScans);
    std::longjmp(err->jump, 1);
}

// Warnings that mean pixels were lost stop the decode; the harmless ones (extra bytes between
// markers, an unknown JFIF revision) are ignored, as every viewer ignores them.
//
// Running out of data is not always a loss: a file that lacks only its end marker has every
// pixel, yet libjpeg's Huffman decoder reads ahead and meets the end of the data while the
// last row is still being decoded. In a single-scan file a real loss shows itself next, as
// "premature end of data segment" when bits are missing; then we report the end of the file.
// In a progressive (or otherwise multi-scan) file whole scans can be missing without any
// further warning, so there the end of the data is an error unless every row was delivered.
void OnMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;  // trace messages
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    switch (cinfo->err->msg_code) {
        case JWRN_JPEG_EOF:
            if (err->pixelsComplete) break;
            if (err->singleScan && !err->ranOut) {
                (*cinfo->err->format_message)(cinfo, err->message);
                err->ranOut = true;
                break;
            }
            JumpWithMessage(cinfo);
        case JWRN_HIT_MARKER:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_ARITH_BAD_CODE:
        case JWRN_MUST_RESYNC:
            if (err->ranOut) std::longjmp(err->jump, 1);  // keeps "Premature end of JPEG file"
            JumpWithMessage(cinfo);
        default: break;
    }
    cinfo->err->num_warnings++;
}

void UseOurHandler(ErrorManager& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.emit_message = OnMessage;
}

struct DecodeJob {
    const uint8_t* data = nullptr;
    std::size_t size = 0;
    bool headerOnly = false;
    bool repeatChroma = false;  // JpegChroma::Repeated
    Bitmap24* out = nullptr;
    // What the headers say.
    int width = 0, height = 0, components = 0;
    J_COLOR_SPACE space = JCS_UNKNOWN;
    bool progressive = false;
    bool arithmetic = false;
    JpegScanData scans;  // measured before libjpeg sees the file
};

// Why the picture the header claims is not decoded (empty when it is): larger than any
// picture the program reads, or more than the file's scans can code (jpeg_scan_data.h).
// Arithmetic coding has no floor per block: there the program's side limit holds too.
// Checked before libjpeg allocates anything, so a lying header costs next to nothing.
std::string ClaimProblem(const DecodeJob& job) {
    const std::string size = std::to_string(job.width) + " x " + std::to_string(job.height);
    try {
        CheckDecodedSize("", uint64_t(job.width), uint64_t(job.height));
    } catch (const Error& e) {
        return std::string(e.what()).substr(2);  // after the empty name's ": "
    }
    if (job.arithmetic && (job.width > kMaxImageSide || job.height > kMaxImageSide))
        return "an arithmetic-coded picture of " + size + " is larger than " + std::to_string(kMaxImageSide) + " pixels per side";
    if (!job.scans.Backed()) {
        if (job.scans.scans == 0) return "no scan data for a " + size + " picture";
        return std::to_string(job.scans.shortScanBytes) + " bytes of scan data cannot hold a " + size + " picture (scan " +
               std::to_string(job.scans.shortScan) + " needs at least " + std::to_string(job.scans.shortScanNeeds) + ")";
    }
    return {};
}

// Keeps the picture's storage when it already has the size: every row is written below.
bool Allocate(Bitmap24& out, int width, int height) noexcept {
    if (out.Width() == width && out.Height() == height) return true;
    try {
        out.SetSize(width, height);
        return true;
    } catch (...) {
        out = Bitmap24();
        return false;
    }
}

const char* SpaceName(J_COLOR_SPACE space) {
    switch (space) {
        case JCS_GRAYSCALE: return "greyscale";
        case JCS_YCbCr: return "YCbCr";
        case JCS_RGB: return "RGB";
        case JCS_CMYK: return "CMYK";
        case JCS_YCCK: return "YCCK";
        default: return "unknown";
    }
}

enum class Outcome { Done, LibraryError, Unsupported, Refused, NoMemory };

// Plain data only in this frame: it is where libjpeg's errors jump back to.
Outcome RunDecode(DecodeJob& job, ErrorManager& err) {
    jpeg_decompress_struct cinfo;
    cinfo.err = &err.pub;
    UseOurHandler(err);
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return Outcome::LibraryError;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMaxBufferedBytes;
    err.progress.progress_monitor = OnProgress;
    cinfo.progress = &err.progress;
    jpeg_mem_src(&cinfo, job.data, static_cast<unsigned long>(job.size));
    jpeg_read_header(&cinfo, TRUE);
    job.width = int(cinfo.image_width);
    job.height = int(cinfo.image_height);
    job.components = cinfo.num_components;
    job.space = cinfo.jpeg_color_space;
    job.progressive = cinfo.progressive_mode != 0;
    job.arithmetic = cinfo.arith_code != 0;
    const bool grey = cinfo.num_components == 1 && cinfo.jpeg_color_space == JCS_GRAYSCALE;
    const bool colour = cinfo.num_components == 3 && (cinfo.jpeg_color_space == JCS_YCbCr || cinfo.jpeg_color_space == JCS_RGB);
    if (job.headerOnly || (!grey && !colour)) {
        jpeg_destroy_decompress(&cinfo);
        return job.headerOnly ? Outcome::Done : Outcome::Unsupported;
    }
    if (!ClaimProblem(job).empty()) {
        jpeg_destroy_decompress(&cinfo);
        return Outcome::Refused;
    }

    err.singleScan = !jpeg_has_multiple_scans(&cinfo);
    // libjpeg-turbo turns grey and colour alike into blue-green-red rows, straight into ours.
    cinfo.out_color_space = JCS_EXT_BGR;
    if (job.repeatChroma) cinfo.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&cinfo);
    if (!Allocate(*job.out, int(cinfo.output_width), int(cinfo.output_height))) {
        jpeg_destroy_decompress(&cinfo);
        return Outcome::NoMemory;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[16];
        const JDIMENSION first = cinfo.output_scanline;
        JDIMENSION count = std::min<JDIMENSION>(16, cinfo.output_height - first);
        for (JDIMENSION i = 0; i < count; ++i) rows[i] = job.out->Row(int(first + i));
        jpeg_read_scanlines(&cinfo, rows, count);
    }
    err.pixelsComplete = true;
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return Outcome::Done;
}

void Decode(DecodeJob& job, const std::string& name) {
    ErrorManager err;
    switch (RunDecode(job, err)) {
        case Outcome::Done: return;
        case Outcome::LibraryError:
            if (err.pub.msg_code == JERR_NO_BACKING_STORE)
                throw Error(name + ": the " + std::to_string(job.width) + " x " + std::to_string(job.height) +
                            " picture is stored in several scans and would need more than " +
                            std::to_string(kMaxBufferedBytes >> 20) + " MB of buffers to decode");
            throw Error(name + ": " + err.message);
        case Outcome::Unsupported:
            throw Error(name + ": " + SpaceName(job.space) + " JPEG files with " + std::to_string(job.components) +
                        " components are not supported (only greyscale and colour)");
        case Outcome::Refused: throw Error(name + ": " + ClaimProblem(job));
        case Outcome::NoMemory:
            throw Error(name + ": not enough memory for a " + std::to_string(job.width) + " x " +
                        std::to_string(job.height) + " picture");
    }
}

struct EncodeJob {
    const Bitmap24* picture = nullptr;
    std::string_view comment;
    unsigned char* buffer = nullptr;  // malloc'd by libjpeg's memory destination
    unsigned long size = 0;
};

// Plain data only in this frame, as in RunDecode.
bool RunEncode(EncodeJob& job, ErrorManager& err) {
    jpeg_compress_struct cinfo;
    cinfo.err = &err.pub;
    UseOurHandler(err);
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &job.buffer, &job.size);
    const Bitmap24& picture = *job.picture;
    cinfo.image_width = JDIMENSION(picture.Width());
    cinfo.image_height = JDIMENSION(picture.Height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);  // and nothing else: the encoder's defaults are the program's
    jpeg_start_compress(&cinfo, TRUE);
    // A comment longer than one segment holds goes on over the next ones; readers join them.
    for (std::size_t at = 0; at < job.comment.size(); at += kCommentSegment) {
        const std::size_t n = std::min(kCommentSegment, job.comment.size() - at);
        jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(job.comment.data() + at), unsigned(n));
    }
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(picture.Row(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

struct FreeDeleter {
    void operator()(unsigned char* p) const { std::free(p); }
};

}  // namespace

void DecodeJpeg(std::span<const uint8_t> bytes, const std::string& name, Bitmap24& picture, JpegChroma chroma) {
    if (bytes.empty()) throw Error(name + ": empty file, not a JPEG image");
    DecodeJob job;
    job.repeatChroma = chroma == JpegChroma::Repeated;
    job.data = bytes.data();
    job.size = bytes.size();
    job.out = &picture;
    job.scans = MeasureJpegScans(bytes);
    Decode(job, name);
    picture.Touch();
}

Bitmap24 DecodeJpeg(std::span<const uint8_t> bytes, const std::string& name) {
    Bitmap24 picture;
    DecodeJpeg(bytes, name, picture);
    return picture;
}

Bitmap24 ReadJpeg(const fs::path& file) {
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    return DecodeJpeg(bytes, file.string());
}

FileInfo ProbeJpeg(const fs::path& file) {
    const std::string name = file.string();
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    if (bytes.empty()) throw Error(name + ": empty file, not a JPEG image");
    DecodeJob job;
    job.data = bytes.data();
    job.size = bytes.size();
    job.headerOnly = true;
    job.scans = MeasureJpegScans(bytes);
    Decode(job, name);

    FileInfo info;
    info.Format = "JPEG";
    info.Width = job.width;
    info.Height = job.height;
    info.Bits = 8 * job.components;
    info.Details.emplace_back("components", std::to_string(job.components));
    info.Details.emplace_back("colour space", SpaceName(job.space));
    info.Details.emplace_back("progressive", job.progressive ? "yes" : "no");
    info.Details.emplace_back("scan data", std::to_string(job.scans.bytes) + " bytes in " + std::to_string(job.scans.scans) +
                                               (job.scans.scans == 1 ? " scan" : " scans"));
    // The limit is named either way, so a refused file can be told from one that is merely large.
    const std::string problem = ClaimProblem(job);
    info.Details.emplace_back("readable", problem.empty() ? "yes (pictures of at most " +
                                                                std::to_string(kMaxDecodedPixels / 1000000) + " million pixels are)"
                                                          : "no: " + problem);
    return info;
}

std::vector<uint8_t> EncodeJpeg(const Bitmap24& picture, const std::string& name, std::string_view comment) {
    if (picture.Empty()) throw Error(name + ": cannot save an empty picture");
    EncodeJob job;
    job.picture = &picture;
    job.comment = comment;
    ErrorManager err;
    const bool ok = RunEncode(job, err);
    std::unique_ptr<unsigned char, FreeDeleter> owned(job.buffer);
    if (!ok) throw Error(name + ": cannot encode JPEG (" + err.message + ")");
    return std::vector<uint8_t>(job.buffer, job.buffer + job.size);
}

void WriteJpeg(const fs::path& file, const Bitmap24& picture, std::string_view comment, SafeFileSet* set) {
    const std::vector<uint8_t> bytes = EncodeJpeg(picture, file.string(), comment);
    WriteFileReplacing(file, bytes, set);
}

std::string JpegComment(std::span<const uint8_t> bytes) {
    std::string comment;
    if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return comment;
    std::size_t at = 2;
    // Segments up to the first scan: a marker (FF, its code, fill bytes FF allowed before the
    // code), a two-byte big-endian length that counts itself, the payload.
    while (at + 4 <= bytes.size()) {
        if (bytes[at] != 0xFF) break;
        uint8_t code = bytes[at + 1];
        std::size_t next = at + 1;
        while (code == 0xFF && next + 1 < bytes.size()) code = bytes[++next];
        at = next + 1;
        if (code == 0xDA || code == 0xD9 || at + 2 > bytes.size()) break;  // the scan, or the end
        const std::size_t length = std::size_t(bytes[at]) << 8 | bytes[at + 1];
        if (length < 2 || at + length > bytes.size()) break;
        if (code == 0xFE) comment.append(reinterpret_cast<const char*>(bytes.data() + at + 2), length - 2);
        at += length;
    }
    return comment;
}

}  // namespace talvenor
