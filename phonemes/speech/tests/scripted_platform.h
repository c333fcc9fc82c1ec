#pragma once

// A speech platform whose every answer a test sets: statuses for any operation, the events each
// wait delivers (with results, their texts, times and phrases), and phone strings for phone
// ids. It logs every call with its arguments, and it owns every object it hands out: the
// objects only count their references, so a test can check after each file that every count is
// back to zero and that nothing was used or released after its last reference went.

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "speech_api.h"

namespace phonemes::scripted {

// Operations whose status a test can set. Result operations are set per result instead.
enum class Op {
    CreateRecognizer,
    CreateRecoContext,
    SetNotifyWin32Event,
    SetInterest,
    CreateStream,
    BindToFile,
    GetFormat,
    SetInput,
    SetRecoState,
    SetPropertyNum,
    CreateGrammar,
    GetRule,
    AddWordTransition,
    Commit,
    SetRuleIdState,
    LoadDictation,
    SetDictationState,
    CreateCategory,
    SetId,
    EnumTokens,
    NextToken,
    CreateConverter,
    GetEvents,
    SetNotifySink,
    IdToPhone,
};

inline constexpr CLSID CLSID_ScriptedPhoneConverter{
    0x5e4990b2, 0x83a3, 0x4b6b, {0xb7, 0xb6, 0xcd, 0xa9, 0x09, 0x48, 0x0e, 0xa9}};

struct ScriptedWord {
    std::uint32_t offsetBytes;  // from the start of the phrase
    std::uint32_t sizeBytes;
    std::u16string pronunciation;  // phone ids, see pronunciationOf
    std::u16string displayText = u"";
    // What the result's phone alignment gives for the word; empty: no phone times (S_FALSE).
    std::vector<SPPHONESPAN> phoneSpans = {};
};

struct ScriptedResult {
    std::optional<std::u16string> text = u"";  // absent: GetText hands out no block
    HRESULT textStatus = S_OK;
    HRESULT timesStatus = S_OK;
    std::uint64_t start = 0;   // 100-ns units
    std::uint64_t length = 0;  // 100-ns units
    HRESULT phraseStatus = S_OK;
    bool phraseHandedOut = true;
    std::vector<ScriptedWord> words;
    // The result offers ISpPhoneAlignment, as the results of a recogniser that places phones.
    bool offersPhoneAlignment = false;
};

// What an event's payload is when the scripted context queues it.
enum class Payload { None, Result, Token, Memory, Text, Unowned };

struct ScriptedEvent {
    std::uint16_t id = SPEI_UNDEFINED;
    Payload payload = Payload::None;
    ScriptedResult result;  // for Payload::Result
    std::uint16_t unownedKind =
        7;  // payload kind for Payload::Unowned: one the platform never uses
    std::uint64_t streamOffset = 0;  // the event's position in the stream, in bytes
};

// The end of the stream, which is streamBytes long.
ScriptedEvent endOfStream(std::uint64_t streamBytes = 0);
ScriptedEvent recognition(ScriptedResult result);
ScriptedEvent falseRecognition(ScriptedResult result);
ScriptedEvent hypothesis(std::u16string text);
ScriptedEvent eventWithoutPayload(std::uint16_t id);

// Phone ids of the scripted converter: the inventory's phones numbered from 1 in table order.
// "h eh l ow" gives the ids of those four phones; kUnknownPhoneId fails the conversion.
std::u16string pronunciationOf(std::string_view phones);
inline constexpr SPPHONEID kUnknownPhoneId = 0x7FFF;

class ScriptedObject;

class ScriptedPlatform {
  public:
    // Registers the scripted classes: recogniser, stream, token category and phone converter.
    ScriptedPlatform();
    // Unregisters them. Every object it handed out goes with it.
    ~ScriptedPlatform();
    ScriptedPlatform(const ScriptedPlatform&) = delete;
    ScriptedPlatform& operator=(const ScriptedPlatform&) = delete;

