#include "record_writer.h"

#include <cstdint>

#include "kept_phones.h"

namespace phonemes {
namespace {

constexpr std::string_view kLineEnd = "\r\n";  // records keep CR LF line ends on every platform

void writePlainEntries(std::ostream& out, const std::vector<PhoneInterval>& phones) {
    for (const PhoneInterval& phone : phones) {
        out << phone.label << '\t' << phone.start << kLineEnd;
    }
}

// Every phone as start:end:label, separated by commas, on one line.
void writeTaggedEntries(std::ostream& out, const std::vector<PhoneInterval>& phones) {
    out << "<Phonemes>";
    for (std::size_t i = 0; i < phones.size(); ++i) {
        if (i > 0) {
            out << ',';
        }
        out << phones[i].start << ':' << phones[i].end << ':' << phones[i].label;
    }
    out << "</Phonemes>" << kLineEnd;
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
            const std::vector<PhoneInterval> phones =
                keptPhones(timeline, options.minPhonemeDuration);
            if (options.xmlFormat) {
                writeTaggedEntries(out, phones);
            } else {
                writePlainEntries(out, phones);
            }
        }
        out << kLineEnd;
    }
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace phonemes
