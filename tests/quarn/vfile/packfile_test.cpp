#include <cstring>

#include "quarn/vfile/packfile/file_packfile.h"
#include "tests/quarn/vfile/vfile_fixture.h"
#include "tests/support/critical_error_trap.h"

using PackfileTest = VfileTest;

namespace {

std::string sized(size_t n, char fill) { return std::string(n, fill); }

std::string member_bytes(PackfileEntry* e) {
  std::string s(static_cast<size_t>(e->size), '\0');
  EXPECT_TRUE(packfile_open(e));
  if (e->size > 0) {
    EXPECT_EQ(packfile_read(s.data(), 1, e->size, e), e->size);
  }
  packfile_close(e);
  return s;
}

}  // namespace

TEST_F(PackfileTest, LayoutOfDirectoryAndMembers) {
  struct Case {
    const char* what;
    std::vector<PackfileMember> members;
    std::vector<int> start_sectors;
  };
  std::vector<PackfileMember> many;
  std::vector<int> many_sectors;
  for (int i = 0; i < 33; ++i) {
    many.push_back(member("m" + std::to_string(i) + ".bin", sized(10, static_cast<char>('a' + i % 26))));
    many_sectors.push_back(3 + i);  // two directory sectors, then one sector each
  }
  Case cases[] = {
      {"33 members need two directory sectors", many, many_sectors},
      {"sizes 2048, 1 and 0 take consecutive sectors",
       {member("a.bin", sized(2048, 'a')), member("b.bin", "b"), member("c.bin", ""), member("d.bin", "dd")},
       {2, 3, 4, 4}},
      {"a member of 2049 bytes takes two sectors",
       {member("x.bin", sized(2049, 'x')), member("y.bin", "y")},
       {2, 4}},
  };
  for (Case& c : cases) {
    vfile_shutdown();
    vfile_set_root(root.c_str(), false);
    pack("test.vpp", c.members);
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(packfile_add("test.vpp"), 1) << c.what;
    EXPECT_NE(captured_stdout().find("Adding HARD DRIVE PACKFILE : test.vpp"), std::string::npos);
    ASSERT_EQ(packfile_num_files(), static_cast<int>(c.members.size())) << c.what;
    for (size_t i = 0; i < c.members.size(); ++i) {
      PackfileEntry* e = packfile_find(c.members[i].name.c_str());
      ASSERT_NE(e, nullptr) << c.what;
      EXPECT_EQ(e->start_sector, c.start_sectors[i]) << c.what << " member " << i;
      EXPECT_EQ(e->size, static_cast<int>(c.members[i].data.size()));
      EXPECT_EQ(member_bytes(e), std::string(c.members[i].data.begin(), c.members[i].data.end())) << c.what;
    }
  }
}

TEST_F(PackfileTest, MountingRules) {
  pack("twelve12.vpp", {member("a.txt", "1")});     // 12 characters
  pack("thirteen1.vpp", {member("b.txt", "2")});    // 13 characters
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(packfile_add("twelve12.vpp"), 1);
  EXPECT_EQ(packfile_add("TWELVE12.VPP"), 1);  // already mounted, ignoring case
  EXPECT_EQ(packfile_add("thirteen1.vpp"), 0);
  EXPECT_EQ(packfile_add("missing.vpp"), 0);
  std::string out = captured_stdout();
  EXPECT_NE(out.find("Ignoring packfile (TWELVE12.VPP) which was already loaded!"), std::string::npos);
  EXPECT_EQ(packfile_num_packs(), 1);
  EXPECT_EQ(packfile_num_files(), 1);
  EXPECT_EQ(packfile_find("b.txt"), nullptr);
  EXPECT_NE(packfile_find_pack("Twelve12.vpp"), nullptr);
  // At most ten packfiles.
  for (int i = 0; i < 10; ++i) {
    pack("p" + std::to_string(i) + ".vpp", {member("f" + std::to_string(i), "x")});
  }
  int mounted = 0;
  for (int i = 0; i < 10; ++i) {
    mounted += packfile_add(("p" + std::to_string(i) + ".vpp").c_str());
  }
  EXPECT_EQ(mounted, 9);
  EXPECT_EQ(packfile_num_packs(), 10);
}

