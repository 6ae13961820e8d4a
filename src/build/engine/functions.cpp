// Property functions: the static functions of the path, file, string and environment types
// that project files use most, the engine's own ([MSBuild]::...), and string methods. Any
// other name is an error that names it; a silent empty string would hide a typing mistake.
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "build/engine/expand.h"
#include "build/engine/items.h"
#include "build/engine/resstrings.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::engine {

namespace {

std::string Slashes(std::string S) {
  for (char& C : S)
    if (C == '\\') C = '/';
  return S;
}

bool IsRooted(std::string_view S) { return !S.empty() && IsPathDelimiter(S[0]); }

std::string FileNameOf(std::string_view S) {
  size_t P = S.find_last_of("/\\");
  return std::string(P == std::string_view::npos ? S : S.substr(P + 1));
}

std::string DirectoryNameOf(std::string_view S) {
  size_t P = S.find_last_of("/\\");
  if (P == std::string_view::npos) return {};
  if (P == 0) return S.size() == 1 ? std::string() : "/";
  return Slashes(std::string(S.substr(0, P)));
}

std::string ExtensionOf(std::string_view S) {
  std::string N = FileNameOf(S);
  size_t Dot = N.rfind('.');
  if (Dot == std::string::npos || Dot + 1 == N.size()) return {};
  return N.substr(Dot);
}

std::string WithoutExtension(std::string_view S) {
  std::string N = FileNameOf(S);
  size_t Dot = N.rfind('.');
  return Dot == std::string::npos ? N : N.substr(0, Dot);
}

std::string Combine(const std::vector<std::string>& Parts) {
  std::string R;
  for (const auto& P : Parts) {
    if (P.empty()) continue;
    if (IsRooted(P) || R.empty()) {
      R = P;
    } else {
      if (!IsPathDelimiter(R.back())) R += '/';
      R += P;
    }
  }
  return Slashes(R);
}

struct TNumber {
  bool Integral = true;
  int64_t Int = 0;
  double Real = 0;
};

bool ParseNumber(std::string_view S, TNumber& N) {
  while (!S.empty() && IsBlank(S.front())) S.remove_prefix(1);
  while (!S.empty() && IsBlank(S.back())) S.remove_suffix(1);
  if (S.empty()) return false;
  bool Neg = false;
  std::string_view T = S;
  if (T[0] == '-' || T[0] == '+') {
    Neg = T[0] == '-';
    T.remove_prefix(1);
  }
  if (T.size() > 2 && T[0] == '0' && (T[1] == 'x' || T[1] == 'X')) {
    uint64_t V = 0;
    auto R = std::from_chars(T.data() + 2, T.data() + T.size(), V, 16);
    if (R.ec != std::errc() || R.ptr != T.data() + T.size()) return false;
    N.Integral = true;
    N.Int = Neg ? -static_cast<int64_t>(V) : static_cast<int64_t>(V);
    N.Real = static_cast<double>(N.Int);
    return true;
  }
  int64_t V = 0;
  auto R = std::from_chars(T.data(), T.data() + T.size(), V, 10);
  if (R.ec == std::errc() && R.ptr == T.data() + T.size()) {
    N.Integral = true;
    N.Int = Neg ? -V : V;
    N.Real = static_cast<double>(N.Int);
    return true;
  }
  double D = 0;
  auto RD = std::from_chars(T.data(), T.data() + T.size(), D);
  if (RD.ec != std::errc() || RD.ptr != T.data() + T.size() || T.find_first_of("eEnN") != std::string_view::npos)
    return false;
  N.Integral = false;
  N.Real = Neg ? -D : D;
  return true;
}

std::string NumberText(double D) {
  char Buf[64];
  auto R = std::to_chars(Buf, Buf + sizeof Buf, D);
  return std::string(Buf, R.ptr);
}

struct TCall {
  std::string_view Name;  // for messages: "[Type]::Member" or "Method"
  const std::vector<std::string>& Args;
  bool Called;
  const TExpandContext& Ctx;

