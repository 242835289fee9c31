// Image files: Targa and PCX readers against files made by the writers in
// tools/, the game's own writers read back, bad files refused, and M2V probes.
#include "quarn/bmpman/targautils.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/quarn/bmpman/bm_test_util.h"
#include "tests/support/critical_error_trap.h"
#include "tools/writers/image_writers.h"

namespace {

std::vector<uint8_t> decode_ok(const std::vector<uint8_t>& file, int w, int h, int bytes, uint8_t* palette = nullptr) {
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * bytes, 0xcd);
  const char* why = nullptr;
  EXPECT_EQ(targa_decode(file.data(), file.size(), out.data(), out.size(), palette, &why), 0) << (why ? why : "");
  return out;
}

const char* decode_fails(const std::vector<uint8_t>& file, size_t out_size) {
  // A guard area after the buffer shows any write past its end.
  std::vector<uint8_t> out(out_size + 64, 0xcd);
  const char* why = nullptr;
  EXPECT_EQ(targa_decode(file.data(), file.size(), out.data(), out_size, nullptr, &why), 1);
  for (size_t i = out_size; i < out.size(); i++) EXPECT_EQ(out[i], 0xcd) << "written past the buffer at " << i;
  return why ? why : "";
}

struct TgaCase {
  const char* label;
  int bpp;
  bool rle;
  bool top_first;
  bool mapped;
  int map_bits;
};

class TargaRoundTrip : public ::testing::TestWithParam<TgaCase> {};

