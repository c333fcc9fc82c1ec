#include "mouth_cue_formats.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <utility>

#include "output_text.h"

namespace phonemes {
namespace {

constexpr std::array<std::pair<std::string_view, MouthCueFormat>, 4> kFormats = {{
    {"tsv", MouthCueFormat::kTsv},
    {"json", MouthCueFormat::kJson},
    {"xml", MouthCueFormat::kXml},
    {"dat", MouthCueFormat::kDat},
}};

// Seconds with three decimals: a millisecond is finer than any frame rate a rig plays.
std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

// Text for XML character data and attribute values: markup characters escaped, valid UTF-8,
// and the control characters XML 1.0 cannot hold replaced by U+FFFD.
std::string xmlText(std::string_view text) {
    std::string result;
    for (const char c : validUtf8(text)) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '&':
                result += "&amp;";
                break;
            case '<':
                result += "&lt;";
                break;
            case '>':
                result += "&gt;";
                break;
            case '"':
                result += "&quot;";
                break;
            case '\'':
                result += "&apos;";
                break;
            default:
                if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                    result += "\xEF\xBF\xBD";
                } else {
                    result += c;
                }
        }
    }
    return result;
}

void writeTsv(std::ostream& out, const MouthCues& cues) {
    for (std::size_t i = 0; i < cues.cues.size(); ++i) {
        out << seconds(cues.startSeconds(i)) << '\t' << cues.cues[i].shape << '\n';
    }
    // Each line holds a start only: a last shape other than rest needs the rest that ends it.
    if (cues.cues.back().shape != restShape(cues.set)) {
        out << seconds(cues.endSeconds(cues.cues.size() - 1)) << '\t' << restShape(cues.set)
            << '\n';
    }
}

void writeJson(std::ostream& out, const MouthCues& cues, std::string_view soundFile) {
    out << "{\"metadata\":{\"soundFile\":" << jsonString(soundFile)
        << ",\"duration\":" << seconds(static_cast<double>(cues.durationMs) / 1000.0)
        << "},\"mouthCues\":[";
    for (std::size_t i = 0; i < cues.cues.size(); ++i) {
        out << (i == 0 ? "" : ",") << "{\"start\":" << seconds(cues.startSeconds(i))
            << ",\"end\":" << seconds(cues.endSeconds(i))
            << ",\"value\":" << jsonString(cues.cues[i].shape) << '}';
    }
    out << "]}\n";
}

void writeXml(std::ostream& out, const MouthCues& cues, std::string_view soundFile) {
    out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rhubarbResult>\n  <metadata>\n"
        << "    <soundFile>" << xmlText(soundFile) << "</soundFile>\n"
        << "    <duration>" << seconds(static_cast<double>(cues.durationMs) / 1000.0)
        << "</duration>\n  </metadata>\n  <mouthCues>\n";
    for (std::size_t i = 0; i < cues.cues.size(); ++i) {
        out << "    <mouthCue start=\"" << seconds(cues.startSeconds(i)) << "\" end=\""
            << seconds(cues.endSeconds(i)) << "\">" << xmlText(cues.cues[i].shape)
            << "</mouthCue>\n";
    }
    out << "  </mouthCues>\n</rhubarbResult>\n";
}

void writeDat(std::ostream& out, const MouthCues& cues) {
    out << "MohoSwitch1\n";
    for (const MouthCue& cue : cues.cues) {
        out << cue.firstFrame + 1 << ' ' << switchLayerName(cues.set, cue.shape) << '\n';
    }
}

}  // namespace

std::optional<MouthCueFormat> mouthCueFormatNamed(std::string_view name) {
    for (const auto& [formatName, format] : kFormats) {
        if (formatName == name) {
            return format;
        }
    }
    return std::nullopt;
}

std::string_view mouthCueExtension(MouthCueFormat format) {
    switch (format) {
        case MouthCueFormat::kTsv:
            return ".tsv";
        case MouthCueFormat::kJson:
            return ".json";
        case MouthCueFormat::kXml:
            return ".xml";
        case MouthCueFormat::kDat:
            return ".dat";
    }
    return ".tsv";
}

bool writeMouthCues(std::ostream& out, const MouthCues& cues, std::string_view soundFile,
                    MouthCueFormat format) {
    switch (format) {
        case MouthCueFormat::kTsv:
            writeTsv(out, cues);
            break;
        case MouthCueFormat::kJson:
            writeJson(out, cues, soundFile);
            break;
        case MouthCueFormat::kXml:
            writeXml(out, cues, soundFile);
            break;
        case MouthCueFormat::kDat:
            writeDat(out, cues);
            break;
    }
    out.flush();
    return static_cast<bool>(out);
}

MouthCues mouthCuesOf(const FileResult& result, MouthShapeSet set, int fps) {
    std::vector<PhoneEntry> entries;
    for (const PhoneInterval& phone : result.phones) {
        entries.push_back({phone.label, phone.start});
    }
    const std::int64_t duration = std::max(result.audioLength, result.end);
    return mouthCuesOf(entries, result.end, duration, set, fps);
}

bool MouthCueWriter::write(std::ostream& out, const FileResult& result) const {
    return writeMouthCues(out, mouthCuesOf(result, set_, fps_), result.name, format_);
}

}  // namespace phonemes