  [[noreturn]] void Unknown() const { Fail(Ctx.Where, Format(res::SUnknownFunction, Name)); }
  [[noreturn]] void Failed(const std::string& Why) const {
    Fail(Ctx.Where, Format(res::SFunctionFailed, Name, Why));
  }
  void Need(size_t Min, size_t Max) const {
    if (Args.size() < Min || Args.size() > Max)
      Fail(Ctx.Where, Format(res::SFunctionArgs, Name, static_cast<int>(Args.size())));
  }
  double Real(size_t I) const {
    TNumber N;
    if (!ParseNumber(Args[I], N)) Failed(Format("\"%s\" is not a number", Args[I]));
    return N.Real;
  }
  // The start and length arguments of Substring and Remove, checked against S.
  std::pair<size_t, size_t> Range(const std::string& S) const {
    Need(1, 2);
    int64_t Start = Int(0);
    int64_t Len = Args.size() > 1 ? Int(1) : static_cast<int64_t>(S.size()) - Start;
    if (Start < 0 || Len < 0 || Start + Len > static_cast<int64_t>(S.size()))
      Failed(Format("the range %d, %d lies outside the text of %d characters", Start, Len,
                    static_cast<int64_t>(S.size())));
    return {static_cast<size_t>(Start), static_cast<size_t>(Len)};
  }
  int64_t Int(size_t I) const {
    TNumber N;
    if (!ParseNumber(Args[I], N) || !N.Integral) Failed(Format("\"%s\" is not a whole number", Args[I]));
    return N.Int;
  }
};

std::string Arithmetic(const TCall& C, char Op) {
  C.Need(2, 2);
  TNumber A, B;
  if (!ParseNumber(C.Args[0], A)) C.Failed(Format("\"%s\" is not a number", C.Args[0]));
  if (!ParseNumber(C.Args[1], B)) C.Failed(Format("\"%s\" is not a number", C.Args[1]));
  if (A.Integral && B.Integral && Op != '/') {
    switch (Op) {
      case '+': return IntToStr(A.Int + B.Int);
      case '-': return IntToStr(A.Int - B.Int);
      case '*': return IntToStr(A.Int * B.Int);
      case '%':
        if (B.Int == 0) C.Failed("division by zero");
        return IntToStr(A.Int % B.Int);
    }
  }
  switch (Op) {
    case '+': return NumberText(A.Real + B.Real);
    case '-': return NumberText(A.Real - B.Real);
    case '*': return NumberText(A.Real * B.Real);
    case '/':
      if (B.Real == 0) C.Failed("division by zero");
      return NumberText(A.Real / B.Real);
    default:
      if (B.Real == 0) C.Failed("division by zero");
      return NumberText(std::fmod(A.Real, B.Real));
  }
}

std::string MakeRelative(const std::string& Base, const std::string& Path, const std::string& ProjectDir) {
  std::string B = FullPathOf(Base, ProjectDir), P = FullPathOf(Path, ProjectDir);
  bool Trailing = !Path.empty() && IsPathDelimiter(Path.back());
  auto Split = [](const std::string& S) {
    std::vector<std::string> R;
    for (auto& X : nxs::Split(S, '/'))
      if (!X.empty()) R.push_back(X);
    return R;
  };
  auto BS = Split(B), PS = Split(P);
  size_t Common = 0;
  while (Common < BS.size() && Common < PS.size() && BS[Common] == PS[Common]) ++Common;
  std::string R;
  for (size_t I = Common; I < BS.size(); ++I) R += "../";
  for (size_t I = Common; I < PS.size(); ++I) {
    R += PS[I];
    if (I + 1 < PS.size()) R += '/';
  }
  if (Trailing && !R.empty() && R.back() != '/') R += '/';
  return R;
}

std::string PathFunction(const TCall& C, std::string_view M) {
  const auto& A = C.Args;
  if (SameText(M, "DirectorySeparatorChar") || SameText(M, "AltDirectorySeparatorChar")) return "/";
  if (SameText(M, "PathSeparator")) return ":";
  if (SameText(M, "Combine")) {
    C.Need(1, 64);
    return Combine(A);
  }
  if (SameText(M, "GetFileName")) return C.Need(1, 1), FileNameOf(A[0]);
  if (SameText(M, "GetDirectoryName")) return C.Need(1, 1), DirectoryNameOf(A[0]);
  if (SameText(M, "GetExtension")) return C.Need(1, 1), ExtensionOf(A[0]);
  if (SameText(M, "GetFileNameWithoutExtension")) return C.Need(1, 1), WithoutExtension(A[0]);
  if (SameText(M, "HasExtension")) return C.Need(1, 1), BoolText(!ExtensionOf(A[0]).empty());
  if (SameText(M, "IsPathRooted")) return C.Need(1, 1), BoolText(IsRooted(A[0]));
  if (SameText(M, "GetFullPath")) return C.Need(1, 1), FullPathOf(A[0], C.Ctx.Project->Directory());
  if (SameText(M, "ChangeExtension")) {
    C.Need(2, 2);
    std::string S = Slashes(A[0]);
    std::string Ext = ExtensionOf(S);
    S.resize(S.size() - Ext.size());
    if (!A[1].empty()) S += A[1][0] == '.' ? A[1] : "." + A[1];
    return S;
  }
  C.Unknown();
}

std::string EngineFunction(const TCall& C, std::string_view M) {
  const auto& A = C.Args;
  const std::string& Dir = C.Ctx.Project->Directory();
  if (SameText(M, "Add")) return Arithmetic(C, '+');
  if (SameText(M, "Subtract")) return Arithmetic(C, '-');
  if (SameText(M, "Multiply")) return Arithmetic(C, '*');
  if (SameText(M, "Divide")) return Arithmetic(C, '/');
  if (SameText(M, "Modulo")) return Arithmetic(C, '%');
  if (SameText(M, "EnsureTrailingSlash")) {
    C.Need(1, 1);
    if (A[0].empty() || IsPathDelimiter(A[0].back())) return A[0];
    return A[0] + "/";
  }
  if (SameText(M, "MakeRelative")) return C.Need(2, 2), MakeRelative(A[0], A[1], Dir);
  if (SameText(M, "NormalizePath") || SameText(M, "NormalizeDirectory")) {
    C.Need(1, 64);
    std::string R = FullPathOf(Combine(A), Dir);
    if (SameText(M, "NormalizeDirectory") && R.back() != '/') R += '/';
    return R;
  }
  if (SameText(M, "ValueOrDefault")) return C.Need(2, 2), A[0].empty() ? A[1] : A[0];
  if (SameText(M, "Escape")) return C.Need(1, 1), MSBuildEscape(A[0]);
  if (SameText(M, "Unescape")) return C.Need(1, 1), MSBuildUnescape(A[0]);
  if (SameText(M, "IsOSPlatform") || SameText(M, "IsOsPlatform"))
    return C.Need(1, 1), BoolText(SameText(A[0], "Linux"));
  if (SameText(M, "IsOSUnixLike") || SameText(M, "IsOsUnixLike")) return C.Need(0, 0), BoolText(true);
  if (SameText(M, "GetDirectoryNameOfFileAbove")) {
    C.Need(2, 2);
    std::string D = FullPathOf(A[0], Dir);
    for (;;) {
      if (FileSystem().FileExists((D == "/" ? "" : D) + "/" + A[1])) return D;
      if (D == "/") return {};
      size_t P = D.rfind('/');
      D = P == 0 ? "/" : D.substr(0, P);
    }
  }
  C.Unknown();
}

const char* const StringMethods[] = {"Length", "ToLower", "ToLowerInvariant", "ToUpper", "ToUpperInvariant",
                                     "ToString", "Trim", "TrimStart", "TrimEnd", "Contains", "StartsWith",
                                     "EndsWith", "Equals", "Substring", "Remove", "IndexOf", "LastIndexOf",
                                     "Replace", "Split", "PadLeft", "PadRight", "Insert"};

}  // namespace

