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
  if (FileName.empty() || IndexOf(FileName) >= 0) return -1;
  // A save that fails raises; the settings store keeps the change and writes it with its
  // next save, so the list keeps it too.
  List().push_back(FileName);
  SaveFavorites(FSettings);
  return Count() - 1;
}

bool TFavorites::RemoveFromFavorites(const std::string& FileName) {
  int I = IndexOf(FileName);
  if (I < 0) return false;
  List().erase(List().begin() + I);
  SaveFavorites(FSettings);
  return true;
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
