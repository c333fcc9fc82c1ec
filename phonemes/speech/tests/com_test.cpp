// The component layer: creation through the registry, reference counting, task memory, and the
// one-block phrases that results hand out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "com.h"
#include "phrase_block.h"
#include "speech_api.h"
#include "speech_registry.h"

namespace phonemes {
namespace {

using ::testing::IsEmpty;

// A result object that tells when it is destroyed.
class Probe final : public ComObject<ISpRecoResult> {
  public:
    explicit Probe(std::atomic<int>& destroyed) : destroyed_(destroyed) {}
    ~Probe() override { ++destroyed_; }

    HRESULT GetPhrase(SPPHRASE**) override { return E_NOTIMPL; }
    HRESULT GetText(std::uint32_t, std::uint32_t, bool, char16_t**, std::uint8_t*) override {
        return E_NOTIMPL;
    }
    HRESULT GetResultTimes(SPRECORESULTTIMES*) override { return E_NOTIMPL; }

  private:
    std::atomic<int>& destroyed_;
};

constexpr CLSID kProbeClass{
    0x6d1aff1f, 0x8bd1, 0x4165, {0x85, 0x25, 0xa3, 0x63, 0x37, 0xf5, 0xa9, 0xb1}};

class Com : public ::testing::Test {
  protected:
    Com() { CoInitialize(nullptr); }
    ~Com() override {
        CoUninitialize();
        resetSpeechRegistry();
    }
};

TEST_F(Com, CreationHandsTheFactoryItsArgumentsAndReturnsItsStatus) {
    IUnknown* seenOuter = reinterpret_cast<IUnknown*>(1);
    std::uint32_t seenContext = 0;
    const IID* seenIid = nullptr;
    std::atomic<int> destroyed = 0;
    registerClass(kProbeClass,
                  [&](IUnknown* outer, std::uint32_t context, REFIID iid, void** object) {
                      seenOuter = outer;
                      seenContext = context;
                      seenIid = &iid;
                      return createComObject<Probe>(iid, object, destroyed);
                  });

    void* object = nullptr;
    ASSERT_EQ(CoCreateInstance(kProbeClass, nullptr, CLSCTX_ALL, IID_ISpRecoResult, &object), S_OK);
    EXPECT_EQ(seenOuter, nullptr);
    EXPECT_EQ(seenContext, CLSCTX_ALL);
    EXPECT_EQ(*seenIid, IID_ISpRecoResult);
    EXPECT_EQ(static_cast<ISpRecoResult*>(object)->Release(), 0u);
    EXPECT_EQ(destroyed, 1);

    EXPECT_EQ(CoCreateInstance(kProbeClass, nullptr, CLSCTX_ALL, IID_ISpRecognizer, &object),
              E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(destroyed, 2);  // made, found wanting, and released
}

TEST_F(Com, CreationFailsForAnUnknownClassOrWithoutAPlaceForTheObject) {
    void* object = &object;
    EXPECT_EQ(CoCreateInstance(kProbeClass, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_SpObjectTokenCategory, nullptr, CLSCTX_ALL,
                               IID_ISpObjectTokenCategory, nullptr),
              E_POINTER);
}

TEST_F(Com, InitialisationNestsAndBelongsToItsThread) {
    void* object = nullptr;
    const auto createCategory = [&object] {
        const HRESULT status = CoCreateInstance(CLSID_SpObjectTokenCategory, nullptr, CLSCTX_ALL,
                                                IID_ISpObjectTokenCategory, &object);
        if (object != nullptr) {
            static_cast<IUnknown*>(object)->Release();
        }
        return status;
    };
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);  // the fixture's came first
    CoUninitialize();
    EXPECT_EQ(createCategory(), S_OK);

    HRESULT onOtherThread = S_OK;
    std::thread([&] { onOtherThread = createCategory(); }).join();
    EXPECT_EQ(onOtherThread, CO_E_NOTINITIALIZED);

    CoUninitialize();
    EXPECT_EQ(createCategory(), CO_E_NOTINITIALIZED);
    CoInitialize(nullptr);  // for the fixture's own CoUninitialize
}

TEST_F(Com, RegistryReplacesRemovesAndResetsToItsOwnClasses) {
    const auto failingWith = [](HRESULT status) {
        return [status](IUnknown*, std::uint32_t, REFIID, void**) { return status; };
    };
    void* object = nullptr;
    registerClass(kProbeClass, failingWith(E_FAIL));
    registerClass(kProbeClass, failingWith(E_OUTOFMEMORY));
    EXPECT_EQ(CoCreateInstance(kProbeClass, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
              E_OUTOFMEMORY);
    unregisterClass(kProbeClass);
    EXPECT_EQ(CoCreateInstance(kProbeClass, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);

    registerClass(CLSID_SpObjectTokenCategory, failingWith(E_FAIL));
    registerClass(kProbeClass, failingWith(E_FAIL));
    registerPhoneConverterToken("Language=409", kProbeClass);
    resetSpeechRegistry();
    EXPECT_EQ(CoCreateInstance(kProbeClass, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_THAT(phoneConverterTokens(), IsEmpty());
    ASSERT_EQ(CoCreateInstance(CLSID_SpObjectTokenCategory, nullptr, CLSCTX_ALL,
                               IID_ISpObjectTokenCategory, &object),
              S_OK);
    static_cast<ISpObjectTokenCategory*>(object)->Release();
}

TEST(ComObject, AnswersForEveryInterfaceOfItsChainAndNoOther) {
    std::atomic<int> destroyed = 0;
    auto* probe = new Probe(destroyed);
    void* found = nullptr;
    ASSERT_EQ(probe->QueryInterface(IID_ISpPhrase, &found), S_OK);
    EXPECT_EQ(found, static_cast<ISpPhrase*>(probe));
    ASSERT_EQ(probe->QueryInterface(IID_IUnknown, &found), S_OK);
    EXPECT_EQ(found, static_cast<IUnknown*>(probe));
    EXPECT_EQ(probe->QueryInterface(IID_ISpStream, &found), E_NOINTERFACE);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(probe->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(probe->Release(), 2u);  // the two references that the queries handed out
    EXPECT_EQ(probe->Release(), 1u);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(probe->Release(), 0u);
    EXPECT_EQ(destroyed, 1);
}

TEST(ComObject, ReferencesFromManyThreadsEndInOneDestruction) {
    std::atomic<int> destroyed = 0;
    auto* probe = new Probe(destroyed);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([probe] {
            for (int i = 0; i < 10000; ++i) {
                probe->AddRef();
                probe->Release();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(destroyed, 0);
    probe->Release();
    EXPECT_EQ(destroyed, 1);
}

TEST(TaskMemory, EveryBlockIsCountedUntilItIsFreed) {
    const std::size_t before = taskMemBlocksInUse();
    void* empty = CoTaskMemAlloc(0);
    WAVEFORMATEX* format = coTaskMemCopy(WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0});
    ASSERT_NE(empty, nullptr);
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->nAvgBytesPerSec, 16000u);
    EXPECT_EQ(taskMemBlocksInUse(), before + 2);
    CoTaskMemFree(empty);
    CoTaskMemFree(format);
    CoTaskMemFree(nullptr);
    EXPECT_EQ(taskMemBlocksInUse(), before);
}

TEST(PhraseBlock, HoldsThePhraseItsElementsAndTheirTextsInOneBlock) {
    const std::size_t before = taskMemBlocksInUse();
    const PhraseWord words[] = {{0, 3200, u"Hello", u"hello", u"\x11\x0C\x16\x1A"},
                                {3200, 6400, u"world", u"world", u"\x25\x0D"}};
    SPPHRASE* phrase = allocatePhrase(words, kLangIdAmericanEnglish, 480, 9600);
    ASSERT_NE(phrase, nullptr);
    EXPECT_EQ(taskMemBlocksInUse(), before + 1);
    EXPECT_EQ(phrase->cbSize, sizeof(SPPHRASE));
    EXPECT_EQ(phrase->LangID, kLangIdAmericanEnglish);
    EXPECT_EQ(phrase->ullAudioStreamPosition, 480u);
    EXPECT_EQ(phrase->ulAudioSizeBytes, 9600u);
    EXPECT_EQ(phrase->Rule.ulFirstElement, 0u);
    ASSERT_EQ(phrase->Rule.ulCountOfElements, 2u);
    const SPPHRASEELEMENT& second = phrase->pElements[1];
    EXPECT_EQ(second.ulAudioStreamOffset, 3200u);
    EXPECT_EQ(second.ulAudioSizeBytes, 6400u);
    EXPECT_EQ(std::u16string(second.pszDisplayText), u"world");
    EXPECT_EQ(std::u16string(second.pszLexicalForm), u"world");
    EXPECT_EQ(std::u16string(phrase->pElements[0].pszPronunciation), u"\x11\x0C\x16\x1A");
    CoTaskMemFree(phrase);
    EXPECT_EQ(taskMemBlocksInUse(), before);

    SPPHRASE* empty = allocatePhrase({}, kLangIdAmericanEnglish, 0, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->Rule.ulCountOfElements, 0u);
    EXPECT_EQ(empty->pElements, nullptr);
    CoTaskMemFree(empty);
}

}  // namespace
}  // namespace phonemes
