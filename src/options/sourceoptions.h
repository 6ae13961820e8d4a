// The editor source option groups: one group of source options per kind of file, each
// stored as a subkey of "Editor\Source Options" with its bracket-pair table, the fourteen
// built-in groups, and the choice of the group for a file name.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "options/tabstops.h"

namespace nxs {

class TOptionSet;
class TSettingsStore;

// One bracket pair for matching, byte for byte the editor kernel's pair descriptor (7 bytes),
// into which the editor copies it. The second characters are zero unless TwoChars is set.
struct TSourcePairDesc {
  uint8_t Nestable;
  bool ImpliedDir;
  bool TwoChars;
  char StartFirst;
  char StartSecond;
  char EndFirst;
  char EndSecond;
};
static_assert(sizeof(TSourcePairDesc) == 7, "the kernel reads pair descriptors byte for byte");

// "%d,%d,%d,%s,%s" and back; nothing for a text that is not a pair.
std::string PairToString(const TSourcePairDesc& Pair);
std::optional<TSourcePairDesc> PairFromString(std::string_view Text);

// One group as the editor takes it.
struct TEditorSourceOptions {
  std::string IDString;
  std::string DisplayName;
  std::string Extensions;
  std::string TabRack;
  int BlockIndent = 2;
  std::string SyntaxLangID;
  uint32_t EdModes = 0;
  std::vector<TSourcePairDesc> PairTable;
  int NumPairs() const { return static_cast<int>(PairTable.size()); }
};

struct TBuiltInSourceOptions {
  const char* ID;
  const char* Extensions;
  const char* TabStops;
  int BlockIndent;
  const char* Highlighter;
  uint32_t EdModes;
  const std::vector<TSourcePairDesc>* Pairs;
};
const std::vector<TBuiltInSourceOptions>& BuiltInSourceOptions();
inline constexpr const char* DefaultSourceOptionsID = "Tarvos.EditOptions.Default";
inline constexpr const char* PascalSourceOptionsID = "Tarvos.EditOptions.Pascal";

// Bits of a group's mode word (the buffer's edit modes) that stand for source options.
enum : uint32_t {
  soAutoIndent = 1u << 1,
  soTabCharacter = 1u << 2,
  soBackspaceUnindents = 1u << 4,
  soKeepTrailingBlanks = 1u << 5,
  soOptimalFill = 1u << 6,
  soSyntaxHighlight = 1u << 13,
  soSmartTab = 1u << 15,
};

// Finds the "&" files of regular expressions (POSIX extended syntax, one per line, "#" starting
// a comment) that extension lists name, and keeps each
// file's expressions once read.
class TFileTypeLists {
 public:
  TFileTypeLists();
  ~TFileTypeLists();
  TFileTypeLists(const TFileTypeLists&) = delete;  // owns compiled expressions
  TFileTypeLists& operator=(const TFileTypeLists&) = delete;

  // The product's data directory and the user's settings directory, searched in this order.
  void SetDirectories(std::vector<std::string> Dirs);
  const std::vector<std::string>& Directories() const { return FDirs; }
  // Whether any expression of the list file matches the file name (without its folder). A
  // list that cannot be found matches nothing; a line that is not a valid expression is
  // left out.
  bool Matches(const std::string& ListFile, std::string_view FileName);
  void Clear();

 private:
  struct TList;
  const TList& Get(const std::string& ListFile);
  std::vector<std::string> FDirs;
  std::map<std::string, std::unique_ptr<TList>> FCache;
};

// The directories searched by default: "filetypes" in the shipped data (DataDir()), then the
// settings directory.
std::vector<std::string> DefaultFileTypeListDirectories();

// Whether the extension list (entries separated by ";") claims the file.
bool MatchesExtensionList(std::string_view List, std::string_view FileName, TFileTypeLists& Lists);

class TSourceOptionGroups {
 public:
  // Set is the "Editor\Source Options" set; it must be stored per subkey.
  TSourceOptionGroups(TOptionSet& Set, TSettingsStore& Store);
  ~TSourceOptionGroups();
  TSourceOptionGroups(const TSourceOptionGroups&) = delete;  // bound to its set
  TSourceOptionGroups& operator=(const TSourceOptionGroups&) = delete;

  // Reads the groups that the store holds; when it holds none, creates the built-in groups
  // and writes them, under the store's lock where none were written meanwhile.
  void LoadEditorSourceOptions();
  void LoadDefaultEditorSourceOptions();
  void LoadPairTable(int Index);
  void SavePairTable(int Index);
  // Writes every group and its pair table, and erases the groups deleted since.
  void Save();

  int Count() const;
  int IndexOf(std::string_view ID) const;
  int Current() const;
  TEditorSourceOptions Group(int Index) const;
  TEditorSourceOptions CurrentGroup() const { return Group(Current()); }
  std::string GetExtensionsForTypeID(std::string_view ID) const;
  int AddEditorSourceOption(const std::string& ID);
  void DeleteEditorSourceOption(int Index);
  void SetPairTable(int Index, std::vector<TSourcePairDesc> Pairs);

  // Makes the group for the file current and returns its index (-1 when there are no
  // groups).
  int MoveToOptionsForFileType(std::string_view FileName);
  // Forgets the last choice (the groups or their extensions changed).
  void InvalidateChoice() { FLastKey.reset(); }
  // Called with the chosen group so that code insight follows it.
  std::function<void(const TEditorSourceOptions&)> OnApplyCodeInsight;

  // The tab rack of the current group; nothing when its text does not parse.
  std::optional<TTabStops> GetTabRack() const;
  // Raises Exception when the list has an empty entry or claims an extension that
  // another group claims.
  void ValidateExtensions(int Index, std::string_view List) const;

  TFileTypeLists& FileTypeLists() { return FLists; }

  // When clear, the built-in groups made for a store that holds none stay in memory until
  // Save; a command that only reads the options then leaves the store as it was.
  bool WriteBuiltIns = true;
  bool BuiltInsUnsaved() const { return FBuiltInsUnsaved; }

 private:
  void ResetPairTables();
  void CheckIndex(int Index) const;
  void UpgradeExtensions(int Index);

  TOptionSet& FSet;
  TSettingsStore& FStore;
  std::vector<std::vector<TSourcePairDesc>> FPairs;  // parallel to the set's subkeys
  std::vector<std::string> FDeleted;           // groups to erase at the next save
  bool FBuiltInsUnsaved = false;
  TFileTypeLists FLists;
  // The last choice: the file's extension (or its whole name when the choice depended on
  // more than the extension) and the group chosen.
  struct TChoice {
    std::string Key;
    bool ByName;
    int Group;
  };
  std::optional<TChoice> FLastKey;
};

}  // namespace nxs
