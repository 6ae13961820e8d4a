// The editor's unsaved text, laid over the project directory for a compile.
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>

#include "build/compilers/compiletask.h"
#include "shared/filenames.h"
#include "shared/text.h"

namespace nxs::compilers {

namespace fs = std::filesystem;

namespace {

// The path of Name below Dir ("" for Dir itself), or nothing when it is not below it.
bool RelativeTo(const std::string& Dir, const std::string& Name, std::string& Rel) {
  if (Name == Dir) {
    Rel.clear();
    return true;
  }
  if (Name.size() <= Dir.size() + 1 || Name.compare(0, Dir.size(), Dir) != 0 || Name[Dir.size()] != '/') return false;
  Rel = Name.substr(Dir.size() + 1);
  return true;
}

std::string Join(const std::string& Dir, const std::string& Rel) { return Rel.empty() ? Dir : Dir + "/" + Rel; }

// Whether FilesBelow would list the file at Rel below the directory it walks: none of its
// folders hidden or an overlay, its extension one of those asked for.
bool WalkFinds(const std::string& Rel, const std::vector<std::string>& Extensions) {
  const std::string Ext = LowerCase(ExtractFileExt(Rel));
  if (std::find(Extensions.begin(), Extensions.end(), Ext) == Extensions.end()) return false;
  for (size_t Start = 0, Slash; (Slash = Rel.find('/', Start)) != std::string::npos; Start = Slash + 1)
    if (Rel[Start] == '.' || Rel.compare(Start, 8, "unsaved-") == 0) return false;
  return true;
}

}  // namespace

TEditorOverlay::TEditorOverlay(engine::ITaskHostObject* Host, std::string ProjectDir, std::string OverlayDir)
    : FHost(Host), FProjectDir(ExcludeTrailingPathDelimiter(ProjectDir)), FDir(std::move(OverlayDir)) {}

TEditorOverlay::~TEditorOverlay() {
  std::error_code Ec;
  if (!FMirrored.empty()) fs::remove_all(FDir, Ec);  // the links go, never what they point at
  for (const auto& [Real, Temp] : FUnsaved)
    if (FHost) FHost->DeleteTemporaryFile(Temp);
}

void TEditorOverlay::Collect(const std::vector<std::string>& Files, const std::vector<std::string>& Extensions) {
  if (!FHost) return;
  std::vector<std::string> Asked = Files;
  const std::optional<std::vector<std::string>> Listed = FHost->UnsavedFiles();
  if (Listed) {
    // The editor told what it holds: the files named that are among them, and those of them
    // that a walk of the project directory would find. Nothing is read from the disk.
    std::set<std::string> Unsaved(Listed->begin(), Listed->end());
    std::erase_if(Asked, [&](const std::string& F) { return !Unsaved.count(F); });
    for (const auto& F : Unsaved)
      if (std::string Rel; RelativeTo(FProjectDir, F, Rel) && WalkFinds(Rel, Extensions)) Asked.push_back(F);
  } else if (!Extensions.empty()) {
    for (auto& F : FilesBelow(FProjectDir, Extensions)) Asked.push_back(std::move(F));
  }
  std::set<std::string> Seen;
  for (const auto& F : Asked) {
    if (FUnsaved.count(F) || !Seen.insert(F).second) continue;
    std::string Temp;
    if (FHost->CreateTemporaryFile(F, Temp) && !Temp.empty()) FUnsaved[F] = Temp;
  }
  if (!Active()) return;
  // The overlay's folder is made once it has something to hold: a compile from the disk
  // makes none.
  if (FDir.ends_with("XXXXXX"))
    if (char* Made = mkdtemp(FDir.data())) FDir = Made;
  // Every directory on the way to an unsaved file is mirrored; the rest of the tree is
  // reached through links to the real directories.
  std::set<std::string> Needed{""};
  for (const auto& [Real, Temp] : FUnsaved) {
    std::string Rel;
    if (!RelativeTo(FProjectDir, ExtractFileDir(Real), Rel)) continue;
    while (!Rel.empty()) {
      Needed.insert(Rel);
      size_t Slash = Rel.rfind('/');
      Rel = Slash == std::string::npos ? "" : Rel.substr(0, Slash);
    }
  }
  std::error_code Ec;
  for (const auto& Rel : Needed) {  // sorted: parents before their children
    fs::create_directories(Join(FDir, Rel), Ec);
    FMirrored[Rel] = true;
  }
  for (const auto& Rel : Needed) {
    for (const auto& Entry : fs::directory_iterator(Join(FProjectDir, Rel), Ec)) {
      std::string Name = Entry.path().filename().string();
      std::string Child = Rel.empty() ? Name : Rel + "/" + Name;
      std::string Real = Join(FProjectDir, Child);
      if (Needed.count(Child) || Real == FDir) continue;
      auto U = FUnsaved.find(Real);
      fs::create_symlink(U != FUnsaved.end() ? U->second : Real, Join(FDir, Child), Ec);
    }
  }
}

std::string TEditorOverlay::CompileName(const std::string& RealFile) {
  auto U = FUnsaved.find(RealFile);
  std::string Rel;
  if (!Active() || !RelativeTo(FProjectDir, RealFile, Rel)) return U != FUnsaved.end() ? U->second : RealFile;
  return Join(FDir, Rel);
}

std::string TEditorOverlay::MirrorOf(const std::string& RealDir) const {
  std::string Rel;
  if (!Active() || !RelativeTo(FProjectDir, ExcludeTrailingPathDelimiter(RealDir), Rel)) return {};
  return Join(FDir, Rel);
}

std::string TEditorOverlay::RealName(const std::string& Name) const {
  std::string Rel;
  if (Active() && RelativeTo(FDir, Name, Rel)) return Join(FProjectDir, Rel);
  for (const auto& [Real, Temp] : FUnsaved)
    if (Temp == Name) return Real;
  return Name;
}

}  // namespace nxs::compilers
