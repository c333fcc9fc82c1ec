#include "inproc_recognizer.h"

#include <memory>
#include <new>
#include <string_view>

#include "engine/speech_model.h"
#include "file_stream.h"
#include "model_loads.h"
#include "reco_context.h"
#include "recognition_engine.h"
#include "speech_api.h"
#include "thread_cancellation.h"

namespace phonemes {
namespace {

class InprocRecognizer final : public ComObject<ISpRecognizer> {
  public:
    InprocRecognizer(engine::SpeechModel& model, std::stop_token cancellation)
        : engine_(std::make_shared<RecognitionEngine>(model, std::move(cancellation))) {}

    // Contexts keep their recogniser, so by now none is left; the engine thread is stopped
    // before the input goes.
    ~InprocRecognizer() override { engine_->shutDown(); }

    HRESULT CreateRecoContext(ISpRecoContext** context) override {
        if (context == nullptr) {
            return E_POINTER;
        }
        AddRef();
        return createRecoContext(ComPtr<ISpRecognizer>::adopt(this), engine_, context);
    }

    HRESULT SetInput(IUnknown* input, bool /*allowFormatChanges*/) override {
        if (input == nullptr) {
            return E_INVALIDARG;
        }
        void* found = nullptr;
        if (FAILED(input->QueryInterface(IID_IEngineAudioInput, &found))) {
            return E_INVALIDARG;  // only the engine's own streams can be listened to
        }
        auto audioInput = ComPtr<IEngineAudioInput>::adopt(static_cast<IEngineAudioInput*>(found));
        std::unique_ptr<engine::AudioSource> source;
        if (const HRESULT status = audioInput->takeAudioSource(source); FAILED(status)) {
            return status;
        }
        input->AddRef();
        input_ = ComPtr<IUnknown>::adopt(input);
        return engine_->setInput(std::move(source));
    }

    HRESULT SetPropertyNum(const char16_t* name, std::int32_t value) override {
        if (name == nullptr) {
            return E_INVALIDARG;
        }
        if (std::u16string_view(name) != kPhoneAlignmentProperty) {
            return S_FALSE;
        }
        engine_->setOptions({.alignPhones = value != 0});
        return S_OK;
    }

    HRESULT GetPropertyNum(const char16_t* name, std::int32_t* value) override {
        if (name == nullptr || value == nullptr) {
            return E_POINTER;
        }
        *value = 0;
        if (std::u16string_view(name) != kPhoneAlignmentProperty) {
            return S_FALSE;
        }
        *value = engine_->options().alignPhones ? 1 : 0;
        return S_OK;
    }

    HRESULT SetRecoState(SPRECOSTATE state) override {
        switch (state) {
            case SPRST_ACTIVE:
            case SPRST_ACTIVE_ALWAYS:
                return engine_->setActive(true);
            case SPRST_INACTIVE:
            case SPRST_INACTIVE_WITH_PURGE:
                return engine_->setActive(false);
        }
        return E_INVALIDARG;
    }

  private:
    std::shared_ptr<RecognitionEngine> engine_;
    ComPtr<IUnknown> input_;  // the stream, held while it is the input
};

}  // namespace

HRESULT createInprocRecognizer(IUnknown* outer, std::uint32_t /*classContext*/, REFIID iid,
                               void** object) {
    if (const HRESULT status = checkFactoryArguments(outer, object); status != S_OK) {
        return status;
    }
    try {
        // Recognisers made on one thread share that thread's model; recognisers on threads
        // that work at the same time have one each, as a decoder serves one recognition at a
        // time.
        const std::stop_token cancellation = threadCancellation();
        engine::SpeechModel* model = modelForThisThread(cancellation);
        if (model == nullptr) {
            return E_FAIL;  // the work was stopped before the model could load
        }
        return createComObject<InprocRecognizer>(iid, object, *model, cancellation);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::exception&) {
        return E_FAIL;  // the model cannot be loaded: no recogniser can be made
    }
}

}  // namespace phonemes
