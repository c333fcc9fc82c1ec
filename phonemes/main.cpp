#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "batch_driver.h"
#include "recognition_session.h"
#include "speech_engine.h"

// Each input file is recognised by the speech classes registered with the speech layer: the
// PocketSphinx-backed recogniser, its file stream and its phone converter.
int main(int argc, char** argv) {
    phonemes::registerSpeechEngine();
    std::vector<std::string> arguments(argv, argv + argc);
    return phonemes::runExtractor(arguments, std::cout, std::cerr, [](phonemes::Extractor& e) {
        return std::make_unique<phonemes::RecognitionSession>(e);
    });
}
