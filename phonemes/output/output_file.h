#pragma once

#include <memory>
#include <ostream>
#include <string>

namespace phonemes {

// The output file of a run: opened for writing, created if missing, held under an exclusive
// lock for the whole run and emptied once the lock is taken.
class OutputFile {
  public:
    // Returns null when the file cannot be opened or another process holds its lock.
    static std::unique_ptr<OutputFile> open(const std::string& path);
    ~OutputFile();

    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::ostream& stream() { return stream_; }

    // Flushes what is left and closes the file; false when either failed.
    bool close();

  private:
    class FdBuffer;
    explicit OutputFile(int fd);

    int fd_;
    std::unique_ptr<FdBuffer> buffer_;
    std::ostream stream_;
};

}  // namespace phonemes