TEST_F(PackfileTest, FirstMountedWinsAndLookupIgnoresCaseAndDirectories) {
  pack("one.vpp", {member("items.tbl", "first"), member("Shared.TXT", "one")});
  pack("two.vpp", {member("ITEMS.TBL", "second"), member("only2.txt", "two")});
  ::testing::internal::CaptureStdout();
  packfile_add("one.vpp");
  packfile_add("two.vpp");
  captured_stdout();
  struct Case {
    const char* request;
    const char* pack;
    const char* contents;
  } cases[] = {
      {"items.tbl", "one.vpp", "first"},
      {"data\\tables\\items.tbl", "one.vpp", "first"},
      {"DATA\\TABLES\\Items.Tbl", "one.vpp", "first"},
      {"data/tables/items.tbl", "one.vpp", "first"},
      {"shared.txt", "one.vpp", "one"},
      {"only2.txt", "two.vpp", "two"},
  };
  for (const Case& c : cases) {
    PackfileEntry* e = packfile_find(c.request);
    ASSERT_NE(e, nullptr) << c.request;
    EXPECT_STREQ(e->pack->name, c.pack) << c.request;
    EXPECT_EQ(member_bytes(e), c.contents) << c.request;
  }
  EXPECT_EQ(packfile_find("items"), nullptr);
  EXPECT_EQ(packfile_find("data\\"), nullptr);
  EXPECT_EQ(packfile_find(""), nullptr);
  int size = 0, offset = 0;
  EXPECT_TRUE(packfile_locate("two.vpp", "only2.txt", &size, &offset));
  EXPECT_EQ(size, 3);
  EXPECT_EQ(offset, 3 * 2048);
}

TEST_F(PackfileTest, MemberOpensOnceAndSeeksWithinItself) {
  pack("p.vpp", {member("a.bin", "0123456789"), member("b.bin", "abcdef")});
  ::testing::internal::CaptureStdout();
  packfile_add("p.vpp");
  captured_stdout();
  PackfileEntry* b = packfile_find("b.bin");
  ASSERT_TRUE(packfile_open(b));
  EXPECT_FALSE(packfile_open(b));  // already open
  PackfileEntry* a = packfile_find("a.bin");
  ASSERT_TRUE(packfile_open(a));  // another member of the same packfile
  char buf[4] = {};
  EXPECT_TRUE(packfile_seek(b, 2, SEEK_SET));
  EXPECT_EQ(packfile_read(buf, 1, 3, b), 3);
  EXPECT_EQ(std::string(buf, 3), "cde");
  EXPECT_TRUE(packfile_seek(a, 7, SEEK_SET));
  EXPECT_EQ(packfile_read(buf, 1, 3, a), 3);
  EXPECT_EQ(std::string(buf, 3), "789");
  packfile_close(a);
  packfile_close(b);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(packfile_read(buf, 1, 1, b), 0);
  EXPECT_NE(captured_stdout().find("FREAD BAIL"), std::string::npos);
  EXPECT_TRUE(packfile_open(b));
  packfile_close(b);
}

// Damaged packfiles stay mounted with no members and a message; later
// packfiles are unaffected.
TEST_F(PackfileTest, DamagedPackfilesContributeNothing) {
  std::vector<uint8_t> good;
  std::string err;
  ASSERT_TRUE(packfile_build({member("a.bin", "hello"), member("b.bin", sized(3000, 'b'))}, &good, &err));
  auto patch32 = [](std::vector<uint8_t> b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    return b;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"bad magic", patch32(good, 0, 0x12345678)},
      {"version 0", patch32(good, 4, 0)},
      {"count beyond the file", patch32(good, 8, 5000)},
      {"negative count", patch32(good, 8, 0xFFFFFFFF)},
      {"size past the end", patch32(good, 2048 + 64 + 60, 5000)},
      {"negative size", patch32(good, 2048 + 60, 0x80000000u)},
      {"unterminated name", [&] {
         std::vector<uint8_t> b = good;
         for (int i = 0; i < 60; ++i) b[2048 + i] = 'n';
         return b;
       }()},
      {"empty name", patch32(good, 2048, 0)},
      {"truncated header", std::vector<uint8_t>(good.begin(), good.begin() + 100)},
      {"truncated member", std::vector<uint8_t>(good.begin(), good.end() - 2048)},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string name = "bad" + std::to_string(n++) + ".vpp";
    put_bytes(name, c.bytes);
    ::testing::internal::CaptureStdout();
    int before = packfile_num_files();
    EXPECT_EQ(packfile_add(name.c_str()), 1) << c.what;
    std::string out = captured_stdout();
    EXPECT_EQ(packfile_num_files(), before) << c.what;
    EXPECT_NE(out.find(name), std::string::npos) << c.what << ": " << out;
    PackfileRecord* rec = packfile_find_pack(name.c_str());
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->num_files, 0) << c.what;
    if (n == 9) {
      vfile_shutdown();  // stay within ten packfiles
      vfile_set_root(root.c_str(), false);
    }
  }
  put_bytes("good.vpp", good);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(packfile_add("good.vpp"), 1);
  captured_stdout();
  EXPECT_EQ(packfile_num_files(), 2);
  ASSERT_NE(packfile_find("b.bin"), nullptr);
  EXPECT_EQ(member_bytes(packfile_find("b.bin")), sized(3000, 'b'));
}

