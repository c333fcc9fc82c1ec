// Recognition through the platform's objects as the extractor uses them, on speech spoken by
// espeak-ng: when the engine thread starts, what it posts, and what teardown does to it.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "reco_result.h"
#include "recognition_session.h"
#include "test_support.h"
#include "text_conversion.h"

namespace phonemes {
namespace {

using testing::EngineTest;
using testing::TempDir;
using testing::Utterance;

constexpr std::uint32_t kRuleId = 1;
// Long enough for any recognition here even under the sanitizers; a wait that runs out means
// the engine never ended the stream.
constexpr std::uint32_t kEventTimeoutMs = 120000;
// Where a word may start, next to where the synthesiser spoke it.
constexpr int kWordStartToleranceMs = 60;

const std::string kSentence = "Hello world, this is a test.";

// 44.1 kHz 16-bit stereo: four bytes a frame, so byte offsets differ from model samples.
constexpr testing::WavLayout kStereoCdLayout{44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16};

struct Event {
    std::uint16_t id;
    std::uint64_t streamOffset;
    ComPtr<ISpRecoResult> result;
};

// The speech objects of one file, made the way the recognition session makes them.
struct SpeechObjects {
    ComPtr<ISpRecognizer> recognizer;
    ComPtr<ISpRecoContext> context;
    ComPtr<ISpStream> stream;
    ComPtr<ISpRecoGrammar> grammar;

