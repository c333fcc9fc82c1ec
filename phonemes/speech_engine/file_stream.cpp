#include "file_stream.h"

#include <filesystem>
#include <mutex>
#include <new>
#include <optional>
#include <string>

#include "text_conversion.h"

namespace phonemes {
namespace {

class FileStream final : public ComObject<ISpStream, IEngineAudioInput> {
  public:
    HRESULT BindToFile(const char16_t* fileName, SPFILEMODE mode, const GUID* formatId,
                       const WAVEFORMATEX* waveFormat, std::uint64_t /*eventInterest*/) override {
        if (fileName == nullptr) {
            return E_INVALIDARG;
        }
        // Files are only read, and their format always comes from their own header.
        if (mode != SPFM_OPEN_READONLY || formatId != nullptr || waveFormat != nullptr) {
            return E_INVALIDARG;
        }
        const std::optional<std::string> path = toNarrowText(fileName);
        if (!path || path->empty()) {
            return E_INVALIDARG;
        }
        std::lock_guard lock(mutex_);
        if (format_) {
            return SPERR_ALREADY_INITIALIZED;
        }
        try {
            source_ = engine::AudioSource::open(std::filesystem::path(*path));
        } catch (const engine::AudioOpenError&) {
            return E_FAIL;  // not readable audio: missing, a folder, not audio, a bad header
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (const std::exception&) {
            return E_FAIL;
        }
        format_ = waveFormatOf(source_->format());
        return S_OK;
    }

    HRESULT GetFormat(GUID* formatId, WAVEFORMATEX** waveFormat) override {
        if (formatId == nullptr || waveFormat == nullptr) {
            return E_POINTER;
        }
        *waveFormat = nullptr;
        std::lock_guard lock(mutex_);
        if (!format_) {
            return SPERR_UNINITIALIZED;
        }
        *waveFormat = coTaskMemCopy(*format_);
        if (*waveFormat == nullptr) {
            return E_OUTOFMEMORY;
        }
        *formatId = SPDFID_WaveFormatEx;
        return S_OK;
    }

    HRESULT takeAudioSource(std::unique_ptr<engine::AudioSource>& source) override {
        std::lock_guard lock(mutex_);
        if (!format_) {
            return SPERR_UNINITIALIZED;
        }
        if (!source_) {
            return E_FAIL;
        }
        source = std::move(source_);
        return S_OK;
    }

  private:
    std::mutex mutex_;
    std::unique_ptr<engine::AudioSource> source_;
    std::optional<WAVEFORMATEX> format_;  // set once the file is bound
};

}  // namespace

WAVEFORMATEX waveFormatOf(const engine::StreamFormat& format) {
    WAVEFORMATEX wave{};
    wave.wFormatTag = format.formatTag;
    wave.nChannels = format.channels;
    wave.nSamplesPerSec = format.samplesPerSec;
    wave.nAvgBytesPerSec = format.avgBytesPerSec;
    wave.nBlockAlign = format.blockAlign;
    wave.wBitsPerSample = format.bitsPerSample;
    wave.cbSize = 0;
    return wave;
}

HRESULT createFileStream(IUnknown* outer, std::uint32_t /*classContext*/, REFIID iid,
                         void** object) {
    if (const HRESULT status = checkFactoryArguments(outer, object); status != S_OK) {
        return status;
    }
    return createComObject<FileStream>(iid, object);
}

}  // namespace phonemes
