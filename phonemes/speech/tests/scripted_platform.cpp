#include "scripted_platform.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "phone_inventory.h"
#include "phone_timeline.h"
#include "phrase_block.h"
#include "speech_registry.h"
#include "text_conversion.h"

namespace phonemes::scripted {
namespace {

std::string narrow(const char16_t* text) {
    if (text == nullptr) {
        return "null";
    }
    return toNarrowText(text).value_or("<not convertible>");
}

std::string hex(std::uint64_t value, int digits) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

std::string guidName(const GUID& id) {
    static const std::pair<const GUID*, const char*> kNames[] = {
        {&CLSID_SpInprocRecognizer, "SpInprocRecognizer"},
        {&CLSID_SpStream, "SpStream"},
        {&CLSID_SpObjectTokenCategory, "SpObjectTokenCategory"},
        {&CLSID_ScriptedPhoneConverter, "ScriptedPhoneConverter"},
        {&IID_IUnknown, "IID_IUnknown"},
        {&IID_ISpRecognizer, "IID_ISpRecognizer"},
        {&IID_ISpRecoContext, "IID_ISpRecoContext"},
        {&IID_ISpStream, "IID_ISpStream"},
        {&IID_ISpRecoGrammar, "IID_ISpRecoGrammar"},
        {&IID_ISpObjectTokenCategory, "IID_ISpObjectTokenCategory"},
        {&IID_IEnumSpObjectTokens, "IID_IEnumSpObjectTokens"},
        {&IID_ISpObjectToken, "IID_ISpObjectToken"},
        {&IID_ISpPhoneConverter, "IID_ISpPhoneConverter"},
        {&IID_ISpRecoResult, "IID_ISpRecoResult"},
        {&IID_ISpPhoneAlignment, "IID_ISpPhoneAlignment"},
    };
    for (const auto& [guid, name] : kNames) {
        if (*guid == id) {
            return name;
        }
    }
    return "unknown id";
}

// "what(first, no outer, CLSCTX_ALL, IID_...)", the first argument left out when empty.
std::string creationCall(std::string_view what, std::string_view first, IUnknown* outer,
                         std::uint32_t classContext, REFIID iid) {
    std::string call = std::string(what) + "(";
    if (!first.empty()) {
        call += std::string(first) + ", ";
    }
    return call + (outer == nullptr ? "no outer" : "outer") + ", " +
           (classContext == CLSCTX_ALL ? "CLSCTX_ALL" : hex(classContext, 1)) + ", " +
           guidName(iid) + ")";
}

const char* ruleStateName(SPRULESTATE state) {
    switch (state) {
        case SPRS_INACTIVE:
            return "SPRS_INACTIVE";
        case SPRS_ACTIVE:
            return "SPRS_ACTIVE";
        case SPRS_ACTIVE_WITH_AUTO_PAUSE:
            return "SPRS_ACTIVE_WITH_AUTO_PAUSE";
    }
    return "?";
}

std::string phoneNames(const SPPHONEID* ids) {
    std::string names;
    for (const SPPHONEID* id = ids; *id != 0; ++id) {
        if (!names.empty()) {
            names += ' ';
        }
        names += *id >= 1 && *id <= kPhoneCount ? std::string(phoneRows()[*id - 1].phone) : "?";
    }
    return names;
}

// Releases what a queued event's payload holds, the way clearing an event does.
void releasePayload(SPEVENT& event) {
    if (IUnknown* object = eventObject(event)) {
        object->Release();
    } else if (event.elParamType == SPET_LPARAM_IS_POINTER ||
               event.elParamType == SPET_LPARAM_IS_STRING) {
        CoTaskMemFree(reinterpret_cast<void*>(event.lParam));
    }
    event = SPEVENT{};
}

// An object of the platform implementing one interface (and the interfaces it derives from).
template <class Interface>
class Scripted : public ScriptedObject, public Interface {
  public:
    using ScriptedObject::ScriptedObject;

