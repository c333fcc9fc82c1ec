#include <csignal>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "batch_driver.h"
#include "platform.h"
#include "recognition_session.h"
#include "speech_engine.h"

// Each input file is recognised by the speech classes registered with the speech layer: the
// PocketSphinx-backed recogniser, its file stream and its phone converter.
int main(int argc, char** argv) {
    // A descriptor the caller left closed (`2>&-`) would be taken by the output file or a
    // TextGrid, and console lines would be written into it.
    if (!phonemes::ensureStandardDescriptors()) {
        return 1;
    }
    // Console output is a courtesy, records are the product: a reader that goes away (as
    // `phonemes -t *.wav | head -1` does) must not end the batch. Writes to a closed pipe then
    // fail with EPIPE, the console stream stops, and every record is still written.
    std::signal(SIGPIPE, SIG_IGN);
    phonemes::registerSpeechEngine();
    std::vector<std::string> arguments(argv, argv + argc);
    return phonemes::runExtractor(arguments, std::cout, std::cerr, [](phonemes::Extractor& e) {
        return std::make_unique<phonemes::RecognitionSession>(e);
    });
}
