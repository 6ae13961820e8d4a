#include "options/sourceoptions.h"

#include <cassert>

#include "options/optionset.h"
#include "options/resstrings.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/install.h"
#include "shared/settings.h"
#include "shared/text.h"
#include "shared/textpattern.h"

namespace nxs {

namespace {

TSourcePairDesc Pair(uint8_t Nestable, bool ImpliedDir, const char* Start, const char* End) {
  bool Two = Start[1] != 0;
  return TSourcePairDesc{Nestable, ImpliedDir, Two, Start[0], Two ? Start[1] : '\0', End[0], Two ? End[1] : '\0'};
}

const std::vector<TSourcePairDesc> GeneralPairs = {
    Pair(1, true, "(", ")"), Pair(1, true, "[", "]"),   Pair(0, true, "{", "}"),
    Pair(1, true, "<", ">"), Pair(0, false, "'", "'"), Pair(0, false, "\"", "\""),
};
const std::vector<TSourcePairDesc> PascalPairs = {
    Pair(0, true, "(*", "*)"), Pair(1, true, "(.", ".)"), Pair(1, true, "(", ")"),   Pair(1, true, "[", "]"),
    Pair(0, true, "{", "}"),   Pair(0, false, "'", "'"), Pair(0, false, "\"", "\""),
};
const std::vector<TSourcePairDesc> CPairs = {
    Pair(2, true, "/*", "*/"), Pair(1, true, "(", ")"),   Pair(1, true, "[", "]"),    Pair(1, true, "{", "}"),
    Pair(1, true, "<", ">"),   Pair(0, false, "'", "'"), Pair(0, false, "\"", "\""),
};

constexpr uint32_t SourceOptionBits = soAutoIndent | soTabCharacter | soBackspaceUnindents | soKeepTrailingBlanks |
                                      soOptimalFill | soSyntaxHighlight | soSmartTab;

struct TModeOption {
  uint32_t Bit;
  const char* Name;
};
constexpr TModeOption ModeOptions[] = {
    {soAutoIndent, res::opt::AutoIndent},         {soTabCharacter, res::opt::TabCharacter},
    {soBackspaceUnindents, res::opt::BackspaceUnindents}, {soKeepTrailingBlanks, res::opt::KeepTrailingBlanks},
    {soOptimalFill, res::opt::OptimalFill},       {soSyntaxHighlight, res::opt::UseSyntaxHighlight},
    {soSmartTab, res::opt::SmartTab},
};

const TBuiltInSourceOptions* FindBuiltIn(std::string_view ID) {
  for (const auto& B : BuiltInSourceOptions())
    if (SameText(B.ID, ID)) return &B;
  return nullptr;
}

// An entry of an extension list with its blanks and tabs taken out.
std::string CleanEntry(std::string_view Entry) {
  std::string R;
  for (char C : Entry)
    if (C != ' ' && C != '\t') R += C;
  return R;
}

}  // namespace

const std::vector<TBuiltInSourceOptions>& BuiltInSourceOptions() {
  static const std::vector<TBuiltInSourceOptions> Table = {
      {DefaultSourceOptionsID, "", "8", 8, "Tarvos.Highlighter.None", 0x10000092, &GeneralPairs},
      {PascalSourceOptionsID, "pas;vpr;vpk;inc;vfm;xfm;cfx;lfm;nfm;vpkw;pp;lpr", "2", 2, "Tarvos.Highlighter.Pascal",
       0x10002092, &PascalPairs},
      {"Tarvos.EditOptions.C", "cpp;c;cc;hpp;h;hh;cxx;hxx;tpkw;i;&extracppfilemask.txt", "4", 4,
       "Tarvos.Highlighter.Cpp", 0x10002056, &CPairs},
      {"Tarvos.EditOptions.ObjectiveC++", "mm", "4", 4, "Tarvos.Highlighter.Cpp", 0x10002056, &CPairs},
      {"Tarvos.EditOptions.C#", "cs", "4", 4, "Tarvos.Highlighter.C#", 0x10002092, &CPairs},
      {"Tarvos.EditOptions.HTML", "html;htm;asp;aspx;ascx;master;skin", "4", 4, "Tarvos.Highlighter.HTML", 0x10002092,
       &CPairs},
      {"Tarvos.EditOptions.XML",
       "xml;xsl;xslt;xsd;xdb;wml;manifest;resx;config;wsdl;disco;map;sitemap;nxstemplatelib;proj;vproj;csproj;"
       "targets;settings;config",
       "4", 4, "Tarvos.Highlighter.HTML", 0x10002092, &CPairs},
      {"Tarvos.EditOptions.SQL", "sql", "2", 2, "Tarvos.Highlighter.SQL", 0x10002092, &CPairs},
      {"Tarvos.EditOptions.IDL", "idl;ridl", "2", 2, "Tarvos.Highlighter.IDL", 0x10002016, &CPairs},
      {"Tarvos.EditOptions.VisualBasic", "vb;vbs", "4", 4, "Tarvos.Highlighter.VisualBasic", 0x10002092,
       &GeneralPairs},
      {"Tarvos.EditOptions.JavaScript", "js", "4", 4, "Tarvos.Highlighter.JavaScript", 0x10002092, &GeneralPairs},
      {"Tarvos.EditOptions.StyleSheet", "css", "4", 4, "Tarvos.Highlighter.StyleSheet", 0x10002092, &GeneralPairs},
      {"Tarvos.EditOptions.INI", "ini", "4", 4, "Tarvos.Highlighter.INI", 0x10002092, &GeneralPairs},
      {"Tarvos.EditOptions.PHP", "php", "4", 4, "Tarvos.Highlighter.PHP", 0x10002092, &GeneralPairs},
  };
  return Table;
}

std::string PairToString(const TSourcePairDesc& P) {
  std::string Start(1, P.StartFirst), End(1, P.EndFirst);
  if (P.TwoChars) {
    Start += P.StartSecond;
    End += P.EndSecond;
  }
  return Format(res::SPairFormat, static_cast<int>(P.Nestable), P.ImpliedDir ? 1 : 0, P.TwoChars ? 1 : 0, Start, End);
}

// The characters are read by position, so that a pair of commas survives.
std::optional<TSourcePairDesc> PairFromString(std::string_view Text) {
  std::vector<std::string> Head;
  size_t Pos = 0;
  for (int I = 0; I < 3; ++I) {
    size_t Comma = Text.find(',', Pos);
    if (Comma == std::string_view::npos) return std::nullopt;
    Head.emplace_back(Trim(Text.substr(Pos, Comma - Pos)));
    Pos = Comma + 1;
  }
  auto Nest = TryStrToInt(Head[0]), Implied = TryStrToInt(Head[1]), Two = TryStrToInt(Head[2]);
  if (!Nest || !Implied || !Two || *Nest < 0 || *Nest > 255) return std::nullopt;
  std::string_view Rest = Text.substr(Pos);
  size_t Width = *Two ? 2 : 1;
  if (Rest.size() != 2 * Width + 1 || Rest[Width] != ',') return std::nullopt;
  TSourcePairDesc P{};
  P.Nestable = static_cast<uint8_t>(*Nest);
  P.ImpliedDir = *Implied != 0;
  P.TwoChars = *Two != 0;
  P.StartFirst = Rest[0];
  P.EndFirst = Rest[Width + 1];
  if (P.TwoChars) {
    P.StartSecond = Rest[1];
    P.EndSecond = Rest[Width + 2];
  }
  return P;
}

// ---- "&" lists of regular expressions ----

struct TFileTypeLists::TList {
  std::vector<std::unique_ptr<TTextPattern>> Expressions;
};

TFileTypeLists::TFileTypeLists() : FDirs(DefaultFileTypeListDirectories()) {}
TFileTypeLists::~TFileTypeLists() = default;

void TFileTypeLists::SetDirectories(std::vector<std::string> Dirs) {
  FDirs = std::move(Dirs);
  Clear();
}

void TFileTypeLists::Clear() { FCache.clear(); }

std::vector<std::string> DefaultFileTypeListDirectories() {
  return {DataDir() + "/filetypes", TSettingsStore::DefaultDirectory()};
}

const TFileTypeLists::TList& TFileTypeLists::Get(const std::string& ListFile) {
  auto It = FCache.find(ListFile);
  if (It != FCache.end()) return *It->second;
  auto L = std::make_unique<TList>();
  for (const auto& Dir : FDirs) {
    std::string Name = IncludeTrailingPathDelimiter(Dir) + ListFile;
    std::string Text;
    try {
      if (!FileSystem().FileExists(Name)) continue;
      Text = FileSystem().ReadFile(Name);
    } catch (const EInOutError&) {
      continue;
    }
    for (const auto& Raw : Split(Text, '\n')) {
      std::string Line = Trim(Raw);
      if (Line.empty() || Line[0] == '#') continue;
      // A line that is not an expression claims nothing.
      auto P = std::make_unique<TTextPattern>(Line);
      if (P->Valid()) L->Expressions.push_back(std::move(P));
    }
    break;
  }
  return *FCache.emplace(ListFile, std::move(L)).first->second;
}

bool TFileTypeLists::Matches(const std::string& ListFile, std::string_view FileName) {
  if (ListFile.empty() || ListFile.find('/') != std::string::npos || ListFile.find("..") != std::string::npos)
    return false;
  std::string Name = ExtractFileName(FileName);
  for (const auto& E : Get(ListFile).Expressions)
    if (E->Search(Name)) return true;
  return false;
}

// Extensions compare in full: "pas" claims "u.pas" but not "u.pas2" nor "u.xpas".
static bool MatchEntry(const std::string& Entry, std::string_view FileName, const std::string& Ext,
                       TFileTypeLists& Lists, bool* UsedName) {
  if (Entry.empty()) return false;
  if (Entry[0] == '&') {
    if (UsedName) *UsedName = true;
    return Lists.Matches(Entry.substr(1), FileName);
  }
  if (Ext.empty()) return SameText(Entry, ExtractFileName(FileName));
  return SameText("." + Entry, Ext);
}

static bool MatchList(std::string_view List, std::string_view FileName, TFileTypeLists& Lists, bool* UsedName) {
  std::string Ext = ExtractFileExt(FileName);
  for (const auto& Raw : Split(List, ';'))
    if (MatchEntry(CleanEntry(Raw), FileName, Ext, Lists, UsedName)) return true;
  return false;
}

bool MatchesExtensionList(std::string_view List, std::string_view FileName, TFileTypeLists& Lists) {
  return MatchList(List, FileName, Lists, nullptr);
}

// ---- the groups ----

// Pascal groups saved before ".pp" and ".lpr" were defaults list the old defaults exactly; they
// gain the two (other lists are the user's own and stay as they are).
void TSourceOptionGroups::UpgradeExtensions(int Index) {
  static constexpr const char* OldPascalExtensions = "pas;vpr;vpk;inc;vfm;xfm;cfx;lfm;nfm;vpkw";
  if (FSet.SubKeys()[Index] != PascalSourceOptionsID) return;
  if (FSet.GetStrAt(Index, res::opt::FileExtensions) != OldPascalExtensions) return;
  const TBuiltInSourceOptions* B = FindBuiltIn(PascalSourceOptionsID);
  FSet.AssignAt(Index, res::opt::FileExtensions, std::string(B->Extensions));
}

TSourceOptionGroups::TSourceOptionGroups(TOptionSet& Set, TSettingsStore& Store) : FSet(Set), FStore(Store) {
  assert(Set.HasSubKeys() && "source options are stored per group");
}

TSourceOptionGroups::~TSourceOptionGroups() = default;

int TSourceOptionGroups::Count() const { return static_cast<int>(FSet.SubKeys().size()); }
int TSourceOptionGroups::IndexOf(std::string_view ID) const { return FSet.IndexOfSubKey(ID); }
int TSourceOptionGroups::Current() const { return Count() == 0 ? -1 : FSet.KeyIndex(); }

void TSourceOptionGroups::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) throw Exception(Format(res::SSourceOptionIndex, Index));
}

