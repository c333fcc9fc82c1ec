#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "extractor_options.h"

namespace phonemes {

// The most files --jobs recognises at once: each of them holds a speech model in memory.
inline constexpr unsigned kMaxJobs = 256;

struct CommandLine {
    ExtractorOptions options;
    // Full paths, in the order they were matched; only the shard's slice of them with --shard.
    std::vector<std::string> inputFiles;
    bool showHelp = false;                // --help
    bool showVersion = false;             // --version
    // A long option without a value or with a value it does not take: the one-line message,
    // and nothing else of the command line is read. Empty when the command line is good.
    std::string error;
};

// Reads the arguments after the program's own name, left to right. Every argument that is
// not one of the eight option words or a long option (below) is a file pattern, expanded at
// once with expandPattern. A long option's value is the next argument, taken unchanged, or
// follows an '=' in the same argument ("--format=json"):
//   --phone-times weights|acoustic   --format (a name of output_formats.h)   --textgrid DIR
//   --jobs N (1 to kMaxJobs)   --shard I/N (1 <= I <= N)   --help   --version
// Any other argument that begins with "--" is a file pattern like any other.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The shard's slice of the input list: files [(I-1)M/N, IM/N) of M, rounded down. The N slices
// are contiguous and in order, together they are the whole list, and their sizes differ by at
// most one; a slice may be empty.
std::vector<std::string> shardSlice(const std::vector<std::string>& files, Shard shard);

// Converts like the C library's atoi (leading white space, a sign, digits up to the first
// other character; no digits give 0), saturating at the limits of a signed 32-bit integer.
std::int32_t parseDuration(std::string_view text);

// The invocation name after its last directory separator ('/' or '\').
std::string programNameOf(std::string_view invocation);

}  // namespace phonemes
