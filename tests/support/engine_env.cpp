// The global test environment: data files loaded once, scratch folder.
#include "support/engine_env.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "board/position.h"
#include "board/reset.h"
#include "config/params.h"
#include "config/startup.h"
#include "frontend/mainloop.h"
#include "core/platform.h"

namespace brevalt::testing {

namespace {

std::string scratch;

class EngineEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // make_move polls standard input every so many nodes, as it must in a
    // game; here the poll must never find anything.
    ASSERT_TRUE(quiet_standard_input());
    ASSERT_EQ(chdir(BREVALT_DATA_DIR), 0);
    ASSERT_EQ(read_move_file(), 1) << "MoveFile unreadable";
    read_parameter_file();
    settings.hash_size_code = 1;  // small tables keep the tests quick
    ASSERT_EQ(allocate_tables(), 1);
    build_reach_table();
    ASSERT_EQ(read_hash_values(), 1);
    char tmpl[] = "/tmp/brevalt-unit-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    scratch = tmpl;
    ASSERT_EQ(chdir(scratch.c_str()), 0);
    start_new_game();
  }
  void TearDown() override {
    free_tables();
    if (!scratch.empty()) std::system(("rm -rf '" + scratch + "'").c_str());
  }
};

[[maybe_unused]] ::testing::Environment* const env =
    ::testing::AddGlobalTestEnvironment(new EngineEnvironment);

}  // namespace

const std::string& scratch_dir() { return scratch; }

}  // namespace brevalt::testing

#include "board/fen.h"

namespace brevalt::testing {

bool set_position(const std::string& fen) { return setup_fen(fen.c_str()); }

}  // namespace brevalt::testing