    HRESULT QueryInterface(REFIID iid, void** object) override {
        touch("QueryInterface");
        return queryInterfaces<Interface>(static_cast<Interface*>(this), iid, object);
    }
    ULONG AddRef() override { return addReference(); }
    ULONG Release() override { return releaseReference(); }
    const IUnknown* identity() const override { return static_cast<const Interface*>(this); }
};

// Hands out one reference to the interface asked for, as a creation does.
template <class Object>
HRESULT handOut(Object& object, REFIID iid, void** result, HRESULT status) {
    const HRESULT query = object.QueryInterface(iid, result);
    return FAILED(query) ? query : status;
}

class ScriptedResultObject final : public Scripted<ISpRecoResult>, public ISpPhoneAlignment {
  public:
    ScriptedResultObject(ScriptedPlatform& platform, ScriptedResult script)
        : Scripted(platform, "result " + std::to_string(platform.nextResultNumber())),
          script_(std::move(script)) {}

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_ISpPhoneAlignment && script_.offersPhoneAlignment) {
            touch("QueryInterface");
            *object = static_cast<ISpPhoneAlignment*>(this);
            AddRef();
            return S_OK;
        }
        return Scripted::QueryInterface(iid, object);
    }
    ULONG AddRef() override { return addReference(); }
    ULONG Release() override { return releaseReference(); }

    HRESULT GetPhoneSpans(std::uint32_t element, SPPHONESPAN* spans, std::uint32_t capacity,
                          std::uint32_t* count) override {
        touch("GetPhoneSpans");
        platform_.log("GetPhoneSpans(" + name() + ", " + std::to_string(element) + ")");
        *count = 0;
        if (element >= script_.words.size()) {
            return E_INVALIDARG;
        }
        const std::vector<SPPHONESPAN>& placed = script_.words[element].phoneSpans;
        if (placed.empty()) {
            return S_FALSE;
        }
        if (capacity < placed.size()) {
            return E_NOT_SUFFICIENT_BUFFER;
        }
        std::copy(placed.begin(), placed.end(), spans);
        *count = static_cast<std::uint32_t>(placed.size());
        return S_OK;
    }

    HRESULT GetText(std::uint32_t first, std::uint32_t count, bool useTextReplacements,
                    char16_t** text, std::uint8_t* displayAttributes) override {
        touch("GetText");
        platform_.log("GetText(" + name() + ", " +
                      (first == SP_GETWHOLEPHRASE && count == SP_GETWHOLEPHRASE
                           ? std::string("whole phrase")
                           : std::to_string(first) + " " + std::to_string(count)) +
                      (useTextReplacements ? ", replacements" : ", no replacements") +
                      (displayAttributes == nullptr ? ", no attributes)" : ", attributes)"));
        if (text == nullptr) {
            return E_POINTER;
        }
        *text = nullptr;
        if (SUCCEEDED(script_.textStatus) && script_.text) {
            *text = allocateText(*script_.text);
        }
        return script_.textStatus;
    }

    HRESULT GetResultTimes(SPRECORESULTTIMES* times) override {
        touch("GetResultTimes");
        platform_.log("GetResultTimes(" + name() + ")");
        if (times == nullptr) {
            return E_POINTER;
        }
        if (SUCCEEDED(script_.timesStatus)) {
            times->ullStart = script_.start;
            times->ullLength = script_.length;
        }
        return script_.timesStatus;
    }

    HRESULT GetPhrase(SPPHRASE** phrase) override {
        touch("GetPhrase");
        platform_.log("GetPhrase(" + name() + ")");
        if (phrase == nullptr) {
            return E_POINTER;
        }
        *phrase = nullptr;
        if (SUCCEEDED(script_.phraseStatus) && script_.phraseHandedOut) {
            std::vector<PhraseWord> words;
            for (const ScriptedWord& word : script_.words) {
                words.push_back({word.offsetBytes, word.sizeBytes, word.displayText,
                                 word.displayText, word.pronunciation});
            }
            *phrase = allocatePhrase(words, kLangIdAmericanEnglish, 0, 0);
        }
        return script_.phraseStatus;
    }

