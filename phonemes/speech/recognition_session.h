#pragma once

// The per-file work of the extractor: builds the chain of speech objects over one audio file,
// runs the event loop until the end of the stream, releases the objects in a fixed order and
// hands the file's result back to the batch, which writes it.

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "com.h"
#include "extractor.h"
#include "speech_api.h"

namespace phonemes {

// The events a session asks for, both to signal its notification and to be queued.
inline constexpr std::uint64_t kInterestMask = SPFEI_FLAGCHECK | SPFEI(SPEI_END_SR_STREAM) |
                                               SPFEI(SPEI_RECOGNITION) | SPFEI(SPEI_HYPOTHESIS) |
                                               SPFEI(SPEI_FALSE_RECOGNITION);
static_assert(kInterestMask == 0x000008C640000000);

// Releases what the event's payload owns, as its payload kind says, then zeroes the event.
void clearEvent(SPEVENT& event);

// "Language=" followed by the language id in upper-case hexadecimal digits ("Language=409").
std::u16string languageAttribute(std::uint16_t langId);

// Creates the phone converter of the first token in the category that carries every required
// attribute, preferring tokens that match the optional attributes and then VendorPreferred.
// Returns the first failure met, SPERR_NOT_FOUND when no token qualifies, else the status of
// the token's CreateInstance.
HRESULT createPhoneConverter(const char16_t* categoryId, const char16_t* requiredAttributes,
                             const char16_t* optionalAttributes, ISpPhoneConverter** converter,
                             IUnknown* outer, std::uint32_t classContext);

class RecognitionSession final : public FileProcessor {
  public:
    explicit RecognitionSession(Extractor& extractor) : extractor_(extractor) {}
    ~RecognitionSession() override;

    RecognitionSession(const RecognitionSession&) = delete;
    RecognitionSession& operator=(const RecognitionSession&) = delete;

    // Also makes cancel() reach the speech objects that this thread creates from now on.
    void startBatch() override;
    // The file's result once the event loop ran; none when a set-up step failed.
    std::optional<FileResult> processFile(const std::string& path) override;
    void finishBatch() override;
    // The recognition running for this session ends early and reports the end of its stream,
    // so the event loop ends as it always does; so does every later one.
    void cancel() override;

    // Releases the speech objects that are held, in the fixed order, and frees the format.
    void releaseSpeechObjects();
    bool holdsSpeechObjects() const;

    // What the event handling reads and writes while the loop runs.
    Extractor& extractor() { return extractor_; }
    ISpPhoneConverter* phoneConverter() const { return phoneConverter_.get(); }
    const WAVEFORMATEX* waveFormat() const { return waveFormat_.get(); }
    bool endOfStream() const { return endOfStream_; }
    void markEndOfStream() { endOfStream_ = true; }

  private:
    // Runs the set-up steps in order; the message of the first that fails, if any.
    std::optional<std::string_view> setUp(const std::string& path,
                                          const std::optional<std::string>& hint);
    HRESULT createAudioStream(const std::string& path);
    HRESULT readWaveFormat();
    std::optional<std::string_view> setUpHintRule(const std::string& transcript);
    std::optional<std::string_view> setUpDictation();
    void runEventLoop();

    Extractor& extractor_;
    ComPtr<ISpRecognizer> recognizer_;
    ComPtr<ISpRecoContext> context_;
    ComPtr<ISpStream> stream_;
    CoTaskMemPtr<WAVEFORMATEX> waveFormat_;
    ComPtr<ISpRecoGrammar> grammar_;
    ComPtr<ISpPhoneConverter> phoneConverter_;
    bool endOfStream_ = false;
    bool comInitialised_ = false;
    std::stop_source cancellation_;
};

}  // namespace phonemes
