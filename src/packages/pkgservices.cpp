#include "packages/pkgservices.h"

#include <algorithm>
#include <cassert>
#include <map>
#include <optional>

#include "editor/buffers/ekinit.h"
#include "packages/designpkgs.h"
#include "packages/resstrings.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/wildcard.h"

namespace nxs {

namespace {

struct TPackageHighlighter {
  THighlighterFactory Make;
  std::string ID;
  std::vector<std::string> FilePatterns;
};

std::vector<TPackageHighlighter>& Highlighters() {
  static std::vector<TPackageHighlighter> H;
  return H;
}

std::vector<TKeyboardBinding>& KeyBindings() {
  static std::vector<TKeyboardBinding> B;
  return B;
}

TKeyboardServices* ConnectedKeyboard = nullptr;

void RemoveFromKeyboard(TKeyboardServices& Keyboard, const std::string& Name) {
  for (int I = Keyboard.GetBindingCount() - 1; I >= 0; --I)
    if (Keyboard.GetBindingName(I) == Name) Keyboard.RemoveKeyboardBinding(I);
}

TDesignPackage& RegisteringPackage(const char* What) {
  TDesignPackage* P = TDesignPackages::Registering();
  if (!P) throw Exception(Format(res::SNotRegistering, What));
  return *P;
}

// Whether the kernel has registered its highlighters: then a new one is added at once.
bool HighlightersRegistered() {
  return EditorKernelRunning() && HighlightManager().LookupHighlighter(std::string_view("Tarvos.Highlighter.None")) >= 0;
}

}  // namespace

void RegisterPackageHighlighter(THighlighterFactory Make, std::vector<std::string> FilePatterns) {
  TDesignPackage& Package = RegisteringPackage("a highlighter");
  std::unique_ptr<THighlighter> First = Make();
  const std::string ID = First->GetIDString();
  Highlighters().push_back({Make, ID, std::move(FilePatterns)});
  if (HighlightersRegistered()) HighlightManager().AddHighlighter(std::move(First));
  Package.AddUnregistration([ID] {
    std::erase_if(Highlighters(), [&](const TPackageHighlighter& H) { return H.ID == ID; });
    THighlightManager& M = HighlightManager();
    const int I = M.LookupHighlighter(std::string_view(ID));
    if (I >= 0) M.RemoveHighlighter(M.GetHighlighter(I));
  });
}

void RegisterPackageKeyBinding(const TKeyboardBinding& Binding) {
  TDesignPackage& Package = RegisteringPackage("a key binding");
  // A binding a keyboard would refuse (a name taken, a key table that conflicts) fails the
  // registration, whether a keyboard is connected now or only later.
  std::optional<TKeyboardServices> Scratch;
  TKeyboardServices* Keyboard = ConnectedKeyboard;
  if (!Keyboard) {
    Keyboard = &Scratch.emplace();
    for (const TKeyboardBinding& B : KeyBindings()) Keyboard->AddKeyboardBinding(B);
  }
  Keyboard->AddKeyboardBinding(Binding);
  KeyBindings().push_back(Binding);
  const std::string Name = Binding.Name;
  Package.AddUnregistration([Name] {
    std::erase_if(KeyBindings(), [&](const TKeyboardBinding& B) { return B.Name == Name; });
    if (ConnectedKeyboard) RemoveFromKeyboard(*ConnectedKeyboard, Name);
  });
}

TPackageKeyboard::TPackageKeyboard(TKeyboardServices& Keyboard) {
  assert(!ConnectedKeyboard && "one keyboard takes the packages' bindings at a time");
  Keyboard.BeginUpdatingPackages();
  for (const TKeyboardBinding& B : KeyBindings()) Keyboard.AddKeyboardBinding(B);
  Keyboard.EndUpdatingPackages();
  ConnectedKeyboard = &Keyboard;
}

TPackageKeyboard::~TPackageKeyboard() { ConnectedKeyboard = nullptr; }

void AddPackageUnregistration(std::function<void()> Undo) {
  RegisteringPackage("a service").AddUnregistration(std::move(Undo));
}

namespace {

std::map<std::string, std::shared_ptr<void>>& Services() {
  static std::map<std::string, std::shared_ptr<void>> S;
  return S;
}

}  // namespace

void PublishRegistrationService(const std::string& Name, std::shared_ptr<void> Service) {
  Services()[Name] = std::move(Service);
}

void WithdrawRegistrationService(const std::string& Name) { Services().erase(Name); }

std::shared_ptr<void> RegistrationService(const std::string& Name) {
  auto It = Services().find(Name);
  return It == Services().end() ? nullptr : It->second;
}

const std::vector<TKeyboardBinding>& PackageKeyBindings() { return KeyBindings(); }

void AddPackageHighlighters(THighlightManager& Manager) {
  for (const TPackageHighlighter& H : Highlighters())
    if (Manager.LookupHighlighter(std::string_view(H.ID)) < 0) Manager.AddHighlighter(H.Make());
}

}  // namespace nxs

namespace nxs {

THighlighter* PackageHighlighterForFile(const std::string& FileName) {
  const std::string Name = ExtractFileName(FileName);
  THighlightManager& M = HighlightManager();
  for (const TPackageHighlighter& H : Highlighters())
    for (const std::string& Pattern : H.FilePatterns)
      if (MatchesWildcard(Pattern, Name)) return M.GetHighlighter(M.LookupHighlighter(std::string_view(H.ID)));
  return nullptr;
}

}  // namespace nxs
