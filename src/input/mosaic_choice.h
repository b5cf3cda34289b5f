#pragma once
// What the user chose for raw colour (Bayer) frames on the Input page, and the pattern a given
// file is demosaiced with under that choice.
#include <optional>

#include "input/debayer.h"
#include "workspace/controls.h"

namespace talvenor {

struct MosaicChoice {
    enum class Source { None, Auto, Fixed };
    Source source = Source::Auto;
    BayerPattern pattern = BayerPattern::Rggb;  // for Fixed
    DebayerMethod method = DebayerMethod::Edge;
};

// From the "Bayer pattern" and "Debayering" boxes.
MosaicChoice MosaicChoiceOf(const Controls& form);

// The pattern a single-plane frame is demosaiced with: none when the user said "none"; the
// file's own (SER colour layout, FITS BAYERPAT) under "auto", nothing when it names none; the
// user's pattern whatever the file says.
std::optional<BayerPattern> PatternToUse(const MosaicChoice& choice, std::optional<BayerPattern> fromFile);

}  // namespace talvenor
