// A command session: the command language of nxs ed scripts and of the terminal IDE's prompt,
// run one line at a time on the current module of a TEdModules. Editor commands (the command
// map's names, InsertText, GoToLine, Find, ReplaceAll ...), keys through the active keymap,
// macros, the module, compiler, folding and sync edit commands. Answers go to the modules'
// printer; a command that fails raises Exception with its message. Files on disk change only
// through the saving and renaming commands.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace nxs {
class TEditBuffer;
class TEvEditBufferModified;
class TKeyboardServices;
}  // namespace nxs

namespace nxs::script {

class TEdModules;

class TEdSession {
 public:
  explicit TEdSession(TEdModules& Modules);
  ~TEdSession();
  TEdSession(const TEdSession&) = delete;  // subscribed by address
  TEdSession& operator=(const TEdSession&) = delete;

  // Runs one command; a command that tried to change a read-only buffer fails with the
  // buffer's message, whichever way it came to the change (typing, a key, a replace, a macro).
  void Run(const std::string& Line);
  // One key stroke as the Key command gives it: to the sync edit mode when it takes it, else
  // through the active keymap.
  void ProcessKey(uint32_t Key);
  // The keyboard services of the session (keymaps, macros), made on first use.
  TKeyboardServices& Keyboard();
  TEdModules& Modules() { return FModules; }

 private:
  void RunCommand(const std::string& Line);
  void ChangeRefused(TEvEditBufferModified& Args);
  bool RunKeyboardCommand(const std::string& Word, const std::string& Rest);
  void Find(const std::string& Args);
  void ReplaceAllCmd(const std::string& Args);

  TEdModules& FModules;
  std::unique_ptr<TKeyboardServices> FKeyboard;  // made by the first keyboard command
  std::string FRefused;  // the read-only file the current command tried to change
};

}  // namespace nxs::script