void TSourceOptionGroups::ResetPairTables() { FPairs.assign(Count(), {}); }

void TSourceOptionGroups::LoadEditorSourceOptions() {
  auto ReadNames = [this] {
    FSet.ClearSubKeys();
    FPairs.clear();
    FDeleted.clear();
    FBuiltInsUnsaved = false;
    InvalidateChoice();
    for (const auto& ID : FStore.ReadSubKeys(res::KeySourceOptions)) FSet.AddSubKey(ID);
    ResetPairTables();
  };
  ReadNames();
  if (Count() == 0 && WriteBuiltIns) {
    // Another process may write its groups (changed, perhaps) as this one finds none: the
    // built-in ones are written only where the file under its lock holds none either.
    bool Made = false;
    FStore.Locked([&] {
      ReadNames();
      if (Count() > 0) return;
      LoadDefaultEditorSourceOptions();
      Made = true;
    });
    if (Made) return;
  }
  if (Count() == 0) {
    LoadDefaultEditorSourceOptions();
    return;
  }
  for (int I = 0; I < Count(); ++I) {
    FSet.LoadSlot(FStore, I);
    UpgradeExtensions(I);
    LoadPairTable(I);
    if (FindBuiltIn(FSet.SubKeys()[I])) FSet.AssignAt(I, res::opt::SourceOptionName, FSet.SubKeys()[I]);
  }
  FSet.SetKeyIndex(0);
}

