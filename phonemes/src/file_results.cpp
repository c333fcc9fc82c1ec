#include "file_results.h"

#include "json_record_writer.h"
#include "record_writer.h"
#include "textgrid_writer.h"

namespace phonemes {

bool writeFileResults(Extractor& extractor, std::string_view baseName) {
    if (extractor.deferResults) {
        extractor.deferResults(baseName, extractor.timeline);
        return true;
    }
    return writeFileResults(extractor, baseName, extractor.timeline);
}

bool writeFileResults(Extractor& extractor, std::string_view baseName,
                      const PhoneTimeline& timeline) {
    const ExtractorOptions& options = extractor.options;
    if (extractor.output == nullptr) {
        return false;
    }
    const bool recorded = options.outputFormat == OutputFormat::kJson
                              ? writeJsonRecord(*extractor.output, baseName, timeline, options)
                              : writeRecord(*extractor.output, baseName, timeline, options);
    if (!recorded) {
        return false;
    }
    if (!options.textGridFolder.empty()) {
        const std::filesystem::path path = textGridPathFor(options.textGridFolder, baseName);
        if (!saveTextGrid(path, timeline, options.minPhonemeDuration)) {
            extractor.console.printError("Cannot write TextGrid file " + path.string() + ".");
        }
    }
    return true;
}

}  // namespace phonemes
