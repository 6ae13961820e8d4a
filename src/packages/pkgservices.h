// What a package's registration procedure calls to add to the environment: highlighters and
// key bindings. Each registration belongs to the package that is registering and is taken
// back when it unloads, before its library closes, so nothing keeps code of a closed library.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "editor/keyboard/keyboard.h"
#include "editor/language/highlight.h"

// Defines Function as the registration procedure of a unit, under the exact name the loader
// looks for ("@Unit@IDERegister$qqrv", see RegistrationEntryName). An ELF linker reads "@" in
// a global name as a symbol version, so the entry stays a local symbol, which the loader finds
// in the library's symbol table. It only calls Function, which the compiler keeps apart, so
// that no part of the entry is moved to a section of its own under a name the assembler
// cannot spell.
#define NXS_PACKAGE_ENTRY(Symbol, Function)                                   \
  static void Function() __attribute__((noinline));                          \
  static void Function##Entry() __asm__("\"" Symbol "\"") __attribute__((used)); \
  static void Function##Entry() { Function(); }

namespace nxs {

// Makes the package's highlighter; called when the editor kernel starts (or at once when it
// runs already), so that the highlighter gets a syntax code of its own.
using THighlighterFactory = std::unique_ptr<THighlighter> (*)();

// Raise Exception outside a package's registration procedure. FilePatterns name the files
// the highlighter is for ("Makefile", "*.mk") where no source option group names one.
void RegisterPackageHighlighter(THighlighterFactory Make, std::vector<std::string> FilePatterns = {});
void RegisterPackageKeyBinding(const TKeyboardBinding& Binding);

// The key bindings the loaded packages registered, for a keyboard service to offer.
const std::vector<TKeyboardBinding>& PackageKeyBindings();
// Adds every highlighter the loaded packages registered to Manager.
void AddPackageHighlighters(THighlightManager& Manager);
// The registered highlighter of a package whose file patterns match FileName's name;
// nullptr when none does (or the kernel has not added it yet).
THighlighter* PackageHighlighterForFile(const std::string& FileName);

}  // namespace nxs
