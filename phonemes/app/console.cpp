#include "console.h"

#include "extractor_options.h"
#include "output_formats.h"
#include "phone_inventory.h"

namespace phonemes {

void Console::printLine(std::string_view text) {
    out_ << text << std::endl;
}

void Console::printError(std::string_view message) {
    err_ << "ERROR: " << message << std::endl;
}

void printUsage(std::ostream& err, std::string_view programName, const ExtractorOptions& defaults) {
    err << "USAGE: " << programName << " [options] <filenames>\n"
        << "    -h <filename>    use hints file\n"
        << "    -m <duration>    set minimum phoneme duration [" << defaults.minPhonemeDuration
        << "]\n"
        << "    -o <filename>    set output filename [" << defaults.outputFile << "]\n"
        << "    -p               show phoneme pronunciations\n"
        << "    -q               quiet operation\n"
        << "    -t               show transcription text\n"
        << "    -u               show hypothesis text\n"
        << "    -x               use XML format for output\n"
        << "\n"
        << "TIP: For each batch of files (same speaker), create and activate a new\n"
        << "recognition profile with high recognition accuracy and background adaptation\n"
        << "settings, then run this app several times on the same batch of files.\n"
        << std::flush;
}

void printHelp(std::ostream& out, std::string_view programName, const ExtractorOptions& defaults) {
    out << "Usage: " << programName << " [options] <filenames>\n"
        << "Recognises each audio file and writes its timed phones to the output file.\n"
        << "File names may hold the wildcards * and ? in their last component.\n"
        << "\n"
        << "  -h <filename>           use hints file (lines of name.wav:transcript)\n"
        << "  -m <duration>           set minimum phoneme duration in ms ["
        << defaults.minPhonemeDuration << "]\n"
        << "  -o <filename>           set output filename [" << defaults.outputFile << "]\n"
        << "  -p                      show phoneme pronunciations\n"
        << "  -q                      quiet operation\n"
        << "  -t                      show transcription text\n"
        << "  -u                      show hypothesis text\n"
        << "  -x                      use XML format for output\n"
        << "  --phone-times MODE      time phones by weights [default] or acoustic (from the "
           "audio)\n"
        << "  --format FORMAT         write the output as "
        << outputFileFormatChoices(&OutputFileFormat::help) << "\n"
        << "  --textgrid DIR          also write a Praat TextGrid per file into DIR\n"
        << "  --mouth-cues DIR        also write a file of mouth cues per file into DIR\n"
        << "  --mouth-shapes SET      mouth shapes: extended [default] (A-H, X), basic (A-F, X)\n"
        << "                          or oculus (the 15 visemes)\n"
        << "  --mouth-format FORMAT   mouth-cue files as tsv [default], json, xml or dat (Moho)\n"
        << "  --fps N                 frame rate of the mouth cues, 1 to 120 [24]\n"
        << "  --jobs N                recognise N files at once [one per core]\n"
        << "  --shard I/N             process only the I-th of N equal slices of the input files\n"
        << "  --help                  show this help and exit\n"
        << "  --version               show the version and exit\n"
        << std::flush;
}

void printVersion(std::ostream& out) {
    out << "phonemes " << PHONEMES_VERSION << "\n" << std::flush;
}

void printBanner(std::ostream& out) {
    out << "==========  Brindlemoorex Phoneme Extractor  v1.20  ==========\n"
        << "==========   timed phones from recorded speech      ==========\n"
        << "==========   PocketSphinx edition for Debian        ==========\n"
        << "\n"
        << std::flush;
}

void printPhoneListing(std::ostream& out) {
    for (const PhoneRow& row : phoneRows()) {
        out << '\t' << row.phone << "\tas in \"" << row.example << "\"\n";
    }
    out << "\n" << std::flush;
}

}  // namespace phonemes