  private:
    ScriptedResult script_;
};

class ScriptedToken final : public Scripted<ISpObjectToken> {
  public:
    using Scripted::Scripted;
    HRESULT CreateInstance(IUnknown* outer, std::uint32_t classContext, REFIID iid,
                           void** object) override;
};

class ScriptedContext final : public Scripted<ISpRecoContext> {
  public:
    using Scripted::Scripted;

    ~ScriptedContext() override {
        for (SPEVENT& event : queue_) {
            releasePayload(event);
        }
    }

    HRESULT SetNotifySink(ISpNotifySink* sink) override {
        touch("SetNotifySink");
        platform_.log(sink == nullptr ? "SetNotifySink(none)" : "SetNotifySink(sink)");
        const HRESULT status = platform_.statusOf(Op::SetNotifySink);
        if (SUCCEEDED(status) && sink == nullptr) {
            notifyEventSet_ = false;
        }
        return status;
    }

    HRESULT SetNotifyWin32Event() override {
        touch("SetNotifyWin32Event");
        platform_.log("SetNotifyWin32Event");
        const HRESULT status = platform_.statusOf(Op::SetNotifyWin32Event);
        notifyEventSet_ = SUCCEEDED(status);
        return status;
    }

    HRESULT WaitForNotifyEvent(std::uint32_t milliseconds) override {
        touch("WaitForNotifyEvent");
        platform_.log(
            "WaitForNotifyEvent(" +
            (milliseconds == INFINITE ? std::string("INFINITE") : std::to_string(milliseconds)) +
            ")");
        if (!notifyEventSet_) {
            platform_.recordMisuse(name() + ": waited without a notification event");
            return SPERR_UNINITIALIZED;
        }
        HRESULT status = S_OK;
        std::optional<std::vector<ScriptedEvent>> events = platform_.nextWait(status);
        if (!events) {
            platform_.recordMisuse(name() + ": waited with no scripted wait left");
            return E_FAIL;
        }
        for (ScriptedEvent& scripted : *events) {
            queue_.push_back(makeEvent(std::move(scripted)));
        }
        return status;
    }

    HRESULT SetInterest(std::uint64_t eventInterest, std::uint64_t queuedInterest) override {
        touch("SetInterest");
        platform_.log("SetInterest(" + hex(eventInterest, 16) + ", " + hex(queuedInterest, 16) +
                      ")");
        return platform_.statusOf(Op::SetInterest);
    }

    HRESULT GetEvents(ULONG count, SPEVENT* events, ULONG* fetched) override {
        touch("GetEvents");
        platform_.log("GetEvents(" + std::to_string(count) +
                      (fetched == nullptr ? ", no fetched count)" : ", fetched count)"));
        if (events == nullptr || (fetched == nullptr && count != 1)) {
            return E_POINTER;
        }
        const HRESULT status = platform_.statusOf(Op::GetEvents);
        if (status != S_OK) {
            return status;
        }
        ULONG moved = 0;
        for (; moved < count && !queue_.empty(); ++moved) {
            events[moved] = queue_.front();
            queue_.pop_front();
        }
        if (fetched != nullptr) {
            *fetched = moved;
        }
        return moved == count ? S_OK : S_FALSE;
    }

    HRESULT CreateGrammar(std::uint64_t grammarId, ISpRecoGrammar** grammar) override;

