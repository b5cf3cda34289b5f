#pragma once
// Dark frame and flat field: loading the two calibration images into the workspace and the
// arithmetic the stacker applies with them.
//
// Dark planes hold 128 times the grey level (seven fractional bits, so a ".fitr" stack of
// dark exposures keeps its sub-level precision); flat planes hold the relative gain,
// normalised to a mean of 1 over all pixels and channels, with no value left at 0.
//
// File types are the index of the type chosen in the open dialog: 1 Windows bitmap, 2 our
// own fixed-point FITS (".fitr", already x 128), 3 plain FITS.
//
// A file that cannot be decoded is a talvenor::Error naming it, raised before anything in
// the workspace changes: the calibration image loaded before stays in place and usable.
#include <array>
#include <cstddef>
#include <string>

#include "workspace/app_context.h"

namespace talvenor {

// Loads a dark frame or flat field. Interactive (fromProject = false): size warnings are
// shown, an oversized FITS is refused and the busy cursor shows while a FITS is read. From a
// project: the use box is shown first, a missing file gives "Warning : darkframe <path>
// missing " and unchecks it, and oversized images are cut to 4096 without a word.
void LoadDarkFrame(AppContext& c, const std::string& path, int type, bool fromProject);
void LoadFlatField(AppContext& c, const std::string& path, int type, bool fromProject);

// The project loader's names for the same.
inline void LoadDarkFile(AppContext& c, const std::string& path, int type) { LoadDarkFrame(c, path, type, true); }
inline void LoadFlatFile(AppContext& c, const std::string& path, int type) { LoadFlatField(c, path, type, true); }

// "Load darkframe" / "Load flatfield": ask with OpenDialog, then load the chosen file with
// the chosen type.
void LoadDarkframeClick(AppContext& c);
void FlatfieldbuttonClick(AppContext& c);

// Calibration of the 8-bit frame in hand (CurrentFrameImage), in place: the dark first, then
// the flat, each only when its use box is checked and only where it overlaps the frame;
// every result is rounded to the nearest level (ties to even) and clamped to 0..255.
void ApplyDarkFlatToImage(AppContext& c);

// Calibration of single samples, for the stacker's inner loop: taken from the workspace
// once per frame, then applied to every sample without touching the form or the workspace.
// Samples outside a calibration image pass through that image unchanged; nothing is
// rounded or clamped.
struct DarkFlat {
    struct Planes {
        std::array<const float*, 3> Data{};  // red, green, blue
        std::size_t Stride = 0;
        int Width = 0, Height = 0;           // the part that is both loaded and allocated

        bool Covers(int x, int y) const { return unsigned(x) < unsigned(Width) && unsigned(y) < unsigned(Height); }
        float At(int channel, int x, int y) const {
            return Data[std::size_t(channel)][std::size_t(x) + std::size_t(y) * Stride];
        }
    };

    Planes Dark, Flat;
    bool UseDark = false, UseFlat = false;

    static DarkFlat From(const AppContext& c);

    // channel 0 red, 1 green, 2 blue; (x, y) the position in the source frame.
    float Apply(float u, int channel, int x, int y) const {
        if (UseDark && Dark.Covers(x, y)) u -= Dark.At(channel, x, y) * 0.0078125f;
        if (UseFlat && Flat.Covers(x, y)) u /= Flat.At(channel, x, y);
        return u;
    }
};

inline float ApplyDarkFlatToSample(const DarkFlat& calibration, float u, int channel, int x, int y) {
    return calibration.Apply(u, channel, x, y);
}

}  // namespace talvenor
