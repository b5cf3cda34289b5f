#pragma once
// The rows of a frame that were read into its picture. A pass that looks only at a band of rows
// around its boxes (the alignment pass) reads only those where the capture stores frames as
// rows; the picture's other rows then hold nothing of this frame.
#include <limits>

namespace talvenor {

struct FrameRows {
    int First = 0;
    int Last = std::numeric_limits<int>::max();

    static FrameRows Whole() { return {}; }
    bool IsWhole() const { return First <= 0 && Last == std::numeric_limits<int>::max(); }
    // Whether rows first .. last were read.
    bool Holds(int first, int last) const { return first >= First && last <= Last; }
};

}  // namespace talvenor
