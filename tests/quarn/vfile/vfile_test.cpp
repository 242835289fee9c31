#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

#include "Orrimund/fs_paths.h"
#include "quarn/os/strutil.h"
#include "quarn/platform/dir_watch.h"
#include "tests/quarn/vfile/vfile_fixture.h"

namespace {

// The game's own table: the layer is tested with the types it really runs.
class FileLayerTest : public VfileTest {
 protected:
  void SetUp() override {
    VfileTest::SetUp();
    fs_register_path_types();
  }

  void mount(const char* name) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(packfile_add(name), 1);
    captured_stdout();
  }
};

std::string pattern(size_t n) {
  std::string s(n, '\0');
  uint32_t x = 12345;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>(x >> 16);
  }
  return s;
}

}  // namespace

TEST_F(VfileTest, PathTypeRegistration) {
  EXPECT_EQ(vfile_add_path_type("", ".CFG .Vpp"), 0);
  EXPECT_STREQ(vfile_type_ext_list(0), ".cfg .vpp ");
  int data = vfile_add_path_type("Data", ".cfg");
  EXPECT_EQ(data, 1);
  EXPECT_EQ(vfile_add_path_type("data", ".other"), data);  // same directory, list kept
  EXPECT_STREQ(vfile_type_ext_list(data), ".cfg ");
  int sub = vfile_add_path_type("data/Tables", ".tbl");
  EXPECT_STREQ(vfile_type_dir_name(sub), "data\\tables");
  EXPECT_STREQ(vfile_type_dir_name(0), "");
  char buf[VFILE_MAX_PATH];
  ASSERT_NE(vfile_build_path(sub, "x.tbl", buf), nullptr);
  EXPECT_EQ(std::string(buf), root + "/data/tables/x.tbl");
  ASSERT_NE(vfile_type_dir_path(0, buf), nullptr);
  EXPECT_EQ(std::string(buf), root);
  EXPECT_EQ(vfile_build_path(77, "x", buf), nullptr);  // invalid type
  vfile_remove_path_type(sub);
  EXPECT_FALSE(vfile_type_valid(sub));
  EXPECT_EQ(vfile_add_path_type("again", ".x"), sub);  // the freed slot is reused
  // Slots run out at 511.
  int last = 0;
  for (int i = 0; i < 600 && last >= 0; ++i) {
    last = vfile_add_path_type(("d" + std::to_string(i)).c_str(), ".x");
  }
  EXPECT_EQ(last, -1);
}

TEST_F(VfileTest, NameHelpers) {
  char buf[64];
  EXPECT_STREQ(vfile_make_name(buf, "file.tga", "vbm"), "file.vbm");
  EXPECT_STREQ(vfile_make_name(buf, "file", ".vbm"), "file.vbm");
  EXPECT_STREQ(vfile_make_name(buf, "a.b.c", "d"), "a.b.d");
  EXPECT_STREQ(vfile_strip_extension(buf, "dir\\name.ext"), "dir\\name");
  EXPECT_STREQ(vfile_bare_name(buf, "data\\tables\\items.tbl"), "items.tbl");
  EXPECT_STREQ(vfile_extension("a\\b.TBL"), ".TBL");
  EXPECT_STREQ(vfile_extension("noext"), "");
}

TEST_F(VfileTest, PathsLongerThanTheBuffersAreRefused) {
  vfile_add_path_type("", ".x");
  std::string name(300, 'n');
  name += ".x";
  FileHandle fh;
  EXPECT_FALSE(fh.find(name.c_str(), VFILE_ANY_TYPE));
  EXPECT_EQ(fh.open(name.c_str(), VF_READ), VF_ERR_NOT_FOUND);
  EXPECT_EQ(fh.open(name.c_str(), VF_WRITE), VF_ERR_OS);
  char buf[VFILE_MAX_PATH];
  EXPECT_EQ(vfile_build_path(0, name.c_str(), buf), nullptr);
  EXPECT_FALSE(vfile_loose_exists(name.c_str(), 0));
}