TEST_P(TargaRoundTrip, ReadsBackWhatWasWritten) {
  const TgaCase& c = GetParam();
  const int w = 37, h = 11, bytes = c.bpp / 8;
  const auto pixels = test_pattern(w, h, bytes);
  TgaWriterOptions o;
  o.rle = c.rle;
  o.top_first = c.top_first;
  o.id = "made by a test";
  std::vector<uint8_t> map;
  if (c.mapped) {
    for (int i = 0; i < 200; i++) map.insert(map.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
    o.colour_map = map;
    o.colour_map_entry_bits = c.map_bits;
  }
  const auto file = tga_build(pixels.data(), w, h, c.bpp, o);
  uint8_t palette[768];
  std::memset(palette, 0xee, sizeof palette);
  EXPECT_EQ(decode_ok(file, w, h, bytes, palette), pixels);
  if (c.mapped) {
    for (int i = 0; i < 256; i++) {
      for (int k = 0; k < 3; k++) {
        int want = i < 200 ? map[i * 3 + k] : 0;
        if (c.map_bits == 16) want &= 0xf8;  // five bits a channel
        ASSERT_EQ(palette[i * 3 + k], want) << "entry " << i << " channel " << k;
      }
    }
  } else {
    EXPECT_EQ(palette[0], 0xee) << "a file without a colour map leaves the palette alone";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Variants, TargaRoundTrip,
    ::testing::Values(TgaCase{"raw24_top", 24, false, true, false, 24}, TgaCase{"raw24_bottom", 24, false, false, false, 24},
                      TgaCase{"rle24_top", 24, true, true, false, 24}, TgaCase{"rle24_bottom", 24, true, false, false, 24},
                      TgaCase{"raw32", 32, false, false, false, 24}, TgaCase{"rle32", 32, true, true, false, 24},
                      TgaCase{"raw16", 16, false, true, false, 24}, TgaCase{"rle16_bottom", 16, true, false, false, 24},
                      TgaCase{"raw8_map", 8, false, true, true, 24}, TgaCase{"rle8_map_bottom", 8, true, false, true, 24},
                      TgaCase{"rle8_map32", 8, true, true, true, 32}, TgaCase{"raw8_map16", 8, false, false, true, 16}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Targa, BottomUpAndTopDownGiveTheSameBuffer) {
  const auto pixels = test_pattern(16, 9, 3);
  TgaWriterOptions top, bottom;
  bottom.top_first = false;
  const auto a = decode_ok(tga_build(pixels.data(), 16, 9, 24, top), 16, 9, 3);
  const auto b = decode_ok(tga_build(pixels.data(), 16, 9, 24, bottom), 16, 9, 3);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, pixels);
}

TEST(Targa, RunLengthGreyType11IsDecoded) {
  // The grey run-length type passes the header check, so it must fill the
  // buffer rather than report success over untouched memory.
  const auto pixels = test_pattern(20, 6, 1);
  TgaWriterOptions o;
  o.rle = true;
  o.grey = true;
  const auto file = tga_build(pixels.data(), 20, 6, 8, o);
  ASSERT_EQ(file[2], 11);
  EXPECT_EQ(decode_ok(file, 20, 6, 1), pixels);
}

TEST(Targa, PacketsMayCarryOnIntoTheNextRow) {
  // One repeat packet of 12 pixels over a 5-pixel-wide image: rows 0, 1 and
  // the first 2 pixels of row 2; then a raw packet for the last 3.
  std::vector<uint8_t> file = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 3, 0, 8, 0x20};
  file.insert(file.end(), {0x80 | 11, 7, 2, 1, 2, 3});
  EXPECT_EQ(decode_ok(file, 5, 3, 1), (std::vector<uint8_t>{7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 1, 2, 3}));
}

TEST(Targa, ColourMapLongerThanThePaletteKeepsTheFirst256Entries) {
  const auto pixels = test_pattern(8, 4, 1);
  TgaWriterOptions o;
  for (int i = 0; i < 300; i++) o.colour_map.insert(o.colour_map.end(), {uint8_t(i), uint8_t(i >> 8), 9});
  const auto file = tga_build(pixels.data(), 8, 4, 8, o);
  ASSERT_EQ(file[5] | (file[6] << 8), 300);
  std::vector<uint8_t> palette(768 + 64, 0xcd);
  EXPECT_EQ(decode_ok(file, 8, 4, 1, palette.data()), pixels) << "pixels start after all 300 entries";
  EXPECT_EQ(palette[255 * 3], 255);
  for (size_t i = 768; i < palette.size(); i++) ASSERT_EQ(palette[i], 0xcd) << "palette overrun at " << i;
}

TEST(Targa, BadFilesAreRefusedWithoutWritingPastTheBuffer) {
  const auto pixels = test_pattern(8, 4, 3);
  TgaWriterOptions rle;
  rle.rle = true;
  const auto good_rle = tga_build(pixels.data(), 8, 4, 24, rle);
  const auto good_raw = tga_build(pixels.data(), 8, 4, 24);
  const size_t image = 8 * 4 * 3;

  auto header = [](int type, int w, int h, int bpp, int desc) {
    return std::vector<uint8_t>{0, 0, uint8_t(type), 0, 0, 0, 0, 0, 0, 0, 0, 0, uint8_t(w), 0, uint8_t(h), 0,
                                uint8_t(bpp), uint8_t(desc)};
  };
  struct Bad {
    const char* label;
    std::vector<uint8_t> file;
    size_t out_size;
  };
  std::vector<Bad> cases;
  cases.push_back({"short header", std::vector<uint8_t>(good_raw.begin(), good_raw.begin() + 10), image});
  cases.push_back({"truncated raw data", std::vector<uint8_t>(good_raw.begin(), good_raw.end() - 1), image});
  cases.push_back({"truncated run-length data", std::vector<uint8_t>(good_rle.begin(), good_rle.end() - 1), image});
  cases.push_back({"buffer smaller than the image", good_raw, image - 1});
  {
    auto f = header(10, 4, 2, 8, 0x20);  // 8 pixels, one repeat packet of 9
    f.insert(f.end(), {0x80 | 8, 5});
    cases.push_back({"repeat packet past the last pixel", f, 8});
  }
  {
    auto f = header(10, 4, 2, 8, 0);  // bottom-up: the last row decoded is the first in memory
    f.insert(f.end(), {0x04, 1, 2, 3, 4, 5});        // 5 pixels
    f.insert(f.end(), {0x05, 1, 2, 3, 4, 5, 6});     // 6 more: 11 of 8
    cases.push_back({"raw packet past the last pixel", f, 8});
  }
  {
    auto f = header(10, 4, 2, 8, 0x20);
    f.insert(f.end(), {0x7f, 1, 2, 3});  // raw packet of 128 with 3 bytes
    cases.push_back({"raw packet past the end of the data", f, 8});
  }
  {
    auto f = header(2, 2, 2, 24, 0);
    f[0] = 200;  // identification field longer than the file
    cases.push_back({"identification past the end", f, 12});
  }
  {
    auto f = header(1, 2, 2, 8, 0);
    f[1] = 1;
    f[5] = 0;
    f[6] = 1;  // 256 entries of 3 bytes, none present
    f[7] = 24;
    cases.push_back({"colour map past the end", f, 4});
  }
  cases.push_back({"bits per pixel 12", header(2, 2, 2, 12, 0), 64});
  cases.push_back({"alpha bits 4", header(2, 2, 2, 32, 4), 64});
  cases.push_back({"image type 4", header(4, 2, 2, 24, 0), 64});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_STRNE(decode_fails(c.file, c.out_size), "");
  }
}

