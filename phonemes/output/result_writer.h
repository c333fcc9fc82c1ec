#pragma once

#include <ostream>
#include <string_view>

#include "file_result.h"

namespace phonemes {

// One output format: formats a file's result onto a stream. Each format is one class in a file
// of its own, with one row in the table of formats (output_formats.h).
class ResultWriter {
  public:
    virtual ~ResultWriter() = default;
    // Writes the result and flushes the stream; false when writing or flushing failed.
    virtual bool write(std::ostream& out, const FileResult& result) const = 0;
    // Whether the format can hold a result of this name at all; a file whose name it cannot
    // hold fails before it is recognised.
    virtual bool canHoldName(std::string_view /*name*/) const { return true; }
};

}  // namespace phonemes
