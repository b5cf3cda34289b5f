#pragma once
// The one workspace every page works on: the sequence that is open, one record per frame,
// the ranking, the image buffers of every stage, the sizes and the status of the work.
// It is an object owned by the Session (never copied), so each test starts from a fresh one.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "workspace/bitmap24.h"
#include "workspace/demosaic_scratch.h"
#include "workspace/frame_rows.h"
#include "workspace/kept_index.h"
#include "workspace/single2d_array.h"
#include "workspace/tiff_bitmap.h"

namespace talvenor {

// Fixed capacities.
constexpr int kMaxFrames = 5001;       // frame indices 0..5000
constexpr int kMaxFrameIndex = 5000;
constexpr int kMaxImageSide = 4096;
constexpr int kGammaEntries = 1001;

struct FrameRecord {
    int32_t ShiftX = 0;     // with de-interlacing: the second field's shift
    int32_t ShiftY = 0;
    int32_t ShiftXa = 0;    // the first de-interlace field's shift
    int32_t ShiftYa = 0;
    float SubShiftX = 0;    // fractional shifts the stacker splits into whole and part pixels
    float SubShiftY = 0;
    float Quality = 0;      // quality of the frame or of its second field
    float Difference = 0;   // registration difference, frame or second field
    float QualityA = 0;     // the first field's quality
    float DifferenceA = 0;  // the first field's difference
    float AlignDifference = 0;  // stored divided by 255
    float OptimizeScore = 100.0f;  // optimizer match in percent
    uint8_t Excluded = 0;   // 1 = no pass uses the frame
    uint8_t Dropped = 0;    // 1 = the video has no sample at this position
};

struct RankEntry {
    int32_t FrameIndex = 0;
    float RankQuality = 0;  // the table is sorted on this, best first
    float StackValue = 0;   // running-stack value the stack graph shows
};

// Input types as the project files store them.
enum InputKind : uint8_t { kInputAvi = 0, kInputBmp = 1, kInputFit = 2, kInputJpg = 3, kInputTif = 4, kInputPng = 5 };

struct Workspace {
    Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    // Frame table, file names and ranking: allocated once, never per frame.
    std::vector<FrameRecord> Frames;     // kMaxFrames records
    std::vector<std::string> FileNames;  // kMaxFrames paths of an image series (one scratch slot beyond the last)
    std::vector<RankEntry> Ranking;      // kMaxFrames entries in rank order

    // Sequence description.
    uint8_t InputType = kInputAvi;
    bool IsImageSeries = false;
    bool IsJpeg = false, IsFits = false, IsTiff = false, IsPng = false;
    bool StretchFitsLevels = false;
    int32_t FitsChannel = 0;  // 0 R, 1 G, 2 B, 3 L
    std::string AviFileName = "none";
    std::string AppDir;
    int32_t LastFrame = 0;
    int32_t SelectedCount = 0;
    int32_t ReferenceFrame = 0;
    int32_t CurrentFrame = 0;
    int32_t FieldIndex = 0;
    bool DroppedFramesSeen = false;
    // Frames of this input that could not be read ("name: reason"), in the order met; each
    // is marked dropped and left out of every pass.
    std::vector<std::string> UnreadableFrames;
    bool SingleFrameCase = false;
    bool MakingCalibration = false;

    // Sizes in pixels.
    int32_t UnclampedWidth = 0, UnclampedHeight = 0;
    int32_t SourceWidth = 0, SourceHeight = 0;
    int32_t ImageWidth = 0, ImageHeight = 0;
    float ResampleFactor = 1.0f;

    // Alignment feature in frame and in stacked-image coordinates; the box side.
    int32_t AlignX = 0, AlignY = 0;
    int32_t StackAlignX = 0, StackAlignY = 0;
    int32_t AlignBoxSize = 64;

    // Processing area of the wavelet page.
    int32_t ProcessAreaMax = 512;
    int32_t ProcessAreaWidth = 512, ProcessAreaHeight = 512;
    int32_t ProcessAreaLeft = 0, ProcessAreaTop = 0;

    // Colour parameters.
    std::array<float, 3> LrgbWeight{0.299f, 0.587f, 0.114f};
    std::array<float, 3> LumaWeight{0.299f, 0.587f, 0.114f};
    std::array<float, 3> ColourBalance{1.0f, 1.0f, 1.0f};

    // Display transfer table, 0..1 in steps of 0.001; starts as the identity.
    std::array<double, kGammaEntries> GammaCurve{};

    // Whole-pixel sampling offsets of the red and blue channels against green: output pixel
    // (x, y) takes red from (x + RedShiftX, y + RedShiftY).
    int32_t RedShiftX = 0, RedShiftY = 0, BlueShiftX = 0, BlueShiftY = 0;

    // Histogram stretch of the processed image (display levels mapped to 0 and 255) and the
    // counts of its last rebuild, per channel R, G, B.
    float HistLo = 0, HistHi = 255;
    std::array<std::array<int32_t, 256>, 3> Histogram{};

