#include "file_results.h"

#include "json_record_writer.h"
#include "record_writer.h"
#include "textgrid_writer.h"

namespace phonemes {

bool writeFileResults(Extractor& extractor, std::string_view baseName) {
    const ExtractorOptions& options = extractor.options;
    if (extractor.output == nullptr) {
        return false;
    }
    const bool recorded =
        options.outputFormat == OutputFormat::kJson
            ? writeJsonRecord(*extractor.output, baseName, extractor.timeline, options)
            : writeRecord(*extractor.output, baseName, extractor.timeline, options);
    if (!recorded) {
        return false;
    }
    if (!options.textGridFolder.empty()) {
        const std::filesystem::path path = textGridPathFor(options.textGridFolder, baseName);
        if (!saveTextGrid(path, extractor.timeline, options.minPhonemeDuration)) {
            extractor.console.printError("Cannot write TextGrid file " + path.string() + ".");
        }
    }
    return true;
}

}  // namespace phonemes
