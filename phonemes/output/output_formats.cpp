#include "output_formats.h"

#include <array>

#include "json_record_writer.h"
#include "mouth_cue_formats.h"
#include "record_writer.h"
#include "textgrid_writer.h"

namespace phonemes {
namespace {

const std::array<OutputFileFormat, 2> kOutputFileFormats{{
    {OutputFormat::kRecords, "records", "records [default]",
     [](const ExtractorOptions& options) -> std::unique_ptr<ResultWriter> {
         return std::make_unique<RecordWriter>(options.xmlFormat);
     }},
    {OutputFormat::kJson, "json", "json (JSON Lines)",
     [](const ExtractorOptions&) -> std::unique_ptr<ResultWriter> {
         return std::make_unique<JsonRecordWriter>();
     }},
}};

const std::array<PerInputFormat, 2> kPerInputFormats{{
    {"TextGrid file", "TextGrid folder",
     [](const ExtractorOptions&) -> std::string_view { return ".TextGrid"; },
     &ExtractorOptions::textGridFolder,
     [](const ExtractorOptions&) -> std::unique_ptr<ResultWriter> {
         return std::make_unique<TextGridWriter>();
     }},
    {"mouth-cue file", "mouth-cue folder",
     [](const ExtractorOptions& options) { return mouthCueExtension(options.mouthFormat); },
     &ExtractorOptions::mouthCueFolder,
     [](const ExtractorOptions& options) -> std::unique_ptr<ResultWriter> {
         return std::make_unique<MouthCueWriter>(options);
     }},
}};

}  // namespace

std::span<const OutputFileFormat> outputFileFormats() {
    return kOutputFileFormats;
}

std::span<const PerInputFormat> perInputFormats() {
    return kPerInputFormats;
}

const OutputFileFormat* outputFileFormatNamed(std::string_view name) {
    for (const OutputFileFormat& row : kOutputFileFormats) {
        if (row.name == name) {
            return &row;
        }
    }
    return nullptr;
}

const OutputFileFormat& outputFileFormatOf(const ExtractorOptions& options) {
    for (const OutputFileFormat& row : kOutputFileFormats) {
        if (row.format == options.outputFormat) {
            return row;
        }
    }
    return kOutputFileFormats.front();
}

std::unique_ptr<ResultWriter> outputFileWriterFor(const ExtractorOptions& options) {
    return outputFileFormatOf(options).makeWriter(options);
}

std::string outputFileFormatChoices(std::string_view OutputFileFormat::*text) {
    std::string choices;
    for (std::size_t i = 0; i < kOutputFileFormats.size(); ++i) {
        if (i > 0) {
            choices += i + 1 == kOutputFileFormats.size() ? " or " : ", ";
        }
        choices += kOutputFileFormats[i].*text;
    }
    return choices;
}

}  // namespace phonemes