  private:
    SPEVENT makeEvent(ScriptedEvent scripted) {
        SPEVENT event{};
        event.eEventId = scripted.id;
        event.ullAudioStreamOffset = scripted.streamOffset;
        switch (scripted.payload) {
            case Payload::None:
                break;
            case Payload::Result: {
                auto& result = platform_.make<ScriptedResultObject>(std::move(scripted.result));
                result.AddRef();
                setEventObject(event, SPET_LPARAM_IS_OBJECT, static_cast<ISpRecoResult*>(&result));
                break;
            }
            case Payload::Token: {
                auto& token = platform_.make<ScriptedToken>("event token");
                token.AddRef();
                setEventObject(event, SPET_LPARAM_IS_TOKEN, static_cast<ISpObjectToken*>(&token));
                break;
            }
            case Payload::Memory:
                event.elParamType = SPET_LPARAM_IS_POINTER;
                event.lParam = reinterpret_cast<std::intptr_t>(CoTaskMemAlloc(16));
                break;
            case Payload::Text:
                event.elParamType = SPET_LPARAM_IS_STRING;
                event.lParam = reinterpret_cast<std::intptr_t>(allocateText(u"event text"));
                break;
            case Payload::Unowned:
                event.elParamType = scripted.unownedKind;
                event.lParam = 0x5EED;  // not an address: clearing must leave it alone
                break;
        }
        return event;
    }

    void lastReferenceReleased() override {
        // Events still queued go with the context.
        for (SPEVENT& event : queue_) {
            releasePayload(event);
        }
        queue_.clear();
    }

    std::deque<SPEVENT> queue_;
    bool notifyEventSet_ = false;
};

class ScriptedRecognizer final : public Scripted<ISpRecognizer> {
  public:
    using Scripted::Scripted;

    HRESULT CreateRecoContext(ISpRecoContext** context) override {
        touch("CreateRecoContext");
        platform_.log("CreateRecoContext");
        if (context == nullptr) {
            return E_POINTER;
        }
        *context = nullptr;
        const HRESULT status = platform_.statusOf(Op::CreateRecoContext);
        if (FAILED(status) || platform_.handsOutNothing(Op::CreateRecoContext)) {
            return status;
        }
        void* created = nullptr;
        const HRESULT handed = handOut(platform_.make<ScriptedContext>("context"),
                                       IID_ISpRecoContext, &created, status);
        *context = static_cast<ISpRecoContext*>(created);
        return handed;
    }

    HRESULT SetInput(IUnknown* input, bool allowFormatChanges) override {
        touch("SetInput");
        platform_.log("SetInput(" + platform_.nameOf(input) +
                      (allowFormatChanges ? ", format changes allowed)" : ", fixed format)"));
        return platform_.statusOf(Op::SetInput);
    }

    HRESULT SetPropertyNum(const char16_t* name, std::int32_t value) override {
        touch("SetPropertyNum");
        platform_.log("SetPropertyNum(" + narrow(name) + ", " + std::to_string(value) + ")");
        return platform_.statusOf(Op::SetPropertyNum);
    }

    HRESULT GetPropertyNum(const char16_t* name, std::int32_t* value) override {
        touch("GetPropertyNum");
        platform_.log("GetPropertyNum(" + narrow(name) + ")");
        *value = 0;
        return S_FALSE;
    }

    HRESULT SetRecoState(SPRECOSTATE state) override {
        touch("SetRecoState");
        platform_.log(
            "SetRecoState(" +
            (state == SPRST_ACTIVE ? std::string("SPRST_ACTIVE") : std::to_string(state)) + ")");
        return platform_.statusOf(Op::SetRecoState);
    }
};

class ScriptedStream final : public Scripted<ISpStream> {
  public:
    using Scripted::Scripted;

    HRESULT BindToFile(const char16_t* fileName, SPFILEMODE mode, const GUID* formatId,
                       const WAVEFORMATEX* waveFormat, std::uint64_t eventInterest) override {
        touch("BindToFile");
        platform_.log("BindToFile(" + narrow(fileName) + ", " +
                      (mode == SPFM_OPEN_READONLY ? "SPFM_OPEN_READONLY" : std::to_string(mode)) +
                      (formatId == nullptr ? ", no format id" : ", format id") +
                      (waveFormat == nullptr ? ", no wave format, " : ", wave format, ") +
                      hex(eventInterest, 16) + ")");
        return platform_.statusOf(Op::BindToFile);
    }

