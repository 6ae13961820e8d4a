// Compiles the keymap sources (data/keymaps/NAME.txt) into the engine's keymap format and writes
// them as a C++ source of byte arrays. Each source line binds a key sequence to a command of the
// command map: "Ctrl+K B  SetBlockBeg" (the last word is the command); "#" starts a comment line.
// A line that does not compile stops the build with "FILE:LINE: why".
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "editor/keyboard/cmdmap.h"
#include "editor/keyboard/keycodes.h"

namespace {

using namespace nxs;

struct TSource {
  std::string Path;
  std::string Resource;  // upper-case file name without its extension
  std::vector<uint8_t> Data;
};

std::string Trim(const std::string& S) {
  size_t B = S.find_first_not_of(" \t\r");
  if (B == std::string::npos) return {};
  size_t E = S.find_last_not_of(" \t\r");
  return S.substr(B, E - B + 1);
}

bool Compile(TSource& Src) {
  std::ifstream In(Src.Path);
  if (!In) {
    std::fprintf(stderr, "%s: cannot be read\n", Src.Path.c_str());
    return false;
  }
  std::vector<TKeyBinding> Bindings;
  std::vector<int> LineOf;
  std::string Line;
  int No = 0;
  bool Ok = true;
  while (std::getline(In, Line)) {
    ++No;
    const std::string T = Trim(Line);
    if (T.empty() || T[0] == '#') continue;
    const size_t Blank = T.find_last_of(" \t");
    if (Blank == std::string::npos) {
      std::fprintf(stderr, "%s:%d: expected a key sequence and a command\n", Src.Path.c_str(), No);
      Ok = false;
      continue;
    }
    const std::string Command = T.substr(Blank + 1), Keys = Trim(T.substr(0, Blank));
    const int Index = CmdMapManager().IndexOf(Command);
    if (Index < 0) {
      std::fprintf(stderr, "%s:%d: unknown command '%s'\n", Src.Path.c_str(), No, Command.c_str());
      Ok = false;
      continue;
    }
    auto Sequence = ParseKeySequence(Keys);
    if (!Sequence) {
      std::fprintf(stderr, "%s:%d: not a key sequence: '%s'\n", Src.Path.c_str(), No, Keys.c_str());
      Ok = false;
      continue;
    }
    Bindings.push_back(TKeyBinding{*Sequence, static_cast<uint16_t>(Index)});
    LineOf.push_back(No);
  }
  if (!Ok) return false;
  std::string Error;
  size_t Conflict = 0;
  Src.Data = CompileKeymap(Bindings, Error, &Conflict);
  if (Src.Data.empty()) {
    std::fprintf(stderr, "%s:%d: %s\n", Src.Path.c_str(), Conflict < LineOf.size() ? LineOf[Conflict] : 0,
                 Error.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int Argc, char** Argv) {
  if (Argc < 3) {
    std::fprintf(stderr, "usage: keymapc OUTPUT.cpp KEYMAP.txt...\n");
    return 2;
  }
  std::vector<TSource> Sources;
  bool Ok = true;
  for (int I = 2; I < Argc; ++I) {
    TSource S;
    S.Path = Argv[I];
    std::string Name = S.Path.substr(S.Path.find_last_of('/') + 1);
    Name = Name.substr(0, Name.find('.'));
    for (char& C : Name) C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
    S.Resource = Name;
    Ok = Compile(S) && Ok;
    Sources.push_back(std::move(S));
  }
  if (!Ok) return 1;
  std::ostringstream Out;
  Out << "// Generated from data/keymaps by keymapc; do not edit.\n#include \"editor/keyboard/keymaps.h\"\n\nnamespace nxs {\n\n";
  for (const auto& S : Sources) {
    Out << "static const unsigned char Keymap" << S.Resource << "[] = {";
    for (size_t I = 0; I < S.Data.size(); ++I) Out << (I % 24 ? "" : "\n   ") << ' ' << int(S.Data[I]) << ',';
    Out << "\n};\n";
  }
  Out << "\nconst std::vector<TKeymapResource>& KeymapResources() {\n  static const std::vector<TKeymapResource> R = {\n";
  for (const auto& S : Sources)
    Out << "      {\"" << S.Resource << "\", Keymap" << S.Resource << ", sizeof Keymap" << S.Resource << "},\n";
  Out << "  };\n  return R;\n}\n\n}  // namespace nxs\n";
  std::ofstream F(Argv[1], std::ios::binary | std::ios::trunc);
  F << Out.str();
  return F ? 0 : 1;
}
