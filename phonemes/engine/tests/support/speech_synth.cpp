#include "speech_synth.h"

#include <espeak-ng/speak_lib.h>
#include <sndfile.h>
#include <soxr.h>

#include <cstring>
#include <memory>
#include <stdexcept>

namespace phonemes::engine::testing {

namespace {

constexpr const char* kVoice = "en-us";

struct SynthesisInProgress {
    SynthesizedSpeech* speech = nullptr;
    std::u32string text;  // word events count characters, not bytes
};

SynthesisInProgress* current = nullptr;

std::string utf8Of(std::u32string_view text) {
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u32string codePointsOf(std::string_view text) {
    std::u32string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        char32_t value = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k) {
            value = (value << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        out += value;
        i += length;
    }
    return out;
}

int collect(short* wav, int count, espeak_EVENT* events) {
    SynthesizedSpeech& speech = *current->speech;
    if (wav && count > 0) {
        speech.samples.insert(speech.samples.end(), wav, wav + count);
    }
    for (espeak_EVENT* event = events; event && event->type != espeakEVENT_LIST_TERMINATED;
         ++event) {
        if (event->type == espeakEVENT_WORD) {
            // text_position counts characters from 1.
            const std::size_t begin =
                static_cast<std::size_t>(std::max(event->text_position, 1)) - 1;
            speech.words.push_back(
                {utf8Of(std::u32string_view(current->text)
                            .substr(std::min(begin, current->text.size()),
                                    static_cast<std::size_t>(std::max(event->length, 0)))),
                 event->audio_position});
        } else if (event->type == espeakEVENT_PHONEME) {
            speech.phones.push_back(
                {std::string(event->id.string, strnlen(event->id.string, sizeof event->id.string)),
                 event->audio_position});
        }
    }
    return 0;  // go on
}

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

}  // namespace

SynthesizedSpeech synthesize(std::string_view text, int wordsPerMinute) {
    // Initialised for every synthesis: the recogniser's letter-to-sound lookups may have
    // initialised espeak-ng without phone events in between.
    const int rate =
        espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr,
                          espeakINITIALIZE_PHONEME_EVENTS | espeakINITIALIZE_PHONEME_IPA |
                              espeakINITIALIZE_DONT_EXIT);
    if (rate <= 0 || espeak_SetVoiceByName(kVoice) != EE_OK) {
        throw std::runtime_error("espeak-ng cannot speak");
    }
    espeak_SetParameter(espeakRATE, wordsPerMinute, 0);
    espeak_SetSynthCallback(collect);

    SynthesizedSpeech speech;
    speech.sampleRate = rate;
    const std::string textCopy(text);
    SynthesisInProgress progress{&speech, codePointsOf(textCopy)};
    current = &progress;
    const espeak_ERROR error = espeak_Synth(textCopy.c_str(), textCopy.size() + 1, 0, POS_CHARACTER,
                                            0, espeakCHARS_UTF8, nullptr, nullptr);
    espeak_Synchronize();
    current = nullptr;
    if (error != EE_OK) {
        throw std::runtime_error("espeak-ng refused the text");
    }
    return speech;
}

std::vector<std::int16_t> resample(const std::vector<std::int16_t>& samples, int fromRate,
                                   int toRate) {
    if (fromRate == toRate || samples.empty()) {
        return samples;
    }
    std::vector<std::int16_t> out(
        samples.size() * static_cast<std::size_t>(toRate) / static_cast<std::size_t>(fromRate) + 1);
    std::size_t produced = 0;
    // Without dither, so that a file written twice is the same file: the recogniser's alignment
    // moves with even the faintest noise.
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_error_t error =
        soxr_oneshot(fromRate, toRate, 1, samples.data(), samples.size(), nullptr, out.data(),
                     out.size(), &produced, &io, &quality, nullptr);
    if (error) {
        throw std::runtime_error(std::string("resampling failed: ") + error);
    }
    out.resize(produced);
    return out;
}

std::vector<std::int16_t> silence(int sampleRate, int milliseconds) {
    return std::vector<std::int16_t>(static_cast<std::size_t>(sampleRate) * milliseconds / 1000, 0);
}

void writeAudio(const std::filesystem::path& path, const std::vector<std::int16_t>& samples,
                int sampleRate, const WavLayout& layout) {
    const std::vector<std::int16_t> atRate = resample(samples, sampleRate, layout.sampleRate);
    SF_INFO info{};
    info.samplerate = layout.sampleRate;
    info.channels = layout.channels;
    info.format = layout.format;
    std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(path.c_str(), SFM_WRITE, &info));
    if (!file) {
        throw std::runtime_error("cannot write " + path.string() + ": " + sf_strerror(nullptr));
    }
    // Written as normalised floating point: libsndfile scales that to every encoding, while
    // 16-bit integers would be stored unscaled in floating-point files.
    constexpr double kFullScale = 32768.0;
    std::vector<double> frames;
    frames.reserve(atRate.size() * static_cast<std::size_t>(layout.channels));
    for (std::int16_t sample : atRate) {
        frames.insert(frames.end(), static_cast<std::size_t>(layout.channels), sample / kFullScale);
    }
    const auto count = static_cast<sf_count_t>(atRate.size());
    if (sf_writef_double(file.get(), frames.data(), count) != count) {
        throw std::runtime_error("cannot write " + path.string() + ": " + sf_strerror(file.get()));
    }
}

}  // namespace phonemes::engine::testing
