// The favourite files: a list of file names kept in the "Favorites" section of the
// environment's settings.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace nxs {

class TCustomIniFile;

class TFavorites {
 public:
  // Settings is where AddToFavorites and RemoveFromFavorites save the list.
  explicit TFavorites(TCustomIniFile& Settings) : FSettings(Settings) {}
  TFavorites(const TFavorites&) = delete;  // bound to its settings
  TFavorites& operator=(const TFavorites&) = delete;

  // Reads the section once, while there is no list yet: every value that is not empty.
  void LoadFavorites(TCustomIniFile& Ini);
  // Writes the section anew with the index numbers as keys.
  void SaveFavorites(TCustomIniFile& Ini);
  // -1 when the file is already a favourite; otherwise its index after it was appended and
  // the list saved. Adding and removing read the list afresh and save it in one locked
  // step, so that favourites another process added or removed meanwhile stay so.
  int AddToFavorites(const std::string& FileName);
  // False when the file was not a favourite; otherwise removes it and saves the list.
  bool RemoveFromFavorites(const std::string& FileName);
  const std::string& GetFavorite(int Index);
  int Count();
  const std::vector<std::string>& Items();
  int IndexOf(const std::string& FileName);

 private:
  std::vector<std::string>& List();
  TCustomIniFile& FSettings;
  std::optional<std::vector<std::string>> FList;
};

// The process's favourites, kept in the settings store.
TFavorites& Favorites();

}  // namespace nxs
