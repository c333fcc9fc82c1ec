#include "reco_grammar.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text_conversion.h"

namespace phonemes {
namespace {

constexpr std::u16string_view kDefaultSeparators = u" ";

// The words of a transcript, cut at any of the separators; empty pieces are no words.
std::vector<std::u16string> cutWords(std::u16string_view text, std::u16string_view separators) {
    std::vector<std::u16string> words;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find_first_of(separators, start), text.size());
        if (end > start) {
            words.emplace_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return words;
}

struct Rule {
    std::u16string name;
    std::uint32_t id = 0;
    // The words of the rule's one path as built so far, and as last committed.
    std::optional<std::vector<std::u16string>> path;
    std::optional<std::vector<std::u16string>> committedPath;
    bool committed = false;

    // The handle of the rule's initial state. Only compared, never followed.
    SPSTATEHANDLE initialState() { return reinterpret_cast<SPSTATEHANDLE>(this); }
};

class RecoGrammar final : public ComObject<ISpRecoGrammar> {
  public:
    RecoGrammar(ComPtr<ISpRecoContext> context, std::shared_ptr<RecognitionEngine> engine,
                std::shared_ptr<EventQueue> events)
        : context_(std::move(context)), engine_(std::move(engine)), events_(std::move(events)) {}

    // A grammar that goes stops the recognition that listens for it.
    ~RecoGrammar() override {
        engine_->deactivate(dictationOwner());
        for (const auto& rule : rules_) {
            engine_->deactivate(rule.get());
        }
    }

    HRESULT GetRule(const char16_t* ruleName, std::uint32_t ruleId, std::uint32_t /*attributes*/,
                    bool createIfNotExist, SPSTATEHANDLE* initialState) override {
        if (initialState == nullptr) {
            return E_POINTER;
        }
        *initialState = nullptr;
        if (ruleName == nullptr && ruleId == 0) {
            return E_INVALIDARG;
        }
        std::lock_guard lock(mutex_);
        Rule* rule = findRule(ruleName, ruleId);
        if (rule == nullptr) {
            if (!createIfNotExist) {
                return SPERR_NOT_FOUND;
            }
            auto created = std::make_unique<Rule>();
            created->name = ruleName == nullptr ? u"" : ruleName;
            created->id = ruleId;
            rule = rules_.emplace_back(std::move(created)).get();
        }
        *initialState = rule->initialState();
        return S_OK;
    }

    HRESULT AddWordTransition(SPSTATEHANDLE fromState, SPSTATEHANDLE toState, const char16_t* words,
                              const char16_t* separators, SPGRAMMARWORDTYPE wordType,
                              float /*weight*/, const SPPROPERTYINFO* /*propertyInfo*/) override {
        // Words are given as written; pronunciations are the recogniser's business.
        if (wordType != SPWT_LEXICAL && wordType != SPWT_DISPLAY) {
            return E_NOTIMPL;
        }
        // The only states handed out are initial ones, and every path ends the rule.
        if (toState != nullptr) {
            return E_INVALIDARG;
        }
        std::lock_guard lock(mutex_);
        Rule* rule = ruleWithInitialState(fromState);
        if (rule == nullptr) {
            return E_INVALIDARG;
        }
        // The recogniser aligns one word sequence: a rule holds a single path.
        if (rule->path) {
            return E_NOTIMPL;
        }
        // No words make an empty path, which no speech can match.
        rule->path = cutWords(words == nullptr ? u"" : words,
                              separators == nullptr ? kDefaultSeparators : separators);
        return S_OK;
    }

    HRESULT Commit(std::uint32_t /*reserved*/) override {
        std::lock_guard lock(mutex_);
        for (const auto& rule : rules_) {
            rule->committedPath = rule->path;
            rule->committed = true;
        }
        return S_OK;
    }

    HRESULT SetRuleIdState(std::uint32_t ruleId, SPRULESTATE state) override {
        const Rule* rule = nullptr;
        std::optional<std::string> transcript;
        {
            std::lock_guard lock(mutex_);
            rule = findRule(nullptr, ruleId);
            if (rule == nullptr) {
                return SPERR_NOT_FOUND;
            }
            if (rule->committed) {
                transcript = transcriptOf(rule->committedPath);
            }
        }
        if (state == SPRS_INACTIVE) {
            engine_->deactivate(rule);
            return S_OK;
        }
        if (!rule->committed) {
            return SPERR_UNINITIALIZED;  // the recogniser only hears committed rules
        }
        if (!transcript) {
            return E_INVALIDARG;
        }
        return engine_->activate({rule, false, std::move(*transcript), events_});
    }

    HRESULT LoadDictation(const char16_t* topicName, SPLOADOPTIONS /*options*/) override {
        if (topicName != nullptr) {
            return SPERR_NOT_FOUND;  // general dictation is the only topic
        }
        std::lock_guard lock(mutex_);
        dictationLoaded_ = true;
        return S_OK;
    }

    HRESULT SetDictationState(SPRULESTATE state) override {
        if (state == SPRS_INACTIVE) {
            engine_->deactivate(dictationOwner());
            return S_OK;
        }
        {
            std::lock_guard lock(mutex_);
            if (!dictationLoaded_) {
                return SPERR_UNINITIALIZED;
            }
        }
        return engine_->activate({dictationOwner(), true, {}, events_});
    }

  private:
    // What the engine knows an activation of this grammar's dictation by.
    const void* dictationOwner() const { return this; }

    Rule* findRule(const char16_t* name, std::uint32_t id) {
        for (const auto& rule : rules_) {
            if ((id != 0 && rule->id == id) || (name != nullptr && rule->name == name)) {
                return rule.get();
            }
        }
        return nullptr;
    }

    Rule* ruleWithInitialState(SPSTATEHANDLE state) {
        for (const auto& rule : rules_) {
            if (rule->initialState() == state) {
                return rule.get();
            }
        }
        return nullptr;
    }

    // The words separated by single spaces, as the recogniser takes a transcript.
    static std::optional<std::string> transcriptOf(
        const std::optional<std::vector<std::u16string>>& path) {
        std::u16string joined;
        for (const std::u16string& word : path.value_or(std::vector<std::u16string>{})) {
            if (!joined.empty()) {
                joined += u' ';
            }
            joined += word;
        }
        return toNarrowText(joined);
    }

    ComPtr<ISpRecoContext> context_;  // held only to keep it while its queue is in use
    std::shared_ptr<RecognitionEngine> engine_;
    std::shared_ptr<EventQueue> events_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Rule>> rules_;
    bool dictationLoaded_ = false;
};

}  // namespace

HRESULT createRecoGrammar(ComPtr<ISpRecoContext> context, std::shared_ptr<RecognitionEngine> engine,
                          std::shared_ptr<EventQueue> events, std::uint64_t /*grammarId*/,
                          ISpRecoGrammar** grammar) {
    if (grammar == nullptr) {
        return E_POINTER;
    }
    void* created = nullptr;
    const HRESULT status = createComObject<RecoGrammar>(
        IID_ISpRecoGrammar, &created, std::move(context), std::move(engine), std::move(events));
    *grammar = static_cast<ISpRecoGrammar*>(created);
    return status;
}

}  // namespace phonemes
