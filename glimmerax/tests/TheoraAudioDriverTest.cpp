#include <glimmerax/OgreTheoraAudioDriver.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

namespace {

// A driver that plays nothing, to reach the base's copy operations.
class SilentDriver : public Ogre::TheoraAudioDriver {
  public:
    SilentDriver() = default;
    SilentDriver(const SilentDriver&) = default;
    SilentDriver& operator=(const SilentDriver&) = default;

    void setAudioStreamPause(bool) override {}
    bool startAudioStream() override { return true; }
    float getAudioStreamTime() override { return 0.0f; }
    bool openAudioStream(unsigned int, Ogre::eAudioSampleFormat, unsigned int, unsigned int,
                         unsigned int) override {
        return true;
    }
    bool closeAudioStream() override { return true; }
    void autoUpdate() override {}
};

// The vtable slot that a pointer to a virtual member function designates. In the Itanium C++
// ABI (GCC and Clang on Linux) the pointer holds 1 plus the byte offset of the slot.
template <typename MemberFunction>
std::ptrdiff_t vtableSlot(MemberFunction function) {
    struct Representation {
        std::ptrdiff_t pointer;
        std::ptrdiff_t adjustment;
    };
    static_assert(sizeof(MemberFunction) == sizeof(Representation));
    Representation representation;
    std::memcpy(&representation, &function, sizeof representation);
    return (representation.pointer - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

// Plug-ins built apart from the host call through these slots: their order is fixed.
TEST(TheoraAudioDriverTest, VirtualOperationsKeepTheirSlots) {
    using Driver = Ogre::TheoraAudioDriver;
    EXPECT_EQ(vtableSlot(&Driver::setAudioStreamPause), 0);
    EXPECT_EQ(vtableSlot(&Driver::startAudioStream), 1);
    EXPECT_EQ(vtableSlot(&Driver::getAudioStreamTime), 2);
    EXPECT_EQ(vtableSlot(&Driver::openAudioStream), 3);
    EXPECT_EQ(vtableSlot(&Driver::closeAudioStream), 4);
    EXPECT_EQ(vtableSlot(&Driver::autoUpdate), 5);
}

TEST(TheoraAudioDriverTest, SampleFormatValuesAreTheHostsOwn) {
    EXPECT_EQ(static_cast<int>(Ogre::AUDIO_SAMPLES_8BIT), 0);
    EXPECT_EQ(static_cast<int>(Ogre::AUDIO_SAMPLES_16BIT), 1);
}

TEST(TheoraAudioDriverTest, CopiesTakeTheRingBufferWithItsBytes) {
    SilentDriver original;
    const unsigned char pcm[] = {9, 8, 7, 6};
    ASSERT_EQ(original.ringBuffer().write(pcm, 4), 4);

    SilentDriver copy(original);
    SilentDriver assigned;
    assigned = original;
    unsigned char drained[4] = {};
    original.ringBuffer().read(drained, 4);

    for (SilentDriver* other : {&copy, &assigned}) {
        unsigned char out[4] = {};
        EXPECT_EQ(other->ringBuffer().read(out, 4), 4);
        EXPECT_EQ(std::memcmp(out, pcm, 4), 0);
    }
}

}  // namespace
