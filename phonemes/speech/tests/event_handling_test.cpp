// What recognition events do to the timeline and the console, driven through a session over
// the scripted platform.
#include <limits>

#include "event_handling.h"
#include "session_fixture.h"

namespace phonemes::testing {
namespace {

using scripted::endOfStream;
using scripted::eventWithoutPayload;
using scripted::falseRecognition;
using scripted::hypothesis;
using scripted::kUnknownPhoneId;
using scripted::Payload;
using scripted::recognition;
using scripted::ScriptedEvent;
using scripted::ScriptedResult;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::EndsWith;
using ::testing::IsEmpty;
using ::testing::SizeIs;

class EventHandling : public SessionTest {
  protected:
    // Runs one file whose single wait delivers the events and then the end of the stream.
    void recognise(std::vector<ScriptedEvent> events) {
        events.push_back(endOfStream());
        platform.addWait(std::move(events));
        EXPECT_TRUE(process("/data/a.wav"));
        EXPECT_EQ(err.str(), "");
    }
};

TEST_F(EventHandling, WorkedExampleTimesTheWordsFromTheResultStart) {
    // 2.5 s into the stream, 1.2 s long; the word 300 ms into it and 350 ms long.
    recognise({recognition(resultAt(2500, 1200, {wordAt(300, 350, "h eh l ow")}))});
    EXPECT_EQ(extractor.timeline.endTime, 3700u);
    EXPECT_THAT(labelsAndStarts(), ElementsAre("h 2800", "eh 2850", "l 2950", "ow 3000", "_ 3150"));
    EXPECT_EQ(record.str(),
              "[a.wav]\t3700\r\nh\t2800\r\neh\t2850\r\nl\t2950\r\now\t3000\r\n_\t3150\r\n\r\n");
}

TEST_F(EventHandling, EachFinalResultOverwritesTheEndTimeAndAppendsItsWords) {
    recognise({recognition(resultAt(0, 2000, {wordAt(100, 400, "aa")})), hypothesis(u"never timed"),
               falseRecognition(resultAt(500, 500, {wordAt(100, 200, "b iy")}))});
    EXPECT_EQ(extractor.timeline.endTime, 1000u);  // the second, although the first ended later
    EXPECT_THAT(labelsAndStarts(), ElementsAre("aa 100", "_ 500", "b 600", "iy 650", "_ 800"));
}

TEST_F(EventHandling, WideStreamOffsetsDoNotWrap) {
    // 44.1 kHz 16-bit stereo: 300 s are 52,920,000 bytes, whose product with 1000 needs 64 bits.
    platform.waveFormat = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    ScriptedResult result = resultAt(0, 301000, {});
    result.words.push_back({52920000, 17640, scripted::pronunciationOf("aa")});
    recognise({recognition(result)});
    EXPECT_THAT(labelsAndStarts(), ElementsAre("aa 300000", "_ 300100"));
}

TEST_F(EventHandling, KeepsEachWordsTextAndSpanAndTheAudioLength) {
    ScriptedResult result = resultAt(1000, 1000, {wordAt(0, 300, "aa"), wordAt(500, 400, "b iy")});
    result.words[0].displayText = u"Ah,";
    result.words[1].displayText = u"bee";
    platform.addWait({recognition(result), endOfStream(2345 * kBytesPerMs)});
    EXPECT_TRUE(process("/data/a.wav"));
    const std::vector<WordSpan>& words = extractor.timeline.words;
    ASSERT_THAT(words, SizeIs(2));
    EXPECT_EQ(words[0].text, "Ah,");
    EXPECT_EQ(words[0].start, 1000);
    EXPECT_EQ(words[0].end, 1300);
    EXPECT_EQ(words[1].text, "bee");
    EXPECT_EQ(words[1].start, 1500);
    EXPECT_EQ(words[1].end, 1900);
    EXPECT_EQ(extractor.timeline.audioLength, 2345u);
}

// Phones timed from the audio: a word whose result gives one span per phone has each phone at
// its span and its end where the last phone ends; anything less spreads it by the weights.
struct AlignmentCase {
    std::string name;
    PhoneTiming timing;
    bool offered;
    std::vector<SPPHONESPAN> spans;  // of the word "h eh l ow", 100 ms into a result at 1 s
    std::vector<std::string> entries;
    std::vector<std::string> wordSpan;
    std::size_t spanQueries;

