// What a package's registration procedure calls to add to the environment: highlighters and
// key bindings. Each registration belongs to the package that is registering and is taken
// back when it unloads, before its library closes, so nothing keeps code of a closed library.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/keyboard/keyboard.h"
#include "editor/language/highlight.h"
#include "packages/pkgentry.h"

// Defines Function as the registration procedure of a unit, under the exact name the loader
// looks for ("@Unit@IDERegister$qqrv", see RegistrationEntryName). An ELF linker reads "@" in
// a global name as a symbol version, so the entry stays a local symbol, which the loader finds
// in the library's symbol table. It only calls Function, which the compiler keeps apart, so
// that no part of the entry is moved to a section of its own under a name the assembler
// cannot spell.
#define NXS_PACKAGE_ENTRY(Symbol, Function)                                   \
  static void Function() __attribute__((noinline));                          \
  static void Function##Entry() NXS_ENTRY_LABEL(Symbol) __attribute__((used)); \
  static void Function##Entry() { Function(); }

namespace nxs {

// Makes the package's highlighter; called when the editor kernel starts (or at once when it
// runs already), so that the highlighter gets a syntax code of its own.
using THighlighterFactory = std::unique_ptr<THighlighter> (*)();

// Raise Exception outside a package's registration procedure. FilePatterns name the files
// the highlighter is for ("Makefile", "*.mk") where no source option group names one.
void RegisterPackageHighlighter(THighlighterFactory Make, std::vector<std::string> FilePatterns = {});
void RegisterPackageKeyBinding(const TKeyboardBinding& Binding);

// What a registration procedure registers elsewhere (a debugger kernel with the debugger
// manager, a platform) is taken back by Undo when the package unloads, before its library
// closes; the last registered is undone first. Raise Exception outside a registration.
void AddPackageUnregistration(std::function<void()> Undo);

// The services start-up offers registration procedures, by name ("DebuggerManager"): a
// start-up step publishes what it makes while it runs and withdraws it when it stops, so a
// package reaches a registry without the loader knowing it.
void PublishRegistrationService(const std::string& Name, std::shared_ptr<void> Service);
void WithdrawRegistrationService(const std::string& Name);
// The service published under Name; nullptr when none is.
std::shared_ptr<void> RegistrationService(const std::string& Name);
template <class T>
std::shared_ptr<T> RegistrationService(const std::string& Name) {
  return std::static_pointer_cast<T>(RegistrationService(Name));
}

// The key bindings the loaded packages registered, for a keyboard service to offer.
const std::vector<TKeyboardBinding>& PackageKeyBindings();

// The keyboard services that take the packages' key bindings while it is connected: those
// registered so far are added at once, later ones as their packages register them, and a
// package's bindings leave it when the package unloads. One keyboard at a time; the
// connection ends with the object, before the keyboard goes.
class TPackageKeyboard {
 public:
  explicit TPackageKeyboard(TKeyboardServices& Keyboard);
  ~TPackageKeyboard();
  TPackageKeyboard(const TPackageKeyboard&) = delete;  // disconnects once
  TPackageKeyboard& operator=(const TPackageKeyboard&) = delete;
};
// Adds every highlighter the loaded packages registered to Manager.
void AddPackageHighlighters(THighlightManager& Manager);
// The registered highlighter of a package whose file patterns match FileName's name;
// nullptr when none does (or the kernel has not added it yet).
THighlighter* PackageHighlighterForFile(const std::string& FileName);

}  // namespace nxs
