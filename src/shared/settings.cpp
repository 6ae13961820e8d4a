#include "shared/settings.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <unordered_map>

#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "shared/filelock.h"
#include "shared/filenames.h"
#include "shared/fileprobes.h"
#include "shared/format.h"
#include "shared/resstrings.h"
#include "shared/text.h"
#include "shared/unquote.h"

namespace nxs {

namespace {

struct TValue {
  TSettingsStore::TValueType Type = TSettingsStore::TValueType::String;
  std::string Str;
  int64_t Int = 0;
  bool Bool = false;
};

struct TSection {
  std::string Name;
  std::vector<std::pair<std::string, TValue>> Values;
  std::unordered_map<std::string, size_t, CaseInsensitiveHash, CaseInsensitiveEqual> Index;

  TValue* Find(std::string_view ValueName) {
    auto It = Index.find(std::string(ValueName));
    return It == Index.end() ? nullptr : &Values[It->second].second;
  }
  void Set(std::string_view ValueName, const TValue& V) {
    if (TValue* Old = Find(ValueName)) {
      *Old = V;
      return;
    }
    Index.emplace(std::string(ValueName), Values.size());
    Values.emplace_back(std::string(ValueName), V);
  }
  void Erase(std::string_view ValueName) {
    auto It = Index.find(std::string(ValueName));
    if (It == Index.end()) return;
    Values.erase(Values.begin() + static_cast<ptrdiff_t>(It->second));
    Index.clear();
    for (size_t I = 0; I < Values.size(); ++I) Index.emplace(Values[I].first, I);
  }
};

// The whole file in memory, in file order.
struct TContents {
  std::vector<TSection> Sections;

