#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "batch_driver.h"

namespace {

// Stands in until recognition is wired in: every file is announced and gets no record.
class AnnouncingProcessor : public phonemes::FileProcessor {
public:
    explicit AnnouncingProcessor(phonemes::Extractor& extractor) : extractor_(extractor) {}
    bool processFile(const std::string&) override { return false; }

private:
    phonemes::Extractor& extractor_;
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv, argv + argc);
    return phonemes::runExtractor(arguments, std::cout, std::cerr, [](phonemes::Extractor& e) {
        return std::make_unique<AnnouncingProcessor>(e);
    });
}
