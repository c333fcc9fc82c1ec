#pragma once

#include <string>
#include <string_view>
#include <vector>

// What depends on the operating system: path separators and directory search.
namespace phonemes {

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
