#include <glimmerax/OgreRingBuffer.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

std::vector<unsigned char> countingBytes(std::size_t count) {
    std::vector<unsigned char> bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<unsigned char>(i * 7 + i / 251);
    }
    return bytes;
}

struct StreamCase {
    long capacity;
    long writeChunk;
    long readChunk;
};

void PrintTo(const StreamCase& param, std::ostream* out) {
    *out << "capacity " << param.capacity << ", writes of " << param.writeChunk << ", reads of "
         << param.readChunk;
}

class RingBufferStreamTest : public ::testing::TestWithParam<StreamCase> {};

// Bytes come out in the order they went in, however the reads and writes cut them and however
// often the positions wrap round.
TEST_P(RingBufferStreamTest, DeliversEveryByteOnceInOrder) {
    const StreamCase& param = GetParam();
    Ogre::RingBuffer ring(param.capacity);
    const std::vector<unsigned char> input = countingBytes(10000);
    std::vector<unsigned char> output;
    std::vector<unsigned char> scratch(static_cast<std::size_t>(param.readChunk));

    std::size_t sent = 0;
    while (output.size() < input.size()) {
        const long offer = std::min<long>(param.writeChunk, static_cast<long>(input.size() - sent));
        const long written = ring.write(input.data() + sent, offer);
        ASSERT_GE(written, 0);
        ASSERT_LE(written, offer);
        ASSERT_LE(ring.readAvailable(), ring.capacity());
        sent += static_cast<std::size_t>(written);

        const long read = ring.read(scratch.data(), param.readChunk);
        ASSERT_GE(read, 0);
        ASSERT_LE(read, param.readChunk);
        output.insert(output.end(), scratch.begin(), scratch.begin() + read);
        ASSERT_TRUE(written > 0 || read > 0) << "no progress";
    }
    EXPECT_EQ(output, input);
    EXPECT_EQ(ring.readAvailable(), 0);
    EXPECT_EQ(ring.writeAvailable(), ring.capacity());
}

INSTANTIATE_TEST_SUITE_P(Chunkings, RingBufferStreamTest,
                         ::testing::Values(StreamCase{1, 1, 1}, StreamCase{7, 5, 3},
                                           StreamCase{7, 3, 5}, StreamCase{10, 10, 10},
                                           StreamCase{4096, 1000, 4096},
                                           StreamCase{4096, 4096, 333}));

TEST(RingBufferTest, ReadGivesWhatIsHeldAndWriteFillsOnlyTheFreeSpace) {
    Ogre::RingBuffer ring(8);
    const std::vector<unsigned char> input = countingBytes(12);
    unsigned char out[16] = {};

    EXPECT_EQ(ring.read(out, 4), 0) << "empty";
    EXPECT_EQ(ring.write(input.data(), 12), 8) << "only the capacity fits";
    EXPECT_EQ(ring.write(input.data(), 1), 0) << "full";
    EXPECT_EQ(ring.read(out, 3), 3);
    EXPECT_EQ(ring.readAvailable(), 5);
    EXPECT_EQ(ring.writeAvailable(), 3);
    EXPECT_EQ(ring.read(out + 3, 16), 5) << "a short read returns what is held";
    EXPECT_EQ(std::vector<unsigned char>(out, out + 8),
              std::vector<unsigned char>(input.begin(), input.begin() + 8));
}

TEST(RingBufferTest, RefusesInvalidArgumentsWithoutTouchingTheBytes) {
    Ogre::RingBuffer ring(8);
    const unsigned char byte = 42;
    ASSERT_EQ(ring.write(&byte, 1), 1);
    unsigned char out = 0;

    EXPECT_EQ(ring.read(nullptr, 1), 0);
    EXPECT_EQ(ring.read(&out, 0), 0);
    EXPECT_EQ(ring.read(&out, -5), 0);
    EXPECT_EQ(ring.write(nullptr, 1), 0);
    EXPECT_EQ(ring.write(&byte, -1), 0);
    EXPECT_EQ(ring.readAvailable(), 1);
    EXPECT_EQ(ring.read(&out, 1), 1);
    EXPECT_EQ(out, 42);

    EXPECT_THROW(Ogre::RingBuffer(0), std::invalid_argument);
}

TEST(RingBufferTest, CopiesHoldTheirOwnBytes) {
    Ogre::RingBuffer ring(8);
    const unsigned char bytes[] = {1, 2, 3};
    ring.write(bytes, 3);

    Ogre::RingBuffer copy(ring);
    Ogre::RingBuffer assigned(2);
    assigned = ring;
    unsigned char out[3] = {};
    ASSERT_EQ(ring.read(out, 3), 3);

    for (Ogre::RingBuffer* other : {&copy, &assigned}) {
        EXPECT_EQ(other->capacity(), 8);
        unsigned char copied[3] = {};
        EXPECT_EQ(other->read(copied, 3), 3);
        EXPECT_EQ(std::vector<unsigned char>(copied, copied + 3),
                  std::vector<unsigned char>(bytes, bytes + 3));
    }
}

// One decoder thread writing while one thread reads, in uneven pieces, as the host and the
// sound system use it.
TEST(RingBufferTest, OneWriterAndOneReaderOnTwoThreadsLoseNothing) {
    Ogre::RingBuffer ring(4099);
    const std::vector<unsigned char> input = countingBytes(1 << 21);

    std::thread writer([&] {
        std::mt19937 random(7);
        std::size_t sent = 0;
        while (sent < input.size()) {
            const long offer = std::min<long>(1 + static_cast<long>(random() % 3000),
                                              static_cast<long>(input.size() - sent));
            sent += static_cast<std::size_t>(ring.write(input.data() + sent, offer));
        }
    });

    std::mt19937 random(11);
    std::vector<unsigned char> output;
    output.reserve(input.size());
    std::vector<unsigned char> scratch(5000);
    while (output.size() < input.size()) {
        const long read = ring.read(scratch.data(), 1 + static_cast<long>(random() % 5000));
        output.insert(output.end(), scratch.begin(), scratch.begin() + read);
    }
    writer.join();
    EXPECT_TRUE(output == input);
}

}  // namespace
