#include "test_support.h"

#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <regex>

#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

extern char** environ;

namespace phonemes::testing {
namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "phonemes-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary directory");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

fs::path TempDir::write(const std::string& name, const std::string& bytes) const {
    fs::path file = path_ / name;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void makeSocketFile(const fs::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.string().size() >= sizeof address.sun_path) {
        throw std::runtime_error("socket path too long: " + path.string());
    }
    path.string().copy(address.sun_path, sizeof address.sun_path - 1);
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool bound =
        socket >= 0 && ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (socket >= 0) {
        ::close(socket);  // the file stays behind
    }
    if (!bound) {
        throw std::runtime_error("cannot make a socket at " + path.string());
    }
}

namespace {

// A file descriptor, closed when it goes out of scope.
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }

    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = -1;
    }

  private:
    int fd_;
};

struct Pipe {
    Descriptor reading;
    Descriptor writing;
};

// Both ends close on exec: the child gets only what is duplicated onto its standard streams.
Pipe makePipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot create a pipe");
    }
    return {Descriptor(ends[0]), Descriptor(ends[1])};
}

// Filled before the program starts, so the bytes must fit the pipe's buffer.
constexpr std::size_t kPipeCapacity = 64 * 1024;

// A pipe holding the bytes, its writing end already closed so the reader sees their end.
Descriptor pipeHolding(const std::string& bytes) {
    if (bytes.size() > kPipeCapacity) {
        throw std::runtime_error("standard input larger than a pipe's buffer");
    }
    Pipe pipe = makePipe();
    if (::write(pipe.writing.get(), bytes.data(), bytes.size()) !=
        static_cast<ssize_t>(bytes.size())) {
        throw std::runtime_error("cannot fill the standard input pipe");
    }
    return std::move(pipe.reading);
}

std::vector<char*> argumentVector(std::vector<std::string>& storage) {
    std::vector<char*> argv;
    for (std::string& argument : storage) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    return argv;
}

constexpr std::chrono::milliseconds kPollInterval{10};

// The wait status of the program; kills it first when it outlives the time limit.
int waitForExit(pid_t pid, std::chrono::milliseconds timeLimit) {
    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    bool killed = false;
    int waitStatus = 0;
    for (;;) {
        const bool polling = timeLimit.count() > 0 && !killed;
        const pid_t done = ::waitpid(pid, &waitStatus, polling ? WNOHANG : 0);
        if (done == pid) {
            return waitStatus;
        }
        if (done < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::runtime_error("cannot wait for the program");
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            killed = true;
        } else {
            std::this_thread::sleep_for(kPollInterval);
        }
    }
}

int exitStatusOf(int waitStatus) {
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
}

}  // namespace

RunningProgram::RunningProgram(const std::string& program,
                               const std::vector<std::string>& arguments,
                               const fs::path& workingDirectory, const RunOptions& options)
    : options_(options) {
    const std::string outPath = (capture_ / "out").string();
    const std::string errPath = (capture_ / "err").string();

    Descriptor input;
    if (options.standardInput) {
        input = pipeHolding(*options.standardInput);
    }
    Pipe closedOutput;
    if (options.standardOutputClosed) {
        closedOutput = makePipe();
        closedOutput.reading.reset();
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input.get() >= 0) {
        posix_spawn_file_actions_adddup2(&actions, input.get(), 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    }
    if (options.standardOutputClosed) {
        posix_spawn_file_actions_adddup2(&actions, closedOutput.writing.get(), 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
    }
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());

    std::vector<std::string> argvStorage{program};
    argvStorage.insert(argvStorage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv = argumentVector(argvStorage);

    pid_t pid = 0;
    int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + program);
    }
    pid_ = pid;
}

bool RunningProgram::ended() const {
    siginfo_t info{};
    // WNOWAIT leaves the program's exit status for wait().
    while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) < 0) {
        if (errno != EINTR) {
            throw std::runtime_error("cannot look at the program");
        }
    }
    return info.si_pid == pid_;
}

std::string RunningProgram::errSoFar() const {
    return readFile(capture_ / "err");
}

ProgramResult RunningProgram::wait() {
    ProgramResult result;
    result.status = exitStatusOf(waitForExit(pid_, options_.timeLimit));
    result.out = options_.standardOutputClosed ? "" : readFile(capture_ / "out");
    result.err = readFile(capture_ / "err");
    return result;
}

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const fs::path& workingDirectory, const RunOptions& options) {
    return RunningProgram(program, arguments, workingDirectory, options).wait();
}

