#include "json_record_writer.h"

#include <cstdio>
#include <string>

#include "output_text.h"

namespace phonemes {
namespace {

void writeInterval(std::ostream& out, std::string_view key, std::string_view label,
                   std::int64_t start, std::int64_t end) {
    out << "{\"" << key << "\":" << jsonString(label) << ",\"start\":" << secondsText(start)
        << ",\"end\":" << secondsText(end) << '}';
}

}  // namespace

bool JsonRecordWriter::write(std::ostream& out, const FileResult& result) const {
    out << "{\"file\":" << jsonString(result.name)
        << ",\"end\":" << secondsText(static_cast<std::int32_t>(result.end))
        << ",\"duration\":" << secondsText(result.audioLength) << ",\"words\":[";
    const char* separator = "";
    for (const WordSpan& word : result.words) {
        out << separator;
        writeInterval(out, "word", word.text, word.start, word.end);
        separator = ",";
    }
    out << "],\"phones\":[";
    separator = "";
    for (const PhoneInterval& phone : result.phones) {
        if (phone.label == kWordEndMarker) {
            continue;
        }
        out << separator;
        writeInterval(out, "phone", phone.label, phone.start, phone.end);
        separator = ",";
    }
    out << "]}\n";
    out.flush();
    return static_cast<bool>(out);
}

bool writeJsonRecord(std::ostream& out, std::string_view name, const PhoneTimeline& timeline,
                     const ExtractorOptions& options) {
    return JsonRecordWriter().write(out,
                                    makeFileResult(name, timeline, options.minPhonemeDuration));
}

}  // namespace phonemes