void TSourceOptionGroups::LoadDefaultEditorSourceOptions() {
  FSet.ClearSubKeys();
  FPairs.clear();
  InvalidateChoice();
  TSettingsUpdate Batch(FStore);
  for (const auto& B : BuiltInSourceOptions()) {
    int I = FSet.AddSubKey(B.ID);
    FPairs.push_back(*B.Pairs);
    FSet.AssignAt(I, res::opt::SourceOptInternalID, std::string(B.ID));
    FSet.AssignAt(I, res::opt::SourceOptionName, std::string(B.ID));
    FSet.AssignAt(I, res::opt::FileExtensions, std::string(B.Extensions));
    FSet.AssignAt(I, res::opt::TabStops, std::string(B.TabStops));
    FSet.AssignAt(I, res::opt::BlockIndent, static_cast<int64_t>(B.BlockIndent));
    FSet.AssignAt(I, res::opt::SyntaxHighlighterID, std::string(B.Highlighter));
    for (const auto& M : ModeOptions) FSet.AssignAt(I, M.Name, (B.EdModes & M.Bit) != 0);
    if (!WriteBuiltIns) continue;
    FSet.SaveSlot(FStore, I);
    SavePairTable(I);
  }
  FBuiltInsUnsaved = !WriteBuiltIns;
  FSet.SetKeyIndex(0);
}

