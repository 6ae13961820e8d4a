#include "shared/filenames.h"

#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "shared/text.h"

namespace nxs {

static char FoldForName(char C) { return C == '\\' ? '/' : C; }

size_t FileNameHash(std::string_view Name) {
  if (Name.find('\\') == std::string_view::npos) return std::hash<std::string_view>{}(Name);
  std::string Folded(Name);
  for (char& C : Folded) C = FoldForName(C);
  return std::hash<std::string>{}(Folded);
}

bool SameFileName(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  return A == B || CompareFileNames(A, B) == 0;
}

int CompareFileNames(std::string_view A, std::string_view B) {
  size_t N = A.size() < B.size() ? A.size() : B.size();
  for (size_t I = 0; I < N; ++I) {
    unsigned char X = static_cast<unsigned char>(FoldForName(A[I]));
    unsigned char Y = static_cast<unsigned char>(FoldForName(B[I]));
    if (X != Y) return X < Y ? -1 : 1;
  }
  if (A.size() == B.size()) return 0;
  return A.size() < B.size() ? -1 : 1;
}

static size_t LastDelimiter(std::string_view Name) {
  for (size_t I = Name.size(); I > 0; --I)
    if (IsPathDelimiter(Name[I - 1])) return I - 1;
  return std::string_view::npos;
}

std::string ExtractFileName(std::string_view Name) {
  size_t P = LastDelimiter(Name);
  return std::string(P == std::string_view::npos ? Name : Name.substr(P + 1));
}

std::string ExtractFilePath(std::string_view Name) {
  size_t P = LastDelimiter(Name);
  return P == std::string_view::npos ? std::string() : std::string(Name.substr(0, P + 1));
}

std::string ExtractFileDir(std::string_view Name) {
  size_t P = LastDelimiter(Name);
  if (P == std::string_view::npos) return {};
  if (P == 0) return std::string(Name.substr(0, 1));
  return std::string(Name.substr(0, P));
}

std::string ExtractFileExt(std::string_view Name) {
  std::string Base = ExtractFileName(Name);
  size_t Dot = Base.rfind('.');
  if (Dot == std::string::npos) return {};
  return Base.substr(Dot);
}

std::string ChangeFileExt(std::string_view Name, std::string_view Ext) {
  size_t Slash = LastDelimiter(Name);
  size_t Dot = Name.rfind('.');
  if (Dot == std::string_view::npos || (Slash != std::string_view::npos && Dot < Slash))
    return std::string(Name) + std::string(Ext);
  return std::string(Name.substr(0, Dot)) + std::string(Ext);
}

std::string IncludeTrailingPathDelimiter(std::string_view Dir) {
  if (!Dir.empty() && IsPathDelimiter(Dir.back())) return std::string(Dir);
  return std::string(Dir) + "/";
}

std::string ExcludeTrailingPathDelimiter(std::string_view Dir) {
  if (Dir.size() > 1 && IsPathDelimiter(Dir.back())) return std::string(Dir.substr(0, Dir.size() - 1));
  return std::string(Dir);
}

bool IsAbsolutePath(std::string_view Name) { return !Name.empty() && IsPathDelimiter(Name[0]); }

std::string ToDiskPath(std::string_view Name) {
  std::string R(Name);
  for (char& C : R)
    if (C == '\\') C = '/';
  return R;
}

std::string ToProjectPath(std::string_view Name) {
  std::string R(Name);
  for (char& C : R)
    if (C == '/') C = '\\';
  return R;
}

static std::string CurrentDir() {
  std::string Buf(4096, '\0');
  if (!getcwd(Buf.data(), Buf.size())) return "/";
  Buf.resize(std::char_traits<char>::length(Buf.c_str()));
  return Buf;
}

std::string ExpandFileName(std::string_view Name, std::string_view Dir) {
  std::string Full;
  if (IsAbsolutePath(Name)) {
    Full = ToDiskPath(Name);
  } else {
    std::string Base = Dir.empty() ? CurrentDir() : ExpandFileName(Dir, {});
    Full = IncludeTrailingPathDelimiter(Base) + ToDiskPath(Name);
  }
  std::vector<std::string> Parts;
  for (auto& P : Split(Full, '/')) {
    if (P.empty() || P == ".") continue;
    if (P == "..") {
      if (!Parts.empty()) Parts.pop_back();
      continue;
    }
    Parts.push_back(std::move(P));
  }
  std::string R;
  for (auto& P : Parts) R += "/" + P;
  if (R.empty()) R = "/";
  if (!Name.empty() && IsPathDelimiter(Name.back()) && R != "/") R += "/";
  return R;
}

std::string ExtractRelativePath(std::string_view BaseDir, std::string_view Name) {
  if (!IsAbsolutePath(Name) || !IsAbsolutePath(BaseDir)) return ToDiskPath(Name);
  std::vector<std::string> B, N;
  for (auto& P : Split(ExpandFileName(BaseDir), '/'))
    if (!P.empty()) B.push_back(P);
  for (auto& P : Split(ExpandFileName(Name), '/'))
    if (!P.empty()) N.push_back(P);
  size_t Common = 0;
  while (Common < B.size() && Common + 1 < N.size() && SameFileName(B[Common], N[Common])) ++Common;
  if (Common == 0) return ToDiskPath(Name);
  std::string R;
  for (size_t I = Common; I < B.size(); ++I) R += "../";
  for (size_t I = Common; I < N.size(); ++I) {
    R += N[I];
    if (I + 1 < N.size()) R += "/";
  }
  return R;
}

}  // namespace nxs