    HRESULT GetFormat(GUID* formatId, WAVEFORMATEX** waveFormat) override {
        touch("GetFormat");
        platform_.log("GetFormat");
        if (formatId == nullptr || waveFormat == nullptr) {
            return E_POINTER;
        }
        *waveFormat = nullptr;
        const HRESULT status = platform_.statusOf(Op::GetFormat);
        if (SUCCEEDED(status) && !platform_.handsOutNothing(Op::GetFormat)) {
            *formatId = SPDFID_WaveFormatEx;
            *waveFormat = coTaskMemCopy(platform_.waveFormat);
        }
        return status;
    }
};

class ScriptedGrammar final : public Scripted<ISpRecoGrammar> {
  public:
    using Scripted::Scripted;

    HRESULT GetRule(const char16_t* ruleName, std::uint32_t ruleId, std::uint32_t attributes,
                    bool createIfNotExist, SPSTATEHANDLE* initialState) override {
        touch("GetRule");
        platform_.log("GetRule(" + (ruleName == nullptr ? "no name" : narrow(ruleName)) + ", " +
                      std::to_string(ruleId) + ", " + hex(attributes, 1) +
                      (createIfNotExist ? ", create)" : ", no create)"));
        if (initialState == nullptr) {
            return E_POINTER;
        }
        const HRESULT status = platform_.statusOf(Op::GetRule);
        *initialState = SUCCEEDED(status) ? initialState_ : nullptr;
        return status;
    }

    HRESULT AddWordTransition(SPSTATEHANDLE fromState, SPSTATEHANDLE toState, const char16_t* words,
                              const char16_t* separators, SPGRAMMARWORDTYPE wordType, float weight,
                              const SPPROPERTYINFO* propertyInfo) override {
        touch("AddWordTransition");
        char weightText[32];
        std::snprintf(weightText, sizeof weightText, "%g", static_cast<double>(weight));
        platform_.log(std::string("AddWordTransition(") +
                      (fromState == initialState_ ? "initial state" : "other state") +
                      (toState == nullptr ? ", end, \"" : ", a state, \"") + narrow(words) +
                      "\", \"" + narrow(separators) + "\", " +
                      (wordType == SPWT_LEXICAL ? "SPWT_LEXICAL" : std::to_string(wordType)) +
                      ", " + weightText +
                      (propertyInfo == nullptr ? ", no property)" : ", property)"));
        return platform_.statusOf(Op::AddWordTransition);
    }

    HRESULT Commit(std::uint32_t reserved) override {
        touch("Commit");
        platform_.log("Commit(" + std::to_string(reserved) + ")");
        return platform_.statusOf(Op::Commit);
    }

    HRESULT SetRuleIdState(std::uint32_t ruleId, SPRULESTATE state) override {
        touch("SetRuleIdState");
        platform_.log("SetRuleIdState(" + std::to_string(ruleId) + ", " + ruleStateName(state) +
                      ")");
        return platform_.statusOf(Op::SetRuleIdState);
    }

    HRESULT LoadDictation(const char16_t* topicName, SPLOADOPTIONS options) override {
        touch("LoadDictation");
        platform_.log("LoadDictation(" + (topicName == nullptr ? "no topic" : narrow(topicName)) +
                      (options == SPLO_STATIC ? ", SPLO_STATIC)" : ", SPLO_DYNAMIC)"));
        return platform_.statusOf(Op::LoadDictation);
    }

    HRESULT SetDictationState(SPRULESTATE state) override {
        touch("SetDictationState");
        platform_.log(std::string("SetDictationState(") + ruleStateName(state) + ")");
        return platform_.statusOf(Op::SetDictationState);
    }

