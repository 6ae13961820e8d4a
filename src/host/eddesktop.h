// nxs ed's desktop: the files a desktop records, opened with their views (--desktop FILE), the
// SaveDesktop command, and the save at the end of a session when "Auto Save" "Desktop" is on.
#pragma once

#include <memory>
#include <string>

namespace nxs {
class TEnvironmentOptions;
}

namespace nxs::host {

class TEdDesktop {
 public:
  // FileName: what --desktop names (a project, a group or a .dsk); empty without one.
  explicit TEdDesktop(const std::string& FileName);
  ~TEdDesktop();
  TEdDesktop(const TEdDesktop&) = delete;  // one desktop per session
  TEdDesktop& operator=(const TEdDesktop&) = delete;

  // Opens what the desktop records; the file of the module to make current, "" when none.
  std::string Load();
  // Runs "SaveDesktop [FILE]"; false when Word names no desktop command.
  bool Run(const std::string& Word, const std::string& Rest);
  // The end of the session: the desktop saved when the option asks for it.
  void Finish();

 private:
  std::string FFileName;
  std::unique_ptr<TEnvironmentOptions> FOptions;
};

}  // namespace nxs::host
