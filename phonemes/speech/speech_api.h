#pragma once

// The speech platform's interfaces and records, as far as the extractor uses them. Text is
// UTF-16; a pronunciation is a null-terminated string of 16-bit phone ids.

#include <cstdint>

#include "com.h"

namespace phonemes {

using SPPHONEID = char16_t;

// Event ids; an interest mask has bit (1 << id) set for every event wanted.
enum SPEVENTENUM : std::uint16_t {
    SPEI_UNDEFINED = 0,
    SPEI_START_INPUT_STREAM = 1,
    SPEI_RESERVED1 = 30,
    SPEI_RESERVED2 = 33,
    SPEI_END_SR_STREAM = 34,
    SPEI_SOUND_START = 35,
    SPEI_SOUND_END = 36,
    SPEI_PHRASE_START = 37,
    SPEI_RECOGNITION = 38,
    SPEI_HYPOTHESIS = 39,
    SPEI_FALSE_RECOGNITION = 43,
};

constexpr std::uint64_t SPFEI(std::uint32_t eventId) {
    return std::uint64_t{1} << eventId;
}
// Every interest mask carries both reserved bits; the platform checks them.
inline constexpr std::uint64_t SPFEI_FLAGCHECK = SPFEI(SPEI_RESERVED1) | SPFEI(SPEI_RESERVED2);
inline constexpr std::uint64_t SPFEI_ALL_EVENTS = 0xEFFFFFFFFFFFFFFF;

// What an event's lParam holds, and so what clearing the event releases.
enum SPEVENTLPARAMTYPE : std::uint16_t {
    SPET_LPARAM_IS_UNDEFINED = 0,
    SPET_LPARAM_IS_TOKEN = 1,    // an IUnknown* of an object token, one reference
    SPET_LPARAM_IS_OBJECT = 2,   // an IUnknown* of an object, one reference
    SPET_LPARAM_IS_POINTER = 3,  // a block of task memory
    SPET_LPARAM_IS_STRING = 4,   // a UTF-16 text in task memory
};

struct SPEVENT {
    std::uint16_t eEventId;
    std::uint16_t elParamType;
    std::uint32_t ulStreamNum;
    std::uint64_t ullAudioStreamOffset;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

// An event's object payload (token or object kinds); null for any other kind or an empty one.
inline IUnknown* eventObject(const SPEVENT& event) {
    if (event.elParamType != SPET_LPARAM_IS_OBJECT && event.elParamType != SPET_LPARAM_IS_TOKEN) {
        return nullptr;
    }
    return reinterpret_cast<IUnknown*>(event.lParam);
}
// Stores an object payload; the event then owns the reference passed in.
inline void setEventObject(SPEVENT& event, SPEVENTLPARAMTYPE kind, IUnknown* object) {
    event.elParamType = kind;
    event.lParam = reinterpret_cast<std::intptr_t>(object);
}

struct WAVEFORMATEX {
    std::uint16_t wFormatTag;
    std::uint16_t nChannels;
    std::uint32_t nSamplesPerSec;
    std::uint32_t nAvgBytesPerSec;
    std::uint16_t nBlockAlign;
    std::uint16_t wBitsPerSample;
    std::uint16_t cbSize;
};
inline constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

struct SPRECORESULTTIMES {
    std::uint64_t ullStart;   // 100-ns units from the start of the input stream
    std::uint64_t ullLength;  // 100-ns units
};

struct SPPHRASEELEMENT {
    std::uint32_t ulAudioStreamOffset;  // bytes from the start of the phrase
    std::uint32_t ulAudioSizeBytes;
    const char16_t* pszDisplayText;
    const char16_t* pszLexicalForm;
    const SPPHONEID* pszPronunciation;
};

struct SPPHRASERULE {
    const char16_t* pszName;
    std::uint32_t ulId;
    std::uint32_t ulFirstElement;
    std::uint32_t ulCountOfElements;
};

struct SPPHRASE {
    std::uint32_t cbSize;
    std::uint16_t LangID;
    std::uint64_t ullAudioStreamPosition;  // bytes from the start of the input stream
    std::uint32_t ulAudioSizeBytes;
    SPPHRASERULE Rule;
    const SPPHRASEELEMENT* pElements;
};

enum SPFILEMODE {
    SPFM_OPEN_READONLY = 0,
    SPFM_OPEN_READWRITE = 1,
    SPFM_CREATE = 2,
    SPFM_CREATE_ALWAYS = 3,
};

enum SPRECOSTATE {
    SPRST_INACTIVE = 0,
    SPRST_ACTIVE = 1,
    SPRST_ACTIVE_ALWAYS = 2,
    SPRST_INACTIVE_WITH_PURGE = 3,
};

enum SPRULESTATE {
    SPRS_INACTIVE = 0,
    SPRS_ACTIVE = 1,
    SPRS_ACTIVE_WITH_AUTO_PAUSE = 3,
};

enum SPLOADOPTIONS {
    SPLO_STATIC = 0,
    SPLO_DYNAMIC = 1,
};

enum SPGRAMMARWORDTYPE {
    SPWT_DISPLAY = 0,
    SPWT_LEXICAL = 1,
    SPWT_PRONUNCIATION = 2,
};

enum SPCFGRULEATTRIBUTES : std::uint32_t {
    SPRAF_TopLevel = 0x1,
    SPRAF_Active = 0x2,
};

// A state of a grammar rule; null stands for the end of the rule.
struct SPSTATE;
using SPSTATEHANDLE = SPSTATE*;
struct SPPROPERTYINFO;

inline constexpr std::uint32_t SP_GETWHOLEPHRASE = 0xFFFFFFFF;
inline constexpr std::uint32_t INFINITE = 0xFFFFFFFF;
inline constexpr std::uint16_t kLangIdAmericanEnglish = 0x409;

// Statuses of the speech platform.
inline constexpr HRESULT SPERR_UNINITIALIZED = makeStatus(0x80045001);
inline constexpr HRESULT SPERR_ALREADY_INITIALIZED = makeStatus(0x80045002);
inline constexpr HRESULT SPERR_NOT_FOUND = makeStatus(0x8004503A);

inline constexpr CLSID CLSID_SpInprocRecognizer{
    0x403f8eea, 0xca69, 0x45f9, {0xb9, 0xcd, 0x48, 0xde, 0x71, 0x36, 0x12, 0xb7}};
inline constexpr CLSID CLSID_SpStream{
    0x051bf7ae, 0x92e4, 0x47ba, {0x9b, 0x25, 0xc8, 0x9a, 0x1f, 0x7e, 0xa9, 0x7c}};
inline constexpr CLSID CLSID_SpObjectTokenCategory{
    0x076ab686, 0xced4, 0x4089, {0xba, 0x91, 0xcd, 0xc6, 0x05, 0x5d, 0xdf, 0x01}};

// Format id of a stream whose format is described by a WAVEFORMATEX.
inline constexpr GUID SPDFID_WaveFormatEx{
    0x1be9b0eb, 0xb034, 0x47af, {0xb8, 0x1d, 0xb6, 0x6b, 0x4e, 0x32, 0xb8, 0x95}};

inline constexpr IID IID_ISpNotifySink{
    0xbbc54fb1, 0x6d12, 0x4a14, {0xbc, 0x14, 0xba, 0xc7, 0xa7, 0x03, 0xf2, 0xe9}};
inline constexpr IID IID_ISpNotifySource{
    0xd9809274, 0xfe39, 0x49b1, {0xa0, 0xe4, 0xe0, 0x21, 0x12, 0x71, 0x6f, 0x24}};
inline constexpr IID IID_ISpEventSource{
    0x822c9eae, 0xa1ef, 0x460b, {0x90, 0xe1, 0xed, 0x3c, 0x9d, 0x67, 0x90, 0x18}};
inline constexpr IID IID_ISpRecoContext{
    0x2a0d419d, 0xf5b5, 0x479b, {0x89, 0xf1, 0xbc, 0x1f, 0x0f, 0x74, 0xf1, 0x11}};
inline constexpr IID IID_ISpRecognizer{
    0x3ac6975d, 0x947a, 0x46d9, {0xb8, 0x91, 0x69, 0x56, 0x25, 0x9b, 0x8c, 0xd3}};
inline constexpr IID IID_ISpStreamFormat{
    0x3b727de9, 0xdb6b, 0x4b06, {0xba, 0xbe, 0x4b, 0x39, 0xe8, 0xf8, 0x6f, 0xd0}};
inline constexpr IID IID_ISpStream{
    0x1db003b1, 0xa761, 0x4a5a, {0xaf, 0x02, 0xed, 0x91, 0xc3, 0x51, 0x5a, 0x40}};
inline constexpr IID IID_ISpGrammarBuilder{
    0xc8971c00, 0x3962, 0x46d5, {0xa0, 0xe4, 0x1c, 0x99, 0x3f, 0x12, 0x10, 0x2b}};
inline constexpr IID IID_ISpRecoGrammar{
    0x3d84353d, 0xac3a, 0x4de2, {0x94, 0x10, 0xb1, 0x2e, 0x43, 0xa5, 0x6f, 0x90}};
inline constexpr IID IID_ISpPhrase{
    0xedef84dc, 0xba20, 0x4194, {0xa1, 0xb0, 0xc5, 0x94, 0x25, 0x92, 0x5a, 0x93}};
inline constexpr IID IID_ISpRecoResult{
    0x296125b5, 0x49db, 0x45c0, {0xab, 0x33, 0x26, 0x5d, 0x8e, 0x03, 0xfb, 0x0c}};
inline constexpr IID IID_ISpObjectTokenCategory{
    0x02305582, 0x013b, 0x4fd2, {0x94, 0x0e, 0xbf, 0xc4, 0xb0, 0x87, 0x81, 0x52}};
inline constexpr IID IID_IEnumSpObjectTokens{
    0xc8d5e0a2, 0x608d, 0x4025, {0x9d, 0x9b, 0x10, 0xdf, 0x78, 0x4a, 0x23, 0xa7}};
inline constexpr IID IID_ISpObjectToken{
    0xcecab0c5, 0xf0c0, 0x42ff, {0x90, 0xfd, 0x11, 0xe3, 0x30, 0x54, 0x6e, 0x3b}};
inline constexpr IID IID_ISpProperties{
    0x5b4fb971, 0xb115, 0x4de1, {0xad, 0x97, 0xe4, 0x82, 0xe3, 0xbf, 0x6e, 0xe4}};
// Our recogniser's own extension of results (see ISpPhoneAlignment); no other engine has it.
inline constexpr IID IID_ISpPhoneAlignment{
    0x7c1f3a52, 0x4e0b, 0x4d8e, {0x9a, 0x61, 0x2f, 0xd4, 0x85, 0x3b, 0xc7, 0x10}};
inline constexpr IID IID_ISpPhoneConverter{
    0x3c5928c2, 0x9bb6, 0x44f5, {0x8e, 0x27, 0x50, 0x41, 0x29, 0x07, 0xd7, 0xb9}};

struct ISpNotifySink : IUnknown {
    using Base = IUnknown;
    static constexpr const IID& kIid = IID_ISpNotifySink;
    virtual HRESULT Notify() = 0;
};

struct ISpNotifySource : IUnknown {
    using Base = IUnknown;
    static constexpr const IID& kIid = IID_ISpNotifySource;
    // Null removes any notification.
    virtual HRESULT SetNotifySink(ISpNotifySink* sink) = 0;
    // From now on, queued events signal an event object of the source's own.
    virtual HRESULT SetNotifyWin32Event() = 0;
    // Blocks until events are queued: S_OK when signalled, S_FALSE on time-out (INFINITE waits
    // without limit). A failure status when the source cannot wait (no event set).
    virtual HRESULT WaitForNotifyEvent(std::uint32_t milliseconds) = 0;
};

struct ISpEventSource : ISpNotifySource {
    using Base = ISpNotifySource;
    static constexpr const IID& kIid = IID_ISpEventSource;
    // Both masks must carry SPFEI_FLAGCHECK.
    virtual HRESULT SetInterest(std::uint64_t eventInterest, std::uint64_t queuedInterest) = 0;
    // Moves up to count events into events (each owning its payload). S_OK when count were
    // fetched, S_FALSE when fewer; fetched may be null only for a count of 1.
    virtual HRESULT GetEvents(ULONG count, SPEVENT* events, ULONG* fetched) = 0;
};

struct ISpRecoGrammar;

struct ISpRecoContext : ISpEventSource {
    using Base = ISpEventSource;
    static constexpr const IID& kIid = IID_ISpRecoContext;
    virtual HRESULT CreateGrammar(std::uint64_t grammarId, ISpRecoGrammar** grammar) = 0;
};

struct ISpProperties : IUnknown {
    using Base = IUnknown;
    static constexpr const IID& kIid = IID_ISpProperties;
    // S_OK when the object knows the property and took the value, S_FALSE when it does not
    // know the property (the value is then ignored).
    virtual HRESULT SetPropertyNum(const char16_t* name, std::int32_t value) = 0;
    // S_FALSE and 0 for a property the object does not know.
    virtual HRESULT GetPropertyNum(const char16_t* name, std::int32_t* value) = 0;
};

// A recogniser property: 1 asks for every recognised word's phones to be placed against the
// audio (results then offer ISpPhoneAlignment), 0 (the default) does not.
inline constexpr const char16_t* kPhoneAlignmentProperty = u"PhoneAlignment";

struct ISpRecognizer : ISpProperties {
    using Base = ISpProperties;
    static constexpr const IID& kIid = IID_ISpRecognizer;
    virtual HRESULT CreateRecoContext(ISpRecoContext** context) = 0;
    // input is a stream object (ISpStreamFormat); the recogniser keeps a reference.
    virtual HRESULT SetInput(IUnknown* input, bool allowFormatChanges) = 0;
    virtual HRESULT SetRecoState(SPRECOSTATE state) = 0;
};

struct ISpStreamFormat : IUnknown {
    using Base = IUnknown;
    static constexpr const IID& kIid = IID_ISpStreamFormat;
    // The stream's format id, and its wave format in task memory that the caller frees.
    virtual HRESULT GetFormat(GUID* formatId, WAVEFORMATEX** waveFormat) = 0;
};

struct ISpStream : ISpStreamFormat {
    using Base = ISpStreamFormat;
    static constexpr const IID& kIid = IID_ISpStream;
    // formatId and waveFormat may be null: the format then comes from the file's header.
    virtual HRESULT BindToFile(const char16_t* fileName, SPFILEMODE mode, const GUID* formatId,
                               const WAVEFORMATEX* waveFormat, std::uint64_t eventInterest) = 0;
};

struct ISpGrammarBuilder : IUnknown {
    using Base = IUnknown;
    static constexpr const IID& kIid = IID_ISpGrammarBuilder;
    virtual HRESULT GetRule(const char16_t* ruleName, std::uint32_t ruleId,
                            std::uint32_t attributes, bool createIfNotExist,
                            SPSTATEHANDLE* initialState) = 0;
    // A null toState is the end of the rule. The words are cut at any of the separators.
    virtual HRESULT AddWordTransition(SPSTATEHANDLE fromState, SPSTATEHANDLE toState,
                                      const char16_t* words, const char16_t* separators,
                                      SPGRAMMARWORDTYPE wordType, float weight,
                                      const SPPROPERTYINFO* propertyInfo) = 0;
    virtual HRESULT Commit(std::uint32_t reserved) = 0;
};

struct ISpRecoGrammar : ISpGrammarBuilder {
    using Base = ISpGrammarBuilder;
    static constexpr const IID& kIid = IID_ISpRecoGrammar;
    virtual HRESULT SetRuleIdState(std::uint32_t ruleId, SPRULESTATE state) = 0;
    // A null topic is general dictation.
    virtual HRESULT LoadDictation(const char16_t* topicName, SPLOADOPTIONS options) = 0;
    virtual HRESULT SetDictationState(SPRULESTATE state) = 0;
};

struct ISpPhrase : IUnknown {
    using Base = IUnknown;
    static constexpr const IID& kIid = IID_ISpPhrase;
    // One block of task memory holding the SPPHRASE, its elements and their texts; the caller
    // frees it with one CoTaskMemFree.
    virtual HRESULT GetPhrase(SPPHRASE** phrase) = 0;
    // The text of elements [first, first + count) (SP_GETWHOLEPHRASE for both: all of it) in
    // task memory that the caller frees. displayAttributes may be null.
    virtual HRESULT GetText(std::uint32_t firstElement, std::uint32_t countOfElements,
                            bool useTextReplacements, char16_t** text,
                            std::uint8_t* displayAttributes) = 0;
};

struct ISpRecoResult : ISpPhrase {
    using Base = ISpPhrase;
    static constexpr const IID& kIid = IID_ISpRecoResult;
    virtual HRESULT GetResultTimes(SPRECORESULTTIMES* times) = 0;
};

// Where one phone of a phrase element lies: bytes of the input stream from the start of the
// phrase, as the elements themselves count.
struct SPPHONESPAN {
    std::uint32_t ulAudioStreamOffset;
    std::uint32_t ulAudioSizeBytes;
};

// Offered by the results of a recogniser asked for phone alignment: where each phone of an
// element's pronunciation was heard.
struct ISpPhoneAlignment : IUnknown {
    using Base = IUnknown;
    static constexpr const IID& kIid = IID_ISpPhoneAlignment;
    // Writes one span per phone of the element's pronunciation, in order, and their number.
    // S_FALSE with a count of 0 when the element's phones were not placed;
    // E_NOT_SUFFICIENT_BUFFER when capacity is smaller than the count; E_INVALIDARG for an
    // element the phrase does not have.
    virtual HRESULT GetPhoneSpans(std::uint32_t element, SPPHONESPAN* spans, std::uint32_t capacity,
                                  std::uint32_t* count) = 0;
};

struct IEnumSpObjectTokens;
struct ISpObjectToken;

struct ISpObjectTokenCategory : IUnknown {
    using Base = IUnknown;
    static constexpr const IID& kIid = IID_ISpObjectTokenCategory;
    virtual HRESULT SetId(const char16_t* categoryId, bool createIfNotExist) = 0;
    // The category's tokens that carry every required attribute, those matching more of the
    // optional attributes first. Either text may be null.
    virtual HRESULT EnumTokens(const char16_t* requiredAttributes,
                               const char16_t* optionalAttributes,
                               IEnumSpObjectTokens** enumerator) = 0;
};

struct IEnumSpObjectTokens : IUnknown {
    using Base = IUnknown;
    static constexpr const IID& kIid = IID_IEnumSpObjectTokens;
    // Hands out up to count tokens, each with one reference: S_OK when count were handed out,
    // S_FALSE when fewer. fetched may be null only for a count of 1.
    virtual HRESULT Next(ULONG count, ISpObjectToken** tokens, ULONG* fetched) = 0;
};

struct ISpObjectToken : IUnknown {
    using Base = IUnknown;
    static constexpr const IID& kIid = IID_ISpObjectToken;
    // Creates the object that the token describes.
    virtual HRESULT CreateInstance(IUnknown* outer, std::uint32_t classContext, REFIID iid,
                                   void** object) = 0;
};

struct ISpPhoneConverter : IUnknown {
    using Base = IUnknown;
    static constexpr const IID& kIid = IID_ISpPhoneConverter;
    // Writes the phone names of a pronunciation, separated by single spaces and null-
    // terminated, into phones, which holds capacity units. Fails (E_NOT_SUFFICIENT_BUFFER)
    // without promising anything about the buffer when the names and terminator do not fit.
    virtual HRESULT IdToPhone(const SPPHONEID* ids, char16_t* phones, std::size_t capacity) = 0;
};

}  // namespace phonemes