TEST_F(FileLayerTest, LooseFilesComeBeforePackedMembers) {
  pack("tables.vpp", {member("items.tbl", "packed items"), member("spells.tbl", "packed spells"),
                      member("root.cfg", "packed cfg")});
  mount("tables.vpp");
  put("data/tables/spells.tbl", "loose spells");
  put("root.cfg", "loose cfg");
  struct Case {
    const char* name;
    int type;
    const char* want;
  } cases[] = {
      {"items.tbl", VFILE_ANY_TYPE, "packed items"},
      {"data\\tables\\items.tbl", VFILE_ANY_TYPE, "packed items"},
      {"items.tbl", Tables_path_type, "packed items"},
      {"spells.tbl", VFILE_ANY_TYPE, "loose spells"},
      {"spells.tbl", Tables_path_type, "loose spells"},
      {"SPELLS.TBL", Tables_path_type, "loose spells"},
      {"root.cfg", 0, "loose cfg"},
      {"missing.tbl", VFILE_ANY_TYPE, "<not opened>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(slurp(c.name, c.type), c.want) << c.name;
  }
  FileHandle fh;
  ASSERT_TRUE(fh.find("items.tbl", VFILE_ANY_TYPE));
  EXPECT_NE(fh.pack_entry(), nullptr);
  char where[VFILE_MAX_PATH];
  int offset = -1;
  ASSERT_TRUE(fh.pack_location(where, sizeof where, &offset));
  EXPECT_EQ(std::string(where), root + "/tables.vpp");
  EXPECT_EQ(offset, 2 * 2048);
  EXPECT_EQ(fh.size(nullptr, 0), 12);
  EXPECT_FALSE(fh.pack_location(where, 5, &offset));  // does not fit
}

TEST_F(FileLayerTest, GamePathsResolveWithoutRegardToCase) {
  pack("tables.vpp", {member("items.tbl", "packed")});
  mount("tables.vpp");
  EXPECT_EQ(slurp("data\\tables\\items.tbl", VFILE_ANY_TYPE), "packed");
  // A loose override dropped in later, in any case, is served from then on.
  put("Data/TABLES/Items.TBL", "loose");
  EXPECT_EQ(slurp("data\\tables\\items.tbl", VFILE_ANY_TYPE), "loose");
  EXPECT_EQ(slurp("items.tbl", Tables_path_type), "loose");
  EXPECT_EQ(slurp("ITEMS.tbl", VFILE_ANY_TYPE), "loose");
  FileHandle fh;
  ASSERT_TRUE(fh.find("items.tbl", Tables_path_type));
  EXPECT_EQ(std::string(fh.full_path()), root + "/Data/TABLES/Items.TBL");
  std::filesystem::remove(root + "/Data/TABLES/Items.TBL");
  EXPECT_EQ(slurp("items.tbl", Tables_path_type), "packed");
}

// A file dropped into a directory in the same clock tick as the layer's last
// look at it leaves the directory's time stamp as it was; a name given in
// another case must still find it.
TEST_F(VfileTest, FileAddedWithinTheSameTickIsFound) {
  put("data/a.txt", "a");
  char out[VFILE_MAX_PATH];
  ASSERT_TRUE(vfile_resolve_path((root + "/DATA/A.TXT").c_str(), out, sizeof out));
  EXPECT_EQ(std::string(out), root + "/data/a.txt");
  struct stat before;
  ASSERT_EQ(stat((root + "/data").c_str(), &before), 0);
  put("data/New.txt", "n");
  const struct timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, (root + "/data").c_str(), times, 0), 0);
  ASSERT_TRUE(vfile_resolve_path((root + "/data/new.TXT").c_str(), out, sizeof out));
  EXPECT_EQ(std::string(out), root + "/data/New.txt");
}

// Opening a .tbl from one directory must not make a packed copy shadow a
// loose file of the same extension in another directory.
TEST_F(FileLayerTest, OpenCacheNeverLetsAMemberShadowALooseFile) {
  pack("tables.vpp", {member("quest.tbl", "packed quest")});
  mount("tables.vpp");
  put("data/tables/items.tbl", "items");
  put("data/scripts/quest.tbl", "loose quest");
  EXPECT_EQ(slurp("items.tbl", VFILE_ANY_TYPE), "items");  // caches data\tables
  EXPECT_EQ(slurp("quest.tbl", VFILE_ANY_TYPE), "loose quest");
}

