#include "event_handling.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "phone_timeline.h"
#include "recognition_session.h"
#include "text_conversion.h"

namespace phonemes {
namespace {

constexpr std::uint64_t kHundredNsPerMs = 10000;
constexpr std::uint64_t kMsPerSecond = 1000;

constexpr std::string_view kRecognitionPrefix = "-- ";
constexpr std::string_view kFalseRecognitionPrefix = "-~ ";
constexpr std::string_view kHypothesisPrefix = "-? ";

// The result an event carries; null when its payload is absent or is no object.
ISpRecoResult* resultOf(const SPEVENT& event) {
    if (event.elParamType != SPET_LPARAM_IS_OBJECT) {
        return nullptr;
    }
    return static_cast<ISpRecoResult*>(eventObject(event));
}

// The whole text of a result. The block is owned whatever the status says, so that one
// handed out with a status other than S_OK is still freed.
struct ResultText {
    HRESULT status;
    CoTaskMemPtr<char16_t> text;
};

ResultText wholeTextOf(ISpRecoResult& result) {
    char16_t* text = nullptr;
    const HRESULT status =
        result.GetText(SP_GETWHOLEPHRASE, SP_GETWHOLEPHRASE, false, &text, nullptr);
    return {status, CoTaskMemPtr<char16_t>(text)};
}

// Prefix and text as one console line; text that cannot be converted leaves the prefix alone.
void echo(RecognitionSession& session, std::string_view prefix, const char16_t* text) {
    std::string line(prefix);
    if (text != nullptr) {
        line += toNarrowText(text).value_or("");
    }
    session.extractor().console.printLine(line);
}

// The phone names of one word, or nothing when the word cannot be converted.
std::optional<std::u16string> phonesOf(ISpPhoneConverter& converter,
                                       const SPPHRASEELEMENT& element) {
    if (element.pszPronunciation == nullptr) {
        return std::nullopt;
    }
    char16_t phones[kPhoneBufferUnits] = {};
    if (converter.IdToPhone(element.pszPronunciation, phones, kPhoneBufferUnits) != S_OK) {
        return std::nullopt;
    }
    const auto end = std::find(std::begin(phones), std::end(phones), u'\0');
    if (end == std::end(phones)) {
        return std::nullopt;  // not terminated within the buffer: not a usable phone string
    }
    return std::u16string(std::begin(phones), end);
}

// Where a word's phones were heard, in ms from the start of the file.
struct AlignedPhones {
    std::vector<std::int32_t> starts;
    std::int32_t end = 0;  // where the last phone ends
};

// The result's phone alignment, when phones are to be timed from the audio and its engine
// measured them.
ComPtr<ISpPhoneAlignment> phoneAlignmentOf(RecognitionSession& session, ISpRecoResult& result) {
    ComPtr<ISpPhoneAlignment> alignment;
    if (session.extractor().options.phoneTiming != PhoneTiming::kAcoustic) {
        return alignment;
    }
    void* found = nullptr;
    if (result.QueryInterface(IID_ISpPhoneAlignment, &found) == S_OK) {
        alignment.attach(static_cast<ISpPhoneAlignment*>(found));
    }
    return alignment;
}

// The times of an element's phones, when the alignment has one span for each of its phoneCount
// phones; none otherwise, and the word's phones are then spread by their weights.
std::optional<AlignedPhones> alignedPhonesOf(ISpPhoneAlignment* alignment, std::uint32_t element,
                                             std::size_t phoneCount, std::uint32_t phraseStartMs,
                                             const WAVEFORMATEX& format) {
    if (alignment == nullptr || phoneCount == 0 || phoneCount > kPhoneBufferUnits) {
        return std::nullopt;
    }
    SPPHONESPAN spans[kPhoneBufferUnits] = {};
    std::uint32_t count = 0;
    if (alignment->GetPhoneSpans(element, spans, kPhoneBufferUnits, &count) != S_OK ||
        count != phoneCount) {
        return std::nullopt;
    }
    const auto msAt = [&](std::uint64_t bytes) {
        const auto clamped = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(bytes, std::numeric_limits<std::uint32_t>::max()));
        return static_cast<std::int32_t>(phraseStartMs + bytesToMs(clamped, format));
    };
    AlignedPhones phones;
    for (std::uint32_t i = 0; i < count; ++i) {
        phones.starts.push_back(msAt(spans[i].ulAudioStreamOffset));
    }
    const SPPHONESPAN& last = spans[count - 1];
    phones.end = msAt(std::uint64_t{last.ulAudioStreamOffset} + last.ulAudioSizeBytes);
    return phones;
}

void timeWords(RecognitionSession& session, ISpRecoResult& result, std::uint32_t startMs) {
    SPPHRASE* block = nullptr;
    const HRESULT status = result.GetPhrase(&block);
    const CoTaskMemPtr<SPPHRASE> phrase(block);
    ISpPhoneConverter* converter = session.phoneConverter();
    const WAVEFORMATEX* format = session.waveFormat();
    if (status != S_OK || !phrase || phrase->pElements == nullptr || converter == nullptr ||
        format == nullptr) {
        return;
    }
    const ComPtr<ISpPhoneAlignment> alignment = phoneAlignmentOf(session, result);
    PhoneTimeline& timeline = session.extractor().timeline;
    for (std::uint32_t i = 0; i < phrase->Rule.ulCountOfElements; ++i) {
        const SPPHRASEELEMENT& element = phrase->pElements[i];
        const std::optional<std::u16string> phones = phonesOf(*converter, element);
        if (!phones) {
            continue;  // the word is skipped; the others still count
        }
        const std::uint32_t offset = bytesToMs(element.ulAudioStreamOffset, *format);
        const std::uint32_t size = bytesToMs(element.ulAudioSizeBytes, *format);
        const std::optional<std::string> narrow = toNarrowText(*phones);
        const std::string text = element.pszDisplayText == nullptr
                                     ? std::string()
                                     : toNarrowText(element.pszDisplayText).value_or("");
        if (narrow) {
            const std::size_t phoneCount = splitString(*narrow, ' ').size();
            if (const auto aligned =
                    alignedPhonesOf(alignment.get(), i, phoneCount, startMs, *format);
                aligned && timeline.addAlignedWord(*narrow, aligned->starts, aligned->end, text)) {
                continue;
            }
        }
        timeline.addWord(narrow ? narrow->c_str() : nullptr,
                         static_cast<std::int32_t>(startMs + offset), size, text);
    }
}

void handleFinalResult(RecognitionSession& session, const SPEVENT& event, std::string_view prefix) {
    ISpRecoResult* result = resultOf(event);
    if (result == nullptr) {
        return;
    }
    const ExtractorOptions& options = session.extractor().options;
    const ResultText text = wholeTextOf(*result);
    if (text.status == S_OK && !options.quiet && options.showTranscription) {
        echo(session, prefix, text.text.get());
    }

    SPRECORESULTTIMES times{};
    if (result->GetResultTimes(&times) != S_OK) {
        return;
    }
    const std::uint32_t startMs = hundredNsToMs(times.ullStart);
    session.extractor().timeline.endTime = startMs + hundredNsToMs(times.ullLength);
    timeWords(session, *result, startMs);
}

void handleHypothesis(RecognitionSession& session, const SPEVENT& event) {
    ISpRecoResult* result = resultOf(event);
    if (result == nullptr) {
        return;
    }
    const ResultText text = wholeTextOf(*result);
    const ExtractorOptions& options = session.extractor().options;
    if (text.status == S_OK && !options.quiet && options.showHypothesis) {
        echo(session, kHypothesisPrefix, text.text.get());
    }
}

}  // namespace

