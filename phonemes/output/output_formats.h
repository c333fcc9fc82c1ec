#pragma once

// The table of output formats, which the command line (--format), --help and the writing of
// results all read: a new format is a writer in a file of its own and one row here.

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "extractor_options.h"
#include "result_writer.h"

namespace phonemes {

// A form of the output file (--format).
struct OutputFileFormat {
    OutputFormat format;
    std::string_view name;  // --format's value
    std::string_view help;  // how --help names it
    std::unique_ptr<ResultWriter> (*makeWriter)(const ExtractorOptions& options);
};

// A file written for every input besides the output file, in a folder an option names.
struct PerInputFormat {
    std::string_view kind;        // as error lines name it: "TextGrid file"
    std::string_view folderKind;  // and its folder: "TextGrid folder"
    // The extension that replaces the input's own: ".TextGrid"; some depend on the options.
    std::string_view (*extension)(const ExtractorOptions& options);
    std::string ExtractorOptions::*folder;  // the option naming the folder; empty: none written
    std::unique_ptr<ResultWriter> (*makeWriter)(const ExtractorOptions& options);
};

// In the order --help lists them; the first is the default.
std::span<const OutputFileFormat> outputFileFormats();
std::span<const PerInputFormat> perInputFormats();

// The row of a --format value; null for any other text.
const OutputFileFormat* outputFileFormatNamed(std::string_view name);
// The row of the options' output format.
const OutputFileFormat& outputFileFormatOf(const ExtractorOptions& options);
// The output file's writer for the options.
std::unique_ptr<ResultWriter> outputFileWriterFor(const ExtractorOptions& options);

// The names or help texts of the output file's forms as one choice: "records or json",
// "a, b or c".
std::string outputFileFormatChoices(std::string_view OutputFileFormat::*text);

}  // namespace phonemes