TEST_F(FileLayerTest, FifthOpenFindsNoBuffer) {
  for (int i = 0; i < 5; ++i) {
    put("data/tables/t" + std::to_string(i) + ".tbl", "file " + std::to_string(i));
  }
  FileHandle fh[5];
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(fh[i].open(("t" + std::to_string(i) + ".tbl").c_str(), VF_READ), 0);
  }
  EXPECT_EQ(fh[4].open("t4.tbl", VF_READ), VF_ERR_NO_BUFFER);
  EXPECT_EQ(fh[4].open("new.sav", VF_WRITE), VF_ERR_NO_BUFFER);
  EXPECT_FALSE(fh[4].is_open());
  for (int i = 0; i < 4; ++i) {
    char buf[16] = {};
    EXPECT_EQ(fh[i].read(buf, 6), 6);
    EXPECT_EQ(std::string(buf), "file " + std::to_string(i));
  }
  fh[1].close();
  EXPECT_EQ(fh[4].open("t4.tbl", VF_READ), 0);
}

// Reads of every size through the buffer and around it, with seeks, give the
// file's bytes, loose or packed.
TEST_F(FileLayerTest, BufferedReadsMatchTheFile) {
  const std::string data = pattern(100000);
  put("data/tables/big.tbl", data);
  pack("tables.vpp", {member("small.bin", "s"), member("packed.bin", data)});
  mount("tables.vpp");
  for (const char* name : {"big.tbl", "packed.bin"}) {
    FileHandle fh;
    ASSERT_EQ(fh.open(name, VF_READ), 0) << name;
    EXPECT_EQ(fh.size(), 100000);
    std::string got;
    const int sizes[] = {1, 7, 40000, 3, 32767, 32768, 100, 5000};
    int pos = 0;
    for (int k = 0; pos < 100000; ++k) {
      int n = sizes[k % 8];
      if (pos + n > 100000) n = 100000 - pos;
      std::string buf(static_cast<size_t>(n), '\0');
      ASSERT_EQ(fh.read(buf.data(), n), n) << name << " at " << pos;
      got += buf;
      pos += n;
      EXPECT_EQ(fh.tell(), pos);
    }
    EXPECT_TRUE(got == data) << name;
    EXPECT_TRUE(fh.eof());
    // Seeks inside and outside the buffered range.
    const int spots[][2] = {{50, 0}, {-20, 1}, {-10, 2}, {99990, 0}, {1000, 0}, {33000, 1}};
    for (const auto& s : spots) {
      ASSERT_EQ(fh.seek(s[0], s[1]), 0);
      int at = fh.tell();
      char c;
      ASSERT_EQ(fh.read(&c, 1), 1) << name << " at " << at;
      EXPECT_EQ(c, data[static_cast<size_t>(at)]);
    }
    EXPECT_EQ(fh.seek(-1, 0), VF_ERR_OS);
    EXPECT_EQ(fh.error(), 0);
  }
}

TEST_F(FileLayerTest, ReadingPastTheEndStopsTheFile) {
  put("data/tables/short.tbl", "12345");
  FileHandle fh;
  ASSERT_EQ(fh.open("short.tbl", VF_READ), 0);
  char buf[16];
  EXPECT_EQ(fh.read(buf, 10), 5);
  EXPECT_EQ(std::string(buf, 5), "12345");
  EXPECT_EQ(fh.error(), VF_ERR_SHORT_READ);
  EXPECT_EQ(fh.seek(0, 0), 0);
  EXPECT_EQ(fh.read(buf, 1), 0);  // every later read delivers nothing
  EXPECT_EQ(fh.close(), VF_ERR_SHORT_READ);
  EXPECT_EQ(fh.error(), 0);
}

TEST_F(FileLayerTest, AsynchronousRead) {
  const std::string data = pattern(200000);
  pack("levels.vpp", {member("big.vfx", data)});
  mount("levels.vpp");
  FileHandle fh;
  ASSERT_EQ(fh.open("big.vfx", VF_READ), 0);
  std::string head(10, '\0');
  ASSERT_EQ(fh.read(head.data(), 10), 10);
  std::string rest(200000 - 10, '\0');
  fh.read(rest.data(), static_cast<int>(rest.size()), 0, true);
  int state;
  while ((state = fh.async_poll()) == 0) {
  }
  EXPECT_EQ(state, 1);
  EXPECT_TRUE(head + rest == data);
  EXPECT_EQ(fh.tell(), 200000);
  // Past the end: the poll reports the failure.
  ASSERT_EQ(fh.seek(199990, 0), 0);
  std::string more(40000, '\0');
  fh.read(more.data(), 40000, 0, true);
  while ((state = fh.async_poll()) == 0) {
  }
  EXPECT_EQ(state, -1);
  EXPECT_EQ(fh.error(), VF_ERR_SHORT_READ);
  EXPECT_EQ(fh.async_poll(), 1);  // nothing pending any more
}

