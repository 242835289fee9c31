#include <cmath>
#include <cstring>

#include "quarn/math/matrix.h"
#include "quarn/math/quaternion.h"
#include "quarn/math/vector.h"
#include "quarn/vfile/readstream.h"
#include "tests/quarn/vfile/vfile_fixture.h"

namespace {

class TypedTest : public VfileTest {
 protected:
  void SetUp() override {
    VfileTest::SetUp();
    vfile_add_path_type("", ".bin");
  }
  void write_bytes(const std::string& bytes) { put("t.bin", bytes); }
};

std::string le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
  return s;
}

std::string lef(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return le32(u);
}

}  // namespace

// A file recorded as version 3 skips every field of version 4 and reads the
// next field from the same position.
TEST_F(TypedTest, FieldsNewerThanTheFileTakeDefaults) {
  write_bytes(le32(0x01020304) + le32(0xAABBCCDD));
  FileHandle fh;
  ASSERT_EQ(fh.open("t.bin", VF_READ, 0), 0);
  fh.set_version(3);
  EXPECT_TRUE(fh.version_at_least(3));
  EXPECT_FALSE(fh.version_at_least(4));
  EXPECT_EQ(fh.read_int(4, -7), -7);
  EXPECT_EQ(fh.read_bool(4, true), true);
  EXPECT_EQ(fh.read_byte(4, -2), -2);
  EXPECT_EQ(fh.read_ubyte(4, 200), 200);
  EXPECT_EQ(fh.read_short(4, -300), -300);
  EXPECT_EQ(fh.read_ushort(4, 60000), 60000);
  EXPECT_EQ(fh.read_uint(4, 99u), 99u);
  EXPECT_FLOAT_EQ(fh.read_float(4, 1.5f), 1.5f);
  vector v{9, 9, 9};
  fh.read_vector(&v, 4);
  EXPECT_TRUE(v == vector(0, 0, 0));
  vector dv{1, 2, 3};
  fh.read_vector(&v, 4, &dv);
  EXPECT_TRUE(v == dv);
  float f3[3] = {9, 9, 9};
  const float df3[3] = {4, 5, 6};
  fh.read_float3(f3, 4, df3);
  EXPECT_TRUE(f3[0] == 4 && f3[1] == 5 && f3[2] == 6);
  matrix m;
  fh.read_matrix(&m, 4);
  EXPECT_TRUE(m.right == identity_matrix.right && m.up == identity_matrix.up && m.forward == identity_matrix.forward);
  quaternion q{1, 2, 3, 4};
  fh.read_quaternion(&q, 4);
  EXPECT_EQ(q.w, 1.0f);
  EXPECT_EQ(q.x, 0.0f);
  TextString ts;
  fh.read_text_string(&ts, 4, "dflt");
  EXPECT_STREQ(ts.c_str(), "dflt");
  char buf[8];
  EXPECT_STREQ(fh.read_counted_string(buf, sizeof buf, 4, "too long default"), "too lon");
  EXPECT_STREQ(fh.read_string(buf, sizeof buf, 4, nullptr), "");
  EXPECT_EQ(fh.tell(), 0);  // nothing consumed
  EXPECT_EQ(fh.read_uint(3, 0), 0x01020304u);
  EXPECT_EQ(fh.read_uint(0, 0), 0xAABBCCDDu);
  // A read after the end fails once and every later read gives its default.
  EXPECT_EQ(fh.read_int(0, 55), 55);
  EXPECT_EQ(fh.error(), VF_ERR_SHORT_READ);
  EXPECT_EQ(fh.read_short(0, 12), 12);
}

TEST_F(TypedTest, CountedStringLongerThanTheBuffer) {
  std::string text(300, 'q');
  text[62] = 'E';
  write_bytes(std::string("\x2c\x01", 2) + text + le32(0x11223344));
  FileHandle fh;
  ASSERT_EQ(fh.open("t.bin", VF_READ, 0), 0);
  char buf[64];
  fh.read_counted_string(buf, sizeof buf);
  EXPECT_EQ(std::strlen(buf), 63u);
  EXPECT_EQ(buf[62], 'E');
  EXPECT_EQ(fh.tell(), 302);
  EXPECT_EQ(fh.read_uint(), 0x11223344u);
  // A length that runs past the end of the file is a short read.
  write_bytes(std::string("\x10\x00", 2) + "abc");
  FileHandle cut;
  ASSERT_EQ(cut.open("t.bin", VF_READ, 0), 0);
  cut.read_counted_string(buf, 4, 0, "dd");
  EXPECT_NE(cut.error(), 0);
}

