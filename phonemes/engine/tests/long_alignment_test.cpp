#include "engine/long_alignment.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <sstream>
#include <string>
#include <vector>

#include "engine/audio_source.h"
#include "engine/pronunciation.h"
#include "engine/recognizer.h"
#include "engine/speech_model.h"
#include "engine/transcript_alignment.h"
#include "speech_synth.h"
#include "test_support.h"

// Long recordings aligned stretch by stretch, on espeak-ng speech made by the test: the limits
// are lowered to stretches of a few seconds, so that a file of a few sentences takes the path a
// file of an hour takes.
namespace phonemes::engine {
namespace {

using testing::SynthesizedSpeech;

// Twice the one pass's tolerance: stretches of 3 s are each normalised on 3 s of audio alone.
// Losing one's place at a seam moves words by hundreds of milliseconds.
constexpr int kWordToleranceMs = 100;
constexpr int kPauseMs = 700;

constexpr std::uint64_t secondsOf(double seconds) {
    return static_cast<std::uint64_t>(seconds * kModelSampleRate);
}
// Stretches of 3 s: every file below is several stretches long.
constexpr LongAlignmentLimits kShortStretches{secondsOf(2), secondsOf(3), secondsOf(1)};

// Keeps the phrases and hypotheses of a recognition, and how it ended.
class Recording : public RecognitionListener {
  public:
    void onHypothesis(const std::string& text) override { log << "hypothesis " << text << '\n'; }
    void onPhrase(const RecognizedPhrase& phrase, PhraseKind kind) override {
        phrases.push_back(phrase);
        kinds.push_back(kind);
        log << (kind == PhraseKind::kRecognition ? "recognition " : "false recognition ")
            << phrase.startSample << '+' << phrase.sampleCount << ' ' << phrase.streamStart << '+'
            << phrase.streamSize << '\n';
        for (const RecognizedWord& w : phrase.words) {
            log << "  " << w.text << ' ' << w.startSample << '+' << w.sampleCount << ' '
                << w.streamOffset << '+' << w.streamSize << " phones " << w.phones.size();
            for (const PhoneSpan& s : w.phoneSpans) {
                log << ' ' << s.startSample << '+' << s.sampleCount;
            }
            log << '\n';
        }
    }
    void onEndOfStream(std::uint64_t streamSize) override { log << "end " << streamSize << '\n'; }

    std::vector<RecognizedPhrase> phrases;
    std::vector<PhraseKind> kinds;
    std::ostringstream log;  // everything delivered, in order
};

int msOf(std::uint64_t sample) {
    return static_cast<int>(sample * 1000 / kModelSampleRate);
}

class LongAlignment : public ::testing::TestWithParam<bool> {
  protected:
    // The sentences one after another, each followed by a pause; the synthesiser's word events
    // are moved to the joined file's time.
    SynthesizedSpeech speakJoined(const std::vector<std::string>& sentences) {
        SynthesizedSpeech joined;
        for (const std::string& sentence : sentences) {
            SynthesizedSpeech speech = testing::synthesize(sentence);
            joined.sampleRate = speech.sampleRate;
            const int offsetMs = joined.durationMs();
            for (testing::SpokenWord& word : speech.words) {
                if (!dictionaryFormOf(word.text).empty()) {
                    joined.words.push_back({word.text, word.startMs + offsetMs});
                }
            }
            joined.samples.insert(joined.samples.end(), speech.samples.begin(),
                                  speech.samples.end());
            const auto pause = testing::silence(speech.sampleRate, kPauseMs);
            joined.samples.insert(joined.samples.end(), pause.begin(), pause.end());
        }
        testing::writeAudio(dir_ / "joined.wav", joined.samples, joined.sampleRate,
                            {joined.sampleRate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16});
        return joined;
    }

    Recording align(const std::string& transcript, const LongAlignmentLimits& limits) {
        Recording recording;
        auto source = AudioSource::open(dir_ / "joined.wav");
        SpeechModel& model = SpeechModel::shared();
        const auto lock = model.lock();
        alignTranscript(model, GetParam(), *source, transcript, recording, {}, limits);
        return recording;
    }

