#include "engine/recognizer.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <random>
#include <sstream>
#include <thread>
#include <variant>

#include "engine/audio_source.h"
#include "engine/phone_set.h"
#include "engine/pronunciation.h"
#include "engine/speech_model.h"
#include "speech_synth.h"
#include "test_support.h"

// Recognition of speech made by espeak-ng in the test, checked against the synthesiser's own
// word times. The model is loaded once per test process.
namespace phonemes::engine {
namespace {

namespace fs = std::filesystem;
using testing::SynthesizedSpeech;

// How far a recognised word start may lie from the synthesiser's word event.
constexpr int kWordToleranceMs = 50;

using phonemes::testing::TempDir;

struct Hypothesis {
    std::string text;
};
struct Phrase {
    RecognizedPhrase phrase;
    PhraseKind kind;
};
struct EndOfStream {
    std::uint64_t streamSize;
};
using Event = std::variant<Hypothesis, Phrase, EndOfStream>;

// Records what a recognition delivers, in order. Events are built in place: moving a temporary
// alternative into the variant draws a false maybe-uninitialized warning from GCC 12 at -O2.
class Recording : public RecognitionListener {
  public:
    void onHypothesis(const std::string& text) override {
        events.emplace_back(std::in_place_type<Hypothesis>, text);
    }
    void onPhrase(const RecognizedPhrase& phrase, PhraseKind kind) override {
        events.emplace_back(std::in_place_type<Phrase>, phrase, kind);
    }
    void onEndOfStream(std::uint64_t streamSize) override {
        events.emplace_back(std::in_place_type<EndOfStream>, streamSize);
    }

    std::vector<Phrase> phrases() const {
        std::vector<Phrase> result;
        for (const Event& event : events) {
            if (const auto* phrase = std::get_if<Phrase>(&event)) {
                result.push_back(*phrase);
            }
        }
        return result;
    }
    bool ended() const {
        return !events.empty() && std::holds_alternative<EndOfStream>(events.back());
    }

    std::vector<Event> events;
};

int msOf(std::uint64_t sample) {
    return static_cast<int>(sample * 1000 / kModelSampleRate);
}

std::vector<std::string> textsOf(const RecognizedPhrase& phrase) {
    std::vector<std::string> texts;
    for (const RecognizedWord& word : phrase.words) {
        texts.push_back(word.text);
    }
    return texts;
}

std::string phoneNamesOfWord(const RecognizedWord& word) {
    return phoneNamesOf(word.phones).value_or("<unknown phone>");
}

class RecognizerTest : public ::testing::Test {
  protected:
    static constexpr int kLeadInMs = 400;

    // Speech of the text after kLeadInMs of silence, written as 16-bit WAV at the synthesiser's
    // rate; word events are moved by the lead-in.
    SynthesizedSpeech speak(const std::string& text, const std::string& name,
                            int pauseAfterMs = 300, int wordsPerMinute = 160) {
        SynthesizedSpeech speech = testing::synthesize(text, wordsPerMinute);
        auto samples = testing::silence(speech.sampleRate, kLeadInMs);
        samples.insert(samples.end(), speech.samples.begin(), speech.samples.end());
        const auto after = testing::silence(speech.sampleRate, pauseAfterMs);
        samples.insert(samples.end(), after.begin(), after.end());
        speech.samples = std::move(samples);
        for (auto& word : speech.words) {
            word.startMs += kLeadInMs;
        }
        write(name, speech);
        return speech;
    }

    void write(const std::string& name, const SynthesizedSpeech& speech,
               int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16, int rate = 0, int channels = 1) {
        testing::writeAudio(dir_ / name, speech.samples, speech.sampleRate,
                            {rate ? rate : speech.sampleRate, channels, format});
    }

    Recording transcribe(const std::string& name, const std::string& transcript,
                         bool alignPhones = false) {
        Recording recording;
        auto source = AudioSource::open(dir_ / name);
        (alignPhones ? aligner_ : recognizer_).recognizeTranscript(*source, transcript, recording);
        check(recording, *source);
        return recording;
    }

    Recording dictate(const std::string& name, bool alignPhones = false) {
        Recording recording;
        auto source = AudioSource::open(dir_ / name);
        (alignPhones ? aligner_ : recognizer_).recognizeDictation(*source, recording);
        check(recording, *source);
        return recording;
    }