  TSection* Find(std::string_view Name) {
    for (auto& S : Sections)
      if (SameText(S.Name, Name)) return &S;
    return nullptr;
  }
  TSection& FindOrAdd(std::string_view Name) {
    if (TSection* S = Find(Name)) return *S;
    Sections.push_back(TSection{std::string(Name), {}, {}});
    return Sections.back();
  }
  static bool IsBelow(std::string_view Name, std::string_view Key) {
    return Name.size() > Key.size() && Name[Key.size()] == '\\' && StartsText(Key, Name);
  }
  void EraseTree(std::string_view Key) {
    std::erase_if(Sections, [&](const TSection& S) { return SameText(S.Name, Key) || IsBelow(S.Name, Key); });
  }
};

struct TOp {
  enum Kind { Write, Delete, Erase } K;
  std::string Section, Name;
  TValue Value;
};

void ApplyOp(TContents& C, const TOp& Op) {
  switch (Op.K) {
    case TOp::Write:
      C.FindOrAdd(Op.Section).Set(Op.Name, Op.Value);
      break;
    case TOp::Delete:
      if (TSection* S = C.Find(Op.Section)) S->Erase(Op.Name);
      break;
    case TOp::Erase:
      C.EraseTree(Op.Section);
      break;
  }
}

// Quoting: names that could be misread, and every string value, are written in double
// quotes with C-style escapes for the backslash, the quote and control characters.
std::string Quote(std::string_view S) { return CQuoted(S); }

bool NameNeedsQuotes(std::string_view N) {
  if (N.empty()) return true;
  if (N.front() == ' ' || N.back() == ' ' || N.front() == ';' || N.front() == '[' || N.front() == '"') return true;
  for (char C : N)
    if (C == '=' || static_cast<unsigned char>(C) < 0x20) return true;
  return false;
}

std::string Serialize(const TContents& C) {
  std::string Out = "; NXS settings. Sections are key paths; values are \"text\", int:N or bool:True/False.\n";
  for (const auto& S : C.Sections) {
    if (S.Values.empty()) continue;
    Out += "\n[";
    Out += NameNeedsQuotes(S.Name) || S.Name.find(']') != std::string::npos ? Quote(S.Name) : S.Name;
    Out += "]\n";
    for (const auto& [Name, V] : S.Values) {
      Out += NameNeedsQuotes(Name) ? Quote(Name) : Name;
      Out += '=';
      switch (V.Type) {
        case TSettingsStore::TValueType::String: Out += Quote(V.Str); break;
        case TSettingsStore::TValueType::Integer: Out += "int:" + std::to_string(V.Int); break;
        case TSettingsStore::TValueType::Boolean: Out += V.Bool ? "bool:True" : "bool:False"; break;
      }
      Out += '\n';
    }
  }
  return Out;
}

bool ParseValue(std::string_view Text, TValue& V) {
  if (!Text.empty() && Text[0] == '"') {
    size_t I = 0;
    V.Type = TSettingsStore::TValueType::String;
    return ReadCQuoted(Text, I, V.Str) && I == Text.size();
  }
  if (Text.substr(0, 4) == "int:") {
    auto N = TryStrToInt(Text.substr(4));
    if (!N) return false;
    V.Type = TSettingsStore::TValueType::Integer;
    V.Int = *N;
    return true;
  }
  if (Text.substr(0, 5) == "bool:") {
    std::string_view B = Text.substr(5);
    V.Type = TSettingsStore::TValueType::Boolean;
    if (SameText(B, "True")) V.Bool = true;
    else if (SameText(B, "False")) V.Bool = false;
    else return false;
    return true;
  }
  return false;
}

// Parses the file; returns false when any line could not be read (those lines are skipped).
bool Parse(std::string_view Text, TContents& C) {
  bool Clean = true;
  TSection* Current = nullptr;
  size_t Pos = 0;
  if (Text.substr(0, 3) == "\xEF\xBB\xBF") Pos = 3;
  for (std::string_view Line; NextLine(Text, Pos, Line);) {
    std::string Trimmed = Trim(Line);
    if (Trimmed.empty() || Trimmed[0] == ';' || Trimmed[0] == '#') continue;
    if (Trimmed[0] == '[') {
      if (Trimmed.back() != ']') {
        Clean = false;
        Current = nullptr;
        continue;
      }
      std::string Inner = Trimmed.substr(1, Trimmed.size() - 2);
      std::string Name = Inner;
      if (!Inner.empty() && Inner[0] == '"') {
        size_t I = 0;
        if (!ReadCQuoted(Inner, I, Name) || I != Inner.size()) {
          Clean = false;
          Current = nullptr;
          continue;
        }
      }
      Current = &C.FindOrAdd(Name);
      continue;
    }
    std::string Name;
    size_t I = 0;
    if (Trimmed[0] == '"') {
      if (!ReadCQuoted(Trimmed, I, Name)) {
        Clean = false;
        continue;
      }
    } else {
      I = Trimmed.find('=');
      if (I == std::string::npos) {
        Clean = false;
        continue;
      }
      Name = TrimRight(Trimmed.substr(0, I));
    }
    while (I < Trimmed.size() && Trimmed[I] == ' ') ++I;
    TValue V;
    if (!Current || I >= Trimmed.size() || Trimmed[I] != '=' ||
        !ParseValue(TrimLeft(std::string_view(Trimmed).substr(I + 1)), V)) {
      Clean = false;
      continue;
    }
    Current->Set(Name, V);
  }
  return Clean;
}

struct TStamp {
  bool Exists = false;
  ino_t Inode = 0;
  off_t Size = 0;
  int64_t MTimeNs = 0;
  bool operator==(const TStamp&) const = default;
};

TStamp StampOf(const std::string& Name) {
  TStamp S;
  NoteFileProbe(Name);
  struct stat St;
  if (::stat(Name.c_str(), &St) != 0) return S;
  S.Exists = true;
  S.Inode = St.st_ino;
  S.Size = St.st_size;
  S.MTimeNs = static_cast<int64_t>(St.st_mtim.tv_sec) * 1000000000 + St.st_mtim.tv_nsec;
  return S;
}

}  // namespace

struct TSettingsStore::TImpl {
  TContents Saved;    // the file as last read or written
  TContents Current;  // Saved with the journal applied
  std::vector<TOp> Journal;
  TStamp Stamp;
  std::optional<std::string> DiskText;  // the file's text as last read, if it was
  bool Loaded = false;
  int UpdateCount = 0;
  int ReadHolds = 0;
  bool HeldFresh = false;  // a read under the holds has looked at the file
  std::string LastDamaged;    // content already reported as damaged
  std::string ReadError;      // why the file could not be read; empty when it could
  std::unique_ptr<TFileLock> FileLock;  // held while Locked runs
  std::function<void(const std::string&)> Reporter;
};

TSettingsStore::TSettingsStore(std::string FileName) : FFileName(std::move(FileName)), FImpl(std::make_unique<TImpl>()) {
  FImpl->Reporter = [](const std::string& Message) { std::fprintf(stderr, "nxs: %s\n", Message.c_str()); };
}

TSettingsStore::~TSettingsStore() {
  try {
    if (!FImpl->Journal.empty()) Flush();
  } catch (const Exception&) {
    // Nothing sensible can be done at shutdown; the changes were reported as pending.
  }
}

std::string TSettingsStore::DefaultDirectory() {
  if (const char* Dir = std::getenv("NXS_SETTINGS_DIR"); Dir && *Dir) return Dir;
  std::string Base;
  if (const char* Xdg = std::getenv("XDG_CONFIG_HOME"); Xdg && *Xdg) {
    Base = Xdg;
  } else {
    const char* Home = std::getenv("HOME");
    Base = std::string(Home && *Home ? Home : "/tmp") + "/.config";
  }
  return Base + "/Orvanti/NXS/20.0";
}

std::string TSettingsStore::DefaultFileName() { return DefaultDirectory() + "/settings.ini"; }

// Keeps a copy of a damaged file beside it, named after its content: every process that
// meets the same damage finds the copy made and makes no other, while different damage
// never overwrites an earlier copy. Returns the copy's name.
static std::string CopyAside(const std::string& FileName, const std::string& Text) {
  uint64_t Hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char C : Text) Hash = (Hash ^ C) * 1099511628211ull;
  char Suffix[32];
  std::snprintf(Suffix, sizeof Suffix, ".damaged-%016llx", static_cast<unsigned long long>(Hash));
  std::string Aside = FileName + Suffix;
  try {
    bool Copied = false;
    try {
      Copied = ReadWholeFile(Aside) == Text;
    } catch (const EInOutError&) {
    }
    if (!Copied) WriteFileAtomic(Aside, Text);
  } catch (const EInOutError&) {
    return "(not copied)";
  }
  return Aside;
}

