// nxs keys: every binding of a keymap, one line each: the key sequence, a tab, the command.
#include <cstdio>

#include "editor/keyboard/cmdmap.h"
#include "editor/keyboard/keyboard.h"
#include "host/cmdline.h"
#include "host/commands.h"
#include "host/resstrings.h"
#include "packages/pkgservices.h"
#include "shared/format.h"

namespace nxs::host {

static int RunKeys(const TCommandLine& Cmd) {
  TKeyboardServices Keyboard;
  const TPackageKeyboard Packages(Keyboard);
  if (Cmd.Has("--keymap")) {
    const int I = Keyboard.LookupKeyBinding(Cmd.Get("--keymap"));
    if (I < 0) Cmd.Fail(Format(res::SKeysUnknownKeymap, Cmd.Get("--keymap")));
    Keyboard.SetBindingIndex(I);
  }
  for (const TKeyBinding& B : Keyboard.ActiveBindings())
    std::printf("%s\t%s\n", SequenceName(B.Keys).c_str(), CmdMapManager().Entry(B.Command).Name.c_str());
  return 0;
}

TCommand KeysCommand() {
  return Leaf("keys", "list the bindings of a keymap", "nxs keys [--keymap NAME]",
              "Prints every binding of the keymap (default: the default keymap), one line each:\n"
              "the key sequence, a tab, the command. Keymaps: Default, Classic, Brief, Epsilon,\n"
              "VisualStudio, VisualBasic, VD32.",
              {{"--keymap", true}}, 0, 0, RunKeys);
}

}  // namespace nxs::host
