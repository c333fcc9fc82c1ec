#include "recognition_session.h"

#include <utility>

#include "event_handling.h"
#include "platform.h"
#include "result_output.h"
#include "text_conversion.h"
#include "thread_cancellation.h"
#include "token_category.h"

namespace phonemes {
namespace {

constexpr std::string_view kCannotCreateEngine = "Cannot create recognition engine.";
constexpr std::string_view kCannotCreateContext = "Cannot create recognition context.";
constexpr std::string_view kCannotSetNotification = "Cannot set recognition notification.";
constexpr std::string_view kCannotSetInterest = "Cannot specify interest for recognition events.";
constexpr std::string_view kCannotCreateStream = "Cannot create audio stream from file.";
constexpr std::string_view kCannotGetFormat = "Cannot get wave format.";
constexpr std::string_view kCannotSetInput = "Cannot set input for recognition engine.";
constexpr std::string_view kCannotSetEngineState = "Cannot set state for recognition engine.";
constexpr std::string_view kCannotCreateGrammar = "Cannot create grammar.";
constexpr std::string_view kCannotCreateRule = "Cannot create grammar rule.";
constexpr std::string_view kCannotAddTransition = "Cannot add word transition to grammar rule.";
constexpr std::string_view kCannotCommitGrammar = "Cannot commit grammar.";
constexpr std::string_view kCannotActivateRule = "Cannot activate grammar rule.";
constexpr std::string_view kCannotLoadDictation = "Cannot load dictation grammar.";
constexpr std::string_view kCannotSetDictationState = "Cannot set state for dictation grammar.";
constexpr std::string_view kCannotCreateConverter = "Cannot create phone converter.";

constexpr std::uint64_t kGrammarId = 0;
// The hint grammar's one rule: top level and active from the start.
constexpr std::uint32_t kHintRuleId = 1;
constexpr std::uint32_t kHintRuleAttributes = SPRAF_TopLevel | SPRAF_Active;
constexpr float kWordTransitionWeight = 1.0f;
constexpr const char16_t* kTranscriptSeparators = u" ";
constexpr std::u16string_view kVendorPreferred = u"VendorPreferred";
constexpr std::u16string_view kLanguageAttributeName = u"Language=";

// CoCreateInstance into an object slot, with no outer object and any class context.
template <class Interface>
HRESULT createObject(REFCLSID clsid, ComPtr<Interface>& slot) {
    void* created = nullptr;
    const HRESULT status = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, Interface::kIid, &created);
    slot.attach(static_cast<Interface*>(created));
    return status;
}

// A step succeeds on S_OK alone; a success code such as S_FALSE fails it as well.
bool stepFailed(HRESULT status) {
    return status != S_OK;
}

}  // namespace

void clearEvent(SPEVENT& event) {
    switch (event.elParamType) {
        case SPET_LPARAM_IS_TOKEN:
        case SPET_LPARAM_IS_OBJECT:
            if (IUnknown* object = eventObject(event)) {
                object->Release();
            }
            break;
        case SPET_LPARAM_IS_POINTER:
        case SPET_LPARAM_IS_STRING:
            CoTaskMemFree(reinterpret_cast<void*>(event.lParam));
            break;
        default:
            break;  // nothing owned
    }
    event = SPEVENT{};
}

std::u16string languageAttribute(std::uint16_t langId) {
    constexpr std::u16string_view kHexDigits = u"0123456789ABCDEF";
    std::u16string digits;
    do {
        digits.insert(digits.begin(), kHexDigits[langId % 16]);
        langId /= 16;
    } while (langId != 0);
    return std::u16string(kLanguageAttributeName) + digits;
}