    // What every completed recognition must satisfy: one end of stream, last; phrases in order
    // with their words inside them and byte positions agreeing with the samples; hypotheses
    // never empty and never twice the same in a row.
    static void check(const Recording& recording, const AudioSource& source) {
        ASSERT_TRUE(recording.ended());
        std::uint64_t previousEnd = 0;
        std::string previousHypothesis;
        for (std::size_t i = 0; i < recording.events.size(); ++i) {
            const Event& event = recording.events[i];
            if (const auto* end = std::get_if<EndOfStream>(&event)) {
                EXPECT_EQ(i + 1, recording.events.size()) << "end of stream is the last event";
                EXPECT_GT(end->streamSize, 0u);
            } else if (const auto* hypothesis = std::get_if<Hypothesis>(&event)) {
                EXPECT_FALSE(hypothesis->text.empty());
                EXPECT_NE(hypothesis->text, previousHypothesis);
                previousHypothesis = hypothesis->text;
            } else {
                const RecognizedPhrase& p = std::get<Phrase>(event).phrase;
                EXPECT_GE(p.startSample, previousEnd);
                previousEnd = p.startSample + p.sampleCount;
                EXPECT_EQ(p.startTime(), p.startSample * 625);
                EXPECT_EQ(p.duration(), p.sampleCount * 625);
                EXPECT_EQ(p.streamStart, source.byteOffsetOf(p.startSample));
                EXPECT_EQ(p.streamSize, source.byteOffsetOf(previousEnd) - p.streamStart);
                std::string text;
                for (const RecognizedWord& w : p.words) {
                    checkPhoneSpans(w, p, source);
                    EXPECT_GE(w.startSample, p.startSample);
                    EXPECT_LE(w.startSample + w.sampleCount, previousEnd);
                    EXPECT_EQ(w.streamOffset, source.byteOffsetOf(w.startSample) - p.streamStart);
                    EXPECT_EQ(w.streamSize, source.byteOffsetOf(w.startSample + w.sampleCount) -
                                                source.byteOffsetOf(w.startSample));
                    text += (text.empty() ? "" : " ") + w.text;
                }
                EXPECT_EQ(p.text, text);
                previousHypothesis.clear();
            }
        }
    }

    // A word's phone spans, when it has them: one per phone, in order, without gaps, from the
    // word's start to its end, with byte positions agreeing with the samples.
    static void checkPhoneSpans(const RecognizedWord& w, const RecognizedPhrase& p,
                                const AudioSource& source) {
        if (w.phoneSpans.empty()) {
            return;
        }
        ASSERT_EQ(w.phoneSpans.size(), w.phones.size()) << w.text;
        std::uint64_t next = w.startSample;
        for (const PhoneSpan& span : w.phoneSpans) {
            EXPECT_EQ(span.startSample, next) << w.text;
            EXPECT_GT(span.sampleCount, 0u) << w.text;
            next = span.startSample + span.sampleCount;
            EXPECT_EQ(span.streamOffset, source.byteOffsetOf(span.startSample) - p.streamStart);
            EXPECT_EQ(span.streamSize,
                      source.byteOffsetOf(next) - source.byteOffsetOf(span.startSample));
        }
        EXPECT_EQ(next, w.startSample + w.sampleCount) << w.text;
    }

    // Every word the synthesiser announced is recognised, in order, within the tolerance.
    static void expectWordsWhereSpoken(const RecognizedPhrase& phrase,
                                       const SynthesizedSpeech& speech,
                                       int toleranceMs = kWordToleranceMs) {
        std::size_t next = 0;
        for (const testing::SpokenWord& spoken : speech.words) {
            const std::string form = dictionaryFormOf(spoken.text);
            if (form.empty()) {
                continue;  // espeak-ng now and then announces an empty word at the end
            }
            while (next < phrase.words.size() &&
                   dictionaryFormOf(phrase.words[next].text) != form) {
                ++next;
            }
            ASSERT_LT(next, phrase.words.size()) << "not recognised: " << spoken.text;
            EXPECT_NEAR(msOf(phrase.words[next].startSample), spoken.startMs, toleranceMs)
                << spoken.text;
            ++next;
        }
    }