    // Image buffers.
    Bitmap24 CurrentFrameImage;
    // The rows of CurrentFrameImage that hold the frame: the alignment pass reads a band of rows
    // around its boxes where the capture stores frames as rows. Whatever needs other rows calls
    // ReadWholeFrame (set while such a pass runs), which reads the frame in hand whole.
    FrameRows CurrentFrameRows;
    std::function<void()> ReadWholeFrame;
    // The frame in hand whole, read again if it is a band.
    void NeedWholeFrame() {
        if (!CurrentFrameRows.IsWhole() && ReadWholeFrame) ReadWholeFrame();
    }
    // Reads every frame whole in the passes that may read a band of rows (the results are the
    // same; tests compare).
    bool ReadFramesWhole = false;
    // The bytes of the last frame file read; kept so reading the next frame allocates nothing.
    std::vector<uint8_t> FrameFileBytes;
    // The pictures a pass decoded frames ahead into, kept for the next pass: fresh memory costs
    // more than decoding a frame into it on a virtual machine.
    std::vector<Bitmap24> ReadAheadPictures;
    // A raw colour series' demosaicing buffers, kept from frame to frame.
    DebayerScratch SeriesDemosaic;
    // The video input's parsed index (never frame data), so that showing or reading one frame
    // does not parse the whole index again; dropped when another input is selected.
    KeptIndex CaptureIndex;
    std::array<Single2dArray, 4> StackSum;
    std::array<Single2dArray, 3> ResultPlanes;
    Single2dArray ExtraPlane;
    Single2dArray ScratchPlane;
    Single2dArray FitsPlane;
    std::array<std::array<Single2dArray, 3>, 7> LayerPlanes;  // [group][channel]
    std::array<Single2dArray, 3> DarkPlanes;
    std::array<Single2dArray, 3> FlatPlanes;
    TTIFFBitMap StackTiff;
    // The current frame's samples at full precision, when its source has more than the 8 bits
    // of CurrentFrameImage (16-bit TIFF and SER frames, demosaiced FITS): 16-bit R, G, B on
    // the TIFF scale. FrameIsWide says whether the frame just read filled it; the stacker then
    // adds these samples and alignment reads its luminance here. Kept apart from StackTiff so
    // browsing frames never overwrites a processed 16-bit result.
    TTIFFBitMap FrameWide;
    bool FrameIsWide = false;
    // The mosaic of the last FITS frame read, as it lies in CurrentFrameImage ("RGGB", ...),
    // or empty when its header names none.
    std::string FitsBayerPattern;

    // Dark frame and flat field.
    int32_t DarkWidth = 0, DarkHeight = 0, FlatWidth = 0, FlatHeight = 0;
    std::string DarkFileName, FlatFileName;
    int32_t DarkFileType = 0, FlatFileType = 0;

    // Work status: 0 selected, 1 feature chosen, 2 aligned, 3 optimised, 4 stacked.
    uint8_t ProgStatus = 0;
    // A stack has been completed; the wavelet layers no longer match their input.
    bool StackReady = false;
    bool LayersStale = true;

    // What the last save wrote ("Saved " and its full path, or "Copied to the clipboard"),
    // until the next operation starts: the status bar shows it. Set only once a file is
    // written (NoteSaved), never by a save that was cancelled or failed.
    std::string SavedNote;

    // Pass control.
    bool AlignPassActive = false;
    bool StackPassActive = false;
    bool CancelRequested = false;
    // Set by the frame loops: whether this frame's pictures are brought up to date (a pass
    // shows only as many frames as the screen can, see Host::TimeToShowProgress).
    bool RefreshDisplays = true;
    // Set by a pass that decodes frames ahead: whether this frame was decoded before the pass
    // wanted it. When not, the other core is busy reading, and work is better left off it.
    bool ReaderKeptUp = true;

    // Settings-file bookkeeping: tool-window moves are recorded only once start-up is done.
    bool PositionsReady = false;
    // Set while the command-line argument is being loaded, so the load skips its dialog.
    bool CommandLineLoad = false;

    // --- operations on the tables

    // Recounts SelectedCount over records 0..LastFrame.
    void RecountSelected();
    // "Frame : 1 of 10 ( selected = 10) " for the frame at `index`.
    std::string FrameLabel(int index) const;
    // Shifts, qualities, differences and dropped marks of every record and the whole
    // ranking to zero, and the kept capture index dropped; done before a new sequence is
    // selected.
    void ResetForNewSelection();
    // Every record cleared completely (OptimizeScore 100) and every ranking entry; done at start-up.
    void ClearAll();
    // Entry i = 0.001 i + 0.000001, gamma 1.
    void ResetGammaCurve();
    // Frees StackSum, ResultPlanes, ExtraPlane and ScratchPlane.
    void FreeStackBuffers();
};

}  // namespace talvenor