HRESULT createPhoneConverter(const char16_t* categoryId, const char16_t* requiredAttributes,
                             const char16_t* optionalAttributes, ISpPhoneConverter** converter,
                             IUnknown* outer, std::uint32_t classContext) {
    if (converter == nullptr) {
        return E_POINTER;
    }
    *converter = nullptr;
    std::u16string optional;
    if (optionalAttributes != nullptr) {
        optional = optionalAttributes;
        optional += u';';
    }
    optional += kVendorPreferred;

    ComPtr<IEnumSpObjectTokens> tokens;
    {
        ComPtr<ISpObjectTokenCategory> category;
        HRESULT status = createObject(CLSID_SpObjectTokenCategory, category);
        if (SUCCEEDED(status)) {
            status = category ? category->SetId(categoryId, false) : E_POINTER;
        }
        if (SUCCEEDED(status)) {
            status = category->EnumTokens(requiredAttributes, optional.c_str(), tokens.put());
        }
        if (SUCCEEDED(status) && !tokens) {
            status = E_POINTER;
        }
        if (FAILED(status)) {
            return status;
        }
    }

    ComPtr<ISpObjectToken> token;
    HRESULT status = tokens->Next(1, token.put(), nullptr);
    tokens.reset();
    if (status == S_FALSE || (SUCCEEDED(status) && !token)) {
        return SPERR_NOT_FOUND;
    }
    if (FAILED(status)) {
        return status;
    }
    void* created = nullptr;
    status = token->CreateInstance(outer, classContext, IID_ISpPhoneConverter, &created);
    *converter = static_cast<ISpPhoneConverter*>(created);
    return status;
}

RecognitionSession::~RecognitionSession() {
    releaseSpeechObjects();
    finishBatch();
}

void RecognitionSession::startBatch() {
    // The status is not examined: an unusable platform shows up as a set-up failure per file.
    comInitialised_ = SUCCEEDED(CoInitialize(nullptr));
    setThreadCancellation(cancellation_.get_token());
}

void RecognitionSession::finishBatch() {
    if (std::exchange(comInitialised_, false)) {
        setThreadCancellation({});
        CoUninitialize();
    }
}

void RecognitionSession::cancel() {
    cancellation_.request_stop();
}

std::optional<FileResult> RecognitionSession::processFile(const std::string& path) {
    Console& console = extractor_.console;
    const std::string baseName = baseNameOf(path);
    if (!extractor_.options.quiet) {
        console.printLine("FILE: " + baseName);
    }
    const std::optional<std::string_view> found = extractor_.hints.findHint(baseName);
    const std::optional<std::string> hint =
        found ? std::optional<std::string>(*found) : std::nullopt;
    extractor_.timeline.clear();

    if (const std::optional<std::string_view> failure = setUp(path, hint)) {
        console.printError(*failure);
        releaseSpeechObjects();
        return std::nullopt;
    }
    runEventLoop();
    releaseSpeechObjects();
    return extractor_.resultOf(baseName);
}

std::optional<std::string_view> RecognitionSession::setUp(const std::string& path,
                                                          const std::optional<std::string>& hint) {
    // A step that reports success but hands out nothing fails like any other.
    if (stepFailed(createObject(CLSID_SpInprocRecognizer, recognizer_)) || !recognizer_) {
        return kCannotCreateEngine;
    }
    if (extractor_.options.phoneTiming == PhoneTiming::kAcoustic) {
        // A recogniser that cannot place phones leaves its results without phone times, and
        // the phones are spread by their weights: not a reason to give up the file.
        recognizer_->SetPropertyNum(kPhoneAlignmentProperty, 1);
    }
    if (stepFailed(recognizer_->CreateRecoContext(context_.put())) || !context_) {
        return kCannotCreateContext;
    }
    if (stepFailed(context_->SetNotifyWin32Event())) {
        return kCannotSetNotification;
    }
    if (stepFailed(context_->SetInterest(kInterestMask, kInterestMask))) {
        return kCannotSetInterest;
    }
    if (stepFailed(createAudioStream(path))) {
        return kCannotCreateStream;
    }
    if (stepFailed(readWaveFormat())) {
        return kCannotGetFormat;
    }
    if (stepFailed(recognizer_->SetInput(stream_.get(), true))) {
        return kCannotSetInput;
    }
    if (stepFailed(recognizer_->SetRecoState(SPRST_ACTIVE))) {
        return kCannotSetEngineState;
    }
    if (stepFailed(context_->CreateGrammar(kGrammarId, grammar_.put())) || !grammar_) {
        return kCannotCreateGrammar;
    }
    if (const auto failure = hint ? setUpHintRule(*hint) : setUpDictation()) {
        return failure;
    }
    const std::u16string requiredAttributes = languageAttribute(kLangIdAmericanEnglish);
    if (stepFailed(createPhoneConverter(kPhoneConverterCategoryId.data(),
                                        requiredAttributes.c_str(), nullptr, phoneConverter_.put(),
                                        nullptr, CLSCTX_ALL)) ||
        !phoneConverter_) {
        return kCannotCreateConverter;
    }
    return std::nullopt;
}

