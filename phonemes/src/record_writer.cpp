#include "record_writer.h"

#include <cstdint>

namespace phonemes {
namespace {

constexpr std::string_view kLineEnd = "\r\n";  // records keep CR LF line ends on every platform

// An entry is kept when it lasts at least the minimum; the difference and the minimum are
// compared as unsigned numbers, so an entry followed by an earlier one is always kept and a
// negative minimum keeps none but the last.
bool lastsLongEnough(const PhoneEntry& entry, const PhoneEntry& next, std::int32_t minimum) {
    std::uint32_t duration =
        static_cast<std::uint32_t>(next.start) - static_cast<std::uint32_t>(entry.start);
    return duration >= static_cast<std::uint32_t>(minimum);
}

void writePlainEntries(std::ostream& out, const std::vector<PhoneEntry>& entries,
                       std::int32_t minimum) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        bool last = i + 1 == entries.size();
        if (last || lastsLongEnough(entries[i], entries[i + 1], minimum)) {
            out << entries[i].label << '\t' << entries[i].start << kLineEnd;
        }
    }
}

void writeTaggedEntries(std::ostream& out, const std::vector<PhoneEntry>& entries,
                        std::int32_t minimum, std::uint32_t endTime) {
    out << "<Phonemes>";
    for (std::size_t i = 0; i + 1 < entries.size(); ++i) {
        if (lastsLongEnough(entries[i], entries[i + 1], minimum)) {
            out << entries[i].start << ':' << entries[i + 1].start << ':' << entries[i].label
                << ',';
        }
    }
    const PhoneEntry& last = entries.back();
    // The end time is written as the signed 32-bit number it is stored as.
    out << last.start << ':' << static_cast<std::int32_t>(endTime) << ':' << last.label
        << "</Phonemes>" << kLineEnd;
}

}  // namespace

bool fitsRecordHeader(std::string_view name) {
    return name.find_first_of("\r\n") == std::string_view::npos;
}

bool writeRecord(std::ostream& out, std::string_view name, const PhoneTimeline& timeline,
                 const ExtractorOptions& options) {
    const std::int32_t endTime = static_cast<std::int32_t>(timeline.endTime);
    if (timeline.endTime == 0) {
        out << '[' << name << "]\t0" << kLineEnd << kLineEnd;
    } else {
        out << '[' << name << "]\t" << endTime << kLineEnd;
        if (!timeline.entries.empty()) {
            if (options.xmlFormat) {
                writeTaggedEntries(out, timeline.entries, options.minPhonemeDuration,
                                   timeline.endTime);
            } else {
                writePlainEntries(out, timeline.entries, options.minPhonemeDuration);
            }
        }
        out << kLineEnd;
    }
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace phonemes
