#include "hint_table.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "console.h"
#include "text_encoding.h"

namespace phonemes {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";  // U+FEFF in UTF-8

}  // namespace

void HintTable::loadHints(const std::string& hintsFile, Console& console) {
    if (hintsFile.empty()) {
        return;
    }
    // Anything that reads as a stream will do: a pipe, /dev/stdin, a process substitution, a
    // device. Only a directory, which opens but cannot be read, is refused.
    std::error_code error;
    std::ifstream in;
    if (!std::filesystem::is_directory(hintsFile, error)) {
        in.open(hintsFile, std::ios::binary);
    }
    if (!in.is_open()) {
        console.printError("Cannot open hints file.");
        return;
    }
    if (!readEntries(in)) {
        console.printError("Cannot read hints file.");
    }
}

bool HintTable::readEntries(std::istream& in) {
    std::string line;
    for (bool first = true; std::getline(in, line); first = false) {
        // A carriage return before the line feed is part of the line end.
        if (!in.eof() && !line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        // Notepad starts a UTF-8 file with a byte-order mark; it belongs to no name.
        if (first && line.starts_with(kByteOrderMark)) {
            line.erase(0, kByteOrderMark.size());
        }
        std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        std::string key = line.substr(0, colon);
        std::string text = line.substr(colon + 1);
        // The recogniser takes the transcript as a C string, which a NUL byte would end: it
        // separates words like a space.
        std::replace(text.begin(), text.end(), '\0', ' ');
        // Hints files written on Windows are in its ANSI code page: a line that is not UTF-8 is
        // read as Windows-1252. Its key also stays as written, for a file whose name has those
        // very bytes.
        if (!isValidUtf8(line)) {
            text = windows1252ToUtf8(text);
            hints_[key] = text;
            key = windows1252ToUtf8(key);
        }
        hints_[std::move(key)] = std::move(text);
    }
    return !in.bad();
}

std::optional<std::string> HintTable::findHint(std::string_view name) const {
    auto found = hints_.find(name);
    if (found == hints_.end()) {
        return std::nullopt;
    }
    return found->second;
}

}  // namespace phonemes
