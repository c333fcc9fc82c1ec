#include "hint_table.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <system_error>
#include <vector>

#include "text_encoding.h"

namespace phonemes {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";  // U+FEFF in UTF-8

// The bytes of the entries are kept in blocks of this size; a larger entry gets a block of its
// own. The blocks never move, so the entries can point into them.
constexpr std::size_t kBlockSize = 1 << 20;

}  // namespace

// A hints file of 600,000 lines is read into about its own size: the keys and transcripts lie
// end to end in large blocks, and the index holds 16 bytes per entry, sorted by key. A map of
// strings would take more than twice the file's size.
struct HintTable::Entries {
    struct Entry {
        const char* key;  // followed at once by the transcript
        std::uint32_t keyLength;
        std::uint32_t textLength;

        std::string_view keyView() const { return {key, keyLength}; }
    };

    // Adds an entry after every entry so far. A key or transcript of 4 GiB or more cannot be
    // held and is left out; no audio file could hold such a transcript anyway.
    void add(std::string_view key, std::string_view text) {
        constexpr std::size_t kMaxLength = std::numeric_limits<std::uint32_t>::max();
        if (key.size() > kMaxLength || text.size() > kMaxLength) {
            return;
        }
        char* bytes = allocate(key.size() + text.size());
        std::copy(key.begin(), key.end(), bytes);
        std::copy(text.begin(), text.end(), bytes + key.size());
        index.push_back({bytes, static_cast<std::uint32_t>(key.size()),
                         static_cast<std::uint32_t>(text.size())});
    }

    // Takes the entries of an earlier table before any added here; its bytes stay where they
    // are, held by this table too.
    void keep(std::shared_ptr<const Entries> earlier) {
        index = earlier->index;
        this->earlier = std::move(earlier);
    }

    // Sorts the index by key, keeps the last entry of each key, and gives back what the index
    // reserved beyond its size.
    void seal() {
        std::stable_sort(index.begin(), index.end(), [](const Entry& a, const Entry& b) {
            return a.keyView() < b.keyView();
        });
        auto kept = index.begin();
        for (auto it = index.begin(); it != index.end(); ++it) {
            if (std::next(it) == index.end() || std::next(it)->keyView() != it->keyView()) {
                *kept++ = *it;
            }
        }
        index.erase(kept, index.end());
        index.shrink_to_fit();
    }

    std::optional<std::string_view> find(std::string_view name) const {
        const auto found = std::lower_bound(
            index.begin(), index.end(), name,
            [](const Entry& entry, std::string_view key) { return entry.keyView() < key; });
        if (found == index.end() || found->keyView() != name) {
            return std::nullopt;
        }
        return std::string_view(found->key + found->keyLength, found->textLength);
    }

    char* allocate(std::size_t size) {
        if (size > kBlockSize / 8) {
            return blocks.emplace_back(new char[size]).get();
        }
        if (current == nullptr || free < size) {
            current = blocks.emplace_back(new char[kBlockSize]).get();
            free = kBlockSize;
        }
        char* bytes = current + (kBlockSize - free);
        free -= size;
        return bytes;
    }

    std::vector<Entry> index;
    std::vector<std::unique_ptr<char[]>> blocks;
    char* current = nullptr;  // the block being filled
    std::size_t free = 0;     // bytes left in it
    std::shared_ptr<const Entries> earlier;
};

std::optional<std::string_view> HintTable::loadHints(const std::string& hintsFile) {
    if (hintsFile.empty()) {
        return std::nullopt;
    }
    // Anything that reads as a stream will do: a pipe, /dev/stdin, a process substitution, a
    // device. Only a directory, which opens but cannot be read, is refused.
    std::error_code error;
    std::ifstream in;
    if (!std::filesystem::is_directory(hintsFile, error)) {
        in.open(hintsFile, std::ios::binary);
    }
    if (!in.is_open()) {
        return "Cannot open hints file.";
    }
    if (!readEntries(in)) {
        return "Cannot read hints file.";
    }
    return std::nullopt;
}

bool HintTable::readEntries(std::istream& in) {
    auto entries = std::make_shared<Entries>();
    if (entries_) {
        entries->keep(entries_);
    }
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
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        // The recogniser takes the transcript as a C string, which a NUL byte would end: it
        // separates words like a space.
        std::replace(line.begin() + static_cast<std::ptrdiff_t>(colon) + 1, line.end(), '\0', ' ');
        const std::string_view key = std::string_view(line).substr(0, colon);
        const std::string_view text = std::string_view(line).substr(colon + 1);
        if (isValidUtf8(line)) {
            entries->add(key, text);
            continue;
        }
        // Hints files written on Windows are in its ANSI code page: a line that is not UTF-8 is
        // read as Windows-1252. Its key also stays as written, for a file whose name has those
        // very bytes.
        const std::string converted = windows1252ToUtf8(text);
        entries->add(key, converted);
        entries->add(windows1252ToUtf8(key), converted);
    }
    entries->seal();
    entries_ = std::move(entries);
    return !in.bad();
}

std::optional<std::string_view> HintTable::findHint(std::string_view name) const {
    if (!entries_) {
        return std::nullopt;
    }
    return entries_->find(name);
}

}  // namespace phonemes