TEST_F(FileLayerTest, WritingPlacesNewFiles) {
  struct Case {
    const char* name;
    int type;
    const char* where;
  } cases[] = {
      {"game1.sav", VFILE_ANY_TYPE, "savegame/game1.sav"},
      {"odd.xyz", VFILE_ANY_TYPE, "odd.xyz"},
      // A given type writes into its own directory, not the first one that
      // lists the extension (data\tables\boss).
      {"newtable.tbl", Tables_path_type, "data/tables/newtable.tbl"},
      {"hero.plr", Player_path_type, "players/hero.plr"},
  };
  for (const Case& c : cases) {
    FileHandle fh;
    ASSERT_EQ(fh.open(c.name, VF_WRITE, c.type), 0) << c.name;
    EXPECT_EQ(fh.write("abc", 3), 3);
    EXPECT_EQ(fh.write("de", 2), 5);  // the running total
    EXPECT_EQ(fh.close(), 0);
    EXPECT_EQ(get(c.where), "abcde") << c.name;
  }
  // Text mode ends lines in CR LF.
  FileHandle fh;
  ASSERT_EQ(fh.open("edited.tbl", VF_WRITE | VF_TEXT, Tables_path_type), 0);
  EXPECT_EQ(fh.printf("#Items", -1), 0);
  fh.write("a\nb", 3);
  EXPECT_EQ(fh.printf(nullptr), 0);
  fh.close();
  EXPECT_EQ(get("data/tables/edited.tbl"), "#Items\r\na\r\nb\r\n");
  // An existing file of another case is overwritten, not duplicated.
  put("data/tables/Mixed.TBL", "old");
  ASSERT_EQ(fh.open("mixed.tbl", VF_WRITE, Tables_path_type), 0);
  fh.write("new", 3);
  fh.close();
  EXPECT_EQ(get("data/tables/Mixed.TBL"), "new");
  EXPECT_FALSE(exists("data/tables/mixed.tbl"));
}

TEST_F(FileLayerTest, FailedWriteReportsNoBytes) {
  FileHandle fh;
  ASSERT_EQ(fh.open("/dev/full", VF_WRITE, VFILE_ANY_TYPE), 0);
  std::string big(1 << 16, 'x');
  EXPECT_EQ(fh.write(big.data(), static_cast<int>(big.size())), 0);
  EXPECT_EQ(fh.error(), VF_ERR_WRITE);
  EXPECT_EQ(fh.write("a", 1), 0);  // later writes do nothing and report no bytes
  fh.close();
}

// A save that is cut short (a crash, a full disk, a failed write) must not
// cost the player the save it was replacing.
TEST_F(FileLayerTest, ReplacedFileStaysWholeUntilTheNewOneIsClosed) {
  namespace fs = std::filesystem;
  put("savegame/game1.sav", "old save");
  fs::permissions(fs::path(root) / "savegame/game1.sav", fs::perms::owner_read | fs::perms::owner_write);
  FileHandle fh;
  ASSERT_EQ(fh.open("game1.sav", VF_WRITE), 0);
  EXPECT_EQ(fh.write("new", 3), 3);
  EXPECT_EQ(get("savegame/game1.sav"), "old save");
  EXPECT_EQ(fh.close(), 0);
  EXPECT_EQ(get("savegame/game1.sav"), "new");
  EXPECT_EQ(fs::status(fs::path(root) / "savegame/game1.sav").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);

  // A failed write keeps the old file and says so on close.
  ASSERT_EQ(fh.open("game1.sav", VF_WRITE), 0);
  EXPECT_EQ(fh.write("half", 4), 4);
  EXPECT_EQ(fh.write(nullptr, 5), 0);
  EXPECT_EQ(fh.close(), VF_ERR_WRITE);
  EXPECT_EQ(get("savegame/game1.sav"), "new");

  // A file still open when the layer shuts down is finished, not lost.
  ASSERT_EQ(fh.open("game2.sav", VF_WRITE), 0);
  fh.write("kept", 4);
  vfile_shutdown();
  vfile_set_root(root.c_str(), false);
  EXPECT_EQ(get("savegame/game2.sav"), "kept");

  int files = 0;
  for (const auto& e : fs::directory_iterator(fs::path(root) / "savegame")) files += e.is_regular_file();
  EXPECT_EQ(files, 2) << "a temporary file was left behind";
}