HRESULT RecognitionSession::createAudioStream(const std::string& path) {
    HRESULT status = createObject(CLSID_SpStream, stream_);
    if (FAILED(status)) {
        return status;
    }
    // The creation's status stands only when it failed; otherwise the bind decides the step.
    const std::optional<std::u16string> widePath = toWideText(path);
    if (!stream_) {
        status = E_POINTER;
    } else if (!widePath) {
        status = E_INVALIDARG;  // a name that is not valid narrow text cannot be handed over
    } else if (!outputCanHoldName(extractor_.options, baseNameOf(path))) {
        status = E_INVALIDARG;  // the file could be read, but its record could not
    } else {
        status = stream_->BindToFile(widePath->c_str(), SPFM_OPEN_READONLY, nullptr, nullptr,
                                     SPFEI_ALL_EVENTS);
    }
    if (FAILED(status)) {
        stream_.reset();
    }
    return status;
}

HRESULT RecognitionSession::readWaveFormat() {
    GUID formatId{};
    WAVEFORMATEX* format = nullptr;
    const HRESULT status = stream_->GetFormat(&formatId, &format);
    waveFormat_.reset(format);
    if (status != S_OK) {
        return status;
    }
    // Byte offsets become milliseconds through the byte rate: a rate of 0 would divide by
    // zero for every word, so such a stream is refused here.
    if (!waveFormat_ || waveFormat_->nAvgBytesPerSec == 0) {
        return E_FAIL;
    }
    return S_OK;
}

std::optional<std::string_view> RecognitionSession::setUpHintRule(const std::string& transcript) {
    SPSTATEHANDLE initialState = nullptr;
    if (stepFailed(
            grammar_->GetRule(nullptr, kHintRuleId, kHintRuleAttributes, true, &initialState))) {
        return kCannotCreateRule;
    }
    const std::optional<std::u16string> words = toWideText(transcript);
    if (!words || stepFailed(grammar_->AddWordTransition(initialState, nullptr, words->c_str(),
                                                         kTranscriptSeparators, SPWT_LEXICAL,
                                                         kWordTransitionWeight, nullptr))) {
        return kCannotAddTransition;
    }
    if (stepFailed(grammar_->Commit(0))) {
        return kCannotCommitGrammar;
    }
    if (stepFailed(grammar_->SetRuleIdState(kHintRuleId, SPRS_ACTIVE))) {
        return kCannotActivateRule;
    }
    return std::nullopt;
}

std::optional<std::string_view> RecognitionSession::setUpDictation() {
    if (stepFailed(grammar_->LoadDictation(nullptr, SPLO_STATIC))) {
        return kCannotLoadDictation;
    }
    if (stepFailed(grammar_->SetDictationState(SPRS_ACTIVE))) {
        return kCannotSetDictationState;
    }
    return std::nullopt;
}

void RecognitionSession::runEventLoop() {
    endOfStream_ = false;
    SPEVENT event{};
    do {
        // A failed wait ends the file without a message; what was gathered is still written.
        if (context_->WaitForNotifyEvent(INFINITE) != S_OK) {
            break;
        }
        // One event at a time, so that nothing behind the end-of-stream event is handled.
        while (!endOfStream_) {
            clearEvent(event);
            if (context_->GetEvents(1, &event, nullptr) != S_OK) {
                break;  // an empty queue, or a fetch that failed: wait again
            }
            handleEvent(*this, event);
            clearEvent(event);
        }
        clearEvent(event);
    } while (!endOfStream_);
}

void RecognitionSession::releaseSpeechObjects() {
    phoneConverter_.reset();
    grammar_.reset();
    if (context_) {
        ComPtr<ISpRecoContext> context = std::move(context_);
        context->SetNotifySink(nullptr);
    }
    recognizer_.reset();
    stream_.reset();
    waveFormat_.reset();
}

bool RecognitionSession::holdsSpeechObjects() const {
    return recognizer_ || context_ || stream_ || waveFormat_ || grammar_ || phoneConverter_;
}

}  // namespace phonemes
