#include "file_result.h"

namespace phonemes {

FileResult makeFileResult(std::string_view name, const PhoneTimeline& timeline,
                          std::int32_t minimumDuration) {
    FileResult result;
    result.name = std::string(name);
    result.audioLength = timeline.audioLength;
    result.end = timeline.endTime;
    // Words and phones gathered before a result that recognised nothing are not shown.
    if (timeline.endTime != 0) {
        result.words = timeline.words;
        result.phones = keptPhones(timeline, minimumDuration);
    }
    return result;
}

}  // namespace phonemes
