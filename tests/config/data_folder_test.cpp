// Where the engine finds its data files. The working folder comes first and
// is used without a word; when it has neither MoveFile nor hash_values, the
// folder beside the program (a copy of the engine in a folder of its own
// here) or the source tree's data folder seen from the build, named in one
// line on standard error. The engine's own files are written in the
// working folder all the same, and with no data anywhere the copies built
// into the program stand in, named on standard error.
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "config/data_folder.h"
#include "support/engine_process.h"
#include "support/files.h"

namespace brevalt::testing {
namespace {

constexpr const char* DATA_FILES[] = {"MoveFile", "hash_values", "Brevalt.ini"};
constexpr const char* FOLDER_LINE = "brevalt: data files from ";
constexpr const char* MATE_FEN = "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1";

std::string shipped(const char* name) { return read_file(std::string(BREVALT_DATA_DIR) + "/" + name); }

std::string real_path(const std::string& path) {
  char buf[PATH_MAX];
  return realpath(path.c_str(), buf) ? std::string(buf) : path;
}

// The one line naming `folder`. The Windows engine under Wine names it
// with its drive in front, so only the ends are compared.
::testing::AssertionResult names_folder(const std::string& err, const std::string& folder) {
  const std::string end = real_path(folder) + "\n";
  if (err.rfind(FOLDER_LINE, 0) == 0 && err.size() >= end.size() &&
      err.compare(err.size() - end.size(), end.size(), end) == 0 && err.find('\n') == err.size() - 1)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "standard error: \"" << err << "\", not the line naming " << folder;
}

// An empty working folder: a sandbox without its data files.
struct EmptyFolder : EngineSandbox {
  EmptyFolder() {
    for (const char* name : DATA_FILES) remove_file(name);
  }
};

// A copy of the engine in bin/ of a sandbox of its own, with or without the
// data files beside it. Nothing else of the sandbox is left where the
// engine might look (its ../data is the sandbox's data/, not there).
struct ProgramCopy : EmptyFolder {
  explicit ProgramCopy(bool with_data) {
    const std::string original = engine_program();
    bin = dir() + "/bin";
    program = bin + original.substr(original.rfind('/'));
    mkdir(bin.c_str(), 0755);
    testing::write_file(program, testing::read_file(original));
    chmod(program.c_str(), 0755);
    if (with_data)
      for (const char* name : DATA_FILES) write_file("bin/" + std::string(name), shipped(name));
  }
  std::string bin, program;
};

TEST(DataFolder, WorkingFolderFirstThenBesideTheProgram) {
  enum Work { no_files, all_files, all_but_move_file };
  struct Case {
    const char* what;
    bool beside;  // the data files beside the program copy
    Work work;
    bool damaged_beside;  // an empty hash_values beside the program
    const char* failure;  // nullptr: the engine starts
  };
  const Case cases[] = {
      {"data beside the program only", true, no_files, false, nullptr},
      {"no data anywhere: the built-in copies", false, no_files, false, nullptr},
      {"the working folder's files before a broken set beside the program", true, all_files, true, nullptr},
      {"a working folder without MoveFile is not made up from elsewhere", true, all_but_move_file, false,
       "can't read movefile\n"},
  };
  for (const Case& c : cases) {
    ProgramCopy copy(c.beside);
    if (c.damaged_beside) copy.write_file("bin/hash_values", "");
    EmptyFolder work;
    if (c.work != no_files)
      for (const char* name : DATA_FILES) work.write_file(name, shipped(name));
    if (c.work == all_but_move_file) work.remove_file("MoveFile");
    EngineRun r = work.run("xboard\nprotover 2\nquit\n", 30000, true, copy.program);
    if (c.failure) {
      EXPECT_EQ(r.out, "") << c.what;
      EXPECT_EQ(r.exit_status, 1) << c.what;
      EXPECT_EQ(r.err, std::string("brevalt: ") + c.failure) << c.what;
      EXPECT_EQ(work.read_file("error file"), c.failure) << c.what;
    } else {
      EXPECT_NE(r.out.find("feature done=1\n"), std::string::npos) << c.what << ": " << r.out;
      EXPECT_EQ(r.exit_status, 0) << c.what;
      if (c.work == no_files && !c.beside) {
        EXPECT_EQ(r.err, "brevalt: data files built into the program: MoveFile, hash_values, Brevalt.ini, book_normal.bin\n")
            << c.what;
      } else if (c.work == no_files) {
        EXPECT_TRUE(names_folder(r.err, copy.bin)) << c.what;
      } else {
        EXPECT_EQ(r.err, "") << c.what;
      }
    }
  }
}

TEST(DataFolder, BookBesideTheProgramIsPlayedAndWritesStayInTheWorkingFolder) {
  ProgramCopy copy(true);
  const std::string book = shipped("book_normal.bin");
  ASSERT_GE(book.size(), 5400000u) << "the build makes data/book_normal.bin";
  copy.write_file("bin/book_normal.bin", book);
  EmptyFolder work;
  EngineSession engine(work, copy.program);
  // On a chess server the comment on each move says when it came from the book.
  engine.send("xboard\nprotover 2\nics chess.example.org\nnew\ngo\n");
  EXPECT_TRUE(engine.wait_for("book move.", 10000)) << engine.out();
  engine.send(std::string("force\nsetboard ") + MATE_FEN + "\n");
  ASSERT_TRUE(engine.sync(10000));
  EXPECT_EQ(engine.quit(), 0);
  EXPECT_EQ(work.read_file("epd1.epd"), MATE_FEN);
  EXPECT_FALSE(copy.has_file("bin/epd1.epd"));
}

TEST(DataFolder, TheBuiltEngineFindsTheSourceTreesData) {
  // build/brevalt started elsewhere, as a GUI starts it in its own folder.
  EmptyFolder work;
  EngineRun r = work.run("xboard\nprotover 2\nquit\n");
  EXPECT_NE(r.out.find("feature done=1\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_TRUE(names_folder(r.err, BREVALT_DATA_DIR));
  EXPECT_FALSE(work.has_file("error file"));
}

// The search itself, on folders named absolutely: the first that holds both
// files the engine cannot play without, its "." and ".." steps taken out.
TEST(DataFolder, FindsTheFirstFolderHoldingBothFiles) {
  EmptyFolder root;
  const std::string a = root.dir() + "/a", b = root.dir() + "/b", c = root.dir() + "/c";
  for (const std::string& f : {a, b, c}) mkdir(f.c_str(), 0755);
  root.write_file("a/MoveFile", "x");  // hash_values missing
  for (const char* f : {"b", "c"}) {
    root.write_file(std::string(f) + "/MoveFile", "x");
    root.write_file(std::string(f) + "/hash_values", "x");
  }
  struct Case {
    std::string candidates;
    std::string found;  // empty: none
  };
  const Case cases[] = {
      {root.dir() + "/none:" + a + "::" + c + "/./../b/:" + c, b},
      {a + ":" + c, c},
      {a + ":" + root.dir() + "/none", ""},
      {"", ""},
  };
  for (const Case& k : cases) {
    char out[DATA_PATH_SIZE] = "";
    const bool found = find_data_folder(k.candidates.c_str(), out, sizeof out);
    EXPECT_EQ(found ? std::string(out) : std::string(), k.found) << k.candidates;
  }
  char tiny[8];
  EXPECT_FALSE(find_data_folder(b.c_str(), tiny, sizeof tiny)) << "a path that does not fit";
  EXPECT_FALSE(find_data_folder(nullptr, tiny, sizeof tiny));
}

}  // namespace
}  // namespace brevalt::testing