// Reads the file again when it changed on disk since it was last seen, and replays the
// journal onto it. A file that cannot be read reads as empty, and ReadError keeps the
// reason so that no save replaces what could not be read.
static void Refresh(TSettingsStore::TImpl& I, const std::string& FileName) {
  TStamp Now = StampOf(FileName);
  if (I.Loaded && Now == I.Stamp) return;
  TContents Fresh;
  I.ReadError.clear();
  I.DiskText.reset();
  if (Now.Exists) {
    std::string Text;
    try {
      Text = ReadWholeFile(FileName);
      I.DiskText = Text;
    } catch (const EInOutError& E) {
      I.ReadError = E.Message();
    }
    if (I.ReadError.empty() && !Parse(Text, Fresh) && Text != I.LastDamaged) {
      I.LastDamaged = Text;
      I.Reporter(Format(res::SSettingsDamaged, FileName, CopyAside(FileName, Text)));
    }
  }
  I.Saved = std::move(Fresh);
  I.Current = I.Saved;
  for (const auto& Op : I.Journal) ApplyOp(I.Current, Op);
  I.Stamp = Now;
  I.Loaded = true;
}

// Refresh for a read: once while reads are held.
static void RefreshForRead(TSettingsStore::TImpl& I, const std::string& FileName) {
  if (I.ReadHolds > 0 && I.HeldFresh) return;
  Refresh(I, FileName);
  I.HeldFresh = I.ReadHolds > 0;
}

void TSettingsStore::HoldReads() {
  std::lock_guard G(FLock);
  ++FImpl->ReadHolds;
}

void TSettingsStore::ReleaseReads() {
  std::lock_guard G(FLock);
  if (FImpl->ReadHolds > 0 && --FImpl->ReadHolds == 0) FImpl->HeldFresh = false;
}

std::string TSettingsStore::ReadString(std::string_view Section, std::string_view Name, std::string_view Default) {
  std::lock_guard G(FLock);
  RefreshForRead(*FImpl, FFileName);
  TSection* S = FImpl->Current.Find(Section);
  TValue* V = S ? S->Find(Name) : nullptr;
  if (!V || V->Type != TValueType::String) return std::string(Default);
  return V->Str;
}

