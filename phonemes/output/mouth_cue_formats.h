#pragma once

#include <optional>
#include <ostream>
#include <string_view>

#include "extractor_options.h"
#include "mouth_cues.h"
#include "result_writer.h"

namespace phonemes {

// "tsv", "json", "xml", "dat"; none for any other name.
std::optional<MouthCueFormat> mouthCueFormatNamed(std::string_view name);

// The file name extension of a format, with its dot: ".tsv".
std::string_view mouthCueExtension(MouthCueFormat format);

// Writes the cues of the sound file named soundFile. False when writing failed.
bool writeMouthCues(std::ostream& out, const MouthCues& cues, std::string_view soundFile,
                    MouthCueFormat format);

// The cues of a file's result (the phones the record keeps) in the options' shapes, format and
// frame rate.
MouthCues mouthCuesOf(const FileResult& result, MouthShapeSet set, int fps);

// One mouth-cue file per input (--mouth-cues).
class MouthCueWriter final : public ResultWriter {
  public:
    explicit MouthCueWriter(const ExtractorOptions& options)
        : set_(options.mouthShapes), format_(options.mouthFormat), fps_(options.fps) {}
    bool write(std::ostream& out, const FileResult& result) const override;

  private:
    MouthShapeSet set_;
    MouthCueFormat format_;
    int fps_;
};

}  // namespace phonemes