TEST_F(FileLayerTest, RemoveRenameAndAttributes) {
  pack("tables.vpp", {member("packed.tbl", "p")});
  mount("tables.vpp");
  put("data/tables/loose.tbl", "l");
  FileHandle fh;
  EXPECT_EQ(fh.remove("packed.tbl", VFILE_ANY_TYPE), VF_ERR_PACKFILE);
  EXPECT_EQ(fh.rename("x.tbl", "packed.tbl", VFILE_ANY_TYPE), VF_ERR_PACKFILE);
  EXPECT_EQ(fh.attributes("packed.tbl", VFILE_ANY_TYPE), 3);
  EXPECT_EQ(fh.remove("nothing.tbl", VFILE_ANY_TYPE), VF_ERR_NOT_FOUND);
  EXPECT_EQ(fh.attributes("loose.tbl", Tables_path_type), VF_ATTR_ARCHIVE);
  EXPECT_EQ(fh.set_attributes(VF_ATTR_READONLY, "loose.tbl", Tables_path_type), 0);
  EXPECT_EQ(fh.attributes("loose.tbl", Tables_path_type), VF_ATTR_ARCHIVE | VF_ATTR_READONLY);
  EXPECT_EQ(fh.clear_attributes(VF_ATTR_READONLY, "loose.tbl", Tables_path_type), 0);
  EXPECT_EQ(fh.rename("Renamed.tbl", "loose.tbl", Tables_path_type), 0);
  EXPECT_EQ(std::string(fh.full_path()), root + "/data/tables/Renamed.tbl");
  EXPECT_TRUE(exists("data/tables/Renamed.tbl"));
  EXPECT_EQ(fh.remove(nullptr, 0), 0);
  EXPECT_FALSE(exists("data/tables/Renamed.tbl"));
  EXPECT_TRUE(vfile_delete_loose("x", 0) == false);
}

TEST_F(FileLayerTest, ListFiles) {
  put("savegame/b.sav", "1");
  put("savegame/A.sav", "2");
  put("savegame/c.SAV", "3");
  put("savegame/other.txt", "4");
  put("savegame/" + std::string(45, 'l') + ".sav", "5");
  std::filesystem::create_directories(root + "/savegame/dir.sav");
  VFileListEntry head;
  ASSERT_EQ(vfile_list_files(&head, Savegame_path_type, "*.sav", VF_LIST_SORT_NAME), 0);
  std::vector<std::string> names;
  for (VFileListEntry* e = head.next; e != &head; e = e->next) names.push_back(e->name);
  EXPECT_EQ(names, (std::vector<std::string>{"A", "b", "c"}));
  vfile_list_free(&head);
  ASSERT_EQ(vfile_list_files(&head, Savegame_path_type, "*.sav", VF_LIST_SORT_NAME | VF_LIST_KEEP_EXT,
                             [](VFileListEntry* e) { return e->name[0] != 'b'; }),
            0);
  names.clear();
  for (VFileListEntry* e = head.next; e != &head; e = e->next) names.push_back(e->name);
  EXPECT_EQ(names, (std::vector<std::string>{"A.sav", "c.SAV"}));
  vfile_list_free(&head);
  EXPECT_EQ(vfile_list_files(&head, Savegame_path_type, "*.none", 0), -1);
  EXPECT_EQ(head.next, &head);
  EXPECT_EQ(vfile_list_files(&head, Movie_path_type, "*", 0), -1);  // no such directory
}

