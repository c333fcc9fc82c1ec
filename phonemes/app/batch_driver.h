#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "extractor.h"

namespace phonemes {

// The whole program: parses the arguments (the program's own name first), announces, prepares
// the run's state, hands every input file to a processor made by the factory, and returns the
// exit status.
int runExtractor(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                 const FileProcessorFactory& makeProcessor);

}  // namespace phonemes