    // Back to the default answers: S_OK everywhere, objects handed out, the default format.
    void resetAnswers();

    // The status of every later call of an operation.
    void setStatus(Op op, HRESULT status);
    // The status of the next call only; queued ones come before the one set by setStatus.
    void setStatusOnce(Op op, HRESULT status);
    // The operation reports its status but hands out no object (or no format).
    void handOutNothing(Op op);
    // Replaces the scripted token category with the layer's own, holding one phone-converter
    // token with these attributes for the scripted converter.
    void useLayerTokenCategory(std::string_view tokenAttributes);

    // Each wait returns the status of the next step, queuing its events first. A wait with no
    // step left fails and is recorded as a misuse: a real one would block for ever.
    void addWait(std::vector<ScriptedEvent> events, HRESULT status = S_OK);

    // 16 kHz 16-bit mono: 32 bytes to the millisecond.
    static constexpr WAVEFORMATEX kDefaultFormat{WAVE_FORMAT_PCM, 1, 16000, 32000, 2, 16, 0};
    WAVEFORMATEX waveFormat = kDefaultFormat;

    const std::vector<std::string>& calls() const { return calls_; }
    // The calls whose text begins with one of the prefixes, in order.
    std::vector<std::string> callsStartingWith(
        std::initializer_list<std::string_view> prefixes) const;
    void clearCalls() { calls_.clear(); }

    // "name: references" for every object handed out whose count is not back at zero.
    std::vector<std::string> unbalancedObjects() const;
    // Calls on objects after their last reference went, and releases below zero.
    const std::vector<std::string>& misuses() const { return misuses_; }

    // Used by the scripted objects.
    HRESULT statusOf(Op op);
    bool handsOutNothing(Op op) const { return handOutNothing_.count(op) != 0; }
    void log(std::string call) { calls_.push_back(std::move(call)); }
    void recordMisuse(std::string misuse) { misuses_.push_back(std::move(misuse)); }
    std::string nameOf(const IUnknown* object) const;
    std::optional<std::vector<ScriptedEvent>> nextWait(HRESULT& status);
    template <class Object, class... Arguments>
    Object& make(Arguments&&... arguments);
    int nextResultNumber() { return ++results_; }

  private:
    void registerClasses(bool scriptedCategory);

    std::map<Op, HRESULT> statuses_;
    std::map<Op, std::deque<HRESULT>> onceStatuses_;
    std::set<Op> handOutNothing_;
    struct WaitStep {
        std::vector<ScriptedEvent> events;
        HRESULT status;
    };
    std::deque<WaitStep> waits_;
    std::vector<std::string> calls_;
    std::vector<std::string> misuses_;
    std::vector<std::unique_ptr<ScriptedObject>> objects_;
    int results_ = 0;
};

// What the platform keeps of every object it hands out.
class ScriptedObject {
  public:
    ScriptedObject(ScriptedPlatform& platform, std::string name)
        : platform_(platform), name_(std::move(name)) {}
    virtual ~ScriptedObject() = default;

    const std::string& name() const { return name_; }
    int references() const { return references_; }
    virtual const IUnknown* identity() const = 0;

  protected:
    ULONG addReference();
    ULONG releaseReference();
    // Records a call made after the object's last reference went.
    void touch(std::string_view operation);
    virtual void lastReferenceReleased() {}

    ScriptedPlatform& platform_;

  private:
    std::string name_;
    int references_ = 0;
    bool released_ = false;  // its count went back to zero after it was handed out
};

template <class Object, class... Arguments>
Object& ScriptedPlatform::make(Arguments&&... arguments) {
    auto object = std::make_unique<Object>(*this, std::forward<Arguments>(arguments)...);
    Object& made = *object;
    objects_.push_back(std::move(object));
    return made;
}

}  // namespace phonemes::scripted