    void releaseInSessionOrder() {
        grammar.reset();
        if (context) {
            context->SetNotifySink(nullptr);
            context.reset();
        }
        recognizer.reset();
        stream.reset();
    }
};

HRESULT bindTo(ISpStream& stream, const std::filesystem::path& file) {
    const std::u16string path = toWideText(file.string()).value();
    return stream.BindToFile(path.c_str(), SPFM_OPEN_READONLY, nullptr, nullptr, SPFEI_ALL_EVENTS);
}

HRESULT activateHint(ISpRecoGrammar& grammar, const std::string& transcript) {
    SPSTATEHANDLE initial = nullptr;
    HRESULT status =
        grammar.GetRule(nullptr, kRuleId, SPRAF_TopLevel | SPRAF_Active, true, &initial);
    const std::u16string words = toWideText(transcript).value();
    if (status == S_OK) {
        status = grammar.AddWordTransition(initial, nullptr, words.c_str(), u" ", SPWT_LEXICAL,
                                           1.0f, nullptr);
    }
    if (status == S_OK) {
        status = grammar.Commit(0);
    }
    return status == S_OK ? grammar.SetRuleIdState(kRuleId, SPRS_ACTIVE) : status;
}

HRESULT activateDictation(ISpRecoGrammar& grammar) {
    const HRESULT status = grammar.LoadDictation(nullptr, SPLO_STATIC);
    return status == S_OK ? grammar.SetDictationState(SPRS_ACTIVE) : status;
}

// Recogniser, context with the session's interest and notification, and a bound stream.
SpeechObjects prepare(const std::filesystem::path& file) {
    SpeechObjects objects;
    objects.recognizer = testing::createInstance<ISpRecognizer>(CLSID_SpInprocRecognizer);
    if (!objects.recognizer) {
        return objects;
    }
    EXPECT_EQ(objects.recognizer->CreateRecoContext(objects.context.put()), S_OK);
    EXPECT_EQ(objects.context->SetNotifyWin32Event(), S_OK);
    EXPECT_EQ(objects.context->SetInterest(kInterestMask, kInterestMask), S_OK);
    objects.stream = testing::createInstance<ISpStream>(CLSID_SpStream);
    EXPECT_EQ(bindTo(*objects.stream.get(), file), S_OK);
    EXPECT_EQ(objects.context->CreateGrammar(0, objects.grammar.put()), S_OK);
    return objects;
}

// Fetches events the way the session's loop does until the end of the stream.
std::vector<Event> eventsUntilEndOfStream(ISpRecoContext& context) {
    std::vector<Event> events;
    while (events.empty() || events.back().id != SPEI_END_SR_STREAM) {
        if (context.WaitForNotifyEvent(kEventTimeoutMs) != S_OK) {
            ADD_FAILURE() << "no end of stream after " << events.size() << " events";
            break;
        }
        SPEVENT event{};
        while (context.GetEvents(1, &event, nullptr) == S_OK) {
            IUnknown* payload = eventObject(event);
            events.push_back({event.eEventId, event.ullAudioStreamOffset,
                              ComPtr<ISpRecoResult>::adopt(static_cast<ISpRecoResult*>(payload))});
            event = SPEVENT{};
        }
    }
    return events;
}

std::string textOf(ISpRecoResult& result) {
    char16_t* text = nullptr;
    EXPECT_EQ(result.GetText(SP_GETWHOLEPHRASE, SP_GETWHOLEPHRASE, false, &text, nullptr), S_OK);
    const CoTaskMemPtr<char16_t> owned(text);
    return text == nullptr ? "" : toNarrowText(text).value_or("?");
}

std::uint64_t dataBytesOf(const std::filesystem::path& file, const testing::WavLayout& layout) {
    SF_INFO info{};
    SNDFILE* handle = sf_open(file.c_str(), SFM_READ, &info);
    EXPECT_NE(handle, nullptr);
    sf_close(handle);
    return static_cast<std::uint64_t>(info.frames) * layout.channels * 2;
}

class RecognitionTest : public EngineTest {
  protected:
    TempDir dir_;
};

// A recognition starts once the recogniser is active, has its input and has an active
// grammar, whichever comes last, and always ends its stream.
enum class StartOrder { SessionOrder, GrammarFirst, StateLast };

class RecognitionStartTest : public RecognitionTest,
                             public ::testing::WithParamInterface<StartOrder> {};

TEST_P(RecognitionStartTest, StartsWhenTheLastConditionIsMet) {
    const Utterance utterance = testing::writeUtterance(dir_ / "hello.wav", kSentence);
    SpeechObjects objects = prepare(utterance.file);
    ASSERT_TRUE(objects.grammar);
    ISpRecognizer& recognizer = *objects.recognizer.get();
    switch (GetParam()) {
        case StartOrder::SessionOrder:
            ASSERT_EQ(recognizer.SetInput(objects.stream.get(), true), S_OK);
            ASSERT_EQ(recognizer.SetRecoState(SPRST_ACTIVE), S_OK);
            ASSERT_EQ(activateHint(*objects.grammar.get(), kSentence), S_OK);
            break;
        case StartOrder::GrammarFirst:
            ASSERT_EQ(activateHint(*objects.grammar.get(), kSentence), S_OK);
            ASSERT_EQ(recognizer.SetInput(objects.stream.get(), true), S_OK);
            ASSERT_EQ(recognizer.SetRecoState(SPRST_ACTIVE), S_OK);
            break;
        case StartOrder::StateLast:
            ASSERT_EQ(recognizer.SetInput(objects.stream.get(), true), S_OK);
            ASSERT_EQ(activateHint(*objects.grammar.get(), kSentence), S_OK);
            ASSERT_EQ(recognizer.SetRecoState(SPRST_ACTIVE), S_OK);
            break;
    }
    const std::vector<Event> events = eventsUntilEndOfStream(*objects.context.get());
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2].id, SPEI_RECOGNITION);
    objects.releaseInSessionOrder();
}

INSTANTIATE_TEST_SUITE_P(Orders, RecognitionStartTest,
                         ::testing::Values(StartOrder::SessionOrder, StartOrder::GrammarFirst,
                                           StartOrder::StateLast),
                         [](const auto& info) {
                             switch (info.param) {
                                 case StartOrder::SessionOrder:
                                     return "session_order";
                                 case StartOrder::GrammarFirst:
                                     return "grammar_first";
                                 case StartOrder::StateLast:
                                     return "state_last";
                             }
                             return "unknown";
                         });

