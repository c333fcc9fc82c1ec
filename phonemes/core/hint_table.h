#pragma once

#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace phonemes {

// Known transcripts, keyed by the bare file name (with extension) they belong to. The entries
// are read-only once read, and copies of a table share them: the workers of a batch hold one
// table between them, however large the hints file.
class HintTable {
  public:
    // Reads "name:transcript" lines from the named file. An empty name reads nothing. The
    // message to report when the file cannot be opened or read; none when it was read.
    std::optional<std::string_view> loadHints(const std::string& hintsFile);

    // Reads entries from an open stream; returns false when the stream failed before its end.
    // A byte-order mark at the start of the stream is skipped. Lines in UTF-8 are stored byte
    // for byte; any other line is read as Windows-1252 and stored in UTF-8, under its key as
    // written and under the key in UTF-8. A NUL byte in a transcript becomes a space. Of lines
    // with the same key the last counts. Entries read before, by this table, are kept; copies
    // made before keep the entries they had.
    bool readEntries(std::istream& in);

    // The transcript for a file's base name, compared byte for byte. A found hint may be empty;
    // it stays valid as long as this table or a copy of it.
    std::optional<std::string_view> findHint(std::string_view name) const;

  private:
    struct Entries;
    std::shared_ptr<const Entries> entries_;
};

}  // namespace phonemes
