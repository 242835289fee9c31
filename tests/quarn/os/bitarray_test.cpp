#include "quarn/os/bitarray.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "quarn/os/chainbuf.h"

TEST(BitArray, LayoutFillAndOwnership) {
  BitArray bits;
  ASSERT_EQ(bits.create(9), 0);
  EXPECT_EQ(bits.byte_count(), 2);
  bits.fill(0);
  bits.set(8, true);
  EXPECT_EQ(bits.bytes()[1], 1);
  EXPECT_TRUE(bits.test(8));
  EXPECT_FALSE(bits.test(7));
  bits.set(3, true);
  EXPECT_EQ(bits.bytes()[0], 8);
  bits.set(3, false);
  EXPECT_EQ(bits.bytes()[0], 0);
  bits.fill(1);
  EXPECT_EQ(bits.bytes()[0], 0xFF);
  EXPECT_EQ(bits.bytes()[1], 0xFF);

  uint8_t mine[2] = {0xAA, 0x55};
  {
    BitArray attached;
    attached.attach(mine, 16);
    EXPECT_TRUE(attached.test(1));
    EXPECT_FALSE(attached.test(0));
    attached.free();
  }
  EXPECT_EQ(mine[0], 0xAA);

  ChainBuffer cb;
  ASSERT_FALSE(cb.init(64, false));
  BitArray carved;
  ASSERT_EQ(carved.create_in(cb, 20), 0);
  EXPECT_EQ(carved.byte_count(), 3);
  EXPECT_FALSE(carved.owned());
}