bool IsStringMethod(std::string_view Name) {
  for (const char* M : StringMethods)
    if (SameText(Name, M)) return true;
  return false;
}

std::string CallStaticFunction(std::string_view Type, std::string_view Name, const std::vector<std::string>& Args,
                               bool Called, const TExpandContext& Ctx) {
  std::string Full = Format("[%s]::%s", Type, Name);
  TCall C{Full, Args, Called, Ctx};
  if (SameText(Type, "System.IO.Path")) return PathFunction(C, Name);
  if (SameText(Type, "MSBuild")) return EngineFunction(C, Name);
  if (SameText(Type, "System.IO.File") && SameText(Name, "Exists"))
    return C.Need(1, 1), BoolText(FileSystem().FileExists(FullPathOf(Args[0], Ctx.Project->Directory())));
  if (SameText(Type, "System.IO.Directory") && SameText(Name, "Exists"))
    return C.Need(1, 1), BoolText(FileSystem().DirectoryExists(FullPathOf(Args[0], Ctx.Project->Directory())));
  if (SameText(Type, "System.String")) {
    if (SameText(Name, "IsNullOrEmpty")) return C.Need(1, 1), BoolText(Args[0].empty());
    if (SameText(Name, "IsNullOrWhiteSpace")) return C.Need(1, 1), BoolText(Trim(Args[0]).empty());
    if (SameText(Name, "Concat")) {
      std::string R;
      for (auto& A : Args) R += A;
      return R;
    }
    if (SameText(Name, "Copy")) return C.Need(1, 1), Args[0];
  }
  if (SameText(Type, "System.Environment")) {
    if (SameText(Name, "GetEnvironmentVariable")) {
      C.Need(1, 1);
      const char* V = getenv(Args[0].c_str());
      return V ? V : "";
    }
    if (SameText(Name, "NewLine")) return "\n";
  }
  C.Unknown();
}

