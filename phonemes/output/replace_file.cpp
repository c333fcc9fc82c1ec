#include "replace_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ext/stdio_filebuf.h>
#include <string>
#include <system_error>

namespace phonemes {
namespace {

// Names taken by other files (a run that was killed, another run) are skipped, up to this many.
constexpr int kNameAttempts = 100;

// A new file for writing under a name of its own in the folder; -1 when none can be made.
int createTemporary(const std::filesystem::path& folder, std::filesystem::path& temporary) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        // The process id keeps two runs apart, the counter the files of one run.
        temporary = folder / (".phonemes-" + std::to_string(::getpid()) + "-" +
                              std::to_string(counter++) + ".tmp");
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

}  // namespace

bool replaceFile(const std::filesystem::path& path,
                 const std::function<bool(std::ostream&)>& write) {
    std::filesystem::path temporary;
    const int fd = createTemporary(path.parent_path(), temporary);
    if (fd < 0) {
        return false;
    }
    bool written = false;
    {
        __gnu_cxx::stdio_filebuf<char> buffer(fd, std::ios::out | std::ios::binary);
        std::ostream out(&buffer);
        written = write(out) && out.flush();
        written = buffer.close() != nullptr && written;  // closes the descriptor
    }
    std::error_code error;
    if (written) {
        std::filesystem::rename(temporary, path, error);
        if (!error) {
            return true;
        }
    }
    std::filesystem::remove(temporary, error);
    return false;
}

}  // namespace phonemes
