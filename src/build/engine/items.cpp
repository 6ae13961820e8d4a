#include "build/engine/items.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/fileprobes.h"
#include "shared/text.h"
#include "shared/wildcard.h"

namespace nxs::engine {

namespace {

const char* const WellKnown[] = {"FullPath",     "RootDir",      "Filename",   "Extension",
                                 "RelativeDir",  "Directory",    "RecursiveDir", "Identity",
                                 "ModifiedTime", "CreatedTime",  "AccessedTime"};

std::string Slashes(std::string_view S) {
  std::string R(S);
  std::replace(R.begin(), R.end(), '\\', '/');
  return R;
}

// The last path component: after the last separator of either kind.
std::string_view LastComponent(std::string_view S) {
  size_t P = S.find_last_of("/\\");
  return P == std::string_view::npos ? S : S.substr(P + 1);
}

// The last component's name and extension (with its dot).
std::pair<std::string_view, std::string_view> SplitExtension(std::string_view Spec) {
  std::string_view L = LastComponent(Spec);
  size_t Dot = L.rfind('.');
  if (Dot == std::string_view::npos) return {L, {}};
  return {L.substr(0, Dot), L.substr(Dot)};
}

std::string FileTimeText(const std::string& FullPath) {
  TFileInfo Info = FileSystem().Stat(FullPath);
  if (!Info.Exists) return {};
  time_t Secs = static_cast<time_t>(Info.ModifiedTimeNs / 1000000000);
  int64_t Ticks = (Info.ModifiedTimeNs % 1000000000) / 100;
  struct tm Tm;
  localtime_r(&Secs, &Tm);
  char Buf[64];
  snprintf(Buf, sizeof Buf, "%04d-%02d-%02d %02d:%02d:%02d.%07lld", Tm.tm_year + 1900, Tm.tm_mon + 1, Tm.tm_mday,
           Tm.tm_hour, Tm.tm_min, Tm.tm_sec, static_cast<long long>(Ticks));
  return Buf;
}

// One name of a path against one segment of a pattern: "*" and "?", case counting.
bool MatchSegment(std::string_view P, std::string_view S) { return MatchesWildcard(P, S); }

std::vector<std::string_view> Segments(std::string_view Path) {
  std::vector<std::string_view> R;
  size_t Start = 0;
  for (size_t I = 0; I <= Path.size(); ++I) {
    if (I == Path.size() || Path[I] == '/') {
      if (I > Start) R.push_back(Path.substr(Start, I - Start));
      Start = I + 1;
    }
  }
  return R;
}

bool MatchSegments(const std::vector<std::string_view>& P, size_t Pi, const std::vector<std::string_view>& S,
                   size_t Si) {
  while (Pi < P.size()) {
    if (P[Pi] == "**") {
      for (size_t K = Si; K <= S.size(); ++K)
        if (MatchSegments(P, Pi + 1, S, K)) return true;
      return false;
    }
    if (Si >= S.size() || !MatchSegment(P[Pi], S[Si])) return false;
    ++Pi;
    ++Si;
  }
  return Si == S.size();
}

struct TWalk {
  std::vector<std::string> Segs;
  size_t FirstWild = 0;
  std::vector<std::pair<std::string, std::string>> Found;  // spec, recursive dir
  int Depth = 0;
  // The real paths of the folders being walked, outermost first: a folder link that leads back
  // to one of them would make "**" walk for ever.
  std::vector<std::string> Chain;
};

bool IsWild(std::string_view S) { return HasWildcards(S); }

// The real path of a folder (links resolved); empty when it cannot be resolved.
std::string RealPathOf(const std::string& Dir) {
  std::error_code Ec;
  std::filesystem::path P = std::filesystem::canonical(Dir.empty() ? "/" : Dir, Ec);
  return Ec ? std::string() : P.string();
}

void Walk(TWalk& W, const std::string& Dir, const std::string& Real, const std::string& Rel, const std::string& Rec,
          size_t I);

// Walks into the folder Name of Dir (whose real path is Real). "**" does not walk into a folder
// that is being walked already (a link back to it); the other segments end by themselves.
void Enter(TWalk& W, const std::string& Dir, const std::string& Real, const std::string& Name, bool IsLink,
           bool Recursive, const std::string& Rel, const std::string& Rec, size_t I) {
  std::string SubReal = IsLink || Real.empty() ? RealPathOf(Dir + "/" + Name) : Real + "/" + Name;
  if (Recursive && (SubReal.empty() || std::find(W.Chain.begin(), W.Chain.end(), SubReal) != W.Chain.end())) return;
  W.Chain.push_back(SubReal);
  ++W.Depth;
  Walk(W, Dir + "/" + Name, SubReal, Rel, Rec, I);
  --W.Depth;
  W.Chain.pop_back();
}

// Dir: the directory on disk, Real its real path; Rel: the spec so far; Rec: the recursive
// part so far. Folders reached through links are walked like the others, "**" included.
void Walk(TWalk& W, const std::string& Dir, const std::string& Real, const std::string& Rel, const std::string& Rec,
          size_t I) {
  if (W.Depth > 100) return;  // a guard against chains of links that never loop
  // What a wildcard finds changes with the folder's entries, which change its time.
  NoteFileProbe(Dir.empty() ? "/" : Dir);
  const std::string& Seg = W.Segs[I];
  bool Last = I + 1 == W.Segs.size();
  std::error_code Ec;
  if (Seg == "**") {
    if (Last) {
      // "dir/**" means every file below dir.
      W.Segs.push_back("*");
      Walk(W, Dir, Real, Rel, Rec, I);
      W.Segs.pop_back();
      return;
    }
    Walk(W, Dir, Real, Rel, Rec, I + 1);
    std::vector<std::pair<std::string, bool>> Subdirs;  // name, reached through a link
    for (std::filesystem::directory_iterator It(Dir.empty() ? "/" : Dir, Ec), End; !Ec && It != End;
         It.increment(Ec)) {
      std::error_code E2;
      if (It->is_directory(E2)) Subdirs.emplace_back(It->path().filename().string(), It->is_symlink(E2));
    }
    std::sort(Subdirs.begin(), Subdirs.end());
    for (auto& [D, IsLink] : Subdirs) Enter(W, Dir, Real, D, IsLink, true, Rel + D + "/", Rec + D + "/", I);
    return;
  }
  if (!IsWild(Seg)) {
    std::string Path = Dir + "/" + Seg;
    NoteFileProbe(Path);
    if (Last) {
      if (std::filesystem::is_regular_file(Path, Ec)) W.Found.push_back({Rel + Seg, Rec});
      return;
    }
    // A literal folder may be "..", or a link: its real path is asked for.
    if (std::filesystem::is_directory(Path, Ec))
      Enter(W, Dir, Real, Seg, true, false, Rel + Seg + "/", I >= W.FirstWild ? Rec + Seg + "/" : Rec, I + 1);
    return;
  }
  for (std::filesystem::directory_iterator It(Dir.empty() ? "/" : Dir, Ec), End; !Ec && It != End; It.increment(Ec)) {
    std::string Name = It->path().filename().string();
    if (!MatchSegment(Seg, Name)) continue;
    std::error_code E2;
    if (Last) {
      if (It->is_regular_file(E2)) W.Found.push_back({Rel + Name, Rec});
    } else if (It->is_directory(E2)) {
      Enter(W, Dir, Real, Name, It->is_symlink(E2), false, Rel + Name + "/", Rec + Name + "/", I + 1);
    }
  }
}

}  // namespace

bool IsWellKnownMetadata(std::string_view Name) {
  for (const char* N : WellKnown)
    if (SameText(Name, N)) return true;
  return false;
}

std::string FullPathOf(std::string_view Spec, const std::string& BaseDir) {
  std::string Joined;
  if (!Spec.empty() && IsPathDelimiter(Spec[0])) {
    Joined = Slashes(Spec);
  } else {
    Joined.reserve(BaseDir.size() + Spec.size() + 1);
    Joined = BaseDir;
    Joined += '/';
    Joined += Slashes(Spec);
  }
  // Fold "." and ".." and doubled separators in place.
  std::string R;
  R.reserve(Joined.size());
  size_t I = 0;
  while (I < Joined.size()) {
    while (I < Joined.size() && Joined[I] == '/') ++I;
    size_t J = Joined.find('/', I);
    if (J == std::string::npos) J = Joined.size();
    std::string_view Seg(Joined.data() + I, J - I);
    if (Seg.empty() || Seg == ".") {
    } else if (Seg == "..") {
      size_t P = R.rfind('/');
      R.resize(P == std::string::npos ? 0 : P);
    } else {
      R += '/';
      R += Seg;
    }
    I = J;
  }
  if (R.empty()) R = "/";
  if (!Spec.empty() && IsPathDelimiter(Spec.back()) && R != "/") R += '/';
  return R;
}

bool GetItemMetadata(const TItem& Item, std::string_view Name, const std::string& BaseDir, std::string& Value) {
  if (const std::string* V = Item.Meta.Find(Name)) {
    Value = *V;
    return true;
  }
  if (Name.empty()) return false;
  switch (AsciiLower(Name[0])) {
    case 'i':
      if (SameText(Name, "Identity")) {
        Value = Item.Spec;
        return true;
      }
      break;
    case 'f':
      if (SameText(Name, "Filename")) {
        Value = std::string(SplitExtension(Item.Spec).first);
        return true;
      }
      if (SameText(Name, "FullPath")) {
        Value = MSBuildEscape(FullPathOf(MSBuildUnescape(Item.Spec), BaseDir));
        return true;
      }
      break;
    case 'e':
      if (SameText(Name, "Extension")) {
        Value = std::string(SplitExtension(Item.Spec).second);
        return true;
      }
      break;
    case 'r':
      if (SameText(Name, "RootDir")) {
        Value = "/";
        return true;
      }
      if (SameText(Name, "RelativeDir")) {
        size_t P = Item.Spec.find_last_of("/\\");
        Value = P == std::string::npos ? std::string() : Slashes(std::string_view(Item.Spec).substr(0, P + 1));
        return true;
      }
      if (SameText(Name, "RecursiveDir")) {
        Value.clear();
        return true;
      }
      break;
    case 'd':
      if (SameText(Name, "Directory")) {
        std::string Full = FullPathOf(MSBuildUnescape(Item.Spec), BaseDir);
        size_t P = Full.rfind('/');
        Value = MSBuildEscape(Full.substr(1, P == 0 ? 0 : P));
        return true;
      }
      break;
    case 'm':
    case 'c':
    case 'a':
      if (SameText(Name, "ModifiedTime") || SameText(Name, "CreatedTime") || SameText(Name, "AccessedTime")) {
        Value = FileTimeText(FullPathOf(MSBuildUnescape(Item.Spec), BaseDir));
        return true;
      }
      break;
  }
  return false;
}

bool HasWildcard(std::string_view Spec) { return IsWild(Spec); }

std::string DirectoryOf(const std::string& FullPath) {
  size_t Slash = FullPath.rfind('/');
  if (Slash == std::string::npos || Slash == 0) return "/";
  return FullPath.substr(0, Slash);
}

void ExpandWildcard(std::string_view Spec, const std::string& BaseDir, TItemList& Out) {
  std::string S = Slashes(Spec);
  TWalk W;
  bool Absolute = !S.empty() && S[0] == '/';
  for (auto Seg : Segments(S)) W.Segs.emplace_back(Seg);
  if (W.Segs.empty()) return;
  while (W.FirstWild < W.Segs.size() && !IsWild(W.Segs[W.FirstWild])) ++W.FirstWild;
  std::string Rel = Absolute ? "/" : "";
  std::string Dir = Absolute ? "" : BaseDir;
  // Leading "." and ".." of a relative spec stay in the spec as written.
  std::string Real = RealPathOf(Dir);
  W.Chain.push_back(Real);
  Walk(W, Dir, Real, Rel, "", 0);
  std::sort(W.Found.begin(), W.Found.end());
  W.Found.erase(std::unique(W.Found.begin(), W.Found.end()), W.Found.end());
  for (auto& [FoundSpec, Rec] : W.Found) {
    TItem It;
    It.Spec = MSBuildEscape(FoundSpec);
    if (!Rec.empty()) It.Meta.Set("RecursiveDir", MSBuildEscape(Rec));
    Out.push_back(std::move(It));
  }
}

bool MatchPathPattern(std::string_view Pattern, std::string_view Path) {
  return MatchSegments(Segments(Pattern), 0, Segments(Path), 0);
}

void TSpecMatcher::Add(std::string_view Spec) {
  std::string Full = FullPathOf(Spec, FBase);
  if (IsWild(Spec))
    FPatterns.push_back(std::move(Full));
  else
    FLiterals.push_back(std::move(Full));
}

bool TSpecMatcher::Matches(std::string_view Spec) const {
  std::string Full = FullPathOf(Spec, FBase);
  for (auto& L : FLiterals)
    if (L == Full) return true;
  for (auto& P : FPatterns)
    if (MatchPathPattern(P, Full)) return true;
  return false;
}

}  // namespace nxs::engine
