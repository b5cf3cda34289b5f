#pragma once
// A frame that cannot be read (a file missing from the series, a damaged or unsupported one,
// a video frame the codec refuses) is never stacked as another frame's picture or as black:
// it is marked dropped, left out of every pass, and named once in the log.
#include <string>
#include <string_view>
#include <vector>

#include "workspace/app_context.h"

namespace talvenor {

// Marks frame `index` dropped and excluded and logs "frame N skipped: <reason>" the first
// time it is met. `reason` is the reader's error, which names the file.
void SkipUnreadableFrame(AppContext& c, int index, std::string_view reason);

// Loads frame `index` of the image series; false (after SkipUnreadableFrame) when it cannot
// be read.
bool LoadFrameOrSkip(AppContext& c, int index);

// Loads the first frame of `order` (indexes into FileNames) that reads, leaving out those
// before it that do not, and returns its index. A series of one frame, or one where no frame
// reads, throws the reason instead.
int LoadFirstReadableFrame(AppContext& c, const std::vector<int>& order);

// Marks the frames of an image series whose files do not exist, so the frame list shows
// them dropped from the start (a look at each name, no reading).
void MarkMissingFrames(AppContext& c, int count);

// "skipped 3 unreadable frames: capture_00017.fit, ..." for the frames skipped so far (at
// most `names` named); empty when none was.
std::string UnreadableSummary(const Workspace& ws, std::size_t names = 10);

}  // namespace talvenor