    TempDir dir_;
    Recognizer recognizer_{SpeechModel::shared()};
    Recognizer aligner_{SpeechModel::shared(), {.alignPhones = true}};
};

TEST_F(RecognizerTest, TranscriptIsAlignedWhereTheWordsWereSpoken) {
    const auto speech = speak("the quick brown fox jumps over the lazy dog", "fox.wav");
    const Recording recording =
        transcribe("fox.wav", "The quick, brown fox  jumps over the lazy dog.");
    const auto phrases = recording.phrases();
    ASSERT_EQ(phrases.size(), 1u);
    EXPECT_EQ(phrases[0].kind, PhraseKind::kRecognition);
    const RecognizedPhrase& phrase = phrases[0].phrase;
    EXPECT_EQ(textsOf(phrase), (std::vector<std::string>{"The", "quick,", "brown", "fox", "jumps",
                                                         "over", "the", "lazy", "dog."}));
    // One phrase over the whole file.
    EXPECT_EQ(phrase.startSample, 0u);
    EXPECT_EQ(msOf(phrase.sampleCount), speech.durationMs());
    EXPECT_EQ(phoneNamesOfWord(phrase.words[3]), "f aa k s");
    EXPECT_EQ(phoneNamesOfWord(phrase.words[4]), "jh ah m p s");
    expectWordsWhereSpoken(phrase, speech);
}

TEST_F(RecognizerTest, AWordTheDictionaryLacksGetsALetterToSoundPronunciation) {
    const auto speech = speak("the glimmerax bounced over the hill", "glimmerax.wav");
    const Recording recording = transcribe("glimmerax.wav", "The Glimmerax bounced over the hill");
    const auto phrases = recording.phrases();
    ASSERT_EQ(phrases.size(), 1u);
    EXPECT_EQ(phrases[0].kind, PhraseKind::kRecognition);
    ASSERT_EQ(phrases[0].phrase.words.size(), 6u);
    EXPECT_EQ(phrases[0].phrase.words[1].text, "Glimmerax");
    EXPECT_EQ(phoneNamesOfWord(phrases[0].phrase.words[1]), "g l ih m er ae k s");
    expectWordsWhereSpoken(phrases[0].phrase, speech);
}

TEST_F(RecognizerTest, AWordWithoutAnyPronunciationIsLeftOut) {
    speak("good morning everybody", "morning.wav");
    // Two bytes that are no text at all: no letter-to-sound rule can pronounce them.
    const Recording recording = transcribe("morning.wav", "Good \xFF\xFE morning, everybody!");
    const auto phrases = recording.phrases();
    ASSERT_EQ(phrases.size(), 1u);
    EXPECT_EQ(phrases[0].kind, PhraseKind::kRecognition);
    EXPECT_EQ(textsOf(phrases[0].phrase),
              (std::vector<std::string>{"Good", "morning,", "everybody!"}));
}

// The words that fit are placed, in the transcript's order, and are a false recognition.
void expectFalseRecognitionOfWhatFits(const Recording& recording, bool alignPhones) {
    const auto phrases = recording.phrases();
    ASSERT_EQ(phrases.size(), 1u);
    EXPECT_EQ(phrases[0].kind, PhraseKind::kFalseRecognition);
    const std::vector<std::string> placed = textsOf(phrases[0].phrase);
    const std::vector<std::string> transcript = {"the",  "little", "bird", "flew",
                                                 "over", "the",    "hill"};
    ASSERT_FALSE(placed.empty());
    ASSERT_LE(placed.size(), transcript.size() + 2);
    for (std::size_t i = 0; i < std::min(placed.size(), transcript.size()); ++i) {
        EXPECT_EQ(placed[i], transcript[i]);
    }
    for (const RecognizedWord& word : phrases[0].phrase.words) {
        EXPECT_EQ(word.phoneSpans.size(), alignPhones ? word.phones.size() : 0u) << word.text;
    }
}

TEST_F(RecognizerTest, AudioTooShortForTheTranscriptGivesAFalseRecognitionOfWhatFits) {
    speak("the little bird flew over the hill", "bird.wav");
    for (bool alignPhones : {false, true}) {
        SCOPED_TRACE(alignPhones ? "phones aligned" : "phones spread");
        expectFalseRecognitionOfWhatFits(
            transcribe("bird.wav",
                       "the little bird flew over the hill and then it went home to sleep",
                       alignPhones),
            alignPhones);
    }
}

TEST_F(RecognizerTest, ATranscriptWithoutWordsRecognisesNothing) {
    speak("good morning", "morning.wav");
    for (const std::string transcript : {"", "   ", "-- ... !"}) {
        const Recording recording = transcribe("morning.wav", transcript);
        for (const Phrase& phrase : recording.phrases()) {
            EXPECT_EQ(phrase.kind, PhraseKind::kFalseRecognition);
            EXPECT_TRUE(phrase.phrase.words.empty());
        }
    }
}

TEST_F(RecognizerTest, DictationCutsPhrasesAtPausesAroundTheSpeech) {
    const SynthesizedSpeech first = testing::synthesize("please open the door");
    const SynthesizedSpeech second = testing::synthesize("thank you very much");
    const int rate = first.sampleRate;
    std::vector<std::int16_t> samples = testing::silence(rate, 500);
    samples.insert(samples.end(), first.samples.begin(), first.samples.end());
    const int secondStartMs = 500 + first.durationMs() + 1500;
    const auto pause = testing::silence(rate, 1500);
    samples.insert(samples.end(), pause.begin(), pause.end());
    samples.insert(samples.end(), second.samples.begin(), second.samples.end());
    const auto tail = testing::silence(rate, 800);
    samples.insert(samples.end(), tail.begin(), tail.end());
    write("two.wav", {rate, samples, {}, {}});

    const Recording recording = dictate("two.wav");
    const auto phrases = recording.phrases();
    ASSERT_EQ(phrases.size(), 2u);
    const std::pair<int, int> spoken[] = {{500, 500 + first.durationMs()},
                                          {secondStartMs, secondStartMs + second.durationMs()}};
    for (std::size_t i = 0; i < 2; ++i) {
        const RecognizedPhrase& p = phrases[i].phrase;
        // The phrase holds the whole utterance and not much more.
        EXPECT_LE(msOf(p.startSample), spoken[i].first);
        EXPECT_GE(msOf(p.startSample), spoken[i].first - 400);
        EXPECT_GE(msOf(p.startSample + p.sampleCount), spoken[i].second);
        EXPECT_LE(msOf(p.startSample + p.sampleCount), spoken[i].second + 800);
        EXPECT_EQ(phrases[i].kind,
                  p.words.empty() ? PhraseKind::kFalseRecognition : PhraseKind::kRecognition);
        // Whatever was recognised lies where something was said.
        for (const RecognizedWord& w : p.words) {
            EXPECT_GE(msOf(w.startSample), spoken[i].first - kWordToleranceMs) << w.text;
            EXPECT_LE(msOf(w.startSample + w.sampleCount), spoken[i].second + kWordToleranceMs)
                << w.text;
            EXPECT_EQ(w.text.find('('), std::string::npos) << "alternates show the plain word";
            EXPECT_FALSE(w.text.starts_with("<") || w.text.starts_with("[")) << "no fillers";
            EXPECT_FALSE(w.phones.empty()) << w.text;
        }
    }
    EXPECT_GE(phrases[0].phrase.words.size() + phrases[1].phrase.words.size(), 2u);
}

TEST_F(RecognizerTest, SilentAndEmptyFilesGiveNoPhrase) {
    const SynthesizedSpeech silent{16000, testing::silence(16000, 2000), {}, {}};
    write("silent.wav", silent);
    write("empty.wav", SynthesizedSpeech{16000, {}, {}, {}});
    for (const std::string name : {"silent.wav", "empty.wav"}) {
        Recording dictation;
        auto source = AudioSource::open(dir_ / name);
        recognizer_.recognizeDictation(*source, dictation);
        EXPECT_EQ(dictation.events.size(), 1u) << name;
        EXPECT_TRUE(dictation.ended()) << name;

        Recording alignment;
        source = AudioSource::open(dir_ / name);
        recognizer_.recognizeTranscript(*source, "hello there", alignment);
        EXPECT_EQ(alignment.events.size(), 1u) << name;
        EXPECT_TRUE(alignment.ended()) << name;
    }
}

TEST_F(RecognizerTest, AFileIsRecognisedTheSameWhateverCameBefore) {
    speak("she sells sea shells by the shore", "shells.wav");
    speak("a completely different sentence about the weather", "weather.wav");
    const auto wordsOf = [](const Recording& r) {
        std::vector<std::tuple<std::string, std::uint64_t, std::uint64_t>> words;
        for (const Phrase& p : r.phrases()) {
            for (const RecognizedWord& w : p.phrase.words) {
                words.emplace_back(w.text, w.startSample, w.sampleCount);
            }
        }
        return words;
    };
    const auto alignedFirst =
        wordsOf(transcribe("shells.wav", "she sells sea shells by the shore"));
    const auto dictatedFirst = wordsOf(dictate("shells.wav"));
    dictate("weather.wav");
    transcribe("weather.wav", "a completely different sentence about the weather");
    // Phone passes in between leave no trace either.
    dictate("weather.wav", true);
    transcribe("weather.wav", "a completely different sentence about the weather", true);
    EXPECT_EQ(wordsOf(dictate("shells.wav")), dictatedFirst);
    EXPECT_EQ(wordsOf(transcribe("shells.wav", "she sells sea shells by the shore")), alignedFirst);
}

// A file recognised after another on the same model against the same file recognised by a
// freshly loaded model. The recordings start with speech, with no silence before it, so that
// the file's first frames are speech; a hint that does not match its audio (a number the
// recording does not say) makes the alignment fragile enough to show state carried over from
// the file before: here, the cepstra of its last frames.
struct OrderCase {
    std::string name;
    std::optional<std::string> beforeHint;  // none: the file before is dictated
    std::optional<std::string> hint;        // none: the file is dictated

