#pragma once

// Reads back what the program writes to its output file in the plain record form, so that
// tests can compare records with the console, the JSON form and the TextGrids.

#include <string>
#include <vector>

namespace phonemes::testing {

struct RecordEntry {
    std::string label;
    int start;
};

struct Record {
    std::string name;
    int endTime = 0;
    std::vector<RecordEntry> entries;
};

// A phone of a tagged record: start:end:label.
struct TaggedPhone {
    std::string label;
    int start = 0;
    int end = 0;

    friend bool operator==(const TaggedPhone&, const TaggedPhone&) = default;
};

struct TaggedRecord {
    std::string name;
    int endTime = 0;
    std::vector<TaggedPhone> phones;
};

// The pieces of text between the line ends; a last line without an end counts too.
std::vector<std::string> linesOf(const std::string& text, const std::string& end);

// The records of a plain output file (lines ended by CR LF). A line that breaks the form fails
// the test.
std::vector<Record> parseRecords(const std::string& bytes);

// The records of a tagged output file (-x).
std::vector<TaggedRecord> parseTaggedRecords(const std::string& bytes);

}  // namespace phonemes::testing
