#pragma once

#include <filesystem>
#include <functional>
#include <ostream>

namespace phonemes {

// Writes a file that is never seen half-written: the writer fills a new temporary file in the
// same folder, which is renamed over the path once it is complete and closed. The temporary
// name is short and of fixed length, so every name that the folder takes can be written, and it
// begins with a dot, which patterns without one never match. The file gets the mode any new
// file gets (0666 less the umask). False when the writer returns false or anything fails; the
// temporary file is then removed and the path keeps what it held.
bool replaceFile(const std::filesystem::path& path,
                 const std::function<bool(std::ostream&)>& write);

}  // namespace phonemes
