#include "zip/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "zip_test_support.h"

namespace kestrova {
namespace {

TEST(Crc32, KnownVectors) {
  EXPECT_EQ(Crc32Of("", 0), 0u);
  EXPECT_EQ(Crc32Of("a", 1), 0xE8B7BE43u);
  EXPECT_EQ(Crc32Of("123456789", 9), 0xCBF43926u);
  const std::string fox = "The quick brown fox jumps over the lazy dog";
  EXPECT_EQ(Crc32Of(fox.data(), fox.size()), 0x414FA339u);
}

// The 16-byte loop, its tail and unaligned starts must all agree with zlib's CRC,
// also when the data arrives in pieces that split the 16-byte groups.
TEST(Crc32, AgreesWithZlibForEveryLengthAlignmentAndSplit) {
  const std::string data = testing::RandomBytes(4096 + 64, 7);
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  for (size_t start = 0; start < 17; ++start) {
    for (size_t length : {0, 1, 15, 16, 17, 31, 33, 255, 1000, 4096}) {
      const uint32_t expected = uint32_t(crc32(0, bytes + start, uInt(length)));
      ASSERT_EQ(Crc32Of(bytes + start, length), expected) << start << "+" << length;
      Crc32 pieces;
      const size_t cut = length / 3;
      pieces.Update(bytes + start, cut);
      pieces.Update(bytes + start + cut, length - cut);
      ASSERT_EQ(pieces.Value(), expected) << start << "+" << length << " cut " << cut;
      ASSERT_EQ(Crc32Combine(Crc32Of(bytes + start, cut), Crc32Of(bytes + start + cut, length - cut),
                             length - cut),
                expected);
    }
  }
}

}  // namespace
}  // namespace kestrova
