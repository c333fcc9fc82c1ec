#include "json_record_writer.h"

#include <cstdio>
#include <string>

#include "kept_phones.h"
#include "output_text.h"

namespace phonemes {
namespace {

// A JSON string: quotes, backslashes and control characters escaped, valid UTF-8 inside.
std::string jsonString(std::string_view text) {
    std::string result = "\"";
    for (const char c : validUtf8(text)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            result += '\\';
            result += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            result += escape;
        } else {
            result += c;
        }
    }
    return result + '"';
}

void writeInterval(std::ostream& out, std::string_view key, std::string_view label,
                   std::int64_t start, std::int64_t end) {
    out << "{\"" << key << "\":" << jsonString(label) << ",\"start\":" << secondsText(start)
        << ",\"end\":" << secondsText(end) << '}';
}

}  // namespace

bool writeJsonRecord(std::ostream& out, std::string_view name, const PhoneTimeline& timeline,
                     const ExtractorOptions& options) {
    const bool recognised = timeline.endTime != 0;
    out << "{\"file\":" << jsonString(name)
        << ",\"end\":" << secondsText(static_cast<std::int32_t>(timeline.endTime))
        << ",\"duration\":" << secondsText(timeline.audioLength) << ",\"words\":[";
    if (recognised) {
        const char* separator = "";
        for (const WordSpan& word : timeline.words) {
            out << separator;
            writeInterval(out, "word", word.text, word.start, word.end);
            separator = ",";
        }
    }
    out << "],\"phones\":[";
    if (recognised) {
        const char* separator = "";
        for (const PhoneInterval& phone : keptPhones(timeline, options.minPhonemeDuration)) {
            if (phone.label == kWordEndMarker) {
                continue;
            }
            out << separator;
            writeInterval(out, "phone", phone.label, phone.start, phone.end);
            separator = ",";
        }
    }
    out << "]}\n";
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace phonemes