  private:
    // Any distinct address serves as the rule's initial state.
    SPSTATEHANDLE initialState_ = reinterpret_cast<SPSTATEHANDLE>(this);
};

class ScriptedConverter final : public Scripted<ISpPhoneConverter> {
  public:
    using Scripted::Scripted;

    HRESULT IdToPhone(const SPPHONEID* ids, char16_t* phones, std::size_t capacity) override {
        touch("IdToPhone");
        platform_.log("IdToPhone(" + (ids == nullptr ? std::string("null") : phoneNames(ids)) +
                      ", " + std::to_string(capacity) + ")");
        if (ids == nullptr || phones == nullptr) {
            return E_POINTER;
        }
        const HRESULT status = platform_.statusOf(Op::IdToPhone);
        if (FAILED(status)) {
            return status;
        }
        std::u16string names;
        for (const SPPHONEID* id = ids; *id != 0; ++id) {
            if (*id < 1 || *id > kPhoneCount) {
                return E_INVALIDARG;
            }
            if (!names.empty()) {
                names += u' ';
            }
            names += *toWideText(phoneRows()[*id - 1].phone);
        }
        if (names.size() + 1 > capacity) {
            // Fill the buffer to its last unit, unterminated: the caller must not use it.
            std::copy_n(names.begin(), capacity, phones);
            return E_NOT_SUFFICIENT_BUFFER;
        }
        std::copy(names.begin(), names.end(), phones);
        phones[names.size()] = u'\0';
        return status;
    }
};

HRESULT ScriptedToken::CreateInstance(IUnknown* outer, std::uint32_t classContext, REFIID iid,
                                      void** object) {
    touch("CreateInstance");
    platform_.log(creationCall("CreateInstance", "", outer, classContext, iid));
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    const HRESULT status = platform_.statusOf(Op::CreateConverter);
    if (FAILED(status) || platform_.handsOutNothing(Op::CreateConverter)) {
        return status;
    }
    return handOut(platform_.make<ScriptedConverter>("converter"), iid, object, status);
}

HRESULT ScriptedContext::CreateGrammar(std::uint64_t grammarId, ISpRecoGrammar** grammar) {
    touch("CreateGrammar");
    platform_.log("CreateGrammar(" + std::to_string(grammarId) + ")");
    if (grammar == nullptr) {
        return E_POINTER;
    }
    *grammar = nullptr;
    const HRESULT status = platform_.statusOf(Op::CreateGrammar);
    if (FAILED(status) || platform_.handsOutNothing(Op::CreateGrammar)) {
        return status;
    }
    void* created = nullptr;
    const HRESULT handed =
        handOut(platform_.make<ScriptedGrammar>("grammar"), IID_ISpRecoGrammar, &created, status);
    *grammar = static_cast<ISpRecoGrammar*>(created);
    return handed;
}

class ScriptedEnumeration final : public Scripted<IEnumSpObjectTokens> {
  public:
    using Scripted::Scripted;

    HRESULT Next(ULONG count, ISpObjectToken** tokens, ULONG* fetched) override {
        touch("Next");
        platform_.log("Next(" + std::to_string(count) +
                      (fetched == nullptr ? ", no fetched count)" : ", fetched count)"));
        if (tokens == nullptr || (fetched == nullptr && count != 1)) {
            return E_POINTER;
        }
        const HRESULT status = platform_.statusOf(Op::NextToken);
        ULONG handed = 0;
        if (status == S_OK) {
            for (; handed < count && !platform_.handsOutNothing(Op::NextToken); ++handed) {
                auto& token = platform_.make<ScriptedToken>("token");
                token.AddRef();
                tokens[handed] = &token;
            }
        }
        if (fetched != nullptr) {
            *fetched = handed;
        }
        return status;
    }
};