TEST(TargaCompress, RunsAndConversions) {
  // 130 equal pixels: a repeat packet of 128 and one of 2.
  std::vector<uint8_t> same(130 * 3, 0);
  for (size_t i = 0; i < same.size(); i += 3) same[i] = 9, same[i + 1] = 8, same[i + 2] = 7;
  std::vector<uint8_t> out(targa_compress_bound(130, 3));
  const int n = targa_compress(out.data(), same.data(), 3, 3, static_cast<int>(same.size()));
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n),
            (std::vector<uint8_t>{0xff, 9, 8, 7, 0x81, 9, 8, 7}));

  // Raw pixels then a pair: the raw ones go out first, then a repeat packet.
  const std::vector<uint8_t> two_byte = {1, 0, 2, 0, 3, 0, 3, 0, 4, 0};
  out.assign(64, 0);
  int m = targa_compress(out.data(), two_byte.data(), 2, 2, 10);
  // 2 to 2 bytes: bit 15 is flipped in every pixel written.
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + m),
            (std::vector<uint8_t>{0x01, 1, 0x80, 2, 0x80, 0x81, 3, 0x80, 0x00, 4, 0x80}));

  // One-byte pixels: a pair stays raw, three equal start a repeat packet.
  const std::vector<uint8_t> bytes = {5, 5, 6, 7, 7, 7, 8};
  out.assign(64, 0);
  m = targa_compress(out.data(), bytes.data(), 1, 1, 7);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + m),
            (std::vector<uint8_t>{0x02, 5, 5, 6, 0x82, 7, 0x00, 8}));

  // 5-6-5 widened to blue, green, red.
  const uint16_t p = (0x1f << 11) | (0x2a << 5) | 0x11;
  const uint8_t in[2] = {uint8_t(p & 0xff), uint8_t(p >> 8)};
  out.assign(8, 0);
  m = targa_compress(out.data(), in, 3, 2, 2);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + m),
            (std::vector<uint8_t>{0x00, 0x11 * 8, 0x2a * 4, 0xf8}));
}

class ImageFiles : public TempRootTest {};

TEST_F(ImageFiles, TargaWritersRoundTripThroughFiles) {
  struct Case {
    int bpp, w, h;
    bool rle;
  };
  // Widths that packets of 128 do not divide, so runs cross rows.
  for (const Case c : {Case{8, 50, 7, true}, Case{24, 50, 7, true}, Case{32, 130, 3, true}, Case{24, 9, 5, false},
                       Case{32, 3, 3, false}}) {
    SCOPED_TRACE(::testing::Message() << c.bpp << " bits " << (c.rle ? "rle" : "raw"));
    const auto pixels = test_pattern(c.w, c.h, c.bpp / 8, /*runs=*/true);
    const int rc = c.rle ? targa_write_bitmap("written.png", pixels.data(), 0, c.w, c.h, c.bpp, BM_ANY_PATH_TYPE)
                         : targa_write_raw("written.tga", pixels.data(), 0, c.w, c.h, c.bpp, BM_ANY_PATH_TYPE);
    ASSERT_EQ(rc, 0);
    int w = 0, h = 0, bpp = 0;
    ASSERT_EQ(targa_read_header("written", &w, &h, &bpp, nullptr, nullptr, BM_ANY_PATH_TYPE), 0);
    EXPECT_EQ(w, c.w);
    EXPECT_EQ(h, c.h);
    EXPECT_EQ(bpp, c.bpp);
    std::vector<uint8_t> back(pixels.size());
    ASSERT_EQ(targa_read_bitmap("written.tga", back.data(), nullptr, back.size(), BM_ANY_PATH_TYPE), 0);
    EXPECT_EQ(back, pixels);
  }
}

