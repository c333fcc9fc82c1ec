#include "record_reader.h"

#include <gtest/gtest.h>

namespace phonemes::testing {

std::vector<std::string> linesOf(const std::string& text, const std::string& end) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t stop = text.find(end, start);
        if (stop == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, stop - start));
        start = stop + end.size();
    }
    return lines;
}

std::vector<Record> parseRecords(const std::string& bytes) {
    std::vector<Record> records;
    bool inRecord = false;
    for (const std::string& line : linesOf(bytes, "\r\n")) {
        if (!inRecord) {
            const std::size_t close = line.rfind("]\t");
            EXPECT_TRUE(line.starts_with("[") && close != std::string::npos) << line;
            if (close == std::string::npos) {
                continue;
            }
            records.push_back({line.substr(1, close - 1), std::stoi(line.substr(close + 2)), {}});
            inRecord = true;
        } else if (line.empty()) {
            inRecord = false;
        } else {
            const std::size_t tab = line.find('\t');
            EXPECT_NE(tab, std::string::npos) << line;
            records.back().entries.push_back(
                {line.substr(0, tab), std::stoi(line.substr(tab + 1))});
        }
    }
    EXPECT_FALSE(inRecord) << "the last record is not ended by an empty line";
    return records;
}

namespace {

// "start:end:label"; the label may hold colons.
TaggedPhone parseTaggedPhone(const std::string& text) {
    const std::size_t first = text.find(':');
    const std::size_t second = text.find(':', first + 1);
    EXPECT_NE(second, std::string::npos) << text;
    if (second == std::string::npos) {
        return {};
    }
    return {text.substr(second + 1), std::stoi(text.substr(0, first)),
            std::stoi(text.substr(first + 1, second - first - 1))};
}

}  // namespace

std::vector<TaggedRecord> parseTaggedRecords(const std::string& bytes) {
    constexpr std::string_view kOpen = "<Phonemes>";
    constexpr std::string_view kClose = "</Phonemes>";
    std::vector<TaggedRecord> records;
    bool inRecord = false;
    for (const std::string& line : linesOf(bytes, "\r\n")) {
        if (!inRecord) {
            const std::size_t close = line.rfind("]\t");
            EXPECT_TRUE(line.starts_with("[") && close != std::string::npos) << line;
            if (close == std::string::npos) {
                continue;
            }
            records.push_back({line.substr(1, close - 1), std::stoi(line.substr(close + 2)), {}});
            inRecord = true;
        } else if (line.empty()) {
            inRecord = false;
        } else {
            EXPECT_TRUE(line.starts_with(kOpen) && line.ends_with(kClose)) << line;
            const std::string inside =
                line.substr(kOpen.size(), line.size() - kOpen.size() - kClose.size());
            for (const std::string& phone : linesOf(inside, ",")) {
                records.back().phones.push_back(parseTaggedPhone(phone));
            }
        }
    }
    EXPECT_FALSE(inRecord) << "the last record is not ended by an empty line";
    return records;
}

}  // namespace phonemes::testing
