#include "engine/phrase_cutter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace phonemes::engine {
namespace {

constexpr int kRate = 16000;

struct Phrase {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint64_t audio = 0;  // samples passed on between begin and end
};

// Records phrases and checks that the cutter's calls come in a sound order.
class RecordingSink : public PhraseSink {
  public:
    void phraseBegins(std::uint64_t startSample) override {
        EXPECT_FALSE(open_) << "a phrase began inside another";
        if (!phrases.empty()) {
            EXPECT_GE(startSample, phrases.back().end) << "phrases overlap";
        }
        open_ = true;
        phrases.push_back({startSample, 0, 0});
    }
    void phraseAudio(std::span<const std::int16_t> samples) override {
        ASSERT_TRUE(open_) << "audio outside a phrase";
        phrases.back().audio += samples.size();
    }
    void phraseEnds(std::uint64_t endSample) override {
        ASSERT_TRUE(open_) << "a phrase ended that had not begun";
        open_ = false;
        phrases.back().end = endSample;
        EXPECT_EQ(phrases.back().audio, endSample - phrases.back().start)
            << "the phrase's audio has gaps or extra samples";
    }

    std::vector<Phrase> phrases;

  private:
    bool open_ = false;
};

// Test signals: syllable-like bursts (a tone whose level dips for 50 ms in every 250 ms, as
// speech does between syllables; each burst begins and ends at full level), silence and steady
// noise.
class Signal {
  public:
    Signal& silence(double seconds) {
        samples.resize(samples.size() + count(seconds), 0);
        return *this;
    }
    Signal& speech(double seconds, double level = 0.25) {
        const std::size_t n = count(seconds);
        for (std::size_t i = 0; i < n; ++i) {
            const bool dip = (i % 4000) >= 1600 && (i % 4000) < 2400;  // 50 ms of each 250 ms
            const double amplitude = level * (dip ? 0.05 : 1.0);
            samples.push_back(static_cast<std::int16_t>(
                32767.0 * amplitude * std::sin(2.0 * std::numbers::pi * 220.0 * i / kRate)));
        }
        return *this;
    }
    // Adds white noise of the given peak level over everything so far.
    Signal& withNoise(double level) {
        std::uint32_t state = 12345;
        for (std::int16_t& s : samples) {
            state = state * 1664525u + 1013904223u;
            const double noise = (static_cast<double>(state >> 8) / (1u << 24) - 0.5) * 2.0;
            s = static_cast<std::int16_t>(
                std::clamp(s + 32767.0 * level * noise, -32768.0, 32767.0));
        }
        return *this;
    }

    std::vector<std::int16_t> samples;

  private:
    static std::size_t count(double seconds) { return static_cast<std::size_t>(seconds * kRate); }
};

std::uint64_t at(double seconds) {
    return static_cast<std::uint64_t>(seconds * kRate);
}

std::vector<Phrase> cut(const std::vector<std::int16_t>& samples, std::size_t blockSize = 1000) {
    RecordingSink sink;
    PhraseCutter cutter(sink);
    for (std::size_t pos = 0; pos < samples.size(); pos += blockSize) {
        cutter.push(std::span(samples).subspan(pos, std::min(blockSize, samples.size() - pos)));
    }
    cutter.finish();
    return sink.phrases;
}

TEST(PhraseCutter, SilenceAndNothingGiveNoPhrase) {
    EXPECT_TRUE(cut({}).empty());
    EXPECT_TRUE(cut(Signal().silence(3.0).samples).empty());
    EXPECT_TRUE(cut(Signal().silence(3.0).withNoise(0.01).samples).empty());
}

TEST(PhraseCutter, APhraseHasALeadInAndEndsAfterAPause) {
    const auto phrases = cut(Signal().silence(1.0).speech(0.5).silence(2.0).samples);
    ASSERT_EQ(phrases.size(), 1u);
    EXPECT_EQ(phrases[0].start, at(1.0 - 0.3));
    EXPECT_EQ(phrases[0].end, at(1.5 + 0.5));
}

TEST(PhraseCutter, BlockSizeDoesNotMatter) {
    const auto samples = Signal().silence(0.8).speech(0.7).silence(1.0).speech(0.4).samples;
    const auto reference = cut(samples, 1);
    ASSERT_EQ(reference.size(), 2u);
    for (std::size_t block : {7u, 160u, 1600u, 100000u}) {
        const auto phrases = cut(samples, block);
        ASSERT_EQ(phrases.size(), reference.size()) << block;
        for (std::size_t i = 0; i < phrases.size(); ++i) {
            EXPECT_EQ(phrases[i].start, reference[i].start) << block;
            EXPECT_EQ(phrases[i].end, reference[i].end) << block;
        }
    }
}

TEST(PhraseCutter, AShortPauseKeepsOnePhraseALongOneCutsIt) {
    const auto joined =
        cut(Signal().silence(0.5).speech(0.5).silence(0.3).speech(0.5).silence(1.0).samples);
    ASSERT_EQ(joined.size(), 1u);

    const auto split =
        cut(Signal().silence(0.5).speech(0.5).silence(0.6).speech(0.5).silence(1.0).samples);
    ASSERT_EQ(split.size(), 2u);
    EXPECT_EQ(split[0].end, at(1.0 + 0.5));
    // The second lead-in cannot reach back into the first phrase.
    EXPECT_EQ(split[1].start, at(1.5));
}

TEST(PhraseCutter, SpeechAtTheEdgesOfTheStream) {
    // Speech from the first sample: no room for a lead-in. Speech to the last sample, which is
    // not a whole frame: the phrase ends with the stream.
    auto samples = Signal().speech(0.6).silence(1.0).speech(0.3).samples;
    samples.resize(samples.size() + 37, 1000);
    const auto phrases = cut(samples);
    ASSERT_EQ(phrases.size(), 2u);
    EXPECT_EQ(phrases[0].start, 0u);
    EXPECT_EQ(phrases[1].end, samples.size());
}

TEST(PhraseCutter, AClickOpensNoPhrase) {
    const auto phrases = cut(Signal().silence(1.0).speech(0.02).silence(1.0).samples);
    EXPECT_TRUE(phrases.empty());
}

TEST(PhraseCutter, SpeechIsTakenRelativeToSteadyNoise) {
    const auto phrases =
        cut(Signal().silence(1.5).speech(0.5).silence(1.5).withNoise(0.02).samples);
    ASSERT_EQ(phrases.size(), 1u);
    EXPECT_NEAR(static_cast<double>(phrases[0].start), static_cast<double>(at(1.2)), 0.05 * kRate);
}

TEST(PhraseCutter, SpeechTooQuietToTellFromSilenceIsIgnored) {
    // About 66 dB below full scale.
    EXPECT_TRUE(cut(Signal().silence(1.0).speech(0.5, 0.0007).silence(1.0).samples).empty());
}

TEST(PhraseCutter, SpeechWithoutPausesIsCutIntoBoundedPhrases) {
    const auto samples = Signal().speech(75.0).samples;
    const auto phrases = cut(samples, 16000);
    ASSERT_GE(phrases.size(), 2u);
    std::uint64_t covered = 0;
    for (const Phrase& p : phrases) {
        EXPECT_EQ(p.start, covered) << "nothing is dropped between phrases of continuous speech";
        EXPECT_LE(p.end - p.start, PhraseCutter::kMaxPhraseFrames * kDetectorFrameSamples);
        covered = p.end;
    }
    EXPECT_EQ(covered, samples.size());
}

}  // namespace
}  // namespace phonemes::engine
