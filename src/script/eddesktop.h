// The session's desktop: the files a desktop records, opened with their views (nxs ed
// --desktop), the SaveDesktop [FILE] command, and the save at the end of a session when the
// option "Desktop" of "Auto Save" is on or breakpoints changed.
#pragma once

#include <string>

namespace nxs::script {

class TEdModules;

// The desktop a session was opened with, for as long as the session runs.
class TEdDesktop {
 public:
  // Desktop: a .dsk file, or a project or group whose desktop lies beside it. Opens the files
  // it records in the session, each with its views; the one the desktop was last on becomes
  // current unless the session was given files of its own.
  TEdDesktop(TEdModules& Modules, const std::string& Desktop, bool MakeCurrent);
  ~TEdDesktop();
  TEdDesktop(const TEdDesktop&) = delete;  // known to the session by address
  TEdDesktop& operator=(const TEdDesktop&) = delete;

  const std::string& FileName() const { return FFileName; }
  // The end of the session: the desktop saved when the option asks for it or breakpoints
  // changed.
  void Finish();

 private:
  TEdModules& FModules;
  std::string FFileName;
};

// Runs "SaveDesktop [FILE]": the open files' desktop saved to FILE, else to the session's
// desktop; false when Word names no desktop command.
bool RunDesktopCommand(TEdModules& Modules, const std::string& Word, const std::string& Rest);

}  // namespace nxs::script
