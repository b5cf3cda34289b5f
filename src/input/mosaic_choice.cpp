#include "input/mosaic_choice.h"

namespace talvenor {

MosaicChoice MosaicChoiceOf(const Controls& form) {
    MosaicChoice choice;
    const std::string& text = form.BayerCombo.Text();
    if (text == "none") choice.source = MosaicChoice::Source::None;
    else if (const auto pattern = ParseBayerPattern(text)) {
        choice.source = MosaicChoice::Source::Fixed;
        choice.pattern = *pattern;
    }
    choice.method = ParseDebayerMethod(form.DebayerCombo.Text()).value_or(DebayerMethod::Edge);
    return choice;
}

std::optional<BayerPattern> PatternToUse(const MosaicChoice& choice, std::optional<BayerPattern> fromFile) {
    switch (choice.source) {
        case MosaicChoice::Source::None: return std::nullopt;
        case MosaicChoice::Source::Fixed: return choice.pattern;
        case MosaicChoice::Source::Auto: break;
    }
    return fromFile;
}

}  // namespace talvenor