std::uint32_t hundredNsToMs(std::uint64_t value) {
    return static_cast<std::uint32_t>(value / kHundredNsPerMs);
}

std::uint32_t streamBytesToMs(std::uint64_t bytes, const WAVEFORMATEX& format) {
    if (format.nAvgBytesPerSec == 0) {
        return 0;
    }
    const std::uint64_t ms = bytes / format.nAvgBytesPerSec * kMsPerSecond +
                             bytes % format.nAvgBytesPerSec * kMsPerSecond / format.nAvgBytesPerSec;
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(ms, std::numeric_limits<std::uint32_t>::max()));
}

std::uint32_t bytesToMs(std::uint32_t bytes, const WAVEFORMATEX& format) {
    if (format.nAvgBytesPerSec == 0) {
        return 0;
    }
    return static_cast<std::uint32_t>(std::uint64_t{bytes} * kMsPerSecond / format.nAvgBytesPerSec);
}

void handleEvent(RecognitionSession& session, const SPEVENT& event) {
    switch (event.eEventId) {
        case SPEI_END_SR_STREAM:
            if (const WAVEFORMATEX* format = session.waveFormat()) {
                session.extractor().timeline.audioLength =
                    streamBytesToMs(event.ullAudioStreamOffset, *format);
            }
            session.markEndOfStream();
            break;
        case SPEI_RECOGNITION:
            handleFinalResult(session, event, kRecognitionPrefix);
            break;
        case SPEI_FALSE_RECOGNITION:
            handleFinalResult(session, event, kFalseRecognitionPrefix);
            break;
        case SPEI_HYPOTHESIS:
            handleHypothesis(session, event);
            break;
        default:
            break;
    }
}

}  // namespace phonemes