TEST_F(TypedTest, WritesAndReadsRoundTrip) {
  {
    FileHandle fh;
    ASSERT_EQ(fh.open("t.bin", VF_WRITE, 0), 0);
    fh.write_bool(1);
    fh.write_bool(2);  // only 1 is true
    fh.write_byte(-5);
    fh.write_ubyte(250);
    fh.write_short(-1234);
    fh.write_ushort(54321);
    fh.write_int(-123456789);
    fh.write_uint(0xDEADBEEF);
    fh.write_float(3.25f);
    fh.write_vector(vector(1, 2, 3));
    fh.write_quaternion(quaternion(0.5f, 0.25f, 0.125f, 1));
    fh.write_counted_string("counted");
    fh.write_counted_string(nullptr);
    fh.write_string("zero");
    fh.write_string(nullptr);
    fh.printf("line one");
    fh.write("\r\n\nline two", 11);
    EXPECT_EQ(fh.close(), 0);
  }
  std::string bytes = get("t.bin");
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(bytes[1], 0);
  FileHandle fh;
  ASSERT_EQ(fh.open("t.bin", VF_READ, 0), 0);
  EXPECT_TRUE(fh.read_bool());
  EXPECT_FALSE(fh.read_bool());
  EXPECT_EQ(fh.read_byte(), -5);
  EXPECT_EQ(fh.read_ubyte(), 250);
  EXPECT_EQ(fh.read_short(), -1234);
  EXPECT_EQ(fh.read_ushort(), 54321);
  EXPECT_EQ(fh.read_int(), -123456789);
  EXPECT_EQ(fh.read_uint(), 0xDEADBEEFu);
  EXPECT_EQ(fh.read_float(), 3.25f);
  vector v;
  fh.read_vector(&v);
  EXPECT_TRUE(v == vector(1, 2, 3));
  ASSERT_EQ(fh.seek(-12, 1), 0);
  float f3[3] = {};
  fh.read_float3(f3);
  EXPECT_TRUE(f3[0] == 1 && f3[1] == 2 && f3[2] == 3);
  quaternion q;
  fh.read_quaternion(&q);
  EXPECT_EQ(q.x, 0.5f);
  EXPECT_EQ(q.w, 1.0f);
  TextString ts;
  fh.read_text_string(&ts);
  EXPECT_STREQ(ts.c_str(), "counted");
  fh.read_text_string(&ts, 0, "unused");
  EXPECT_STREQ(ts.c_str(), "");
  char buf[16];
  EXPECT_STREQ(fh.read_string(buf, sizeof buf), "zero");
  EXPECT_STREQ(fh.read_string(buf, sizeof buf), "");
  EXPECT_EQ(fh.read_line(buf, sizeof buf), 8);
  EXPECT_STREQ(buf, "line one");
  EXPECT_EQ(fh.read_line(buf, 5), 4);  // the run of line ends was skipped
  EXPECT_STREQ(buf, "line");
  EXPECT_EQ(fh.read_line(buf, sizeof buf), 0);
  EXPECT_EQ(fh.error(), 0);  // the end of the file ends a line, it is no short read
}

TEST_F(TypedTest, MatrixRowOrderAndByteExactRoundTrip) {
  std::string bytes;
  for (int i = 0; i < 9; ++i) bytes += lef(static_cast<float>(i + 1));
  write_bytes(bytes);
  matrix m;
  {
    FileHandle fh;
    ASSERT_EQ(fh.open("t.bin", VF_READ, 0), 0);
    fh.read_matrix(&m);
  }
  EXPECT_TRUE(m.forward == vector(1, 2, 3));  // stored first
  EXPECT_TRUE(m.right == vector(4, 5, 6));
  EXPECT_TRUE(m.up == vector(7, 8, 9));
  {
    FileHandle fh;
    ASSERT_EQ(fh.open("t.bin", VF_WRITE, 0), 0);
    fh.write_matrix(m);
  }
  EXPECT_EQ(get("t.bin"), bytes);
}