std::string CallStringMethod(const std::string& S, std::string_view Name, const std::vector<std::string>& Args,
                             bool Called, const TExpandContext& Ctx) {
  TCall C{Name, Args, Called, Ctx};
  const auto& A = Args;
  if (SameText(Name, "Length")) return IntToStr(static_cast<int64_t>(S.size()));
  if (!Called) C.Unknown();
  if (SameText(Name, "ToLower") || SameText(Name, "ToLowerInvariant")) return C.Need(0, 0), LowerCase(S);
  if (SameText(Name, "ToUpper") || SameText(Name, "ToUpperInvariant")) return C.Need(0, 0), UpperCase(S);
  if (SameText(Name, "ToString")) return S;
  if (SameText(Name, "Trim") || SameText(Name, "TrimStart") || SameText(Name, "TrimEnd")) {
    C.Need(0, 1);
    std::string Chars = A.empty() ? std::string(" \t\r\n\v\f") : A[0];
    size_t B = 0, E = S.size();
    if (!SameText(Name, "TrimEnd"))
      while (B < E && Chars.find(S[B]) != std::string::npos) ++B;
    if (!SameText(Name, "TrimStart"))
      while (E > B && Chars.find(S[E - 1]) != std::string::npos) --E;
    return S.substr(B, E - B);
  }
  if (SameText(Name, "Contains")) return C.Need(1, 1), BoolText(S.find(A[0]) != std::string::npos);
  if (SameText(Name, "StartsWith")) return C.Need(1, 1), BoolText(S.starts_with(A[0]));
  if (SameText(Name, "EndsWith")) return C.Need(1, 1), BoolText(S.ends_with(A[0]));
  if (SameText(Name, "Equals")) return C.Need(1, 1), BoolText(S == A[0]);
  if (SameText(Name, "Substring")) {
    auto [Start, Len] = C.Range(S);
    return S.substr(Start, Len);
  }
  if (SameText(Name, "Remove")) {
    auto [Start, Len] = C.Range(S);
    return S.substr(0, Start) + S.substr(Start + Len);
  }
  if (SameText(Name, "IndexOf") || SameText(Name, "LastIndexOf")) {
    C.Need(1, 2);
    size_t P;
    if (SameText(Name, "IndexOf"))
      P = S.find(A[0], A.size() > 1 ? static_cast<size_t>(std::max<int64_t>(0, C.Int(1))) : 0);
    else
      P = S.rfind(A[0]);
    return P == std::string::npos ? "-1" : IntToStr(static_cast<int64_t>(P));
  }
  if (SameText(Name, "Replace")) {
    C.Need(2, 2);
    if (A[0].empty()) C.Failed("the text to replace is empty");
    std::string R;
    size_t From = 0, P;
    while ((P = S.find(A[0], From)) != std::string::npos) {
      R.append(S, From, P - From);
      R += A[1];
      From = P + A[0].size();
      if (R.size() > C.Ctx.Limit) ExpansionTooLarge(C.Ctx);
    }
    R.append(S, From);
    return R;
  }
  if (SameText(Name, "Split")) {
    C.Need(0, 64);
    std::string Seps;
    for (auto& X : A) Seps += X;
    if (Seps.empty()) Seps = " ";
    std::string R;
    for (char Ch : S) R += Seps.find(Ch) != std::string::npos ? ListMark : Ch;
    return R;
  }
  if (SameText(Name, "PadLeft") || SameText(Name, "PadRight")) {
    C.Need(1, 2);
    int64_t W = C.Int(0);
    char Fill = A.size() > 1 && !A[1].empty() ? A[1][0] : ' ';
    if (W <= static_cast<int64_t>(S.size())) return S;
    if (static_cast<uint64_t>(W) > C.Ctx.Limit) ExpansionTooLarge(C.Ctx);
    std::string Pad(static_cast<size_t>(W) - S.size(), Fill);
    return SameText(Name, "PadLeft") ? Pad + S : S + Pad;
  }
  if (SameText(Name, "Insert")) {
    C.Need(2, 2);
    int64_t At = C.Int(0);
    if (At < 0 || At > static_cast<int64_t>(S.size())) C.Failed("the position lies outside the text");
    return S.substr(0, static_cast<size_t>(At)) + A[1] + S.substr(static_cast<size_t>(At));
  }
  C.Unknown();
}

}  // namespace nxs::engine