TEST_F(ImageFiles, SixteenBitWriteFlipsTheAlphaBit) {
  // The file's alpha bit is the opposite of format 5's transparent bit.
  const std::vector<uint8_t> pixels = {0x34, 0x12, 0x34, 0x92};
  ASSERT_EQ(targa_write_bitmap("flip", pixels.data(), 0, 2, 1, 16, BM_ANY_PATH_TYPE), 0);
  std::vector<uint8_t> back(4);
  ASSERT_EQ(targa_read_bitmap("flip.tga", back.data(), nullptr, back.size(), BM_ANY_PATH_TYPE), 0);
  EXPECT_EQ(back, (std::vector<uint8_t>{0x34, 0x92, 0x34, 0x12}));
}

TEST_F(ImageFiles, MissingTargaPixelsAreFatalAndMissingHeaderIsAnError) {
  int w = 0, h = 0, bpp = 0;
  EXPECT_EQ(targa_read_header("nothing.tga", &w, &h, &bpp, nullptr, nullptr, BM_ANY_PATH_TYPE), 1);
  CriticalErrorTrap trap;
  uint8_t buf[16];
  try {
    targa_read_bitmap("nothing.tga", buf, nullptr, sizeof buf, BM_ANY_PATH_TYPE);
    FAIL() << "no fatal error";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_EQ(e.text, "Could not open file: nothing.tga");
  }
}

TEST_F(ImageFiles, PcxRoundTripAndPadding) {
  const auto pixels = test_pattern(33, 9, 1, /*runs=*/true);
  std::vector<uint8_t> palette(768);
  for (int i = 0; i < 768; i++) palette[i] = static_cast<uint8_t>(i * 5);
  std::vector<const uint8_t*> rows;
  for (int y = 0; y < 9; y++) rows.push_back(pixels.data() + y * 33);
  ASSERT_EQ(pcx_write_bitmap("pic.bmp", 33, 9, rows.data(), palette.data()), PCX_ERROR_NONE);
  ASSERT_TRUE(image_write_bytes(root() + "blocker", {1}));
  EXPECT_EQ(pcx_write_bitmap("blocker\\pic", 33, 9, rows.data(), palette.data()), PCX_ERROR_OPENING);

  int w = 0, h = 0, bpp = 0;
  uint8_t header_palette[768];
  ASSERT_EQ(pcx_read_header("pic", &w, &h, &bpp, header_palette, BM_ANY_PATH_TYPE), PCX_ERROR_NONE);
  EXPECT_EQ(w, 33);
  EXPECT_EQ(h, 9);
  EXPECT_EQ(bpp, 8);
  EXPECT_EQ(std::vector<uint8_t>(header_palette, header_palette + 768), palette);

  std::vector<uint8_t> back(pixels.size());
  uint8_t back_palette[768];
  ASSERT_EQ(pcx_read_bitmap("pic.pcx", back.data(), back_palette, back.size(), BM_ANY_PATH_TYPE), PCX_ERROR_NONE);
  EXPECT_EQ(back, pixels);
  EXPECT_EQ(std::vector<uint8_t>(back_palette, back_palette + 768), palette);

  // Bytes per line one more than the width: the padding byte of each row is
  // dropped, also when runs carry on from row to row.
  for (bool cross : {false, true}) {
    const auto file = pcx_build(pixels.data(), 33, 9, palette.data(), 34, cross);
    std::vector<uint8_t> out(pixels.size() + 16, 0xcd);
    EXPECT_EQ(pcx_decode(file.data(), file.size(), out.data(), pixels.size(), nullptr), PCX_ERROR_NONE);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + pixels.size()), pixels);
    EXPECT_EQ(out[pixels.size()], 0xcd);
  }
}