static std::string PairTableKey(const TOptionSet& Set, int Index) {
  return Set.SlotKeyPath(Index) + "\\" + res::SPairTableKey;
}

void TSourceOptionGroups::LoadPairTable(int Index) {
  CheckIndex(Index);
  std::string Key = PairTableKey(FSet, Index);
  std::vector<TSourcePairDesc> Pairs;
  if (FStore.SectionExists(Key)) {
    for (const auto& Name : FStore.ReadValueNames(Key))
      if (auto P = PairFromString(FStore.ReadString(Key, Name))) Pairs.push_back(*P);
  } else if (const TBuiltInSourceOptions* B = FindBuiltIn(FSet.SubKeys()[Index])) {
    Pairs = *B->Pairs;
  }
  FPairs[Index] = std::move(Pairs);
}

void TSourceOptionGroups::SavePairTable(int Index) {
  CheckIndex(Index);
  std::string Key = PairTableKey(FSet, Index);
  TSettingsUpdate Batch(FStore);
  FStore.EraseSection(Key);
  for (size_t I = 0; I < FPairs[Index].size(); ++I)
    FStore.WriteString(Key, Format(res::SPairValue, I + 1), PairToString(FPairs[Index][I]));
}

void TSourceOptionGroups::Save() {
  TSettingsUpdate Batch(FStore);
  for (const auto& ID : FDeleted)
    if (IndexOf(ID) < 0) FStore.EraseSection(std::string(res::KeySourceOptions) + "\\" + ID);
  FDeleted.clear();
  for (int I = 0; I < Count(); ++I) {
    FSet.SaveSlot(FStore, I);
    SavePairTable(I);
  }
  FBuiltInsUnsaved = false;
}

TEditorSourceOptions TSourceOptionGroups::Group(int Index) const {
  CheckIndex(Index);
  TEditorSourceOptions G;
  G.IDString = FSet.SubKeys()[Index];
  G.DisplayName = FSet.GetStrAt(Index, res::opt::SourceOptionName);
  if (G.DisplayName.empty()) G.DisplayName = G.IDString;
  G.Extensions = FSet.GetStrAt(Index, res::opt::FileExtensions);
  G.TabRack = FSet.GetStrAt(Index, res::opt::TabStops);
  G.BlockIndent = static_cast<int>(FSet.GetIntAt(Index, res::opt::BlockIndent));
  G.SyntaxLangID = FSet.GetStrAt(Index, res::opt::SyntaxHighlighterID);
  // The word keeps the bits that no option stands for; the option bits follow the options.
  const TBuiltInSourceOptions* B = FindBuiltIn(G.IDString);
  uint32_t Modes = (B ? B->EdModes : BuiltInSourceOptions()[0].EdModes) & ~SourceOptionBits;
  for (const auto& M : ModeOptions)
    if (FSet.GetBoolAt(Index, M.Name)) Modes |= M.Bit;
  G.EdModes = Modes;
  G.PairTable = FPairs[Index];
  return G;
}