TEST_F(TypedTest, SerializeOneRoutineBothWays) {
  struct Rec {
    bool b;
    int8_t c;
    uint8_t uc;
    int16_t s;
    uint16_t us;
    int32_t i;
    uint32_t u;
    float f;
    vector v;
    quaternion q;
    matrix m;
    TextString name;
    char label[8];
    unsigned char raw[5];
    vector arr[3];
    int16_t shorts[2];
    float pairs[4];
  };
  auto io = [](FileHandle& fh, Rec& r) {
    fh.serialize_bool(&r.b);
    fh.serialize_byte(&r.c);
    fh.serialize_ubyte(&r.uc);
    fh.serialize_short(&r.s);
    fh.serialize_ushort(&r.us);
    fh.serialize_int(&r.i);
    fh.serialize_uint(&r.u);
    fh.serialize_float(&r.f);
    fh.serialize_vector(&r.v);
    fh.serialize_quaternion(&r.q);
    fh.serialize_matrix(&r.m);
    fh.serialize_text_string(&r.name);
    fh.serialize_string(r.label, sizeof r.label);
    fh.serialize_bytes(r.raw, 5);
    EXPECT_EQ(vfile_serialize_vector_array(&fh, r.arr, 3), 0);
    EXPECT_EQ(vfile_serialize_short_array(&fh, r.shorts, 2), 0);
    EXPECT_EQ(vfile_serialize_float2_array(&fh, r.pairs, 2), 0);
  };
  Rec out{true, -1, 2, -3, 4, -5, 6, 7.5f, vector(1, 2, 3), quaternion(0, 0, 1, 0), identity_matrix,
          TextString("name"), "label", {1, 2, 3, 4, 5}, {vector(1, 1, 1), vector(2, 2, 2), vector(3, 3, 3)},
          {-7, 7}, {1, 2, 3, 4}};
  out.m.forward = vector(0, 0, 2);
  {
    FileHandle fh;
    ASSERT_EQ(fh.open("t.bin", VF_WRITE, 0), 0);
    io(fh, out);
  }
  Rec in{};
  {
    FileHandle fh;
    ASSERT_EQ(fh.open("t.bin", VF_READ, 0), 0);
    io(fh, in);
    EXPECT_TRUE(fh.eof());
  }
  EXPECT_EQ(in.b, out.b);
  EXPECT_EQ(in.c, out.c);
  EXPECT_EQ(in.uc, out.uc);
  EXPECT_EQ(in.s, out.s);
  EXPECT_EQ(in.us, out.us);
  EXPECT_EQ(in.i, out.i);
  EXPECT_EQ(in.u, out.u);
  EXPECT_EQ(in.f, out.f);
  EXPECT_TRUE(in.v == out.v);
  EXPECT_EQ(in.q.z, 1.0f);
  EXPECT_TRUE(in.m.forward == out.m.forward);
  EXPECT_STREQ(in.name.c_str(), "name");
  EXPECT_STREQ(in.label, "label");
  EXPECT_EQ(std::memcmp(in.raw, out.raw, 5), 0);
  EXPECT_TRUE(in.arr[2] == out.arr[2]);
  EXPECT_EQ(in.shorts[0], -7);
  EXPECT_EQ(in.pairs[3], 4.0f);
}

TEST_F(TypedTest, QuaternionKeptAsAMatrix) {
  matrix turn;
  quaternion(0.0f, 0.70710678f, 0.0f, 0.70710678f).to_matrix(turn);  // a quarter turn about y
  {
    FileHandle fh;
    ASSERT_EQ(fh.open("t.bin", VF_WRITE, 0), 0);
    fh.serialize_quaternion(&turn);
  }
  EXPECT_EQ(get("t.bin").size(), 16u);
  FileHandle fh;
  ASSERT_EQ(fh.open("t.bin", VF_READ, 0), 0);
  matrix back;
  fh.serialize_quaternion(&back);
  for (int r = 0; r < 3; ++r) {
    const vector& a = r == 0 ? back.right : (r == 1 ? back.up : back.forward);
    const vector& b = r == 0 ? turn.right : (r == 1 ? turn.up : turn.forward);
    EXPECT_NEAR(a.x, b.x, 1e-5f);
    EXPECT_NEAR(a.y, b.y, 1e-5f);
    EXPECT_NEAR(a.z, b.z, 1e-5f);
  }
}

TEST_F(TypedTest, ArrayFormsStopAtTheFirstError) {
  write_bytes(le32(1) + le32(2) + le32(3));
  FileHandle fh;
  ASSERT_EQ(fh.open("t.bin", VF_READ, 0), 0);
  int32_t v[5] = {9, 9, 9, 9, 9};
  EXPECT_EQ(vfile_read_int_array(&fh, v, 5, 0, -1), VF_ERR_SHORT_READ);
  EXPECT_EQ(v[2], 3);
  EXPECT_EQ(v[3], -1);
  EXPECT_EQ(v[4], 9);  // not touched after the error
}

TEST_F(TypedTest, ReadStreamOverAFile) {
  write_bytes(le32(42) + lef(2.5f) + std::string("ab\0", 3));
  FileHandle fh;
  ASSERT_EQ(fh.open("t.bin", VF_READ, 0), 0);
  ReadStream rs;
  rs.open_file(&fh);
  EXPECT_EQ(rs.read_int(), 42);
  EXPECT_EQ(rs.read_float(), 2.5f);
  char buf[8];
  EXPECT_STREQ(rs.read_string(buf, sizeof buf), "ab");
  EXPECT_TRUE(rs.eof());
  EXPECT_EQ(rs.seek(0, 0), 0);
  EXPECT_EQ(rs.tell(), 0);
  EXPECT_EQ(rs.read_int(), 42);
  EXPECT_EQ(rs.error(), 0);
}