TEST(Pcx, BadFilesGiveTheirCodes) {
  const auto pixels = test_pattern(10, 4, 1);
  const std::vector<uint8_t> palette(768, 3);
  const auto good = pcx_build(pixels.data(), 10, 4, palette.data());
  struct Bad {
    const char* label;
    std::vector<uint8_t> file;
    int code;
  };
  std::vector<Bad> cases;
  cases.push_back({"short header", std::vector<uint8_t>(good.begin(), good.begin() + 100), PCX_ERROR_NO_HEADER});
  for (int field : {0, 1, 2, 3, 65}) {
    auto f = good;
    f[field] ^= 0x40;
    cases.push_back({"wrong header field", f, PCX_ERROR_WRONG_VERSION});
  }
  {
    auto f = good;
    f[66] = 9;  // bytes per line below the width
    cases.push_back({"bytes per line below width", f, PCX_ERROR_WRONG_VERSION});
  }
  {
    auto f = good;
    f[8] = 0, f[9] = 0, f[4] = 5;  // x max below x min
    cases.push_back({"no pixels", f, PCX_ERROR_WRONG_VERSION});
  }
  cases.push_back({"no room for the palette", std::vector<uint8_t>(good.begin(), good.begin() + 140),
                   PCX_ERROR_NO_PALETTE});
  {
    // Header, then a palette-sized tail of run bytes with no values left: the
    // data ends before the rows do.
    std::vector<uint8_t> f(good.begin(), good.begin() + 128);
    f.insert(f.end(), 767, 0xc1);
    f.push_back(0xc1);
    auto tall = f;
    tall[10] = 99, tall[11] = 0;  // 100 rows of 10: more values than the data holds
    cases.push_back({"data ends early", tall, PCX_ERROR_READING});
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<uint8_t> out(64 * 1024 + 64, 0xcd);
    const char* why = nullptr;
    EXPECT_EQ(pcx_decode(c.file.data(), c.file.size(), out.data(), 64 * 1024, nullptr, &why), c.code);
    EXPECT_NE(why, nullptr);
  }
  // A buffer too small for the image is refused before anything is written.
  std::vector<uint8_t> small(39 + 8, 0xcd);
  EXPECT_EQ(pcx_decode(good.data(), good.size(), small.data(), 39, nullptr), PCX_ERROR_READING);
  EXPECT_EQ(small[39], 0xcd);
}

TEST(Pcx, ErrorTexts) {
  const char* want[] = {"No error.",           "Error opening file.",
                        "Couldn't read PCX header.", "Unsupported PCX version.",
                        "Error reading data.", "Couldn't find palette information.",
                        "Error writing data."};
  for (int i = 0; i <= 6; i++) EXPECT_STREQ(pcx_error_string(i), want[i]);
  EXPECT_STREQ(pcx_error_string(7), "Unknown error.");
  EXPECT_STREQ(pcx_error_string(-1), "Unknown error.");
}

TEST_F(ImageFiles, M2vSizeProbeAndRead) {
  ASSERT_TRUE(image_write_bytes(root() + "clip.m2v", m2v_build(320, 240, 1000)));
  int w = 0, h = 0;
  EXPECT_EQ(m2v_read_header("clip.m2v", &w, &h), 1000);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 240);
  uint8_t* data = nullptr;
  EXPECT_EQ(m2v_read_file("clip", &data), 1000);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data[3], 0xb3);
  std::free(data);

  EXPECT_EQ(m2v_read_header("none.m2v", &w, &h), 0);
  EXPECT_EQ(m2v_read_file("none.m2v", &data), 0);
  EXPECT_EQ(data, nullptr);
  ASSERT_TRUE(image_write_bytes(root() + "tiny.m2v", {0, 0, 1}));
  EXPECT_EQ(m2v_read_header("tiny.m2v", &w, &h), 0);
}

}  // namespace