TEST_F(FileLayerTest, ScrambledFilesRoundTrip) {
  const std::string text = pattern(70000);
  FileHandle w;
  ASSERT_EQ(w.open("secret.sav", VF_WRITE), 0);
  w.set_key(0xC0FFEE);
  std::string copy = text;
  w.write(copy.data(), static_cast<int>(copy.size()));
  EXPECT_TRUE(copy == text);  // the caller's bytes come back unchanged
  w.close();
  EXPECT_FALSE(get("savegame/secret.sav") == text);
  FileHandle r;
  ASSERT_EQ(r.open("secret.sav", VF_READ), 0);
  r.set_key(0xC0FFEE);
  std::string a(5, '\0'), b(40000, '\0'), c(70000 - 40005, '\0');
  r.read(a.data(), 5);
  r.read(b.data(), 40000);
  r.read(c.data(), static_cast<int>(c.size()));
  EXPECT_TRUE(a + b + c == text);
}

TEST_F(FileLayerTest, LoadProgressTicksOnEveryReadOpen) {
  static int ticks;
  ticks = 0;
  vfile_set_load_progress_hook([] { ++ticks; });
  put("data/tables/a.tbl", "a");
  FileHandle fh;
  fh.open("a.tbl", VF_READ);
  fh.close();
  fh.open("b.sav", VF_WRITE);
  fh.close();
  EXPECT_EQ(fh.open("missing.tbl", VF_READ), VF_ERR_NOT_FOUND);
  vfile_set_load_progress_hook(nullptr);
  EXPECT_EQ(ticks, 1);
}

TEST_F(FileLayerTest, GroupAccessLevelIsPrinted) {
  ::testing::internal::CaptureStdout();
  vfile_raise_group_access();
  vfile_lower_group_access();
  std::string out = captured_stdout();
  EXPECT_NE(out.find("Group file access raised to level 1.\n"), std::string::npos);
  EXPECT_NE(out.find("Group file access lowered to level 0.\n"), std::string::npos);
}

namespace {

// The same lookups with the kernel's change notifications and without them
// (where every directory's time stamp is checked instead).
class LooseChangesTest : public FileLayerTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    vfile_shutdown();
    dir_watch_stop();
    dir_watch_force_unavailable(!GetParam());
    FileLayerTest::SetUp();
  }
  void TearDown() override {
    FileLayerTest::TearDown();
    dir_watch_stop();
    dir_watch_force_unavailable(false);
  }
  std::string found_path(const char* name, int type) {
    FileHandle fh;
    return fh.find(name, type) && !fh.pack_entry() ? std::string(fh.full_path()) : std::string("<none>");
  }
};

TEST_P(LooseChangesTest, DroppedRenamedAndRemovedFilesAreSeenByTheNextLookup) {
  pack("tables.vpp", {member("items.tbl", "packed")});
  mount("tables.vpp");
  // The folder of the type is not there yet when the layer first looks.
  EXPECT_EQ(slurp("items.tbl", Tables_path_type), "packed");
  EXPECT_EQ(slurp("ITEMS.TBL", VFILE_ANY_TYPE), "packed");
  EXPECT_EQ(found_path("notes.xyz", VFILE_ANY_TYPE), "<none>");

  put("Data/Tables/Items.TBL", "dropped");
  put("NOTES.Xyz", "root note");  // a folder without a path type: the root
  struct Case {
    const char* name;
    int type;
    const char* want;
  };
  for (const Case& c : {Case{"items.tbl", Tables_path_type, "dropped"}, Case{"ITEMS.tbl", VFILE_ANY_TYPE, "dropped"},
                        Case{"notes.xyz", VFILE_ANY_TYPE, "root note"}, Case{"Notes.XYZ", 0, "root note"}}) {
    EXPECT_EQ(slurp(c.name, c.type), c.want) << c.name;
  }
  EXPECT_EQ(found_path("items.TBL", Tables_path_type), root + "/Data/Tables/Items.TBL");

  std::filesystem::rename(root + "/Data/Tables/Items.TBL", root + "/Data/Tables/Weapons.tbl");
  EXPECT_EQ(slurp("items.tbl", Tables_path_type), "packed");
  EXPECT_EQ(slurp("WEAPONS.TBL", VFILE_ANY_TYPE), "dropped");
  EXPECT_EQ(found_path("weapons.tbl", Tables_path_type), root + "/Data/Tables/Weapons.tbl");

  std::filesystem::remove(root + "/Data/Tables/Weapons.tbl");
  std::filesystem::remove(root + "/NOTES.Xyz");
  EXPECT_EQ(slurp("weapons.tbl", Tables_path_type), "<not opened>");
  EXPECT_EQ(slurp("notes.xyz", VFILE_ANY_TYPE), "<not opened>");
  EXPECT_EQ(slurp("items.tbl", VFILE_ANY_TYPE), "packed");

  // A folder moved away and made anew under the same name is read afresh,
  // and nothing of the old one is found through the new.
  put("Data/Tables/old.tbl", "old");
  EXPECT_EQ(slurp("old.tbl", Tables_path_type), "old");
  std::filesystem::rename(root + "/Data", root + "/Data.moved");
  put("DATA/TABLES/new.tbl", "new");
  EXPECT_EQ(slurp("old.tbl", Tables_path_type), "<not opened>");
  EXPECT_EQ(slurp("NEW.tbl", Tables_path_type), "new");
  EXPECT_EQ(found_path("new.tbl", VFILE_ANY_TYPE), root + "/DATA/TABLES/new.tbl");

  // Another process changing the folder is seen once it is done.
  ASSERT_EQ(std::system(("mv '" + root + "/DATA/TABLES/new.tbl' '" + root + "/DATA/TABLES/Moved.tbl'").c_str()), 0);
  EXPECT_EQ(slurp("new.tbl", Tables_path_type), "<not opened>");
  EXPECT_EQ(slurp("moved.TBL", Tables_path_type), "new");
}

