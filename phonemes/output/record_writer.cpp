#include "record_writer.h"

#include <cstdint>

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

bool RecordWriter::write(std::ostream& out, const FileResult& result) const {
    // The end time is the signed 32-bit number it is stored as.
    out << '[' << result.name << "]\t" << static_cast<std::int32_t>(result.end) << kLineEnd;
    if (!result.phones.empty()) {
        if (tagged_) {
            writeTaggedEntries(out, result.phones);
        } else {
            writePlainEntries(out, result.phones);
        }
    }
    out << kLineEnd;
    out.flush();
    return static_cast<bool>(out);
}

bool writeRecord(std::ostream& out, std::string_view name, const PhoneTimeline& timeline,
                 const ExtractorOptions& options) {
    return RecordWriter(options.xmlFormat)
        .write(out, makeFileResult(name, timeline, options.minPhonemeDuration));
}

}  // namespace phonemes
