#include "support/VtableSlot.h"

#include <glimmerax/OgreTheoraAudioDriver.h>

#include <gtest/gtest.h>

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

// Plug-ins built apart from the host call through these slots: their order is fixed.
TEST(TheoraAudioDriverTest, VirtualOperationsKeepTheirSlots) {
    using Driver = Ogre::TheoraAudioDriver;
    using glimmerax::testing::vtableSlot;
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
