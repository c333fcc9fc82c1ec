#include "TestProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace glimmerax::testing {

namespace {

// How often a child's standard output is looked at while a signal waits for it.
constexpr auto kOutputPoll = std::chrono::milliseconds(10);

}  // namespace

std::string readWhole(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

ProcessResult runProcess(const std::filesystem::path& program,
                         const std::vector<std::string>& arguments,
                         const std::vector<std::pair<std::string, std::string>>& environment,
                         std::optional<SignalOnOutput> signal) {
    TempFolder captures;
    const std::filesystem::path outPath = captures / "out";
    const std::filesystem::path errPath = captures / "err";

    // Everything the child needs is prepared before fork: after it, only exec-safe calls.
    std::vector<std::string> argumentStorage{program.string()};
    argumentStorage.insert(argumentStorage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : argumentStorage) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    std::vector<std::string> environmentStorage;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string entry = *variable;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& [overrideName, value] : environment) {
            replaced = replaced || overrideName == name;
        }
        if (!replaced) {
            environmentStorage.push_back(entry);
        }
    }
    for (const auto& [name, value] : environment) {
        environmentStorage.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& entry : environmentStorage) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    const int outFd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int inFd = open("/dev/null", O_RDONLY);
    const auto closeDescriptors = [&] {
        for (int fd : {outFd, errFd, inFd}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    };
    if (outFd < 0 || errFd < 0 || inFd < 0) {
        closeDescriptors();
        throw std::runtime_error("cannot prepare the output files of a child process");
    }

    const pid_t child = fork();
    if (child == 0) {
        dup2(inFd, STDIN_FILENO);
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    closeDescriptors();
    if (child < 0) {
        throw std::runtime_error("cannot start " + program.string());
    }

    int status = 0;
    // Only an interrupted wait is tried again: any other failure would repeat for ever.
    const auto waitForChild = [&](int flags) {
        pid_t done;
        while ((done = waitpid(child, &status, flags)) < 0) {
            if (errno != EINTR) {
                throw std::runtime_error("cannot wait for " + program.string());
            }
        }
        return done == child;
    };
    bool ended = false;
    if (signal) {
        // What the child has written is read again until it is ready or the child has ended;
        // the child is not reaped before the signal, so its process id is still its own.
        while (!(ended = waitForChild(WNOHANG)) && !signal->ready(readWhole(outPath))) {
            std::this_thread::sleep_for(kOutputPoll);
        }
        if (!ended) {
            kill(child, signal->number);
        }
    }
    if (!ended) {
        waitForChild(0);
    }
    ProcessResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readWhole(outPath);
    result.err = readWhole(errPath);
    return result;
}

TempFolder::TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "glimmerax-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace glimmerax::testing
