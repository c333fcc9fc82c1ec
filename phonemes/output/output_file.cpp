#include "output_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <streambuf>
#include <vector>

namespace phonemes {

// A buffered stream buffer over a file descriptor that reports every failed write, so a full
// disk shows up as a failed stream instead of silently lost records. Every flush ends a record:
// when a write fails, a file is cut back to the end of the last record flushed whole, so that
// it never ends in part of a record, and nothing is written after that.
class OutputFile::FdBuffer : public std::streambuf {
  public:
    explicit FdBuffer(int fd) : fd_(fd), storage_(kCapacity) {
        setp(storage_.data(), storage_.data() + storage_.size());
    }

  protected:
    int_type overflow(int_type ch) override {
        if (!drain()) {
            return traits_type::eof();
        }
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(ch);
            pbump(1);
        }
        return traits_type::not_eof(ch);
    }

    int sync() override {
        if (!drain()) {
            return -1;
        }
        flushedWhole_ = written_;
        return 0;
    }

  private:
    static constexpr std::size_t kCapacity = 64 * 1024;

    bool drain() {
        const char* data = pbase();
        std::size_t remaining = static_cast<std::size_t>(pptr() - pbase());
        setp(storage_.data(), storage_.data() + storage_.size());
        while (remaining > 0 && !failed_) {
            ssize_t written = ::write(fd_, data, remaining);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                failed_ = true;
                // Only a regular file can be cut back; for a device or a pipe this fails.
                static_cast<void>(::ftruncate(fd_, static_cast<off_t>(flushedWhole_)));
                break;
            }
            data += written;
            remaining -= static_cast<std::size_t>(written);
            written_ += static_cast<std::uint64_t>(written);
        }
        return !failed_;
    }

    int fd_;
    std::vector<char> storage_;
    std::uint64_t written_ = 0;       // bytes written to the file so far
    std::uint64_t flushedWhole_ = 0;  // bytes written up to the end of the last whole flush
    bool failed_ = false;
};

std::unique_ptr<OutputFile> OutputFile::open(const std::string& path) {
    if (path.empty()) {
        return nullptr;
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        return nullptr;
    }
    // Take the lock before emptying the file, so that another run's records stay untouched.
    // A character device (/dev/null, a terminal) holds no records to protect, and any number of
    // runs may write to it at once.
    struct stat info {};
    bool usable = ::fstat(fd, &info) == 0 &&
                  (S_ISCHR(info.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) == 0) &&
                  (!S_ISREG(info.st_mode) || ::ftruncate(fd, 0) == 0);
    if (!usable) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<OutputFile>(new OutputFile(fd));
}

OutputFile::OutputFile(int fd)
    : fd_(fd), buffer_(std::make_unique<FdBuffer>(fd)), stream_(buffer_.get()) {}

OutputFile::~OutputFile() {
    close();
}

bool OutputFile::close() {
    if (fd_ < 0) {
        return true;
    }
    bool flushed = static_cast<bool>(stream_.flush());
    bool closed = ::close(fd_) == 0;  // closing the descriptor releases the lock
    fd_ = -1;
    return flushed && closed;
}

}  // namespace phonemes
