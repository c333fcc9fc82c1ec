// The scoring behind the benchmarks' figures: fitted per-file overhead, the start of espeak-ng's
// stops, the pairing of recognised times with a reference, and the shares and means the tables
// print.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/phone_set.h"
#include "engine_scoring.h"
#include "synthetic_references.h"
#include "timing_scores.h"

namespace phonemes::bench {
namespace {

using engine::kModelSampleRate;

constexpr std::uint64_t kSamplesPerMs = kModelSampleRate / 1000;

TEST(FitLine, GivesTheInterceptAndSlopeOfPointsOnALine) {
    const auto [intercept, slope] = fitLine({1.0, 2.0, 3.0, 4.0}, {3.0, 5.0, 7.0, 9.0});
    EXPECT_DOUBLE_EQ(intercept, 1.0);
    EXPECT_DOUBLE_EQ(slope, 2.0);
}

TEST(FitLine, FilesOfOneLengthGiveTheirMeanCostAndNoSlope) {
    const auto [intercept, slope] = fitLine({2.0, 2.0, 2.0}, {1.0, 2.0, 6.0});
    EXPECT_DOUBLE_EQ(intercept, 3.0);
    EXPECT_DOUBLE_EQ(slope, 0.0);
}

// One sample a millisecond: speech until 50 ms, then what the case puts before the release at
// 80 ms, then speech.
engine::testing::SynthesizedSpeech speechWithSilence(int silenceFrom, int silenceTo) {
    engine::testing::SynthesizedSpeech speech;
    speech.sampleRate = 1000;
    speech.samples.assign(100, 1000);
    for (int i = silenceFrom; i < silenceTo; ++i) {
        speech.samples[static_cast<std::size_t>(i)] = 0;
    }
    return speech;
}

TEST(ClosureStart, AStopStartsWhereTheSilenceBeforeItsReleaseBegins) {
    EXPECT_EQ(closureStartMs(speechWithSilence(50, 80), 80, 0), 50);
}

TEST(ClosureStart, TheBurstMayBeginAFewMillisecondsBeforeTheReleaseEvent) {
    EXPECT_EQ(closureStartMs(speechWithSilence(50, 77), 80, 0), 50);
}

TEST(ClosureStart, AReleaseWithoutALongEnoughSilenceKeepsItsTime) {
    EXPECT_EQ(closureStartMs(speechWithSilence(0, 0), 80, 0), 80);
    EXPECT_EQ(closureStartMs(speechWithSilence(75, 80), 80, 0), 80);
}

TEST(ClosureStart, ASilenceReachingThePhoneBeforeKeepsTheReleaseTime) {
    EXPECT_EQ(closureStartMs(speechWithSilence(50, 80), 80, 60), 80);
}

engine::RecognizedWord wordAt(const std::string& text, const char* pronunciation, int startMs,
                              int lengthMs) {
    engine::RecognizedWord word;
    word.text = text;
    word.phones = engine::phoneIdsOfPronunciation(pronunciation).value();
    word.startSample = static_cast<std::uint64_t>(startMs) * kSamplesPerMs;
    word.sampleCount = static_cast<std::uint64_t>(lengthMs) * kSamplesPerMs;
    return word;
}

Collector recognitionOf(std::vector<engine::RecognizedWord> words, engine::PhraseKind kind) {
    Collector collector;
    engine::RecognizedPhrase phrase;
    phrase.words = std::move(words);
    collector.onPhrase(phrase, kind);
    return collector;
}

TEST(Accuracy, OnlyFilesWhoseWholeTranscriptWasPlacedCount) {
    Utterance hello;
    hello.text = "hello world";
    hello.reference.words = {{"hello", 90}, {"world", 520}};
    hello.reference.phones = {{"h", 100}, {"ah", -1}, {"l", -1}, {"ow", -1}};
    const std::vector<Utterance> batch = {hello, hello};
    const std::vector<Collector> results = {
        recognitionOf(
            {wordAt("Hello,", "HH AH L OW", 100, 400), wordAt("world", "W ER L D", 500, 300)},
            engine::PhraseKind::kRecognition),
        recognitionOf({wordAt("hello", "HH AH L OW", 100, 400)},
                      engine::PhraseKind::kFalseRecognition),
    };
    const Accuracy accuracy = accuracyOf(batch, results);
    EXPECT_EQ(accuracy.recognised, 1);
    EXPECT_EQ(accuracy.wordCount, 2u);
    EXPECT_EQ(accuracy.wordsWithSpans, 0u);
    EXPECT_EQ(accuracy.referenceWords, 2u);
    EXPECT_EQ(accuracy.words.errors, (std::vector<int>{-20, 10}));  // paired from the end
    // Only the reference phone with a time of its own is compared: h, at the word's start.
    EXPECT_EQ(accuracy.referencePhones, 1u);
    EXPECT_EQ(accuracy.phones.errors, (std::vector<int>{0}));
    EXPECT_EQ(accuracy.phones.sameName, 1u);
}

TEST(TimedPhones, AWordWithoutPhoneSpansIsSpreadFromItsStart) {
    const std::vector<TimedPhone> phones = timedPhones(wordAt("hello", "HH AH L OW", 100, 400));
    ASSERT_EQ(phones.size(), 4u);
    EXPECT_EQ(phones[0].name, "h");
    EXPECT_EQ(phones[0].startMs, 100);
    for (std::size_t i = 1; i < phones.size(); ++i) {
        EXPECT_GT(phones[i].startMs, phones[i - 1].startMs);
        EXPECT_LT(phones[i].startMs, 500);
    }
}

TEST(Pairing, WithSubstitutionsEveryAlignedPhoneWithATimeIsCompared) {
    const std::vector<TimedPhone> recognised = {{"h", 10}, {"eh", 50}, {"l", 90}};
    const std::vector<TimedPhone> reference = {{"h", 0}, {"ah", 40}, {"l", 100}};
    EXPECT_EQ(pairByAlignment(recognised, reference, true).errors, (std::vector<int>{-10, 10, 10}));
    const Pairing sameNames = pairByAlignment(recognised, reference, false);
    EXPECT_EQ(sameNames.errors, (std::vector<int>{-10, 10}));
    EXPECT_EQ(sameNames.sameName, 2u);
}

TEST(Figures, SharesMeansAndMedians) {
    const std::vector<int> errors = {-30, -5, 0, 20, 60};
    EXPECT_DOUBLE_EQ(shareWithin(errors, 20), 0.6);
    EXPECT_DOUBLE_EQ(shareWithin({}, 20), 0.0);
    EXPECT_DOUBLE_EQ(mean(errors), 9.0);
    EXPECT_DOUBLE_EQ(meanAbsolute(errors), 23.0);
    EXPECT_DOUBLE_EQ(median(errors), 0.0);
    EXPECT_DOUBLE_EQ(median({4, 1, 3, 2}), 2.5);
}

TEST(WordErrors, CountSubstitutionsInsertionsAndDeletions) {
    EXPECT_EQ(wordErrors("the cat sat", "the cat sat"), 0);
    EXPECT_EQ(wordErrors("the cat sat", "a cat sat down"), 2);
    EXPECT_EQ(wordErrors("the cat sat", "cat"), 2);
}

}  // namespace
}  // namespace phonemes::bench
