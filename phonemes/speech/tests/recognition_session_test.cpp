// The per-file work over the scripted platform: the set-up chain and its failures, the event
// loop, the teardown order, and what reaches the console and the output.
#include <functional>

#include "session_fixture.h"
#include "speech_registry.h"
#include "token_category.h"

namespace phonemes::testing {
namespace {

using scripted::endOfStream;
using scripted::eventWithoutPayload;
using scripted::hypothesis;
using scripted::Op;
using scripted::Payload;
using scripted::recognition;
using scripted::ScriptedEvent;
using scripted::ScriptedPlatform;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const std::vector<std::string> kSetUpUntilGrammar = {
    "CoCreateInstance(SpInprocRecognizer, no outer, CLSCTX_ALL, IID_ISpRecognizer)",
    "CreateRecoContext",
    "SetNotifyWin32Event",
    "SetInterest(0x000008C640000000, 0x000008C640000000)",
    "CoCreateInstance(SpStream, no outer, CLSCTX_ALL, IID_ISpStream)",
    "BindToFile(/data/a.wav, SPFM_OPEN_READONLY, no format id, no wave format, "
    "0xEFFFFFFFFFFFFFFF)",
    "GetFormat",
    "SetInput(stream, format changes allowed)",
    "SetRecoState(SPRST_ACTIVE)",
    "CreateGrammar(0)",
};

const std::vector<std::string> kPhoneConverterSearch = {
    "CoCreateInstance(SpObjectTokenCategory, no outer, CLSCTX_ALL, IID_ISpObjectTokenCategory)",
    "SetId(HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\PhoneConverters, no create)",
    "EnumTokens(Language=409, VendorPreferred)",
    "Release(category)",
    "Next(1, no fetched count)",
    "Release(token enumeration)",
    "CreateInstance(no outer, CLSCTX_ALL, IID_ISpPhoneConverter)",
    "Release(token)",
};

const std::vector<std::string> kTeardown = {
    "Release(converter)", "Release(grammar)",    "SetNotifySink(none)",
    "Release(context)",   "Release(recognizer)", "Release(stream)",
};

std::vector<std::string> concatenate(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

class Session : public SessionTest {};

TEST_F(Session, DictationFileRunsTheWholeChainInOrder) {
    platform.addWait({endOfStream()});
    EXPECT_TRUE(process("/data/a.wav"));
    EXPECT_THAT(platform.calls(),
                ElementsAreArray(concatenate(
                    {kSetUpUntilGrammar,
                     {"LoadDictation(no topic, SPLO_STATIC)", "SetDictationState(SPRS_ACTIVE)"},
                     kPhoneConverterSearch,
                     {"WaitForNotifyEvent(INFINITE)", "GetEvents(1, no fetched count)"},
                     kTeardown})));
    EXPECT_EQ(out.str(), "FILE: a.wav\n");
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(record.str(), "[a.wav]\t0\r\n\r\n");  // nothing recognised
}

// Phones timed from the audio need a recogniser that places them; one that cannot is no reason
// to give up the file.
TEST_F(Session, AcousticPhoneTimesAskTheRecogniserToPlacePhones) {
    for (const HRESULT answer : {S_OK, S_FALSE, E_NOTIMPL}) {
        SCOPED_TRACE(answer);
        platform.clearCalls();
        platform.setStatusOnce(Op::SetPropertyNum, answer);
        extractor.options.phoneTiming = PhoneTiming::kAcoustic;
        platform.addWait({endOfStream()});
        EXPECT_TRUE(process("/data/a.wav"));
        const std::vector<std::string>& calls = platform.calls();
        ASSERT_GE(calls.size(), 2u);
        EXPECT_EQ(calls[1], "SetPropertyNum(PhoneAlignment, 1)");
        EXPECT_EQ(calls[2], "CreateRecoContext");
    }
    EXPECT_EQ(err.str(), "");
}

class HintBranch : public SessionTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(HintBranch, BuildsOneRuleOfTheWholeTranscript) {
    const std::string& transcript = GetParam();
    setHints("a.wav:" + transcript + "\nb.wav:other words\n");
    platform.addWait({endOfStream()});
    EXPECT_TRUE(process("/data/a.wav"));
    EXPECT_THAT(platform.calls(),
                ElementsAreArray(
                    concatenate({kSetUpUntilGrammar,
                                 {"GetRule(no name, 1, 0x3, create)",
                                  "AddWordTransition(initial state, end, \"" + transcript +
                                      "\", \" \", SPWT_LEXICAL, 1, no property)",
                                  "Commit(0)", "SetRuleIdState(1, SPRS_ACTIVE)"},
                                 kPhoneConverterSearch,
                                 {"WaitForNotifyEvent(INFINITE)", "GetEvents(1, no fetched count)"},
                                 kTeardown})));
}

// A found transcript takes the hint branch even when it is empty.
INSTANTIATE_TEST_SUITE_P(Transcripts, HintBranch,
                         ::testing::Values("the cat sat on the mat", "", "caf\xC3\xA9 au lait"));

struct SetUpFailure {
    std::string name;
    std::function<void(ScriptedPlatform&)> arrange;
    bool hint;
    std::string message;
    std::vector<std::string> releases;  // Release and SetNotifySink calls, in order

    friend void PrintTo(const SetUpFailure& c, std::ostream* os) { *os << c.name; }
};

std::function<void(ScriptedPlatform&)> failing(Op op, HRESULT status) {
    return [op, status](ScriptedPlatform& p) { p.setStatus(op, status); };
}
std::function<void(ScriptedPlatform&)> handingOutNothing(Op op) {
    return [op](ScriptedPlatform& p) { p.handOutNothing(op); };
}

const std::vector<std::string> kRecognizerHeld = {"Release(recognizer)"};
const std::vector<std::string> kContextHeld = {"SetNotifySink(none)", "Release(context)",
                                               "Release(recognizer)"};
const std::vector<std::string> kStreamHeld = concatenate({kContextHeld, {"Release(stream)"}});
const std::vector<std::string> kGrammarHeld = concatenate({{"Release(grammar)"}, kStreamHeld});

const std::string kEngine = "Cannot create recognition engine.";
const std::string kContext = "Cannot create recognition context.";
const std::string kStream = "Cannot create audio stream from file.";
const std::string kFormat = "Cannot get wave format.";
const std::string kGrammar = "Cannot create grammar.";
const std::string kConverter = "Cannot create phone converter.";

const SetUpFailure kSetUpFailures[] = {
    {"EngineFails", failing(Op::CreateRecognizer, E_FAIL), false, kEngine, {}},
    {"EngineReportsFalse", failing(Op::CreateRecognizer, S_FALSE), false, kEngine, kRecognizerHeld},
    {"EngineMissing", handingOutNothing(Op::CreateRecognizer), false, kEngine, {}},
    {"ContextFails", failing(Op::CreateRecoContext, E_OUTOFMEMORY), false, kContext,
     kRecognizerHeld},
    {"ContextReportsFalse", failing(Op::CreateRecoContext, S_FALSE), false, kContext, kContextHeld},
    {"ContextMissing", handingOutNothing(Op::CreateRecoContext), false, kContext, kRecognizerHeld},
    {"NotificationFails", failing(Op::SetNotifyWin32Event, E_FAIL), false,
     "Cannot set recognition notification.", kContextHeld},
    {"InterestReportsFalse", failing(Op::SetInterest, S_FALSE), false,
     "Cannot specify interest for recognition events.", kContextHeld},
    {"StreamCreationFails", failing(Op::CreateStream, REGDB_E_CLASSNOTREG), false, kStream,
     kContextHeld},
    {"StreamMissing", handingOutNothing(Op::CreateStream), false, kStream, kContextHeld},
    // A bind that fails releases the stream at once; one that reports S_FALSE keeps it held.
    {"BindFails", failing(Op::BindToFile, E_FAIL), false, kStream,
     concatenate({{"Release(stream)"}, kContextHeld})},
    {"BindReportsFalse", failing(Op::BindToFile, S_FALSE), false, kStream, kStreamHeld},
    {"FormatFails", failing(Op::GetFormat, E_FAIL), false, kFormat, kStreamHeld},
    {"FormatReportsFalse", failing(Op::GetFormat, S_FALSE), false, kFormat, kStreamHeld},
    {"FormatMissing", handingOutNothing(Op::GetFormat), false, kFormat, kStreamHeld},
    {"FormatWithoutByteRate", [](ScriptedPlatform& p) { p.waveFormat.nAvgBytesPerSec = 0; }, false,
     kFormat, kStreamHeld},
    {"InputFails", failing(Op::SetInput, E_FAIL), false, "Cannot set input for recognition engine.",
     kStreamHeld},
    {"RecoStateReportsFalse", failing(Op::SetRecoState, S_FALSE), false,
     "Cannot set state for recognition engine.", kStreamHeld},
    {"GrammarFails", failing(Op::CreateGrammar, E_FAIL), false, kGrammar, kStreamHeld},
    {"GrammarReportsFalse", failing(Op::CreateGrammar, S_FALSE), false, kGrammar, kGrammarHeld},
    {"GrammarMissing", handingOutNothing(Op::CreateGrammar), false, kGrammar, kStreamHeld},
    {"DictationFails", failing(Op::LoadDictation, E_FAIL), false, "Cannot load dictation grammar.",
     kGrammarHeld},
    {"DictationStateReportsFalse", failing(Op::SetDictationState, S_FALSE), false,
     "Cannot set state for dictation grammar.", kGrammarHeld},
    {"RuleFails", failing(Op::GetRule, E_FAIL), true, "Cannot create grammar rule.", kGrammarHeld},
    {"TransitionFails", failing(Op::AddWordTransition, E_INVALIDARG), true,
     "Cannot add word transition to grammar rule.", kGrammarHeld},
    {"CommitReportsFalse", failing(Op::Commit, S_FALSE), true, "Cannot commit grammar.",
     kGrammarHeld},
    {"RuleStateFails", failing(Op::SetRuleIdState, E_FAIL), true, "Cannot activate grammar rule.",
     kGrammarHeld},
    {"CategoryFails", failing(Op::CreateCategory, E_OUTOFMEMORY), false, kConverter, kGrammarHeld},
    {"CategoryIdUnknown", failing(Op::SetId, SPERR_NOT_FOUND), false, kConverter,
     concatenate({{"Release(category)"}, kGrammarHeld})},
    {"EnumerationFails", failing(Op::EnumTokens, E_FAIL), false, kConverter,
     concatenate({{"Release(category)"}, kGrammarHeld})},
    {"NoConverterToken", failing(Op::NextToken, S_FALSE), false, kConverter,
     concatenate({{"Release(category)", "Release(token enumeration)"}, kGrammarHeld})},
    {"ConverterFails", failing(Op::CreateConverter, E_FAIL), false, kConverter,
     concatenate(
         {{"Release(category)", "Release(token enumeration)", "Release(token)"}, kGrammarHeld})},
    {"ConverterReportsFalse", failing(Op::CreateConverter, S_FALSE), false, kConverter,
     concatenate({{"Release(category)", "Release(token enumeration)", "Release(token)",
                   "Release(converter)"},
                  kGrammarHeld})},
    {"ConverterMissing", handingOutNothing(Op::CreateConverter), false, kConverter,
     concatenate(
         {{"Release(category)", "Release(token enumeration)", "Release(token)"}, kGrammarHeld})},
};

class FailingSetUpStep : public SessionTest, public ::testing::WithParamInterface<SetUpFailure> {};

TEST_P(FailingSetUpStep, ReportsReleasesWritesNothingAndTheNextFileStartsAfresh) {
    const SetUpFailure& failure = GetParam();
    if (failure.hint) {
        setHints("a.wav:the cat sat\n");
    }
    extractor.timeline.addWord("aa", 0, 100);  // left over from an earlier file
    extractor.timeline.endTime = 100;
    failure.arrange(platform);

    EXPECT_FALSE(process("/data/a.wav"));
    EXPECT_EQ(out.str(), "FILE: a.wav\n");
    EXPECT_EQ(err.str(), "ERROR: " + failure.message + "\n");
    EXPECT_EQ(record.str(), "");
    EXPECT_THAT(platform.callsStartingWith({"Release(", "SetNotifySink"}),
                ElementsAreArray(failure.releases));
    EXPECT_THAT(extractor.timeline.entries, IsEmpty());
    EXPECT_EQ(extractor.timeline.endTime, 0u);
    EXPECT_THAT(platform.callsStartingWith({"WaitForNotifyEvent"}), IsEmpty());

    platform.resetAnswers();
    platform.clearCalls();
    platform.addWait({recognition(resultAt(0, 500, {wordAt(100, 200, "b iy")})), endOfStream()});
    EXPECT_TRUE(process("/data/b.wav"));
    EXPECT_EQ(platform.calls().front(),
              "CoCreateInstance(SpInprocRecognizer, no outer, CLSCTX_ALL, IID_ISpRecognizer)");
    EXPECT_EQ(err.str(), "ERROR: " + failure.message + "\n");
    EXPECT_EQ(record.str(), "[b.wav]\t500\r\nb\t100\r\niy\t150\r\n_\t300\r\n\r\n");
}

INSTANTIATE_TEST_SUITE_P(EachStep, FailingSetUpStep, ::testing::ValuesIn(kSetUpFailures),
                         [](const auto& info) { return info.param.name; });

TEST_F(Session, StreamCreationReportingFalseLetsTheBindDecide) {
    platform.setStatus(Op::CreateStream, S_FALSE);
    platform.addWait({endOfStream()});
    EXPECT_TRUE(process("/data/a.wav"));
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(record.str(), "[a.wav]\t0\r\n\r\n");
}

// A name's bytes reach the stream and the record unchanged, UTF-8 or not; only a line break in
// the name itself, which would split the record's header line, fails the stream step.
struct NameCase {
    std::string name;
    std::string path;
    bool bound;
    std::string record;

    friend void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }
};

class StreamName : public SessionTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(StreamName, IsBoundAsWrittenUnlessItsRecordCouldNotHoldIt) {
    const NameCase& c = GetParam();
    if (c.bound) {
        platform.addWait({endOfStream()});
    }
    EXPECT_EQ(process(c.path), c.bound);
    EXPECT_EQ(err.str(), c.bound ? "" : "ERROR: Cannot create audio stream from file.\n");
    if (c.bound) {
        EXPECT_THAT(platform.callsStartingWith({"BindToFile"}),
                    ElementsAre("BindToFile(" + c.path +
                                ", SPFM_OPEN_READONLY, no format id, no wave format, "
                                "0xEFFFFFFFFFFFFFFF)"));
    } else {
        EXPECT_THAT(platform.callsStartingWith({"BindToFile"}), IsEmpty());
    }
    EXPECT_EQ(record.str(), c.record);
}

INSTANTIATE_TEST_SUITE_P(
    Names, StreamName,
    ::testing::Values(
        NameCase{"Latin1", "/data/caf\xE9.wav", true, "[caf\xE9.wav]\t0\r\n\r\n"},
        NameCase{"NotUtf8AtAll", "/data/\xFF\xFE\x80.wav", true, "[\xFF\xFE\x80.wav]\t0\r\n\r\n"},
        NameCase{"LineFeed", "/data/two\nlines.wav", false, ""},
        NameCase{"CarriageReturn", "/data/two\rlines.wav", false, ""},
        NameCase{"LineFeedInAFolderOnly", "/da\nta/a.wav", true, "[a.wav]\t0\r\n\r\n"}),
    [](const auto& info) { return info.param.name; });

// The check belongs to the records: a line of JSON holds any name.
TEST_F(Session, ANameWithALineEndIsBoundWhenTheOutputIsJson) {
    extractor.options.outputFormat = OutputFormat::kJson;
    platform.addWait({endOfStream()});
    EXPECT_TRUE(process("/data/two\r\nlines.wav"));
    EXPECT_EQ(err.str(), "");
    EXPECT_THAT(platform.callsStartingWith({"BindToFile"}), ::testing::SizeIs(1));
    EXPECT_EQ(record.str(),
              "{\"file\":\"two\\u000d\\u000alines.wav\",\"end\":0.0,\"duration\":0.0,"
              "\"words\":[],\"phones\":[]}\n");
}

TEST_F(Session, QuietSuppressesTheFileLineButNotErrors) {
    extractor.options.quiet = true;
    platform.setStatus(Op::BindToFile, E_FAIL);
    EXPECT_FALSE(process("/data/a.wav"));
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "ERROR: Cannot create audio stream from file.\n");
}

struct PathCase {
    std::string path;
    std::string bound;  // as handed to BindToFile
};

class BaseName : public SessionTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(BaseName, NamesTheFileFindsItsHintAndHeadsItsRecord) {
    setHints("a.wav:hello\n");
    platform.addWait({endOfStream()});
    EXPECT_TRUE(process(GetParam().path));
    EXPECT_EQ(out.str(), "FILE: a.wav\n");
    EXPECT_THAT(platform.callsStartingWith({"BindToFile", "GetRule"}),
                ElementsAre("BindToFile(" + GetParam().bound +
                                ", SPFM_OPEN_READONLY, no format id, no wave format, "
                                "0xEFFFFFFFFFFFFFFF)",
                            "GetRule(no name, 1, 0x3, create)"));
    EXPECT_EQ(record.str(), "[a.wav]\t0\r\n\r\n");
}

INSTANTIATE_TEST_SUITE_P(Paths, BaseName,
                         ::testing::Values(PathCase{"C:\\audio\\take 1\\a.wav",
                                                    "C:\\audio\\take 1\\a.wav"},
                                           PathCase{"/home/u/audio/a.wav", "/home/u/audio/a.wav"},
                                           PathCase{"a.wav", "a.wav"}));

struct TokenCase {
    std::string attributes;
    bool found;
};

class LayerTokenCategory : public SessionTest, public ::testing::WithParamInterface<TokenCase> {};

TEST_P(LayerTokenCategory, FindsOnlyAnAmericanEnglishConverter) {
    platform.useLayerTokenCategory(GetParam().attributes);
    for (const char* name : {"/data/a.wav", "/data/b.wav"}) {
        if (GetParam().found) {
            platform.addWait({endOfStream()});
        }
        EXPECT_EQ(process(name), GetParam().found);
    }
    if (GetParam().found) {
        EXPECT_EQ(err.str(), "");
        EXPECT_EQ(record.str(), "[a.wav]\t0\r\n\r\n[b.wav]\t0\r\n\r\n");
    } else {
        EXPECT_EQ(err.str(),
                  "ERROR: Cannot create phone converter.\nERROR: Cannot create phone converter.\n");
        EXPECT_EQ(record.str(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Attributes, LayerTokenCategory,
                         ::testing::Values(TokenCase{"Language=407", false},
                                           TokenCase{"Vendor=Scripted", false},
                                           TokenCase{"Language=409;Vendor=Scripted", true}));

TEST_F(Session, RecordThatCannotBeWrittenStopsTheRunWithAMessage) {
    std::ostream broken(nullptr);  // every write fails
    extractor.output = &broken;
    platform.addWait({endOfStream()});
    EXPECT_FALSE(process("/data/a.wav"));
    EXPECT_TRUE(extractor.outputFailed);
    EXPECT_EQ(err.str(), "ERROR: Cannot write output file.\n");
}

// The loop: how waits, fetches and the end-of-stream event decide what is handled.
struct LoopCase {
    std::string name;
    std::function<void(ScriptedPlatform&)> arrange;
    std::vector<std::string> waitsAndFetches;
    std::uint32_t endTime;

    friend void PrintTo(const LoopCase& c, std::ostream* os) { *os << c.name; }
};

const ScriptedEvent kResultAt900 = recognition(resultAt(400, 500, {wordAt(0, 500, "aa")}));

const LoopCase kLoopCases[] = {
    {"EventsBehindTheEndOfStreamAreNeverHandled",
     [](ScriptedPlatform& p) {
         p.addWait({endOfStream(), kResultAt900, hypothesis(u"late")});
     },
     {"WaitForNotifyEvent(INFINITE)", "GetEvents(1, no fetched count)"},
     0},
    {"FailedWaitEndsTheLoopKeepingWhatWasGathered",
     [](ScriptedPlatform& p) {
         p.addWait({kResultAt900});
         p.addWait({endOfStream()}, E_FAIL);
     },
     {"WaitForNotifyEvent(INFINITE)", "GetEvents(1, no fetched count)",
      "GetEvents(1, no fetched count)", "WaitForNotifyEvent(INFINITE)"},
     900},
    {"WaitReportingFalseEndsTheLoop",
     [](ScriptedPlatform& p) {
         p.addWait({kResultAt900, endOfStream()}, S_FALSE);
     },
     {"WaitForNotifyEvent(INFINITE)"},
     0},
    {"EmptyFetchWaitsAgain",
     [](ScriptedPlatform& p) {
         p.addWait({});
         p.addWait({kResultAt900, endOfStream()});
     },
     {"WaitForNotifyEvent(INFINITE)", "GetEvents(1, no fetched count)",
      "WaitForNotifyEvent(INFINITE)", "GetEvents(1, no fetched count)",
      "GetEvents(1, no fetched count)"},
     900},
    {"FailedFetchIsTakenAsAnEmptyQueue",
     [](ScriptedPlatform& p) {
         p.setStatusOnce(Op::GetEvents, E_FAIL);
         p.addWait({kResultAt900, endOfStream()});
         p.addWait({});
     },
     {"WaitForNotifyEvent(INFINITE)", "GetEvents(1, no fetched count)",
      "WaitForNotifyEvent(INFINITE)", "GetEvents(1, no fetched count)",
      "GetEvents(1, no fetched count)"},
     900},
};

class EventLoop : public SessionTest, public ::testing::WithParamInterface<LoopCase> {};

TEST_P(EventLoop, HandlesEventsUpToTheEndOfStream) {
    extractor.options.showTranscription = true;
    extractor.options.showHypothesis = true;
    GetParam().arrange(platform);
    EXPECT_TRUE(process("/data/a.wav"));
    EXPECT_THAT(platform.callsStartingWith({"WaitForNotifyEvent", "GetEvents"}),
                ElementsAreArray(GetParam().waitsAndFetches));
    EXPECT_EQ(extractor.timeline.endTime, GetParam().endTime);
    EXPECT_EQ(err.str(), "");
    const std::string echo = GetParam().endTime == 0 ? "" : "-- \n";
    EXPECT_EQ(out.str(), "FILE: a.wav\n" + echo);
}

INSTANTIATE_TEST_SUITE_P(Scripts, EventLoop, ::testing::ValuesIn(kLoopCases),
                         [](const auto& info) { return info.param.name; });

// Clearing an event releases what its payload owns, by its kind, and nothing else.
class EventPayload : public SessionTest, public ::testing::WithParamInterface<Payload> {};

TEST_P(EventPayload, IsReleasedByItsKindWhenTheEventIsCleared) {
    ScriptedEvent unhandled = eventWithoutPayload(SPEI_SOUND_START);
    unhandled.payload = GetParam();
    platform.addWait({unhandled, unhandled, endOfStream()});
    EXPECT_TRUE(process("/data/a.wav"));  // checks every object and block came back
    EXPECT_THAT(platform.callsStartingWith({"GetText"}), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, EventPayload,
                         ::testing::Values(Payload::None, Payload::Result, Payload::Token,
                                           Payload::Memory, Payload::Text, Payload::Unowned));

TEST(ClearEvent, ZeroesTheWholeRecord) {
    SPEVENT event{SPEI_SOUND_START, 9, 3, 12345, 6, 0x5EED};
    clearEvent(event);
    EXPECT_EQ(event.eEventId, 0);
    EXPECT_EQ(event.elParamType, 0);
    EXPECT_EQ(event.ulStreamNum, 0u);
    EXPECT_EQ(event.ullAudioStreamOffset, 0u);
    EXPECT_EQ(event.wParam, 0u);
    EXPECT_EQ(event.lParam, 0);
}

// createPhoneConverter over the scripted category: which status it ends with.
struct ConverterSearch {
    std::string name;
    std::function<void(ScriptedPlatform&)> arrange;
    HRESULT expected;
    bool converterMade;

    friend void PrintTo(const ConverterSearch& c, std::ostream* os) { *os << c.name; }
};

const ConverterSearch kConverterSearches[] = {
    {"Found", [](ScriptedPlatform&) {}, S_OK, true},
    {"CategoryFails", failing(Op::CreateCategory, E_OUTOFMEMORY), E_OUTOFMEMORY, false},
    {"IdFails", failing(Op::SetId, SPERR_NOT_FOUND), SPERR_NOT_FOUND, false},
    {"IdReportingFalseGoesOn", failing(Op::SetId, S_FALSE), S_OK, true},
    {"EnumerationFails", failing(Op::EnumTokens, E_FAIL), E_FAIL, false},
    {"EnumerationReportingFalseGoesOn", failing(Op::EnumTokens, S_FALSE), S_OK, true},
    {"EnumerationMissing", handingOutNothing(Op::EnumTokens), E_POINTER, false},
    {"NoToken", failing(Op::NextToken, S_FALSE), SPERR_NOT_FOUND, false},
    {"NextFails", failing(Op::NextToken, E_FAIL), E_FAIL, false},
    {"TokenMissing", handingOutNothing(Op::NextToken), SPERR_NOT_FOUND, false},
    {"CreationFails", failing(Op::CreateConverter, E_FAIL), E_FAIL, false},
    {"CreationReportsFalse", failing(Op::CreateConverter, S_FALSE), S_FALSE, true},
};

class PhoneConverterSearch : public SessionTest,
                             public ::testing::WithParamInterface<ConverterSearch> {};

TEST_P(PhoneConverterSearch, EndsWithTheFirstFailureOrTheCreation) {
    GetParam().arrange(platform);
    ComPtr<ISpPhoneConverter> converter;
    EXPECT_EQ(createPhoneConverter(kPhoneConverterCategoryId.data(), u"Language=409",
                                   u"Gender=Male", converter.put(), nullptr, CLSCTX_ALL),
              GetParam().expected);
    EXPECT_EQ(static_cast<bool>(converter), GetParam().converterMade);
    converter.reset();
    expectEverythingReleased();
    const auto enumerations = platform.callsStartingWith({"EnumTokens"});
    if (!enumerations.empty()) {
        EXPECT_EQ(enumerations.front(), "EnumTokens(Language=409, Gender=Male;VendorPreferred)");
    }
}

INSTANTIATE_TEST_SUITE_P(Outcomes, PhoneConverterSearch, ::testing::ValuesIn(kConverterSearches),
                         [](const auto& info) { return info.param.name; });

struct LanguageCase {
    std::uint16_t langId;
    std::u16string attribute;
};

class LanguageAttribute : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(LanguageAttribute, IsUpperCaseHexWithoutLeadingZeros) {
    EXPECT_EQ(languageAttribute(GetParam().langId), GetParam().attribute);
}

INSTANTIATE_TEST_SUITE_P(Ids, LanguageAttribute,
                         ::testing::Values(LanguageCase{0x409, u"Language=409"},
                                           LanguageCase{0, u"Language=0"},
                                           LanguageCase{0x0C0A, u"Language=C0A"},
                                           LanguageCase{0xFFFF, u"Language=FFFF"}));

}  // namespace
}  // namespace phonemes::testing
