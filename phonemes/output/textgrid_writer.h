#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string_view>

#include "phone_timeline.h"
#include "result_writer.h"

namespace phonemes {

// One file's words and phones as a Praat TextGrid in the long text form ("ooTextFile", UTF-8)
// with two interval tiers, "words" and "phones". Both cover the whole audio, from 0 to the
// audio's length (or to the end of the last interval, if that is later), with empty intervals
// where nothing was said. The phones are those a record keeps (minimum duration); word-end
// markers become empty intervals. A file with nothing recognised gets empty tiers.
class TextGridWriter final : public ResultWriter {
  public:
    bool write(std::ostream& out, const FileResult& result) const override;
};

// Writes the timeline's TextGrid. Returns false when writing failed.
bool writeTextGrid(std::ostream& out, const PhoneTimeline& timeline, std::int32_t minimumDuration);

// Where the TextGrid of an input file goes: the folder, and the input's base name with its
// extension replaced by ".TextGrid".
std::filesystem::path textGridPathFor(const std::filesystem::path& folder,
                                      std::string_view baseName);

// Writes the timeline's TextGrid to the path as every per-input file is written
// (savePerInputFile): the path never holds half a TextGrid. False on failure, with nothing left
// behind.
bool saveTextGrid(const std::filesystem::path& path, const PhoneTimeline& timeline,
                  std::int32_t minimumDuration);

}  // namespace phonemes