int64_t TSettingsStore::ReadInteger(std::string_view Section, std::string_view Name, int64_t Default) {
  std::lock_guard G(FLock);
  RefreshForRead(*FImpl, FFileName);
  TSection* S = FImpl->Current.Find(Section);
  TValue* V = S ? S->Find(Name) : nullptr;
  if (!V || V->Type != TValueType::Integer) return Default;
  return V->Int;
}

bool TSettingsStore::ReadBool(std::string_view Section, std::string_view Name, bool Default) {
  std::lock_guard G(FLock);
  RefreshForRead(*FImpl, FFileName);
  TSection* S = FImpl->Current.Find(Section);
  TValue* V = S ? S->Find(Name) : nullptr;
  if (!V || V->Type != TValueType::Boolean) return Default;
  return V->Bool;
}

bool TSettingsStore::ValueExists(std::string_view Section, std::string_view Name) {
  TValueType T;
  return GetValueType(Section, Name, T);
}

bool TSettingsStore::GetValueType(std::string_view Section, std::string_view Name, TValueType& Type) {
  std::lock_guard G(FLock);
  RefreshForRead(*FImpl, FFileName);
  TSection* S = FImpl->Current.Find(Section);
  TValue* V = S ? S->Find(Name) : nullptr;
  if (!V) return false;
  Type = V->Type;
  return true;
}

static void Record(TSettingsStore& Store, TSettingsStore::TImpl& I, const std::string& FileName, TOp Op) {
  Refresh(I, FileName);
  ApplyOp(I.Current, Op);
  I.Journal.push_back(std::move(Op));
  if (I.UpdateCount == 0) Store.Flush();
}

void TSettingsStore::WriteString(std::string_view Section, std::string_view Name, std::string_view Value) {
  std::lock_guard G(FLock);
  TValue V;
  V.Type = TValueType::String;
  V.Str = Value;
  Record(*this, *FImpl, FFileName, TOp{TOp::Write, std::string(Section), std::string(Name), V});
}

void TSettingsStore::WriteInteger(std::string_view Section, std::string_view Name, int64_t Value) {
  std::lock_guard G(FLock);
  TValue V;
  V.Type = TValueType::Integer;
  V.Int = Value;
  Record(*this, *FImpl, FFileName, TOp{TOp::Write, std::string(Section), std::string(Name), V});
}

void TSettingsStore::WriteBool(std::string_view Section, std::string_view Name, bool Value) {
  std::lock_guard G(FLock);
  TValue V;
  V.Type = TValueType::Boolean;
  V.Bool = Value;
  Record(*this, *FImpl, FFileName, TOp{TOp::Write, std::string(Section), std::string(Name), V});
}

void TSettingsStore::DeleteValue(std::string_view Section, std::string_view Name) {
  std::lock_guard G(FLock);
  Record(*this, *FImpl, FFileName, TOp{TOp::Delete, std::string(Section), std::string(Name), {}});
}

void TSettingsStore::EraseSection(std::string_view Section) {
  std::lock_guard G(FLock);
  Record(*this, *FImpl, FFileName, TOp{TOp::Erase, std::string(Section), {}, {}});
}

bool TSettingsStore::SectionExists(std::string_view Section) {
  std::lock_guard G(FLock);
  RefreshForRead(*FImpl, FFileName);
  for (const auto& S : FImpl->Current.Sections)
    if (!S.Values.empty() && (SameText(S.Name, Section) || TContents::IsBelow(S.Name, Section))) return true;
  return false;
}

std::vector<std::string> TSettingsStore::ReadSubKeys(std::string_view KeyPath) {
  std::lock_guard G(FLock);
  RefreshForRead(*FImpl, FFileName);
  std::vector<std::string> Keys;
  for (const auto& S : FImpl->Current.Sections) {
    if (S.Values.empty()) continue;
    std::string_view Rest;
    if (KeyPath.empty()) Rest = S.Name;
    else if (TContents::IsBelow(S.Name, KeyPath)) Rest = std::string_view(S.Name).substr(KeyPath.size() + 1);
    else continue;
    std::string Child(Rest.substr(0, Rest.find('\\')));
    bool Seen = false;
    for (const auto& K : Keys) Seen = Seen || SameText(K, Child);
    if (!Seen) Keys.push_back(Child);
  }
  return Keys;
}

std::vector<std::string> TSettingsStore::ReadValueNames(std::string_view Section) {
  std::lock_guard G(FLock);
  RefreshForRead(*FImpl, FFileName);
  std::vector<std::string> Names;
  if (TSection* S = FImpl->Current.Find(Section))
    for (const auto& V : S->Values) Names.push_back(V.first);
  return Names;
}