// The format ends a packfile where its last member's bytes end; nothing
// asks for the last sector to be padded, and a trailing empty member then
// starts just past the end. Such a file is whole and must mount.
TEST_F(PackfileTest, UnpaddedEndStillMounts) {
  std::vector<uint8_t> bytes;
  std::string err;
  ASSERT_TRUE(packfile_build({member("a.bin", sized(2048, 'a')), member("b.bin", "b"), member("c.bin", "")}, &bytes,
                             &err));
  bytes.resize(3 * 2048 + 1);  // header, directory, a.bin, and the one byte of b.bin
  put_bytes("short.vpp", bytes);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(packfile_add("short.vpp"), 1);
  std::string out = captured_stdout();
  ASSERT_EQ(packfile_num_files(), 3) << out;
  EXPECT_EQ(member_bytes(packfile_find("b.bin")), "b");
  PackfileEntry* c = packfile_find("c.bin");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->start_sector, 4);
  EXPECT_EQ(c->size, 0);
  // One byte fewer and b.bin runs past the end: refused.
  bytes.resize(3 * 2048);
  put_bytes("shorter.vpp", bytes);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(packfile_add("shorter.vpp"), 1);
  captured_stdout();
  EXPECT_EQ(packfile_num_files(), 3);
}

TEST_F(PackfileTest, TableOverflowIsFatal) {
  std::vector<PackfileMember> members;
  for (int i = 0; i < 13501; ++i) {
    members.push_back(member("f" + std::to_string(i), ""));
  }
  pack("huge.vpp", members);
  CriticalErrorTrap trap;
  ::testing::internal::CaptureStdout();
  try {
    packfile_add("huge.vpp");
    captured_stdout();
    FAIL() << "expected a fatal error";
  } catch (const CriticalErrorThrown& e) {
    std::string out = captured_stdout();
    EXPECT_EQ(e.text, "Out of packfile space!\n");
    EXPECT_NE(out.find("MAX_PACKFILE_FILES : 13500"), std::string::npos);
  }
}

TEST_F(PackfileTest, InitMountsTheNineInOrder) {
  pack("tables.vpp", {member("items.tbl", "x"), member("spells.tbl", "y")});
  pack("orrimund.vpp", {member("items.tbl", "root pack")});
  pack("levels.vpp", {member("level1.s3d", "z")});
  ::testing::internal::CaptureStdout();
  packfile_init();
  std::string out = captured_stdout();
  size_t a = out.find("Adding HARD DRIVE PACKFILE : orrimund.vpp");
  size_t b = out.find("Adding HARD DRIVE PACKFILE : tables.vpp");
  size_t c = out.find("Adding HARD DRIVE PACKFILE : levels.vpp");
  ASSERT_NE(a, std::string::npos);
  ASSERT_NE(b, std::string::npos);
  ASSERT_NE(c, std::string::npos);
  EXPECT_LT(a, b);
  EXPECT_LT(b, c);
  EXPECT_NE(out.find("TOTAL PACKFILE FILES: 4\n"), std::string::npos);
  EXPECT_NE(out.find("TOTAL PACKFILE LOAD TIME : "), std::string::npos);
  EXPECT_EQ(member_bytes(packfile_find("items.tbl")), "root pack");
}

// Reads as large as the file layer's buffer go straight to the member's
// bytes; mixed with small buffered reads of the same handle, every byte
// still comes from its own place, and the member ends where it ends.
TEST_F(PackfileTest, LargeAndSmallReadsOfAMemberMixInOrder) {
  std::string big(3 * VFILE_BUFFER_SIZE + 123, '\0');
  for (size_t i = 0; i < big.size(); i++) big[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  pack("p.vpp", {member("a.bin", "first"), member("big.bin", big), member("z.bin", "after")});
  ::testing::internal::CaptureStdout();
  vfile_add_path_type("", ".bin");
  packfile_add("p.vpp");
  captured_stdout();
  FileHandle fh;
  ASSERT_EQ(fh.open("big.bin", VF_READ, 0), 0);
  std::string got;
  std::vector<char> buf(2 * VFILE_BUFFER_SIZE);
  for (int n : {10, VFILE_BUFFER_SIZE, 5, 2 * VFILE_BUFFER_SIZE, 1, 2 * VFILE_BUFFER_SIZE}) {
    const int r = fh.read(buf.data(), n);
    got.append(buf.data(), static_cast<size_t>(r));
  }
  EXPECT_EQ(got, big);  // the last read stops at the member's end, not in z.bin
}