    friend void PrintTo(const OrderCase& c, std::ostream* out) { *out << c.name; }
};

class RecognitionOrder : public RecognizerTest, public ::testing::WithParamInterface<OrderCase> {
  protected:
    // Every phrase with its kind, words, phones and times, one line each.
    static std::string describe(const Recording& recording) {
        std::string text;
        for (const Phrase& p : recording.phrases()) {
            text += (p.kind == PhraseKind::kRecognition ? "recognition " : "false ") +
                    std::to_string(p.phrase.startSample) + "+" +
                    std::to_string(p.phrase.sampleCount) + ":";
            for (const RecognizedWord& w : p.phrase.words) {
                text += " " + w.text + "[" + phoneNamesOfWord(w) + "]@" +
                        std::to_string(w.startSample) + "+" + std::to_string(w.sampleCount);
            }
            text += "\n";
        }
        return text;
    }

    // Recognises the files in order on a model loaded for this purpose alone (on a thread of
    // its own, so that no earlier test has used it) and describes the last file's result.
    std::string recogniseOnFreshModel(
        const std::vector<std::pair<std::string, std::optional<std::string>>>& files) {
        std::string result;
        std::thread([&] {
            Recognizer recognizer(SpeechModel::forThisThread());
            for (const auto& [name, hint] : files) {
                Recording recording;
                auto source = AudioSource::open(dir_ / name);
                if (hint) {
                    recognizer.recognizeTranscript(*source, *hint, recording);
                } else {
                    recognizer.recognizeDictation(*source, recording);
                }
                result = describe(recording);
            }
        }).join();
        return result;
    }
};

TEST_P(RecognitionOrder, GivesTheResultOfTheFileRecognisedAlone) {
    const OrderCase& c = GetParam();
    write("before.wav", testing::synthesize("they painted the kitchen a bright yellow"));
    write("file.wav", testing::synthesize("the train leaves the station at noon"));
    const std::string alone = recogniseOnFreshModel({{"file.wav", c.hint}});
    ASSERT_FALSE(alone.empty());
    EXPECT_EQ(recogniseOnFreshModel({{"before.wav", c.beforeHint}, {"file.wav", c.hint}}), alone);
}

constexpr const char* kTrainWithNumber = "7 the train leaves the station at noon";

INSTANTIATE_TEST_SUITE_P(
    Cases, RecognitionOrder,
    ::testing::Values(
        OrderCase{"mismatchedHintAfterMatchingHint", "they painted the kitchen a bright yellow",
                  kTrainWithNumber},
        OrderCase{"mismatchedHintAfterDictation", std::nullopt, kTrainWithNumber},
        OrderCase{"dictationAfterHint", "they painted the kitchen a bright yellow",
                  std::nullopt}),
    [](const auto& info) { return info.param.name; });

// A phrase decoded with its own first frame as the frames before it is scored on its own audio
// alone: the same path as when the decoder is given the whole phrase at once, whatever it heard
// just before (here loud noise) and whatever blocks the audio comes in (a first block of 100 ms
// is too short for the decoder to bring frames, and so to fill the frames before them, on its
// own). Each phrase starts right in its first word, and its grammar asks for a number the
// recording does not say, so that its path is fragile enough to show what its first frames see.
TEST_F(RecognizerTest, APhraseOnItsOwnFirstFrameIsScoredOnItsOwnAudioAlone) {
    using enum SpeechModel::OpeningContext;
    std::vector<std::int16_t> noise(kModelSampleRate / 2);
    std::minstd_rand random(1);
    for (std::int16_t& sample : noise) {
        sample = static_cast<std::int16_t>(static_cast<int>(random() % 20001) - 10000);
    }
    SpeechModel& model = SpeechModel::shared();
    const auto lock = model.lock();
    const auto decode = [&model](std::span<const std::int16_t> audio, std::size_t blockSamples,
                                 SpeechModel::OpeningContext context) {
        EXPECT_TRUE(model.beginPhrase(context));
        for (std::size_t at = 0; at < audio.size(); at += blockSamples) {
            EXPECT_TRUE(model.process(audio.subspan(at, std::min(blockSamples, audio.size() - at))));
        }
        model.endPhrase();
        std::string path;
        for (const DecodedSegment& segment : model.finalSegments()) {
            path += segment.word + "@" + std::to_string(segment.firstFrame) + "-" +
                    std::to_string(segment.lastFrame) + " ";
        }
        return path;
    };

    for (const std::string text : {"she sells sea shells", "chocolate cake",
                                   "the train leaves the station at noon"}) {
        SynthesizedSpeech speech = testing::synthesize(text);
        auto phrase = testing::resample(speech.samples, speech.sampleRate, kModelSampleRate);
        phrase.erase(phrase.begin(), std::ranges::find_if(phrase, [](std::int16_t sample) {
                         return std::abs(sample) >= 300;
                     }));
        std::vector<WordPronunciations> grammar{{model.pronunciationOf("seven").value()}};
        std::istringstream words(text);
        for (std::string word; words >> word;) {
            grammar.push_back({model.pronunciationOf(word).value()});
        }
        model.beginFile();
        model.normaliseTo(phrase);
        const SpeechModel::Normalisation normalised = model.normalisation();
        ASSERT_TRUE(model.usePhoneSequence(grammar));
        const std::string whole = decode(phrase, phrase.size(), kOwnFirstFrame);
        ASSERT_FALSE(whole.empty()) << text;
        for (const std::size_t blockSamples : {1600u, 7u}) {
            decode(noise, 1600, kStreamed);
            model.restoreNormalisation(normalised);
            EXPECT_EQ(decode(phrase, blockSamples, kOwnFirstFrame), whole)
                << text << ", in blocks of " << blockSamples;
        }
    }
}

// Stops the recognition from its own listener, as a caller on another thread would.
class StoppingListener : public Recording {
  public:
    void onHypothesis(const std::string& text) override {
        Recording::onHypothesis(text);
        stop.request_stop();
    }
    std::stop_source stop;
};

TEST_F(RecognizerTest, AStoppedRecognitionEndsEarlyAndLeavesTheModelReady) {
    SynthesizedSpeech speech = testing::synthesize(
        "this is a rather long recording that nobody wants to hear until the end because it "
        "goes on and on about nothing in particular for quite a while");
    write("long.wav", speech);
    for (bool dictation : {true, false}) {
        StoppingListener listener;
        auto source = AudioSource::open(dir_ / "long.wav");
        if (dictation) {
            recognizer_.recognizeDictation(*source, listener, listener.stop.get_token());
        } else {
            recognizer_.recognizeTranscript(*source, "this is a rather long recording", listener,
                                            listener.stop.get_token());
        }
        EXPECT_FALSE(listener.events.empty());
        EXPECT_FALSE(listener.ended()) << "no end of stream after a stop";
        EXPECT_TRUE(listener.phrases().empty());
    }
    // A stop before the start: nothing at all.
    std::stop_source stopped;
    stopped.request_stop();
    Recording nothing;
    auto source = AudioSource::open(dir_ / "long.wav");
    recognizer_.recognizeDictation(*source, nothing, stopped.get_token());
    EXPECT_TRUE(nothing.events.empty());

    speak("good evening everybody", "evening.wav");
    const Recording after = transcribe("evening.wav", "good evening everybody");
    ASSERT_EQ(after.phrases().size(), 1u);
    EXPECT_EQ(after.phrases()[0].kind, PhraseKind::kRecognition);
}

TEST_F(RecognizerTest, RecognitionsOnTwoThreadsTakeTurns) {
    speak("one small step for a man", "step.wav");
    Recording first;
    Recording second;
    std::thread other([&] {
        auto source = AudioSource::open(dir_ / "step.wav");
        Recognizer(SpeechModel::shared())
            .recognizeTranscript(*source, "one small step for a man", first);
    });
    {
        auto source = AudioSource::open(dir_ / "step.wav");
        recognizer_.recognizeTranscript(*source, "one small step for a man", second);
    }
    other.join();
    ASSERT_EQ(first.phrases().size(), 1u);
    ASSERT_EQ(second.phrases().size(), 1u);
    EXPECT_EQ(first.phrases()[0].phrase.text, second.phrases()[0].phrase.text);
    EXPECT_EQ(first.phrases()[0].kind, PhraseKind::kRecognition);
}

struct FormatCase {
    std::string name;
    int format;
    int rate;  // 0: the synthesiser's
    int channels;
    int toleranceMs;  // how far word starts may move against the 16-bit original

