#include "input/frame_loader.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <vector>

#include "imagefiles/bmp_file.h"
#include "imagefiles/fits_file.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/png_file.h"
#include "imagefiles/tiff_file.h"
#include "input/deinterlace.h"
#include "input/mosaic_choice.h"
#include "input/unreadable_frames.h"
#include "input/wide_frame.h"
#include "workspace/caption.h"
#include "workspace/file_bytes.h"
#include "workspace/progress_window.h"

namespace talvenor {

namespace {

// A plane's value as a 16-bit sample: clamped, then rounded half to even as nearbyint rounds.
// Adding 2^23 rounds a float of 0 .. 65535 to its integer exactly, in vector steps, where the
// library call per sample did not vectorise; not-a-number comes out 0.
inline uint16_t SampleOf(float v) {
    v = v > 0.0f ? std::min(v, 65535.0f) : 0.0f;
    return uint16_t((v + 8388608.0f) - 8388608.0f);
}

// A FITS frame that is a raw colour mosaic (its BAYERPAT, or the user's pattern) becomes
// colour: the picture from its (level-stretched) bytes, the full-precision samples from the
// plane into FrameWide.
void DemosaicFitsFrame(AppContext& c) {
    Workspace& ws = c.ws;
    const MosaicChoice choice = MosaicChoiceOf(c.form);
    const std::optional<BayerPattern> pattern = PatternToUse(choice, ParseBayerPattern(ws.FitsBayerPattern));
    if (ws.FrameIsWide) return;  // a colour cube is colour already
    const Single2dArray& plane = ws.FitsPlane;
    const int w = ws.CurrentFrameImage.Width(), h = ws.CurrentFrameImage.Height();
    if (!pattern || !plane.Allocated() || plane.Width() < w || plane.Height() < h) return;
    // The samples go through the series' kept buffers; the picture's own demosaicing reuses
    // them once the wide frame holds its copy.
    DebayerScratch& work = ws.SeriesDemosaic;
    work.Mosaic.resize(std::size_t(w) * std::size_t(h));
    work.Rgb.resize(work.Mosaic.size() * 3);
    for (int y = 0; y < h; ++y) {
        const float* in = plane.Row(y);
        uint16_t* row = work.Mosaic.data() + std::size_t(y) * std::size_t(w);
        for (int x = 0; x < w; ++x) row[x] = SampleOf(in[x]);
    }
    DebayerSamples(work.Mosaic.data(), w, h, *pattern, choice.method, work.Rgb.data(), &work);
    SetWideFrame(ws, work.Rgb.data(), 3, w, h, 16);
    Debayer(ws.CurrentFrameImage, *pattern, choice.method, &work);
}

}  // namespace

void LoadFrame(AppContext& c, const std::string& path) {
    Workspace& ws = c.ws;
    ws.FrameIsWide = false;
    if (ws.InputType == kInputBmp) {
        ReadFileBytes(path, ws.FrameFileBytes);
        DecodeBmp(ws.FrameFileBytes, path, ws.CurrentFrameImage);
    } else if (ws.IsJpeg) {
        ReadFileBytes(path, ws.FrameFileBytes);
        DecodeJpeg(ws.FrameFileBytes, path, ws.CurrentFrameImage);
    } else if (ws.IsFits) {
        ReadFitsFrame(ws, c.form, c.host, path);
        DemosaicFitsFrame(c);
    } else if (ws.IsTiff || ws.IsPng) {
        if (ws.IsPng) {
            ReadFileBytes(path, ws.FrameFileBytes);
            ToWideBitmap(DecodePng(ws.FrameFileBytes, path), ws.FrameWide);
        } else {
            LoadFromFile(ws.FrameWide, path);
        }
        ws.FrameIsWide = ws.FrameWide.HasWide;
        ws.CurrentFrameImage = ws.FrameWide.Picture;
        ws.ImageWidth = ws.SourceWidth = std::min(ws.FrameWide.Picture.Width(), kMaxImageSide);
        ws.ImageHeight = ws.SourceHeight = std::min(ws.FrameWide.Picture.Height(), kMaxImageSide);
    }
    ws.CurrentFrameImage.Touch();
}

void SetProcessingCaption(AppContext& c, int index) {
    c.host.SetCaption(MakeCaption(c.ws, CaptionKind::Processing, index));
}

void RunSeriesPass(AppContext& c, const SeriesPass& pass) {
    Workspace& ws = c.ws;
    int handled = 0;
    for (int i : pass.Frames) {
        if (i < 0 || i >= kMaxFrames || ws.Frames[std::size_t(i)].Excluded) continue;
        ++handled;
        if (pass.Total > 0) SetProgress(c.form, c.host, handled, pass.Total);
        if (!LoadFrameOrSkip(c, i)) continue;
        if (pass.AlignmentPass) {
            // The working size shrinks to the smallest frame of the series and never grows.
            const Bitmap24& frame = ws.CurrentFrameImage;
            if (frame.Width() < ws.ImageWidth) ws.ImageWidth = ws.SourceWidth = frame.Width();
            if (frame.Height() < ws.ImageHeight) ws.ImageHeight = ws.SourceHeight = frame.Height();
        }
        SetProcessingCaption(c, i);
        ws.CurrentFrame = i;
        ws.RefreshDisplays = c.host.TimeToShowProgress();
        c.host.PumpMessages();
        if (!c.form.Interlaced.Checked) {
            if (!(pass.AlignmentPass && ws.CancelRequested)) pass.Step();
        } else {
            const bool horizontal = c.form.InterlaceHoriz.Checked;
            ws.FieldIndex = 0;
            Deinterlace(ws.CurrentFrameImage, 0, horizontal, ws.SourceWidth, ws.SourceHeight);
            pass.Step();
            ws.FieldIndex = 1;
            if (!LoadFrameOrSkip(c, i)) continue;
            Deinterlace(ws.CurrentFrameImage, 1, horizontal, ws.SourceWidth, ws.SourceHeight);
            pass.Step();
        }
        if (ws.CancelRequested) break;
    }
    ws.RefreshDisplays = true;
}

}  // namespace talvenor