void TSettingsStore::BeginUpdate() {
  std::lock_guard G(FLock);
  ++FImpl->UpdateCount;
}

void TSettingsStore::EndUpdate() {
  std::lock_guard G(FLock);
  if (FImpl->UpdateCount > 0 && --FImpl->UpdateCount == 0 && !FImpl->Journal.empty()) Flush();
}

std::string TSettingsStore::ReadError() {
  std::lock_guard G(FLock);
  Refresh(*FImpl, FFileName);
  return FImpl->ReadError;
}

// Takes the file lock (unless Locked holds it already) and reads the file afresh.
static std::unique_ptr<TFileLock> LockAndRead(TSettingsStore::TImpl& I, const std::string& FFileName) {
  std::unique_ptr<TFileLock> Lock;
  if (!I.FileLock) {
    std::string Dir = ExtractFileDir(FFileName);
    try {
      TDiskFileSystem().ForceDirectories(Dir);
    } catch (const EInOutError& E) {
      throw Exception(E.Message());
    }
    try {
      Lock = std::make_unique<TFileLock>(FFileName + ".lock", TFileLock::TKind::LockFile);
    } catch (const EInOutError& E) {
      throw Exception(E.Message());
    }
  }
  // Another process may have saved since this one last read: work on its file.
  I.Loaded = false;
  Refresh(I, FFileName);
  if (!I.ReadError.empty()) throw Exception(Format(res::SSettingsUnreadable, FFileName, I.ReadError));
  return Lock;
}

void TSettingsStore::Locked(const std::function<void()>& Fn) {
  std::lock_guard G(FLock);
  if (FImpl->FileLock) {
    Fn();
    return;
  }
  size_t Before = FImpl->Journal.size();
  FImpl->FileLock = LockAndRead(*FImpl, FFileName);
  ++FImpl->UpdateCount;
  try {
    Fn();
  } catch (...) {
    // What Fn recorded before it failed goes; what was pending before stays.
    FImpl->Journal.resize(Before);
    FImpl->Loaded = false;
    --FImpl->UpdateCount;
    FImpl->FileLock.reset();
    Refresh(*FImpl, FFileName);
    throw;
  }
  --FImpl->UpdateCount;
  try {
    Flush();
  } catch (...) {
    FImpl->FileLock.reset();
    throw;
  }
  FImpl->FileLock.reset();
}

void TSettingsStore::Flush() {
  std::lock_guard G(FLock);
  if (FImpl->Journal.empty()) return;
  std::unique_ptr<TFileLock> Lock = LockAndRead(*FImpl, FFileName);
  std::string Text = Serialize(FImpl->Current);
  // Writing what the file holds already (a value set to what it was) would only cost a
  // write and a sync to the disk.
  if (FImpl->DiskText != Text) {
    try {
      WriteFileAtomic(FFileName, Text);
    } catch (const EInOutError& E) {
      throw Exception(E.Message());
    }
  }
  FImpl->Journal.clear();
  FImpl->Saved = FImpl->Current;
  FImpl->Stamp = StampOf(FFileName);
}

void TSettingsStore::SetDamageReporter(std::function<void(const std::string&)> Reporter) {
  std::lock_guard G(FLock);
  FImpl->Reporter = std::move(Reporter);
}

static std::unique_ptr<TSettingsStore>& ProcessStore() {
  static std::unique_ptr<TSettingsStore> Store;
  return Store;
}

TSettingsStore& SettingsStore() {
  auto& S = ProcessStore();
  if (!S) S = std::make_unique<TSettingsStore>(TSettingsStore::DefaultFileName());
  return *S;
}

void ResetSettingsStore() { ProcessStore().reset(); }

TSettingsUpdate::TSettingsUpdate(TSettingsStore& Store) : FStore(Store), FExceptions(std::uncaught_exceptions()) {
  FStore.BeginUpdate();
}

TSettingsUpdate::~TSettingsUpdate() noexcept(false) {
  if (std::uncaught_exceptions() > FExceptions) {
    try {
      FStore.EndUpdate();
    } catch (const Exception&) {
    }
    return;
  }
  FStore.EndUpdate();
}

}  // namespace nxs