INSTANTIATE_TEST_SUITE_P(Notifications, LooseChangesTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Watched" : "TimeStamps"; });

// A file being written lies beside its target as "<name>.~<pid>" until it is
// closed; neither it nor one a crash left behind is ever listed or found, and
// the layer leaves a left-behind one where it is.
TEST_F(FileLayerTest, FilesBeingWrittenAreNeitherListedNorFound) {
  put("savegame/kept.sav", "kept");
  put("savegame/crashed.sav.~4242", "half");
  FileHandle w;
  ASSERT_EQ(w.open("fresh.sav", VF_WRITE), 0);
  ASSERT_GT(w.write("data", 4), 0);
  const std::string temp = "fresh.sav.~" + std::to_string(getpid());
  ASSERT_TRUE(exists("savegame/" + temp));

  VFileListEntry head;
  ASSERT_EQ(vfile_list_files(&head, Savegame_path_type, "*", VF_LIST_SORT_NAME | VF_LIST_KEEP_EXT), 0);
  std::vector<std::string> names;
  for (VFileListEntry* e = head.next; e != &head; e = e->next) names.push_back(e->name);
  vfile_list_free(&head);
  EXPECT_EQ(names, std::vector<std::string>{"kept.sav"});

  FileHandle fh;
  for (const std::string& name : {std::string("fresh.sav"), temp, std::string("crashed.sav.~4242"),
                                  std::string("CRASHED.SAV.~4242")}) {
    EXPECT_FALSE(fh.find(name.c_str(), Savegame_path_type)) << name;
    EXPECT_FALSE(fh.find(name.c_str(), VFILE_ANY_TYPE)) << name;
    EXPECT_FALSE(vfile_loose_exists(name.c_str(), Savegame_path_type)) << name;
  }
  char out[VFILE_MAX_PATH];
  EXPECT_FALSE(fh.find((root + "/savegame/crashed.sav.~4242").c_str(), VFILE_ANY_TYPE));
  ASSERT_TRUE(vfile_resolve_path((root + "/SAVEGAME/crashed.sav.~4242").c_str(), out, sizeof out));

  ASSERT_EQ(w.close(), 0);
  EXPECT_EQ(slurp("FRESH.sav", VFILE_ANY_TYPE), "data");
  EXPECT_EQ(get("savegame/crashed.sav.~4242"), "half");
  // Not a temporary: a tilde or digits alone do not make one.
  put("savegame/v.~", "a");
  put("savegame/v.2", "b");
  put("savegame/~12", "c");
  EXPECT_EQ(slurp("v.~", Savegame_path_type), "a");
  EXPECT_EQ(slurp("v.2", Savegame_path_type), "b");
  EXPECT_EQ(slurp("~12", Savegame_path_type), "c");
}

}  // namespace