// The hint's one phrase: its words as written, timed in bytes of the file's own format where
// the synthesiser spoke them, then the end of the stream at the file's last byte.
TEST_F(RecognitionTest, HintPhraseCarriesItsWordsTimedInTheStreamsBytes) {
    const Utterance utterance =
        testing::writeUtterance(dir_ / "hello.wav", kSentence, kStereoCdLayout);
    SpeechObjects objects = prepare(utterance.file);
    ASSERT_TRUE(objects.grammar);
    GUID formatId{};
    WAVEFORMATEX* block = nullptr;
    ASSERT_EQ(objects.stream->GetFormat(&formatId, &block), S_OK);
    const CoTaskMemPtr<WAVEFORMATEX> format(block);
    ASSERT_EQ(objects.recognizer->SetInput(objects.stream.get(), true), S_OK);
    ASSERT_EQ(objects.recognizer->SetRecoState(SPRST_ACTIVE), S_OK);
    ASSERT_EQ(activateHint(*objects.grammar.get(), kSentence), S_OK);

    const std::vector<Event> events = eventsUntilEndOfStream(*objects.context.get());
    ASSERT_GE(events.size(), 2u);
    for (std::size_t i = 0; i + 2 < events.size(); ++i) {
        EXPECT_EQ(events[i].id, SPEI_HYPOTHESIS) << "event " << i;
        ASSERT_TRUE(events[i].result);
        SPRECORESULTTIMES times{};
        EXPECT_TRUE(FAILED(events[i].result->GetResultTimes(&times)))
            << "a hypothesis is not timed yet";
    }
    EXPECT_EQ(events.back().streamOffset, dataBytesOf(utterance.file, kStereoCdLayout));

    const Event& recognition = events[events.size() - 2];
    ASSERT_EQ(recognition.id, SPEI_RECOGNITION);
    ISpRecoResult& result = *recognition.result.get();
    EXPECT_EQ(textOf(result), kSentence);
    SPRECORESULTTIMES times{};
    ASSERT_EQ(result.GetResultTimes(&times), S_OK);
    EXPECT_EQ(times.ullStart, 0u) << "the hint is aligned to the whole file";
    EXPECT_NEAR(static_cast<double>(times.ullLength) / 10000, utterance.durationMs, 2.0);

    SPPHRASE* phraseBlock = nullptr;
    ASSERT_EQ(result.GetPhrase(&phraseBlock), S_OK);
    const CoTaskMemPtr<SPPHRASE> phrase(phraseBlock);
    ASSERT_EQ(phrase->Rule.ulCountOfElements, utterance.words.size());
    const std::vector<std::string> written = {"Hello", "world,", "this", "is", "a", "test."};
    std::uint32_t previousEnd = 0;
    for (std::uint32_t i = 0; i < phrase->Rule.ulCountOfElements; ++i) {
        SCOPED_TRACE(written[i]);
        const SPPHRASEELEMENT& element = phrase->pElements[i];
        EXPECT_EQ(toNarrowText(element.pszDisplayText).value_or("?"), written[i]);
        EXPECT_NE(std::u16string_view(element.pszPronunciation), u"");
        EXPECT_EQ(element.ulAudioStreamOffset % format->nBlockAlign, 0u) << "whole frames";
        EXPECT_GE(element.ulAudioStreamOffset, previousEnd) << "words do not overlap";
        previousEnd = element.ulAudioStreamOffset + element.ulAudioSizeBytes;
        const double startMs =
            static_cast<double>(element.ulAudioStreamOffset) * 1000.0 / format->nAvgBytesPerSec;
        EXPECT_NEAR(startMs, utterance.words[i].startMs, kWordStartToleranceMs);
    }
    EXPECT_LE(previousEnd, phrase->ulAudioSizeBytes);
    objects.releaseInSessionOrder();
}

// Dictation cuts the file at its pause: two phrases in order, then the end of the stream.
TEST_F(RecognitionTest, DictationGivesAPhraseForEachStretchOfSpeech) {
    const auto first = engine::testing::synthesize("Good morning.");
    auto speech = engine::testing::synthesize("Thank you very much.");
    std::vector<std::int16_t> samples = first.samples;
    const auto pause = engine::testing::silence(first.sampleRate, 1500);
    samples.insert(samples.end(), pause.begin(), pause.end());
    samples.insert(samples.end(), speech.samples.begin(), speech.samples.end());
    speech.samples = samples;
    const auto file = dir_ / "two.wav";
    testing::writeSpeech(file, speech, testing::kWav16Bit16kHz);
    const double pauseStartMs = 300 + first.durationMs();

    SpeechObjects objects = prepare(file);
    ASSERT_TRUE(objects.grammar);
    ASSERT_EQ(objects.recognizer->SetInput(objects.stream.get(), true), S_OK);
    ASSERT_EQ(objects.recognizer->SetRecoState(SPRST_ACTIVE), S_OK);
    ASSERT_EQ(activateDictation(*objects.grammar.get()), S_OK);

    std::vector<SPRECORESULTTIMES> phrases;
    for (const Event& event : eventsUntilEndOfStream(*objects.context.get())) {
        if (event.id == SPEI_RECOGNITION || event.id == SPEI_FALSE_RECOGNITION) {
            ASSERT_TRUE(event.result);
            SPRECORESULTTIMES times{};
            ASSERT_EQ(event.result->GetResultTimes(&times), S_OK);
            phrases.push_back(times);
        }
    }
    ASSERT_EQ(phrases.size(), 2u);
    EXPECT_LT((phrases[0].ullStart + phrases[0].ullLength) / 10000.0, pauseStartMs + 600);
    EXPECT_GT(phrases[1].ullStart / 10000.0, pauseStartMs + 500);
    objects.releaseInSessionOrder();
}