    // The spoken words from `first` on are placed in order, each once, within the tolerance.
    static void expectPlacedWhereSpoken(const RecognizedPhrase& phrase,
                                        const std::vector<testing::SpokenWord>& spoken,
                                        std::size_t first, std::size_t count) {
        std::size_t next = 0;
        for (std::size_t i = first; i < first + count; ++i) {
            const std::string form = dictionaryFormOf(spoken[i].text);
            while (next < phrase.words.size() &&
                   dictionaryFormOf(phrase.words[next].text) != form) {
                ++next;
            }
            ASSERT_LT(next, phrase.words.size()) << "not placed: " << spoken[i].text;
            EXPECT_NEAR(msOf(phrase.words[next].startSample), spoken[i].startMs, kWordToleranceMs)
                << spoken[i].text;
            ++next;
        }
    }

    phonemes::testing::TempDir dir_;
};

std::string joinedText(const std::vector<std::string>& sentences) {
    std::string text;
    for (const std::string& s : sentences) {
        text += (text.empty() ? "" : " ") + s;
    }
    return text;
}

// Several stretches, each with its part of the transcript, give one phrase with every word,
// once and in order, where it was spoken; with phone times, each word's phones fill it.
TEST_P(LongAlignment, PlacesEveryWordOfAFileOfManyStretchesWhereItWasSpoken) {
    const std::vector<std::string> sentences = {
        "the old lighthouse keeper climbed the stairs", "a storm was gathering over the bay",
        "he lit the lamp and watched the ships", "by morning the sea was calm again"};
    const SynthesizedSpeech speech = speakJoined(sentences);
    ASSERT_GT(speech.durationMs(), 3 * msOf(kShortStretches.stretchSamples))
        << "the file must hold several stretches";
    const Recording recording = align(joinedText(sentences), kShortStretches);
    ASSERT_EQ(recording.phrases.size(), 1u);
    EXPECT_EQ(recording.kinds[0], PhraseKind::kRecognition);
    const RecognizedPhrase& phrase = recording.phrases[0];
    ASSERT_EQ(phrase.words.size(), speech.words.size()) << phrase.text;
    EXPECT_EQ(phrase.text, joinedText(sentences));
    expectPlacedWhereSpoken(phrase, speech.words, 0, speech.words.size());
    for (const RecognizedWord& w : phrase.words) {
        if (GetParam()) {
            ASSERT_EQ(w.phoneSpans.size(), w.phones.size()) << w.text;
            EXPECT_EQ(w.phoneSpans.front().startSample, w.startSample) << w.text;
        } else {
            EXPECT_TRUE(w.phoneSpans.empty()) << w.text;
        }
    }
}

// Speech without a pause longer than a stretch: the stretch ends inside a word. That word
// belongs to the next stretch, which begins where the words kept end, so no word is lost at the
// cut or placed twice.
TEST_P(LongAlignment, KeepsAWordThatStraddlesACutWholeInOneStretch) {
    const std::vector<std::string> sentences = {
        "the committee considered several proposals about the new library building and "
        "decided to postpone its final recommendation until the spring"};
    const SynthesizedSpeech speech = speakJoined(sentences);
    const int cutMs = msOf(kShortStretches.stretchSamples);
    bool straddled = false;
    for (std::size_t i = 0; i + 1 < speech.words.size(); ++i) {
        straddled = straddled || (speech.words[i].startMs < cutMs - 50 &&
                                  speech.words[i + 1].startMs > cutMs + 50);
    }
    ASSERT_TRUE(straddled) << "a word must be spoken across the first stretch's end";
    const Recording recording = align(joinedText(sentences), kShortStretches);
    ASSERT_EQ(recording.phrases.size(), 1u);
    EXPECT_EQ(recording.kinds[0], PhraseKind::kRecognition);
    EXPECT_EQ(recording.phrases[0].text, joinedText(sentences));
    expectPlacedWhereSpoken(recording.phrases[0], speech.words, 0, speech.words.size());
}

// A stretch whose transcript says other words than were spoken does not make the alignment
// lose its place: the words before it, and those of the sentence after the next, are still
// placed where they were spoken. (The sentence right after the wrong one may lend it time.)
TEST_P(LongAlignment, PlacesTheRestAroundAStretchWhoseTranscriptDoesNotMatch) {
    const std::vector<std::string> spoken = {
        "the old lighthouse keeper climbed the stairs", "a storm was gathering over the bay",
        "he lit the lamp and watched the ships", "by morning the sea was calm again"};
    const SynthesizedSpeech speech = speakJoined(spoken);
    std::vector<std::string> written = spoken;
    written[1] = "seven purple cats slept under tables";
    const Recording recording = align(joinedText(written), kShortStretches);
    ASSERT_EQ(recording.phrases.size(), 1u);
    const RecognizedPhrase& phrase = recording.phrases[0];
    const std::size_t firstCount = 7;     // "the old lighthouse keeper climbed the stairs"
    const std::size_t lastSentence = 22;  // "by morning the sea was calm again"
    ASSERT_EQ(speech.words.size(), lastSentence + 7);
    expectPlacedWhereSpoken(phrase, speech.words, 0, firstCount);
    expectPlacedWhereSpoken(phrase, speech.words, lastSentence, 7);
    EXPECT_NE(phrase.text.find("by morning the sea was calm again"), std::string::npos)
        << phrase.text;
}

// Words past the end of what was spoken leave the record, which is then a false recognition
// of the words that were placed, as for a short file whose audio cannot hold its transcript.
TEST_P(LongAlignment, LeavesOutWordsTheAudioCannotHoldAsAFalseRecognition) {
    const std::vector<std::string> spoken = {"the old lighthouse keeper climbed the stairs",
                                             "a storm was gathering over the bay"};
    const SynthesizedSpeech speech = speakJoined(spoken);
    std::string written = joinedText(spoken);
    for (int i = 0; i < 200; ++i) {
        written += " and then the lighthouse keeper went home";
    }
    const Recording recording = align(written, kShortStretches);
    ASSERT_EQ(recording.phrases.size(), 1u);
    EXPECT_EQ(recording.kinds[0], PhraseKind::kFalseRecognition);
    expectPlacedWhereSpoken(recording.phrases[0], speech.words, 0, speech.words.size());
}

// A file no longer than one stretch takes the one pass exactly as before: the same phrases,
// words, phone spans and hypotheses as the recogniser gives with its own limits.
TEST_P(LongAlignment, AlignsAFileOfOneStretchExactlyAsTheOnePassDoes) {
    const std::vector<std::string> sentences = {"a storm was gathering over the bay",
                                                "he lit the lamp and watched the ships"};
    speakJoined(sentences);
    Recording byRecognizer;
    {
        auto source = AudioSource::open(dir_ / "joined.wav");
        Recognizer(SpeechModel::shared(), {.alignPhones = GetParam()})
            .recognizeTranscript(*source, joinedText(sentences), byRecognizer);
    }
    auto source = AudioSource::open(dir_ / "joined.wav");
    const std::uint64_t length = source->lengthInModelSamples().value();
    LongAlignmentLimits justOneStretch = kShortStretches;
    justOneStretch.oneStretchSamples = length;
    EXPECT_EQ(align(joinedText(sentences), justOneStretch).log.str(), byRecognizer.log.str());
    justOneStretch.oneStretchSamples = length - 1;
    const Recording inStretches = align(joinedText(sentences), justOneStretch);
    EXPECT_NE(inStretches.log.str(), byRecognizer.log.str());
    ASSERT_EQ(inStretches.phrases.size(), 1u);
    EXPECT_EQ(inStretches.phrases[0].text, byRecognizer.phrases.at(0).text);
}

INSTANTIATE_TEST_SUITE_P(Modes, LongAlignment, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "aligned" : "spread"; });

}  // namespace
}  // namespace phonemes::engine
