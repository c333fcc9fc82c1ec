#include "result_output.h"

#include "per_input_files.h"

namespace phonemes {

ResultOutput::ResultOutput(const ExtractorOptions& options)
    : options_(options), outputWriter_(outputFileWriterFor(options)) {
    for (const PerInputFormat& format : perInputFormats()) {
        perInputWriters_.push_back(format.makeWriter(options));
    }
}

bool ResultOutput::write(std::ostream& outputFile, const FileResult& result,
                         const std::function<void(const std::string&)>& reportError) const {
    if (!outputWriter_->write(outputFile, result)) {
        return false;
    }
    const std::span<const PerInputFormat> formats = perInputFormats();
    for (const PerInputFile& file : perInputFilesFor(options_, result.name)) {
        const ResultWriter& writer = *perInputWriters_[file.format - formats.data()];
        if (!savePerInputFile(file.path, writer, result)) {
            reportError("Cannot write " + file.kind + " " + file.path.string() + ".");
        }
    }
    return true;
}

bool outputCanHoldName(const ExtractorOptions& options, std::string_view baseName) {
    return outputFileWriterFor(options)->canHoldName(baseName);
}

}  // namespace phonemes