std::string TSourceOptionGroups::GetExtensionsForTypeID(std::string_view ID) const {
  int I = IndexOf(ID);
  return I < 0 ? std::string() : FSet.GetStrAt(I, res::opt::FileExtensions);
}

int TSourceOptionGroups::AddEditorSourceOption(const std::string& ID) {
  if (Trim(ID).empty() || ID.find('\\') != std::string::npos || IndexOf(ID) >= 0)
    throw Exception(Format(res::SSourceOptionExists, ID));
  int I = FSet.AddSubKey(ID);
  FPairs.push_back(*BuiltInSourceOptions()[0].Pairs);
  FSet.AssignAt(I, res::opt::SourceOptInternalID, ID);
  FSet.AssignAt(I, res::opt::SourceOptionName, ID);
  std::erase_if(FDeleted, [&](const std::string& D) { return SameText(D, ID); });
  FSet.SetModified(true);
  InvalidateChoice();
  return I;
}

void TSourceOptionGroups::DeleteEditorSourceOption(int Index) {
  CheckIndex(Index);
  const std::string& ID = FSet.SubKeys()[Index];
  if (SameText(ID, DefaultSourceOptionsID) || SameText(FSet.GetStrAt(Index, res::opt::SourceOptionName), "Default"))
    throw Exception(res::SCannotDeleteDefaultSourceOption);
  FDeleted.push_back(ID);
  FPairs.erase(FPairs.begin() + Index);
  FSet.DeleteSubKey(Index);
  FSet.SetModified(true);
  InvalidateChoice();
}

void TSourceOptionGroups::SetPairTable(int Index, std::vector<TSourcePairDesc> Pairs) {
  CheckIndex(Index);
  FPairs[Index] = std::move(Pairs);
  FSet.SetModified(true);
}

int TSourceOptionGroups::MoveToOptionsForFileType(std::string_view FileName) {
  if (Count() == 0) return -1;
  std::string Ext = ExtractFileExt(FileName);
  std::string Name = ExtractFileName(FileName);
  if (FLastKey && FLastKey->Group < Count()) {
    bool Same = FLastKey->ByName ? SameFileName(FLastKey->Key, Name) : (!Ext.empty() && SameText(FLastKey->Key, Ext));
    if (Same) {
      FSet.SetKeyIndex(FLastKey->Group);
      return FLastKey->Group;
    }
  }
  int Chosen = -1, FirstEmpty = -1;
  bool UsedName = Ext.empty();
  for (int I = 0; I < Count() && Chosen < 0; ++I) {
    std::string List = FSet.GetStrAt(I, res::opt::FileExtensions);
    if (Trim(List).empty()) {
      if (FirstEmpty < 0) FirstEmpty = I;
      continue;
    }
    if (MatchList(List, FileName, FLists, &UsedName)) Chosen = I;
  }
  if (Chosen < 0) Chosen = FirstEmpty >= 0 ? FirstEmpty : 0;
  FSet.SetKeyIndex(Chosen);
  // A choice that looked at the whole name holds for that name only.
  FLastKey = TChoice{UsedName ? Name : Ext, UsedName, Chosen};
  if (OnApplyCodeInsight && !SameText(Name, res::SHighlightSampleFile)) OnApplyCodeInsight(Group(Chosen));
  return Chosen;
}

std::optional<TTabStops> TSourceOptionGroups::GetTabRack() const {
  if (Count() == 0) return ParseTabStops("8");
  return ParseTabStops(FSet.GetStrAt(Current(), res::opt::TabStops));
}

void TSourceOptionGroups::ValidateExtensions(int Index, std::string_view List) const {
  if (Trim(List).empty()) return;
  std::vector<std::string> Entries;
  for (const auto& Raw : Split(List, ';')) {
    std::string E = CleanEntry(Raw);
    if (E.empty()) throw Exception(res::SEmptyExtension);
    Entries.push_back(E);
  }
  for (int Other = 0; Other < Count(); ++Other) {
    if (Other == Index) continue;
    for (const auto& Raw : Split(FSet.GetStrAt(Other, res::opt::FileExtensions), ';')) {
      std::string Theirs = CleanEntry(Raw);
      for (const auto& E : Entries)
        if (!Theirs.empty() && SameText(E, Theirs)) throw Exception(Format(res::SAmbiguousExtension, E, Group(Other).DisplayName));
    }
  }
}

}  // namespace nxs