    friend void PrintTo(const FormatCase& c, std::ostream* out) { *out << c.name; }
};

class RecognizerFormats : public RecognizerTest,
                          public ::testing::WithParamInterface<FormatCase> {
  protected:
    static constexpr const char* kText = "we watched the sun go down";

    // The 16-bit original and its transcription, the same for every format: made by the first
    // case and kept for the others.
    struct Reference {
        SynthesizedSpeech speech;
        std::vector<Phrase> phrases;
    };
    const Reference& reference() {
        if (!reference_) {
            SynthesizedSpeech speech = speak(kText, "reference.wav");
            reference_ = Reference{std::move(speech), transcribe("reference.wav", kText).phrases()};
        }
        return *reference_;
    }
    static void TearDownTestSuite() { reference_.reset(); }

    static inline std::optional<Reference> reference_;
};

TEST_P(RecognizerFormats, GiveTheSamePhonesAtNearlyTheSameTimes) {
    const FormatCase& c = GetParam();
    const std::string text = kText;
    const SynthesizedSpeech& speech = reference().speech;
    write("variant.wav", speech, c.format, c.rate, c.channels);
    const auto& reference = this->reference().phrases;
    const auto variant = transcribe("variant.wav", text).phrases();
    ASSERT_EQ(reference.size(), 1u);
    ASSERT_EQ(variant.size(), 1u);
    EXPECT_EQ(variant[0].kind, PhraseKind::kRecognition);
    const auto& expected = reference[0].phrase.words;
    const auto& words = variant[0].phrase.words;
    ASSERT_EQ(words.size(), expected.size());
    for (std::size_t i = 0; i < words.size(); ++i) {
        EXPECT_EQ(words[i].phones, expected[i].phones) << words[i].text;
        EXPECT_NEAR(msOf(words[i].startSample), msOf(expected[i].startSample), c.toleranceMs)
            << words[i].text;
    }
    expectWordsWhereSpoken(variant[0].phrase, speech, kWordToleranceMs + c.toleranceMs);
}

// Telephone-band audio (8 kHz) has nothing above 4 kHz, where the model hears the edges of
// fricatives and stops, so its words may move further.
constexpr int kWidebandMs = 20;
constexpr int kNarrowbandMs = 80;

INSTANTIATE_TEST_SUITE_P(
    Formats, RecognizerFormats,
    ::testing::Values(
        FormatCase{"pcm8", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 0, 1, kWidebandMs},
        FormatCase{"pcm24", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0, 1, kWidebandMs},
        FormatCase{"float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 1, kWidebandMs},
        FormatCase{"stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 2, kWidebandMs},
        FormatCase{"rate48k", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1, kWidebandMs},
        FormatCase{"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 0, 1, kWidebandMs},
        FormatCase{"rate8k", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, kNarrowbandMs},
        FormatCase{"mulaw8k", SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1, kNarrowbandMs}),
    [](const auto& info) { return info.param.name; });

// The synthesiser's phones in our names with their starts, moved by the lead-in. An event that
// maps to two phones ("n̩" is AH N) counts with its first.
std::vector<std::pair<std::string, int>> spokenPhones(const SynthesizedSpeech& speech,
                                                      int leadInMs) {
    std::vector<std::pair<std::string, int>> phones;
    for (const testing::SpokenPhone& phone : speech.phones) {
        const auto symbols = pronunciationSymbols(dictionaryPhonesOfIpa(phone.ipa));
        if (symbols.empty()) {
            continue;
        }
        const auto ids = phoneIdsOfPronunciation(symbols.front());
        if (ids && ids->size() == 1) {
            phones.emplace_back(phoneNameOf(ids->front()), phone.startMs + leadInMs);
        }
    }
    return phones;
}

// Start errors in ms of the recognised phones paired in order with the spoken phones of the same
// name (a longest common subsequence).
std::vector<int> phoneStartErrors(const RecognizedPhrase& phrase,
                                  const std::vector<std::pair<std::string, int>>& spoken) {
    std::vector<std::pair<std::string, int>> heard;
    for (const RecognizedWord& word : phrase.words) {
        for (std::size_t k = 0; k < word.phoneSpans.size(); ++k) {
            heard.emplace_back(phoneNameOf(word.phones[k]), msOf(word.phoneSpans[k].startSample));
        }
    }
    const std::size_t n = heard.size();
    const std::size_t m = spoken.size();
    std::vector<std::vector<int>> common(n + 1, std::vector<int>(m + 1, 0));
    for (std::size_t i = n; i-- > 0;) {
        for (std::size_t j = m; j-- > 0;) {
            common[i][j] = heard[i].first == spoken[j].first
                               ? common[i + 1][j + 1] + 1
                               : std::max(common[i + 1][j], common[i][j + 1]);
        }
    }
    std::vector<int> errors;
    for (std::size_t i = 0, j = 0; i < n && j < m;) {
        if (heard[i].first == spoken[j].first) {
            errors.push_back(heard[i++].second - spoken[j++].second);
        } else if (common[i + 1][j] >= common[i][j + 1]) {
            ++i;
        } else {
            ++j;
        }
    }
    return errors;
}

struct PhoneTimesCase {
    std::string text;
    int wordsPerMinute;

    friend void PrintTo(const PhoneTimesCase& c, std::ostream* out) {
        *out << '"' << c.text << "\" at " << c.wordsPerMinute;
    }
};

class PhoneTimes : public RecognizerTest, public ::testing::WithParamInterface<PhoneTimesCase> {};

// The phone pass puts phone starts near the synthesiser's own phone events. (The benchmark
// measures how near; this only guards against a phone pass gone wrong: shifted, squeezed or
// scrambled phones.)
TEST_P(PhoneTimes, LieNearTheSynthesisersPhoneEvents) {
    constexpr int kNearMs = 50;
    constexpr double kMinNearShare = 0.8;
    const PhoneTimesCase& c = GetParam();
    const SynthesizedSpeech speech = speak(c.text, "spoken.wav", 300, c.wordsPerMinute);
    const Recording recording = transcribe("spoken.wav", c.text, true);
    const auto phrases = recording.phrases();
    ASSERT_EQ(phrases.size(), 1u);
    ASSERT_EQ(phrases[0].kind, PhraseKind::kRecognition);
    for (const RecognizedWord& word : phrases[0].phrase.words) {
        EXPECT_EQ(word.phoneSpans.size(), word.phones.size()) << word.text;
    }
    expectWordsWhereSpoken(phrases[0].phrase, speech);

    const auto spoken = spokenPhones(speech, kLeadInMs);
    const std::vector<int> errors = phoneStartErrors(phrases[0].phrase, spoken);
    ASSERT_GE(errors.size() * 4, spoken.size() * 3) << "most phones are paired";
    const auto near = std::count_if(errors.begin(), errors.end(),
                                    [](int e) { return std::abs(e) <= kNearMs; });
    EXPECT_GE(static_cast<double>(near), kMinNearShare * static_cast<double>(errors.size()))
        << near << " of " << errors.size() << " phone starts within " << kNearMs << " ms";
}

// The last case is fast speech whose phones are lost after the first word when the search
// prunes the exits of phones as narrowly as those of words.
INSTANTIATE_TEST_SUITE_P(
    Utterances, PhoneTimes,
    ::testing::Values(PhoneTimesCase{"the quick brown fox jumps over the lazy dog", 160},
                      PhoneTimesCase{"she sells sea shells by the shore", 160},
                      PhoneTimesCase{"she planted tomatoes in the spring", 185}));

TEST_F(RecognizerTest, DictationWithPhoneTimesFindsTheSameWordsAndTimesTheirPhones) {
    const SynthesizedSpeech first = testing::synthesize("please open the door");
    const SynthesizedSpeech second = testing::synthesize("thank you very much");
    std::vector<std::int16_t> samples = testing::silence(first.sampleRate, 500);
    for (const SynthesizedSpeech* part : {&first, &second}) {
        samples.insert(samples.end(), part->samples.begin(), part->samples.end());
        const auto pause = testing::silence(first.sampleRate, 1200);
        samples.insert(samples.end(), pause.begin(), pause.end());
    }
    write("two.wav", {first.sampleRate, samples, {}, {}});

    const auto wordsOf = [](const Recording& r) {
        std::vector<std::pair<std::string, std::vector<PhoneId>>> words;
        for (const Phrase& p : r.phrases()) {
            for (const RecognizedWord& w : p.phrase.words) {
                words.emplace_back(w.text, w.phones);
            }
        }
        return words;
    };
    const Recording spread = dictate("two.wav");
    const Recording aligned = dictate("two.wav", true);
    ASSERT_EQ(aligned.phrases().size(), 2u);
    // The second phrase is decoded after the first one's phone pass, as if there had been none.
    EXPECT_EQ(wordsOf(aligned), wordsOf(spread));
    for (const Phrase& p : aligned.phrases()) {
        for (const RecognizedWord& w : p.phrase.words) {
            EXPECT_EQ(w.phoneSpans.size(), w.phones.size()) << w.text;
        }
    }
    for (const Phrase& p : spread.phrases()) {
        for (const RecognizedWord& w : p.phrase.words) {
            EXPECT_TRUE(w.phoneSpans.empty()) << w.text;
        }
    }
}

struct WordsThatFitCase {
    std::string name;
    std::string spoken;
    std::string transcript;
    PhraseKind kind;
    std::vector<std::string> placed;  // the words placed first, in order
    std::string phonesOfSecondWord;   // when the second word is placed

    friend void PrintTo(const WordsThatFitCase& c, std::ostream* out) { *out << c.name; }
};

class WordsThatFit : public RecognizerTest,
                     public ::testing::WithParamInterface<std::tuple<WordsThatFitCase, bool>> {};

// Digits are said as the number they write; when the whole transcript cannot be placed, the
// words that could be are kept.
TEST_P(WordsThatFit, ArePlaced) {
    const auto& [c, alignPhones] = GetParam();
    speak(c.spoken, "spoken.wav");
    const auto phrases = transcribe("spoken.wav", c.transcript, alignPhones).phrases();
    ASSERT_EQ(phrases.size(), 1u);
    EXPECT_EQ(phrases[0].kind, c.kind);
    const auto& words = phrases[0].phrase.words;
    ASSERT_GE(words.size(), c.placed.size());
    for (std::size_t i = 0; i < c.placed.size(); ++i) {
        EXPECT_EQ(words[i].text, c.placed[i]);
        EXPECT_FALSE(words[i].phones.empty()) << words[i].text;
    }
    if (!c.phonesOfSecondWord.empty()) {
        EXPECT_EQ(phoneNamesOfWord(words[1]), c.phonesOfSecondWord);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WordsThatFit,
    ::testing::Combine(
        ::testing::Values(
            WordsThatFitCase{"number", "route sixty six", "Route 66", PhraseKind::kRecognition,
                             {"Route", "66"}, "s ih k s t iy s ih k s"},
            WordsThatFitCase{"long_word", "route sixty six", "route supercalifragilisticexpialidocious",
                             PhraseKind::kFalseRecognition, {"route"}, ""},
            WordsThatFitCase{"long_number", "route sixty six", "route 1234567890",
                             PhraseKind::kFalseRecognition, {"route"}, ""},
            WordsThatFitCase{"forty_digits", "route sixty six",
                             "route 1234567890123456789012345678901234567890",
                             PhraseKind::kFalseRecognition, {"route"}, ""}),
        ::testing::Bool()),
    [](const auto& info) {
        return std::get<0>(info.param).name + (std::get<1>(info.param) ? "_aligned" : "_spread");
    });

// A transcript far longer than the audio could hold is listened for only as far as it could:
// words beyond are never even looked up (their pronunciations are never made), so neither time
// nor memory grows with the transcript. The same goes for one enormous word, and for a line of
// words that nothing can pronounce.
TEST_F(RecognizerTest, ATranscriptIsCutToWhatTheAudioCanHold) {
    constexpr int kUnheardWords = 20000;
    speak("good morning", "morning.wav");
    std::string manyWords;
    for (int i = 0; i < kUnheardWords; ++i) {
        manyWords += " zorbleg" + std::to_string(i);
    }
    std::string unpronounceable;
    for (int i = 0; i < kUnheardWords; ++i) {
        unpronounceable += " \xFF\xFE";
    }
    const std::string oneWord = " " + std::string(1 << 20, 'x');
    for (const std::string& tail : {manyWords, oneWord, unpronounceable}) {
        for (bool alignPhones : {false, true}) {
            SCOPED_TRACE((alignPhones ? "phones aligned, " : "phones spread, ") +
                         std::to_string(tail.size()) + " bytes after the words spoken");
            const auto phrases = transcribe("morning.wav", "good morning" + tail, alignPhones).phrases();
            ASSERT_EQ(phrases.size(), 1u);
            EXPECT_EQ(phrases[0].kind, PhraseKind::kFalseRecognition);
            const std::vector<std::string> texts = textsOf(phrases[0].phrase);
            ASSERT_GE(texts.size(), 2u);
            EXPECT_EQ(texts[0], "good");
            EXPECT_EQ(texts[1], "morning");
        }
    }
    SpeechModel& model = SpeechModel::shared();
    const auto lock = model.lock();
    EXPECT_FALSE(model.pronunciationOf("zorbleg" + std::to_string(kUnheardWords - 1)));
}

TEST(Pronunciation, IsAddedOnlyForWordsTheDictionaryLacks) {
    SpeechModel& model = SpeechModel::shared();
    const auto lock = model.lock();
    EXPECT_EQ(model.pronunciationOf("hello"), "HH AH L OW");
    EXPECT_TRUE(ensurePronunciation(model, "hello"));
    EXPECT_EQ(model.pronunciationOf("hello"), "HH AH L OW") << "a known word keeps its own";
    EXPECT_FALSE(model.pronunciationOf("zorblunk"));
    EXPECT_TRUE(ensurePronunciation(model, "zorblunk"));
    EXPECT_TRUE(model.pronunciationOf("zorblunk"));
    EXPECT_TRUE(ensurePronunciation(model, "zorblunk")) << "a second time finds it";
}

}  // namespace
}  // namespace phonemes::engine
