#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "batch_driver.h"
#include "recognition_session.h"

// Each input file is recognised by whatever speech classes are registered with the speech
// layer; with none registered every file reports that no recognition engine can be created.
int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv, argv + argc);
    return phonemes::runExtractor(arguments, std::cout, std::cerr, [](phonemes::Extractor& e) {
        return std::make_unique<phonemes::RecognitionSession>(e);
    });
}