ProgramResult runProgramOnTerminal(const std::string& program,
                                   const std::vector<std::string>& arguments,
                                   const fs::path& workingDirectory, unsigned short columns) {
    termios raw{};
    ::cfmakeraw(&raw);
    winsize size{};
    size.ws_row = 24;
    size.ws_col = columns;
    int terminal = -1;
    int programSide = -1;
    if (::openpty(&terminal, &programSide, nullptr, &raw, &size) != 0) {
        throw std::runtime_error("cannot open a pseudo-terminal");
    }
    std::vector<std::string> argvStorage{program};
    argvStorage.insert(argvStorage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv = argumentVector(argvStorage);

    const pid_t pid = ::fork();
    if (pid < 0) {
        throw std::runtime_error("cannot start " + program);
    }
    if (pid == 0) {
        // The terminal becomes the child's controlling terminal, as a login shell's is.
        ::setsid();
        ::ioctl(programSide, TIOCSCTTY, 0);
        const int nothing = ::open("/dev/null", O_RDONLY);
        if (nothing < 0 || ::dup2(nothing, 0) < 0 || ::dup2(programSide, 1) < 0 ||
            ::dup2(programSide, 2) < 0 || ::chdir(workingDirectory.c_str()) != 0) {
            ::_exit(127);
        }
        ::close(terminal);
        ::execve(program.c_str(), argv.data(), environ);
        ::_exit(127);
    }
    ::close(programSide);
    ProgramResult result;
    char buffer[4096];
    // Reading ends with an error (EIO) once the program's side is closed for good.
    for (ssize_t count; (count = ::read(terminal, buffer, sizeof buffer)) != 0;) {
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        result.out.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(terminal);
    result.status = exitStatusOf(waitForExit(pid, std::chrono::milliseconds{0}));
    return result;
}

ProgressTranscript splitProgress(const std::string& terminalText) {
    static const std::regex drawing("\r([^\r\x1b]*)\x1b\\[K");
    ProgressTranscript split;
    bool lineShown = false;
    std::size_t at = 0;
    for (std::sregex_iterator it(terminalText.begin(), terminalText.end(), drawing), end; it != end;
         ++it) {
        const auto start = static_cast<std::size_t>(it->position());
        if (start > at) {
            split.withoutProgress += terminalText.substr(at, start - at);
            split.linesAfterAnErasure = split.linesAfterAnErasure && !lineShown;
        }
        const std::string shown = (*it)[1];
        if (!shown.empty()) {
            split.drawn.push_back(shown);
        }
        lineShown = !shown.empty();
        at = start + static_cast<std::size_t>(it->length());
    }
    if (at < terminalText.size()) {
        split.withoutProgress += terminalText.substr(at);
        split.linesAfterAnErasure = split.linesAfterAnErasure && !lineShown;
        lineShown = false;
    }
    split.erasedAtTheEnd = !lineShown;
    return split;
}

namespace {

// Prints "grid <end>" and then "<tier> TAB <start> TAB <end> TAB <label>" for every interval,
// times in whole milliseconds.
constexpr const char* kPraatReader = R"(form Read a TextGrid
  sentence File
endform
grid = Read from file: file$
gridEnd = Get end time
appendInfoLine: "grid", tab$, round(gridEnd * 1000)
tiers = Get number of tiers
for tier to tiers
  tierName$ = Get tier name: tier
  intervals = Get number of intervals: tier
  for interval to intervals
    label$ = Get label of interval: tier, interval
    start = Get starting point: tier, interval
    stop = Get end point: tier, interval
    appendInfoLine: tierName$, tab$, round(start * 1000), tab$, round(stop * 1000), tab$, label$
  endfor
endfor
)";

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
        fields.push_back(line.substr(start, tab - start));
    }
    fields.push_back(line.substr(start));
    return fields;
}

}  // namespace

PraatTextGrid readTextGridWithPraat(const fs::path& file) {
    TempDir scratch;
    const fs::path script = scratch.write("read.praat", kPraatReader);
    const ProgramResult run = runProgram(
        kPraatProgram, {"--run", script.string(), fs::absolute(file).string()}, scratch.path());
    PraatTextGrid grid;
    EXPECT_EQ(run.status, 0) << "Praat cannot read " << file << ": " << run.err;
    if (run.status != 0) {
        return grid;
    }
    for (const std::string& line : splitLines(run.out)) {
        const std::vector<std::string> fields = splitTabs(line);
        if (fields.size() == 2 && fields[0] == "grid") {
            grid.endMs = std::stoi(fields[1]);
        } else if (fields.size() == 4) {
            grid.intervals.push_back(
                {fields[0], std::stoi(fields[1]), std::stoi(fields[2]), fields[3]});
        } else {
            ADD_FAILURE() << "unexpected line from Praat: " << line;
        }
    }
    return grid;
}

std::vector<std::string> jqLines(const std::string& filter, const fs::path& file) {
    const ProgramResult run =
        runProgram(kJqProgram, {"-r", filter, fs::absolute(file).string()}, fs::current_path());
    EXPECT_EQ(run.status, 0) << "jq refuses " << file << ": " << run.err;
    return splitLines(run.out);
}

std::vector<std::string> xpathLines(const std::string& xpath, const fs::path& file) {
    const ProgramResult run = runProgram(
        kXmllintProgram, {"--xpath", xpath, fs::absolute(file).string()}, fs::current_path());
    EXPECT_EQ(run.status, 0) << "xmllint refuses " << file << ": " << run.err;
    return splitLines(run.out);
}

}  // namespace phonemes::testing