// Teardown in the session's order while the engine thread is in the middle of a long file:
// the thread stops instead of decoding the rest, and every queued event and result is freed.
TEST_F(RecognitionTest, TeardownMidRecognitionStopsTheEngineAndFreesTheQueue) {
    const auto sentence = engine::testing::synthesize(
        "The weather is lovely today, and we will walk along the river to the old mill.");
    auto speech = sentence;
    const auto pause = engine::testing::silence(sentence.sampleRate, 700);
    // About three minutes of speech: decoding all of it would take far longer than a stop.
    for (int i = 0; i < 36; ++i) {
        speech.samples.insert(speech.samples.end(), pause.begin(), pause.end());
        speech.samples.insert(speech.samples.end(), sentence.samples.begin(),
                              sentence.samples.end());
    }
    const auto file = dir_ / "long.wav";
    // Written at the synthesiser's own rate: resampling minutes of audio here would be slow.
    testing::writeSpeech(file, speech, {sentence.sampleRate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16});

    const std::size_t resultsBefore = recoResultsAlive();
    const std::size_t blocksBefore = taskMemBlocksInUse();
    SpeechObjects objects = prepare(file);
    ASSERT_TRUE(objects.grammar);
    ASSERT_EQ(objects.recognizer->SetInput(objects.stream.get(), true), S_OK);
    ASSERT_EQ(objects.recognizer->SetRecoState(SPRST_ACTIVE), S_OK);
    ASSERT_EQ(activateDictation(*objects.grammar.get()), S_OK);
    // Something is queued and nothing is fetched.
    ASSERT_EQ(objects.context->WaitForNotifyEvent(kEventTimeoutMs), S_OK);
    ASSERT_GT(recoResultsAlive(), resultsBefore);

    auto teardown = std::async(std::launch::async, [&objects] {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        objects.releaseInSessionOrder();
        CoUninitialize();
    });
    // A stop takes well under a second, also on a busy machine; decoding the whole file in the
    // sanitizer build takes longer than the 30 s allowed.
    ASSERT_EQ(teardown.wait_for(std::chrono::seconds(30)), std::future_status::ready)
        << "the engine thread was not stopped";
    EXPECT_EQ(recoResultsAlive(), resultsBefore);
    EXPECT_EQ(taskMemBlocksInUse(), blocksBefore);
}

// One search at a time, and a stream's audio feeds one recognition.
TEST_F(RecognitionTest, RefusesASecondGrammarAndAStreamAlreadyListenedTo) {
    const Utterance utterance = testing::writeUtterance(dir_ / "hello.wav", kSentence);
    SpeechObjects objects = prepare(utterance.file);
    ASSERT_TRUE(objects.grammar);
    ASSERT_EQ(activateDictation(*objects.grammar.get()), S_OK);
    ComPtr<ISpRecoGrammar> second;
    ASSERT_EQ(objects.context->CreateGrammar(0, second.put()), S_OK);
    EXPECT_TRUE(FAILED(activateHint(*second.get(), kSentence)));

    ComPtr<ISpStream> unbound = testing::createInstance<ISpStream>(CLSID_SpStream);
    EXPECT_EQ(objects.recognizer->SetInput(unbound.get(), true), SPERR_UNINITIALIZED);
    ASSERT_EQ(objects.recognizer->SetInput(objects.stream.get(), true), S_OK);
    ComPtr<ISpRecognizer> other = testing::createInstance<ISpRecognizer>(CLSID_SpInprocRecognizer);
    EXPECT_TRUE(FAILED(other->SetInput(objects.stream.get(), true)));
    second.reset();
    objects.releaseInSessionOrder();
}

}  // namespace
}  // namespace phonemes