    friend void PrintTo(const AlignmentCase& c, std::ostream* os) { *os << c.name; }
};

SPPHONESPAN spanAt(std::uint32_t offsetMs, std::uint32_t sizeMs) {
    return {offsetMs * kBytesPerMs, sizeMs * kBytesPerMs};
}

const std::vector<SPPHONESPAN> kHelloSpans = {spanAt(120, 30), spanAt(150, 90), spanAt(240, 60),
                                              spanAt(300, 150)};
const std::vector<std::string> kHelloAligned = {"h 1120", "eh 1150", "l 1240", "ow 1300", "_ 1450"};
// 400 ms by the weights 1, 2, 1, 3.
const std::vector<std::string> kHelloWeighted = {"h 1100", "eh 1157", "l 1271", "ow 1328",
                                                 "_ 1500"};

const AlignmentCase kAlignmentCases[] = {
    {"Aligned", PhoneTiming::kAcoustic, true, kHelloSpans, kHelloAligned, {"1120", "1450"}, 1},
    {"WeightsModeNeverAsks",
     PhoneTiming::kWeights,
     true,
     kHelloSpans,
     kHelloWeighted,
     {"1100", "1500"},
     0},
    {"NoAlignmentOffered",
     PhoneTiming::kAcoustic,
     false,
     kHelloSpans,
     kHelloWeighted,
     {"1100", "1500"},
     0},
    {"WordNotPlaced", PhoneTiming::kAcoustic, true, {}, kHelloWeighted, {"1100", "1500"}, 1},
    {"SpanMissing",
     PhoneTiming::kAcoustic,
     true,
     {kHelloSpans.begin(), kHelloSpans.end() - 1},
     kHelloWeighted,
     {"1100", "1500"},
     1},
};

class PhoneAlignment : public EventHandling, public ::testing::WithParamInterface<AlignmentCase> {};

TEST_P(PhoneAlignment, TimesPhonesFromTheSpansOnlyWhenEveryPhoneHasOne) {
    const AlignmentCase& c = GetParam();
    extractor.options.phoneTiming = c.timing;
    ScriptedResult result = resultAt(1000, 1000, {wordAt(100, 400, "h eh l ow")});
    result.offersPhoneAlignment = c.offered;
    result.words[0].phoneSpans = c.spans;
    recognise({recognition(result)});
    EXPECT_THAT(labelsAndStarts(), ElementsAreArray(c.entries));
    ASSERT_THAT(extractor.timeline.words, SizeIs(1));
    EXPECT_EQ(std::to_string(extractor.timeline.words[0].start), c.wordSpan[0]);
    EXPECT_EQ(std::to_string(extractor.timeline.words[0].end), c.wordSpan[1]);
    EXPECT_THAT(platform.callsStartingWith({"GetPhoneSpans"}), SizeIs(c.spanQueries));
}

INSTANTIATE_TEST_SUITE_P(Spans, PhoneAlignment, ::testing::ValuesIn(kAlignmentCases),
                         [](const auto& info) { return info.param.name; });

// One result under every way its platform calls can fail; -t is on, so the echo shows too.
struct ResultCase {
    std::string name;
    ScriptedEvent event;
    std::string echo;
    std::uint32_t endTime;
    std::vector<std::string> entries;
    bool phraseAsked;

