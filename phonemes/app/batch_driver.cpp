#include "batch_driver.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "command_line.h"
#include "output_file.h"
#include "output_formats.h"
#include "parallel_batch.h"
#include "per_input_files.h"
#include "platform.h"
#include "result_output.h"
#include "stop_signals.h"

namespace phonemes {
namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
// A long option with a missing or bad value, or options that clash.
constexpr int kExitBadOption = 2;

// Makes the folder (and its parents) if it is missing; true when it exists afterwards.
bool ensureFolder(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error);
}

// The help or version text is all such a run gives: when it cannot be written (a full disk, a
// closed pipe), the run fails with the system's reason.
int statusAfterPrinting(std::ostream& out, Console& console) {
    if (out.flush()) {
        return kExitSuccess;
    }
    const int error = errno;
    console.printError(std::string("Cannot write standard output") +
                       (error != 0 ? std::string(": ") + std::strerror(error) : std::string()) +
                       ".");
    return kExitFailure;
}

}  // namespace

int runExtractor(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                 const FileProcessorFactory& makeProcessor) {
    // There is no application framework to initialise here: that start-up step always succeeds.
    const std::string programName = programNameOf(arguments.empty() ? "" : arguments.front());
    if (arguments.size() < 2) {
        printUsage(err, programName, ExtractorOptions{});
        return kExitFailure;
    }

    CommandLine commandLine =
        parseCommandLine(std::vector<std::string>(arguments.begin() + 1, arguments.end()));

    Extractor extractor(out, err);
    if (!commandLine.error.empty()) {
        extractor.console.printError(commandLine.error);
        return kExitBadOption;
    }
    if (commandLine.showHelp || commandLine.showVersion) {
        errno = 0;
        if (commandLine.showHelp) {
            printHelp(out, programName, ExtractorOptions{});
        } else {
            printVersion(out);
        }
        return statusAfterPrinting(out, extractor.console);
    }
    extractor.options = commandLine.options;
    const ExtractorOptions& options = extractor.options;
    // Checked before the output file is emptied: a TextGrid renamed over it would replace the
    // records it holds by then, and one renamed over the hints file the user's transcripts.
    for (const auto& [target, name] : {std::pair{&options.outputFile, "output file"},
                                       std::pair{&options.hintsFile, "hints file"}}) {
        if (const std::optional<PerInputFile> clash =
                perInputFileOn(*target, options, commandLine.inputFiles)) {
            extractor.console.printError("Cannot write " + clash->kind + " " +
                                         clash->path.string() + " over the " + name + ".");
            return kExitBadOption;
        }
    }

    if (!options.quiet) {
        printBanner(out);
        if (options.showPronunciations) {
            printPhoneListing(out);
        }
    }

    if (const std::optional<std::string_view> failure =
            extractor.hints.loadHints(options.hintsFile)) {
        extractor.console.printError(*failure);
    }

    for (const PerInputFormat& format : perInputFormats()) {
        const std::string& folder = options.*format.folder;
        if (!folder.empty() && !ensureFolder(folder)) {
            extractor.console.printError("Cannot create " + std::string(format.folderKind) + " " +
                                         folder + ".");
            return kExitFailure;
        }
    }

    std::unique_ptr<OutputFile> outputFile = OutputFile::open(options.outputFile);
    if (!outputFile) {
        extractor.console.printError("Cannot open output file.");
        return kExitFailure;
    }
    extractor.output = &outputFile->stream();

    BatchSettings settings;
    settings.jobs = options.jobs != 0 ? options.jobs : usableCoreCount();
    if (!options.quiet) {
        settings.progressWidth = terminalWidthOf(err);
    }
    ParallelBatch batch(extractor, std::move(commandLine.inputFiles), settings, makeProcessor);
    BatchEnd end = BatchEnd::kCompleted;
    std::atomic<int> signal{0};  // the first of SIGINT, SIGTERM and SIGHUP that came
    {
        const StopSignals stopSignals([&](int received) {
            int none = 0;
            signal.compare_exchange_strong(none, received);
            batch.interrupt();
        });
        end = batch.run();
    }

    extractor.output = nullptr;
    if (!outputFile->close() && !extractor.outputFailed) {
        extractor.console.printError(kCannotWriteOutput);
        extractor.outputFailed = true;
    }
    if (signal != 0) {
        return exitStatusForSignal(signal);
    }
    return end == BatchEnd::kFailed || extractor.outputFailed ? kExitFailure : kExitSuccess;
}

}  // namespace phonemes
