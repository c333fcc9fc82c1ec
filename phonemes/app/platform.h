#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

// What depends on the operating system: path separators, directory search, the cores the
// process may use and the terminal.
namespace phonemes {

// Opens /dev/null on each of the descriptors 0, 1 and 2 that is closed, so that no file the
// program opens later takes one of them: console lines would otherwise land in that file. False
// when one of them cannot be opened.
bool ensureStandardDescriptors();

// The number of cores the process may run on (its CPU affinity); at least 1.
unsigned usableCoreCount();

// The width in columns of the terminal that the stream writes to; nothing when the stream is
// not the process's standard output or standard error, or that is not a terminal.
std::optional<unsigned> terminalWidthOf(const std::ostream& stream);

// The part of a path after its last separator ('/' or '\'); the whole path when it has none.
std::string baseNameOf(std::string_view path);

// Expands one file pattern into full paths. '*' and '?' are wildcards in the pattern's last
// component only. The directory part is made absolute against the current directory and
// lexically normalised. Matches are returned sorted by name in byte order; '.' and '..' are
// never returned, and names beginning with '.' only when the pattern's last component does.
// A pattern that matches nothing gives an empty list.
std::vector<std::string> expandPattern(std::string_view pattern);

// Matches a name against a pattern of '*', '?' and literal characters.
bool matchesWildcard(std::string_view pattern, std::string_view name);

}  // namespace phonemes