class ScriptedCategory final : public Scripted<ISpObjectTokenCategory> {
  public:
    using Scripted::Scripted;

    HRESULT SetId(const char16_t* categoryId, bool createIfNotExist) override {
        touch("SetId");
        platform_.log("SetId(" + narrow(categoryId) +
                      (createIfNotExist ? ", create)" : ", no create)"));
        return platform_.statusOf(Op::SetId);
    }

    HRESULT EnumTokens(const char16_t* requiredAttributes, const char16_t* optionalAttributes,
                       IEnumSpObjectTokens** enumerator) override {
        touch("EnumTokens");
        platform_.log("EnumTokens(" + narrow(requiredAttributes) + ", " +
                      narrow(optionalAttributes) + ")");
        if (enumerator == nullptr) {
            return E_POINTER;
        }
        *enumerator = nullptr;
        const HRESULT status = platform_.statusOf(Op::EnumTokens);
        if (FAILED(status) || platform_.handsOutNothing(Op::EnumTokens)) {
            return status;
        }
        void* created = nullptr;
        const HRESULT handed = handOut(platform_.make<ScriptedEnumeration>("token enumeration"),
                                       IID_IEnumSpObjectTokens, &created, status);
        *enumerator = static_cast<IEnumSpObjectTokens*>(created);
        return handed;
    }
};

// A class factory that logs the creation and hands out a new object unless told otherwise.
template <class Object>
ClassFactory scriptedFactory(ScriptedPlatform& platform, Op op, std::string className,
                             std::string objectName) {
    return [&platform, op, className, objectName](IUnknown* outer, std::uint32_t classContext,
                                                  REFIID iid, void** object) -> HRESULT {
        platform.log(creationCall("CoCreateInstance", className, outer, classContext, iid));
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        const HRESULT status = platform.statusOf(op);
        if (FAILED(status) || platform.handsOutNothing(op)) {
            return status;
        }
        return handOut(platform.make<Object>(objectName), iid, object, status);
    };
}

}  // namespace

ScriptedEvent endOfStream(std::uint64_t streamBytes) {
    ScriptedEvent event = eventWithoutPayload(SPEI_END_SR_STREAM);
    event.streamOffset = streamBytes;
    return event;
}

ScriptedEvent recognition(ScriptedResult result) {
    return {SPEI_RECOGNITION, Payload::Result, std::move(result)};
}

ScriptedEvent falseRecognition(ScriptedResult result) {
    return {SPEI_FALSE_RECOGNITION, Payload::Result, std::move(result)};
}

ScriptedEvent hypothesis(std::u16string text) {
    ScriptedResult result;
    result.text = std::move(text);
    return {SPEI_HYPOTHESIS, Payload::Result, std::move(result)};
}

ScriptedEvent eventWithoutPayload(std::uint16_t id) {
    return {id, Payload::None, {}};
}

std::u16string pronunciationOf(std::string_view phones) {
    std::u16string ids;
    for (const std::string& phone : splitString(phones, ' ')) {
        const auto& rows = phoneRows();
        const auto found = std::find_if(rows.begin(), rows.end(),
                                        [&](const PhoneRow& row) { return row.phone == phone; });
        ids += found == rows.end() ? kUnknownPhoneId
                                   : static_cast<SPPHONEID>(found - rows.begin() + 1);
    }
    return ids;
}

ULONG ScriptedObject::addReference() {
    touch("AddRef");
    return static_cast<ULONG>(++references_);
}

ULONG ScriptedObject::releaseReference() {
    platform_.log("Release(" + name_ + ")");
    if (references_ <= 0) {
        platform_.recordMisuse(name_ + ": released more often than referenced");
    }
    const int left = --references_;
    if (left == 0) {
        released_ = true;
        lastReferenceReleased();
    }
    return static_cast<ULONG>(std::max(left, 0));
}

