// A test binary run by hand, outside ctest, keeps away from the settings of the user who runs
// it: without a settings folder of its own it takes one in the build's test folder, and the
// nxs processes its tests start inherit it.
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct TOwnSettings {
  TOwnSettings() {
    if (const char* Dir = std::getenv("NXS_SETTINGS_DIR"); Dir && *Dir) return;
    const std::string Dir = std::string(NXS_TEST_TMP) + "/settings-by-hand";
    std::error_code Ec;
    std::filesystem::create_directories(Dir, Ec);
    ::setenv("NXS_SETTINGS_DIR", Dir.c_str(), 1);
  }
} GOwnSettings;

}  // namespace
