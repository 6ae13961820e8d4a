#include "modules/favorites.h"

#include "modules/resstrings.h"
#include "shared/filenames.h"
#include "modules/inifile.h"
#include "shared/text.h"

namespace nxs {

void TFavorites::LoadFavorites(TCustomIniFile& Ini) {
  if (FList) return;
  FList.emplace();
  for (const auto& Key : Ini.ReadSection(res::SFavoritesSection)) {
    std::string Name = Ini.ReadString(res::SFavoritesSection, Key, "");
    if (!Name.empty()) FList->push_back(Name);
  }
}

void TFavorites::SaveFavorites(TCustomIniFile& Ini) {
  Ini.BeginUpdate();
  try {
    Ini.EraseSection(res::SFavoritesSection);
    const auto& L = List();
    for (size_t I = 0; I < L.size(); ++I) Ini.WriteString(res::SFavoritesSection, IntToStr(static_cast<int64_t>(I)), L[I]);
  } catch (...) {
    try {
      Ini.EndUpdate();
    } catch (...) {
      // The first failure is the one to report.
    }
    throw;
  }
  Ini.EndUpdate();
}

std::vector<std::string>& TFavorites::List() {
  if (!FList) LoadFavorites(FSettings);
  return *FList;
}

int TFavorites::IndexOf(const std::string& FileName) {
  const auto& L = List();
  for (size_t I = 0; I < L.size(); ++I)
    if (SameFileName(L[I], FileName)) return static_cast<int>(I);
  return -1;
}

int TFavorites::AddToFavorites(const std::string& FileName) {
  if (FileName.empty()) return -1;
  int Index = -1;
  // A save that fails raises; the settings store keeps the change and writes it with its
  // next save, so the list keeps it too.
  FSettings.Locked([&] {
    FList.reset();
    if (IndexOf(FileName) >= 0) return;
    List().push_back(FileName);
    SaveFavorites(FSettings);
    Index = Count() - 1;
  });
  return Index;
}

bool TFavorites::RemoveFromFavorites(const std::string& FileName) {
  bool Removed = false;
  FSettings.Locked([&] {
    FList.reset();
    int I = IndexOf(FileName);
    if (I < 0) return;
    List().erase(List().begin() + I);
    SaveFavorites(FSettings);
    Removed = true;
  });
  return Removed;
}

TFavorites& Favorites() {
  static TSettingsIniFile Settings;
  static TFavorites Instance(Settings);
  return Instance;
}

const std::string& TFavorites::GetFavorite(int Index) { return List().at(Index); }
int TFavorites::Count() { return static_cast<int>(List().size()); }
const std::vector<std::string>& TFavorites::Items() { return List(); }

}  // namespace nxs
