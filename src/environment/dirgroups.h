// Directory groups: named directory lists that a search's directory list refers to as
// "@name". Kept in the settings section "Search\DirectoryLists", one value per group.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "shared/text.h"

namespace nxs {

class TDirectoryGroups {
 public:
  TDirectoryGroups() = default;
  // Saves when a group was changed since the last load or save.
  ~TDirectoryGroups();
  TDirectoryGroups(const TDirectoryGroups&) = delete;  // the process's one instance
  TDirectoryGroups& operator=(const TDirectoryGroups&) = delete;

  // Reads every group from the settings store, replacing what is held.
  void Load();
  // Erases the section and writes every group again.
  void Save();

  static std::string GroupPrefix() { return "@"; }
  // The text begins with the prefix.
  static bool IsDirectoryGroup(std::string_view Text) { return !Text.empty() && Text[0] == '@'; }
  // A reference whose name, without the prefix, is a known group.
  bool IsValidGroup(std::string_view Text) const;

  // Clears List; for a known group fills it with the group's entries split at ";" only.
  void GetDirectoryList(std::string_view Name, std::vector<std::string>& List) const;
  // The group's entries (split at "," and ";", trimmed) appended to List; references inside
  // are unwound in place when Recurse is set. A group met again on the way down is not
  // followed, so a cycle of groups ends (its name goes to Cycles once, when given); an
  // unknown name adds nothing.
  void Unwind(std::string_view Name, std::vector<std::string>& List, bool Recurse,
              std::vector<std::string>* Cycles = nullptr) const;
  // The unwound entries joined with ";".
  std::string Unwind(std::string_view Name, bool Recurse) const;

  // Editing: names compare without regard to case, as the store's value names do.
  std::vector<std::string> Names() const;
  std::string GetGroup(std::string_view Name) const;
  void SetGroup(const std::string& Name, const std::string& Directories);
  void DeleteGroup(std::string_view Name);
  bool Modified() const { return FModified; }

 private:
  struct TLess {
    bool operator()(std::string_view A, std::string_view B) const { return CompareText(A, B) < 0; }
    using is_transparent = void;
  };
  void UnwindInto(std::string_view Name, std::vector<std::string>& List, bool Recurse, std::vector<std::string>& Path,
                  std::vector<std::string>* Cycles) const;

  std::map<std::string, std::string, TLess> FGroups;
  bool FModified = false;
};

// The process's directory groups, made and loaded on first use.
TDirectoryGroups& DirectoryGroups();
// Frees the instance (saving it when changed); the next use loads again.
void ResetDirectoryGroups();

}  // namespace nxs
