// The scripted platform's own bookkeeping: a reference kept, released twice or used after its
// release must show, or the session tests could not catch it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "scripted_platform.h"

namespace phonemes::scripted {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct Misbehaviour {
    std::string name;
    std::function<void(ISpRecognizer*)> use;
    std::vector<std::string> unbalanced;
    std::vector<std::string> misuses;

    friend void PrintTo(const Misbehaviour& c, std::ostream* os) { *os << c.name; }
};

const Misbehaviour kMisbehaviours[] = {
    {"ReleasedOnce", [](ISpRecognizer* r) { r->Release(); }, {}, {}},
    {"NeverReleased", [](ISpRecognizer*) {}, {"recognizer: 1"}, {}},
    {"ReleasedTwice",
     [](ISpRecognizer* r) {
         r->Release();
         r->Release();
     },
     {"recognizer: -1"},
     {"recognizer: released more often than referenced"}},
    {"UsedAfterRelease",
     [](ISpRecognizer* r) {
         r->Release();
         r->SetRecoState(SPRST_ACTIVE);
     },
     {},
     {"recognizer: SetRecoState after its last release"}},
    {"ExtraReferenceReleased",
     [](ISpRecognizer* r) {
         r->AddRef();
         r->Release();
         r->Release();
     },
     {},
     {}},
};

class ScriptedBookkeeping : public ::testing::TestWithParam<Misbehaviour> {
  protected:
    ScriptedBookkeeping() { CoInitialize(nullptr); }
    ~ScriptedBookkeeping() override { CoUninitialize(); }
    ScriptedPlatform platform;
};

TEST_P(ScriptedBookkeeping, ShowsEveryReferenceThatDidNotComeBackOnce) {
    void* object = nullptr;
    ASSERT_EQ(
        CoCreateInstance(CLSID_SpInprocRecognizer, nullptr, CLSCTX_ALL, IID_ISpRecognizer, &object),
        S_OK);
    GetParam().use(static_cast<ISpRecognizer*>(object));
    EXPECT_EQ(platform.unbalancedObjects(), GetParam().unbalanced);
    EXPECT_EQ(platform.misuses(), GetParam().misuses);
}

INSTANTIATE_TEST_SUITE_P(Uses, ScriptedBookkeeping, ::testing::ValuesIn(kMisbehaviours),
                         [](const auto& info) { return info.param.name; });

TEST(ScriptedPlatformStatuses, OnceStatusesComeFirstThenTheLastingOne) {
    ScriptedPlatform platform;
    platform.setStatus(Op::SetInput, E_FAIL);
    platform.setStatusOnce(Op::SetInput, S_FALSE);
    platform.setStatusOnce(Op::SetInput, S_OK);
    EXPECT_EQ(platform.statusOf(Op::SetInput), S_FALSE);
    EXPECT_EQ(platform.statusOf(Op::SetInput), S_OK);
    EXPECT_EQ(platform.statusOf(Op::SetInput), E_FAIL);
    EXPECT_EQ(platform.statusOf(Op::SetRecoState), S_OK);
    platform.resetAnswers();
    EXPECT_EQ(platform.statusOf(Op::SetInput), S_OK);
}

}  // namespace
}  // namespace phonemes::scripted
