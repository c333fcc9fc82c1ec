#include "textgrid_writer.h"

#include <algorithm>
#include <string>
#include <vector>

#include "output_text.h"
#include "per_input_files.h"

namespace phonemes {
namespace {

struct Interval {
    std::int64_t start;
    std::int64_t end;
    std::string label;
};

// Lays labelled stretches end to end from 0 to the tier's end: each is clipped to what the
// ones before it left free, stretches left with no length are dropped, and the gaps between
// them become empty intervals. Praat needs intervals that touch and never overlap.
std::vector<Interval> tileTier(const std::vector<Interval>& labelled, std::int64_t tierEnd) {
    std::vector<Interval> tier;
    std::int64_t covered = 0;
    for (const Interval& stretch : labelled) {
        const std::int64_t start = std::clamp(stretch.start, covered, tierEnd);
        const std::int64_t end = std::clamp(stretch.end, start, tierEnd);
        if (end == start) {
            continue;
        }
        if (start > covered) {
            tier.push_back({covered, start, ""});
        }
        tier.push_back({start, end, stretch.label});
        covered = end;
    }
    if (covered < tierEnd || tier.empty()) {
        tier.push_back({covered, tierEnd, ""});
    }
    return tier;
}

std::vector<Interval> wordStretches(const FileResult& result) {
    std::vector<Interval> words;
    for (const WordSpan& word : result.words) {
        words.push_back({word.start, word.end, word.text});
    }
    return words;
}

// Word-end markers and empty pieces carry no phone: they are left as gaps.
std::vector<Interval> phoneStretches(const FileResult& result) {
    std::vector<Interval> phones;
    for (const PhoneInterval& phone : result.phones) {
        if (!phone.label.empty() && phone.label != kWordEndMarker) {
            phones.push_back({phone.start, phone.end, std::string(phone.label)});
        }
    }
    return phones;
}

// A TextGrid string: UTF-8 between double quotes, a quote written twice.
std::string textGridString(std::string_view text) {
    std::string result = "\"";
    for (const char c : validUtf8(text)) {
        result += c;
        if (c == '"') {
            result += '"';
        }
    }
    return result + '"';
}

void writeTier(std::ostream& out, int number, std::string_view name,
               const std::vector<Interval>& intervals, std::int64_t tierEnd) {
    out << "    item [" << number << "]:\n"
        << "        class = \"IntervalTier\"\n"
        << "        name = " << textGridString(name) << "\n"
        << "        xmin = 0\n"
        << "        xmax = " << secondsText(tierEnd) << "\n"
        << "        intervals: size = " << intervals.size() << "\n";
    for (std::size_t i = 0; i < intervals.size(); ++i) {
        out << "        intervals [" << i + 1 << "]:\n"
            << "            xmin = " << secondsText(intervals[i].start) << "\n"
            << "            xmax = " << secondsText(intervals[i].end) << "\n"
            << "            text = " << textGridString(intervals[i].label) << "\n";
    }
}

}  // namespace

bool TextGridWriter::write(std::ostream& out, const FileResult& result) const {
    const std::vector<Interval> words = wordStretches(result);
    const std::vector<Interval> phones = phoneStretches(result);
    std::int64_t tierEnd = result.audioLength;
    for (const auto* stretches : {&words, &phones}) {
        for (const Interval& stretch : *stretches) {
            tierEnd = std::max(tierEnd, stretch.end);
        }
    }
    out << "File type = \"ooTextFile\"\n"
        << "Object class = \"TextGrid\"\n"
        << "\n"
        << "xmin = 0\n"
        << "xmax = " << secondsText(tierEnd) << "\n"
        << "tiers? <exists>\n"
        << "size = 2\n"
        << "item []:\n";
    writeTier(out, 1, "words", tileTier(words, tierEnd), tierEnd);
    writeTier(out, 2, "phones", tileTier(phones, tierEnd), tierEnd);
    out.flush();
    return static_cast<bool>(out);
}

bool writeTextGrid(std::ostream& out, const PhoneTimeline& timeline, std::int32_t minimumDuration) {
    return TextGridWriter().write(out, makeFileResult("", timeline, minimumDuration));
}

std::filesystem::path textGridPathFor(const std::filesystem::path& folder,
                                      std::string_view baseName) {
    return perInputPathFor(folder, baseName, perInputFormats().front(), ExtractorOptions{});
}

bool saveTextGrid(const std::filesystem::path& path, const PhoneTimeline& timeline,
                  std::int32_t minimumDuration) {
    return savePerInputFile(path, TextGridWriter(), makeFileResult("", timeline, minimumDuration));
}

}  // namespace phonemes