    friend void PrintTo(const ResultCase& c, std::ostream* os) { *os << c.name; }
};

ScriptedResult twoWords() {
    return resultAt(1000, 1000, {wordAt(0, 300, "aa"), wordAt(300, 400, "b iy")}, u"a bee");
}

ScriptedEvent withResult(std::function<void(ScriptedResult&)> change,
                         ScriptedEvent (*kind)(ScriptedResult) = recognition) {
    ScriptedResult result = twoWords();
    change(result);
    return kind(std::move(result));
}

const std::vector<std::string> kBothWords = {"aa 1000", "_ 1300", "b 1300", "iy 1400", "_ 1700"};

const ResultCase kResultCases[] = {
    {"Complete", withResult([](ScriptedResult&) {}), "-- a bee\n", 2000, kBothWords, true},
    {"FalseRecognitionIsTimedAlike", withResult([](ScriptedResult&) {}, falseRecognition),
     "-~ a bee\n", 2000, kBothWords, true},
    {"TextFails", withResult([](ScriptedResult& r) { r.textStatus = E_FAIL; }), "", 2000,
     kBothWords, true},
    {"TextReportsFalse", withResult([](ScriptedResult& r) { r.textStatus = S_FALSE; }), "", 2000,
     kBothWords, true},
    {"TimesFail",
     withResult([](ScriptedResult& r) { r.timesStatus = E_FAIL; }),
     "-- a bee\n",
     0,
     {},
     false},
    {"TimesReportFalse",
     withResult([](ScriptedResult& r) { r.timesStatus = S_FALSE; }),
     "-- a bee\n",
     0,
     {},
     false},
    {"PhraseFails",
     withResult([](ScriptedResult& r) { r.phraseStatus = E_FAIL; }),
     "-- a bee\n",
     2000,
     {},
     true},
    {"PhraseReportsFalse",
     withResult([](ScriptedResult& r) { r.phraseStatus = S_FALSE; }),
     "-- a bee\n",
     2000,
     {},
     true},
    {"PhraseMissing",
     withResult([](ScriptedResult& r) { r.phraseHandedOut = false; }),
     "-- a bee\n",
     2000,
     {},
     true},
    {"PhraseWithoutElements",
     withResult([](ScriptedResult& r) { r.words.clear(); }),
     "-- a bee\n",
     2000,
     {},
     true},
    {"OneWordCannotBeConverted",
     withResult([](ScriptedResult& r) { r.words[0].pronunciation.assign(1, kUnknownPhoneId); }),
     "-- a bee\n",
     2000,
     {"b 1300", "iy 1400", "_ 1700"},
     true},
    {"RecognitionWithoutPayload", eventWithoutPayload(SPEI_RECOGNITION), "", 0, {}, false},
    {"FalseRecognitionWithoutPayload",
     eventWithoutPayload(SPEI_FALSE_RECOGNITION),
     "",
     0,
     {},
     false},
    {"HypothesisWithoutPayload", eventWithoutPayload(SPEI_HYPOTHESIS), "", 0, {}, false},
};

class FinalResult : public EventHandling, public ::testing::WithParamInterface<ResultCase> {};

TEST_P(FinalResult, DoesWhatItsPlatformCallsAllow) {
    extractor.options.showTranscription = true;
    extractor.options.showHypothesis = true;
    recognise({GetParam().event});
    EXPECT_EQ(out.str(), "FILE: a.wav\n" + GetParam().echo);
    EXPECT_EQ(extractor.timeline.endTime, GetParam().endTime);
    EXPECT_THAT(labelsAndStarts(), ElementsAreArray(GetParam().entries));
    EXPECT_EQ(platform.callsStartingWith({"GetPhrase"}).size(), GetParam().phraseAsked ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Calls, FinalResult, ::testing::ValuesIn(kResultCases),
                         [](const auto& info) { return info.param.name; });

struct EchoCase {
    std::string name;
    bool quiet;
    bool showTranscription;
    bool showHypothesis;
    std::string out;

    friend void PrintTo(const EchoCase& c, std::ostream* os) { *os << c.name; }
};

class Echo : public EventHandling, public ::testing::WithParamInterface<EchoCase> {};

TEST_P(Echo, FollowsTheOptions) {
    extractor.options.quiet = GetParam().quiet;
    extractor.options.showTranscription = GetParam().showTranscription;
    extractor.options.showHypothesis = GetParam().showHypothesis;
    recognise({hypothesis(u"hel"), recognition(resultAt(0, 100, {}, u"hello")), hypothesis(u"yel"),
               falseRecognition(resultAt(100, 100, {}, u"yellow"))});
    EXPECT_EQ(out.str(), GetParam().out);
    EXPECT_EQ(extractor.timeline.endTime, 200u);  // quiet or not, results are timed
}

INSTANTIATE_TEST_SUITE_P(
    Options, Echo,
    ::testing::Values(
        EchoCase{"Neither", false, false, false, "FILE: a.wav\n"},
        EchoCase{"Transcription", false, true, false, "FILE: a.wav\n-- hello\n-~ yellow\n"},
        EchoCase{"Hypotheses", false, false, true, "FILE: a.wav\n-? hel\n-? yel\n"},
        EchoCase{"Both", false, true, true, "FILE: a.wav\n-? hel\n-- hello\n-? yel\n-~ yellow\n"},
        EchoCase{"QuietSilencesBoth", true, true, true, ""}),
    [](const auto& info) { return info.param.name; });

struct UnconvertibleCase {
    std::string name;
    ScriptedEvent event;
    std::string line;

    friend void PrintTo(const UnconvertibleCase& c, std::ostream* os) { *os << c.name; }
};

ScriptedEvent recognitionWithText(std::optional<std::u16string> text) {
    ScriptedResult result = resultAt(0, 100, {});
    result.text = std::move(text);
    return recognition(std::move(result));
}

ScriptedEvent hypothesisWithText(std::optional<std::u16string> text) {
    ScriptedEvent event = hypothesis(u"");
    event.result.text = std::move(text);
    return event;
}

class TextWithoutNarrowForm : public EventHandling,
                              public ::testing::WithParamInterface<UnconvertibleCase> {};

TEST_P(TextWithoutNarrowForm, EchoesThePrefixAlone) {
    extractor.options.showTranscription = true;
    extractor.options.showHypothesis = true;
    recognise({GetParam().event});
    EXPECT_EQ(out.str(), "FILE: a.wav\n" + GetParam().line + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextWithoutNarrowForm,
    ::testing::Values(
        UnconvertibleCase{"UnpairedSurrogate", recognitionWithText(u"\xD800 x"), "-- "},
        UnconvertibleCase{"NoTextHandedOut", recognitionWithText(std::nullopt), "-- "},
        UnconvertibleCase{"HypothesisUnpairedSurrogate", hypothesisWithText(u"x \xDC00"), "-? "}),
    [](const auto& info) { return info.param.name; });

// Phone strings of 2 one-letter and 84 two-letter phones take 255 units, one unit less than the
// buffer; one one-letter and 85 two-letter phones take 256 and leave no room for the end.
std::string phoneString(int oneLetter, int twoLetter) {
    std::string phones;
    for (int i = 0; i < oneLetter + twoLetter; ++i) {
        if (!phones.empty()) {
            phones += ' ';
        }
        phones += i < oneLetter ? "b" : "aa";
    }
    return phones;
}

struct BufferCase {
    std::string name;
    int oneLetter;
    int twoLetter;
    bool fits;

    friend void PrintTo(const BufferCase& c, std::ostream* os) { *os << c.name; }
};

class PhoneBuffer : public EventHandling, public ::testing::WithParamInterface<BufferCase> {};

TEST_P(PhoneBuffer, HoldsAPhoneStringWithItsEndOrTheWordIsSkipped) {
    const BufferCase& c = GetParam();
    recognise({recognition(resultAt(
        0, 2000,
        {wordAt(0, 1000, phoneString(c.oneLetter, c.twoLetter)), wordAt(1000, 500, "d")}))});
    EXPECT_THAT(platform.callsStartingWith({"IdToPhone"}), Each(EndsWith(", 256)")));
    const std::size_t longWordEntries = c.fits ? c.oneLetter + c.twoLetter + 1 : 0;
    ASSERT_THAT(extractor.timeline.entries, SizeIs(longWordEntries + 2));
    EXPECT_EQ(extractor.timeline.entries[longWordEntries].label, "d");
}

INSTANTIATE_TEST_SUITE_P(Lengths, PhoneBuffer,
                         ::testing::Values(BufferCase{"LastUnitForTheEnd", 2, 84, true},
                                           BufferCase{"NoRoomForTheEnd", 1, 85, false},
                                           BufferCase{"FarTooLong", 0, 120, false}),
                         [](const auto& info) { return info.param.name; });

TEST(TimeConversion, HundredNanosecondsTruncateToTheLow32BitsOfMilliseconds) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    const std::pair<std::uint64_t, std::uint32_t> cases[] = {
        {0, 0},
        {9999, 0},
        {10000, 1},
        {25'000'000, 2500},
        {((std::uint64_t{1} << 32) + 5) * 10000, 5},
        {kMax, static_cast<std::uint32_t>(kMax / 10000)},
    };
    for (const auto& [hundredNs, ms] : cases) {
        EXPECT_EQ(hundredNsToMs(hundredNs), ms) << hundredNs;
    }
}

TEST(TimeConversion, BytesBecomeMillisecondsThroughTheByteRate) {
    struct Case {
        std::uint32_t bytes;
        std::uint32_t bytesPerSecond;
        std::uint32_t ms;
    };
    const Case cases[] = {
        {9600, 32000, 300},
        {31, 32000, 0},
        {52'920'000, 176400, 300000},
        {0xFFFFFFFF, 1000, 0xFFFFFFFF},
        {0xFFFFFFFF, 1, 0xFFFFFFFFu - 999},  // the quotient's low 32 bits
        {12345, 0, 0},                       // no byte rate: no time rather than a division by zero
    };
    for (const Case& c : cases) {
        WAVEFORMATEX format{};
        format.nAvgBytesPerSec = c.bytesPerSecond;
        EXPECT_EQ(bytesToMs(c.bytes, format), c.ms) << c.bytes << " at " << c.bytesPerSecond;
    }
}

}  // namespace
}  // namespace phonemes::testing