void ScriptedObject::touch(std::string_view operation) {
    // An object starts at zero until it is first handed out; after that zero means released.
    if (released_) {
        platform_.recordMisuse(name_ + ": " + std::string(operation) + " after its last release");
    }
}

ScriptedPlatform::ScriptedPlatform() {
    registerClasses(true);
}

ScriptedPlatform::~ScriptedPlatform() {
    resetSpeechRegistry();
    objects_.clear();
}

void ScriptedPlatform::registerClasses(bool scriptedCategory) {
    registerClass(CLSID_SpInprocRecognizer,
                  scriptedFactory<ScriptedRecognizer>(*this, Op::CreateRecognizer,
                                                      "SpInprocRecognizer", "recognizer"));
    registerClass(CLSID_SpStream,
                  scriptedFactory<ScriptedStream>(*this, Op::CreateStream, "SpStream", "stream"));
    registerClass(CLSID_ScriptedPhoneConverter,
                  scriptedFactory<ScriptedConverter>(*this, Op::CreateConverter,
                                                     "ScriptedPhoneConverter", "converter"));
    if (scriptedCategory) {
        registerClass(CLSID_SpObjectTokenCategory,
                      scriptedFactory<ScriptedCategory>(*this, Op::CreateCategory,
                                                        "SpObjectTokenCategory", "category"));
    }
}

void ScriptedPlatform::useLayerTokenCategory(std::string_view tokenAttributes) {
    resetSpeechRegistry();
    registerClasses(false);
    registerPhoneConverterToken(tokenAttributes, CLSID_ScriptedPhoneConverter);
}

void ScriptedPlatform::resetAnswers() {
    statuses_.clear();
    onceStatuses_.clear();
    handOutNothing_.clear();
    waveFormat = kDefaultFormat;
}

void ScriptedPlatform::setStatus(Op op, HRESULT status) {
    statuses_[op] = status;
}

void ScriptedPlatform::setStatusOnce(Op op, HRESULT status) {
    onceStatuses_[op].push_back(status);
}

void ScriptedPlatform::handOutNothing(Op op) {
    handOutNothing_.insert(op);
}

HRESULT ScriptedPlatform::statusOf(Op op) {
    if (auto once = onceStatuses_.find(op); once != onceStatuses_.end() && !once->second.empty()) {
        const HRESULT status = once->second.front();
        once->second.pop_front();
        return status;
    }
    const auto set = statuses_.find(op);
    return set == statuses_.end() ? S_OK : set->second;
}

void ScriptedPlatform::addWait(std::vector<ScriptedEvent> events, HRESULT status) {
    waits_.push_back({std::move(events), status});
}

std::optional<std::vector<ScriptedEvent>> ScriptedPlatform::nextWait(HRESULT& status) {
    if (waits_.empty()) {
        return std::nullopt;
    }
    WaitStep step = std::move(waits_.front());
    waits_.pop_front();
    status = step.status;
    return std::move(step.events);
}

std::vector<std::string> ScriptedPlatform::callsStartingWith(
    std::initializer_list<std::string_view> prefixes) const {
    std::vector<std::string> matching;
    for (const std::string& call : calls_) {
        if (std::any_of(prefixes.begin(), prefixes.end(),
                        [&](std::string_view prefix) { return call.starts_with(prefix); })) {
            matching.push_back(call);
        }
    }
    return matching;
}

std::vector<std::string> ScriptedPlatform::unbalancedObjects() const {
    std::vector<std::string> unbalanced;
    for (const auto& object : objects_) {
        if (object->references() != 0) {
            unbalanced.push_back(object->name() + ": " + std::to_string(object->references()));
        }
    }
    return unbalanced;
}

std::string ScriptedPlatform::nameOf(const IUnknown* object) const {
    if (object == nullptr) {
        return "null";
    }
    for (const auto& candidate : objects_) {
        if (candidate->identity() == object) {
            return candidate->name();
        }
    }
    return "unknown object";
}

}  // namespace phonemes::scripted
