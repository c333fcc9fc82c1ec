#include "platform.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <iostream>
#include <system_error>

namespace phonemes {
namespace fs = std::filesystem;

bool ensureStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) {
            continue;
        }
        // The lowest free descriptor is the one just found closed: the ones before it are open.
        const int opened = ::open("/dev/null", O_RDWR);
        if (opened != fd) {
            if (opened >= 0) {
                ::close(opened);
            }
            return false;
        }
    }
    return true;
}

unsigned usableCoreCount() {
    cpu_set_t cores;
    CPU_ZERO(&cores);
    if (::sched_getaffinity(0, sizeof cores, &cores) != 0) {
        return 1;
    }
    return static_cast<unsigned>(std::max(CPU_COUNT(&cores), 1));
}

std::optional<unsigned> terminalWidthOf(const std::ostream& stream) {
    int fd = -1;
    if (&stream == &std::cerr || &stream == &std::clog) {
        fd = STDERR_FILENO;
    } else if (&stream == &std::cout) {
        fd = STDOUT_FILENO;
    }
    if (fd < 0 || ::isatty(fd) != 1) {
        return std::nullopt;
    }
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) {
        constexpr unsigned kUsualWidth = 80;  // a terminal that does not tell its size
        return kUsualWidth;
    }
    return size.ws_col;
}

namespace {

// Both '/' and '\' end a directory part.
std::size_t lastSeparator(std::string_view path) {
    return path.find_last_of("/\\");
}

}  // namespace

std::string baseNameOf(std::string_view path) {
    std::size_t separator = lastSeparator(path);
    return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

namespace {

bool isUtf8Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Length in bytes of the character that starts name[i]: '?' stands for one character, not one
// byte, so names in UTF-8 match as their users read them.
std::size_t characterLength(std::string_view name, std::size_t i) {
    std::size_t length = 1;
    while (i + length < name.size() && isUtf8Continuation(name[i + length])) {
        ++length;
    }
    return length;
}

// The pattern's directory part as an absolute, lexically normal path.
fs::path absoluteDirectoryOf(std::string_view pattern) {
    std::size_t separator = lastSeparator(pattern);
    std::string directory;
    if (separator != std::string_view::npos) {
        directory.assign(pattern.substr(0, separator + 1));
        std::replace(directory.begin(), directory.end(), '\\', '/');
    }
    std::error_code error;
    fs::path absolute =
        fs::absolute(directory.empty() ? fs::path(".") : fs::path(directory), error);
    return absolute.lexically_normal();
}

std::string joinPath(const fs::path& directory, const std::string& name) {
    std::string joined = directory.string();
    if (joined.empty() || joined.back() != '/') {
        joined += '/';
    }
    return joined + name;
}

}  // namespace

bool matchesWildcard(std::string_view pattern, std::string_view name) {
    std::size_t p = 0, n = 0;
    std::size_t starPattern = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = p++;
            starName = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n += characterLength(name, n);
        } else if (p < pattern.size() && pattern[p] == name[n]) {
            ++p;
            ++n;
        } else if (starPattern != std::string_view::npos) {
            // Let the last '*' swallow one more character and try again from there.
            p = starPattern + 1;
            starName += characterLength(name, starName);
            n = starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

std::vector<std::string> expandPattern(std::string_view pattern) {
    std::size_t separator = lastSeparator(pattern);
    std::string_view last =
        separator == std::string_view::npos ? pattern : pattern.substr(separator + 1);
    if (last.empty()) {
        return {};
    }
    const bool showHidden = last.front() == '.';
    const fs::path directory = absoluteDirectoryOf(pattern);

    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        std::string name = it->path().filename().string();
        if (name.front() == '.' && !showHidden) {
            continue;
        }
        if (matchesWildcard(last, name)) {
            names.push_back(std::move(name));
        }
    }
    // A Linux directory listing has no stable order; byte order makes every run alike.
    std::sort(names.begin(), names.end());

    std::vector<std::string> paths;
    paths.reserve(names.size());
    for (const std::string& name : names) {
        paths.push_back(joinPath(directory, name));
    }
    return paths;
}

}  // namespace phonemes
