#include "shared/format.h"

#include <cinttypes>
#include <cstdio>

#include "shared/exceptions.h"
#include "shared/resstrings.h"

namespace nxs {
namespace {

[[noreturn]] void Invalid(std::string_view Fmt) {
  throw EConvertError(FormatV(res::SInvalidFormat, std::initializer_list<FormatArg>{FormatArg(Fmt)}));
}

[[noreturn]] void Missing(std::string_view Fmt) {
  throw EConvertError(FormatV(res::SArgumentMissing, std::initializer_list<FormatArg>{FormatArg(Fmt)}));
}

std::string Digits(uint64_t Value, int Base) {
  static const char kDigits[] = "0123456789ABCDEF";
  char Buf[24];
  int N = 0;
  do {
    Buf[N++] = kDigits[Value % Base];
    Value /= Base;
  } while (Value);
  return std::string(std::make_reverse_iterator(Buf + N), std::make_reverse_iterator(Buf));
}

// Two's complement for negative arguments, at 32 bits where the value fits.
uint64_t AsUnsigned(const FormatArg& Arg) {
  if (Arg.GetKind() == FormatArg::Kind::UInt) return Arg.AsUInt();
  int64_t V = Arg.AsInt();
  if (V < 0 && V >= INT32_MIN) return static_cast<uint32_t>(static_cast<int32_t>(V));
  return static_cast<uint64_t>(V);
}

std::string Printf(const char* Conversion, double Value) {
  char Buf[512];
  int N = std::snprintf(Buf, sizeof Buf, Conversion, Value);
  if (N < 0) return {};
  if (static_cast<size_t>(N) < sizeof Buf) return std::string(Buf, N);
  std::string Big(N + 1, '\0');
  std::snprintf(Big.data(), Big.size(), Conversion, Value);
  Big.resize(N);
  return Big;
}

// Thousands separators for %n.
std::string Grouped(std::string Fixed) {
  size_t Start = Fixed[0] == '-' ? 1 : 0;
  size_t Dot = Fixed.find('.');
  size_t IntEnd = Dot == std::string::npos ? Fixed.size() : Dot;
  for (ptrdiff_t I = static_cast<ptrdiff_t>(IntEnd) - 3; I > static_cast<ptrdiff_t>(Start); I -= 3)
    Fixed.insert(static_cast<size_t>(I), 1, ',');
  return Fixed;
}

}  // namespace

std::string FormatV(std::string_view Fmt, std::span<const FormatArg> Args) {
  std::string Out;
  Out.reserve(Fmt.size() + 16 * Args.size());
  size_t ArgIndex = 0;
  size_t I = 0;
  auto NextArg = [&]() -> const FormatArg& {
    if (ArgIndex >= Args.size()) Missing(Fmt);
    return Args[ArgIndex++];
  };
  // A number, or "*" taken from the arguments; -1 when absent.
  auto ReadNumber = [&](bool AllowStar) -> int {
    if (AllowStar && I < Fmt.size() && Fmt[I] == '*') {
      ++I;
      const FormatArg& A = NextArg();
      if (A.GetKind() == FormatArg::Kind::Int) return static_cast<int>(A.AsInt());
      if (A.GetKind() == FormatArg::Kind::UInt) return static_cast<int>(A.AsUInt());
      Invalid(Fmt);
    }
    if (I >= Fmt.size() || Fmt[I] < '0' || Fmt[I] > '9') return -1;
    int N = 0;
    while (I < Fmt.size() && Fmt[I] >= '0' && Fmt[I] <= '9') {
      N = N * 10 + (Fmt[I] - '0');
      if (N > 100000) Invalid(Fmt);
      ++I;
    }
    return N;
  };

  while (I < Fmt.size()) {
    char C = Fmt[I];
    if (C != '%') {
      size_t Next = Fmt.find('%', I);
      if (Next == std::string_view::npos) Next = Fmt.size();
      Out.append(Fmt.substr(I, Next - I));
      I = Next;
      continue;
    }
    ++I;
    if (I >= Fmt.size()) Invalid(Fmt);
    if (Fmt[I] == '%') {
      Out += '%';
      ++I;
      continue;
    }
    // [index ":"] ["-"] [width] ["." prec] type
    size_t Save = I;
    int Index = ReadNumber(false);
    if (I < Fmt.size() && Fmt[I] == ':') {
      ++I;
      if (Index < 0) Index = 0;
      ArgIndex = static_cast<size_t>(Index);
    } else {
      I = Save;
    }
    bool Left = false;
    if (I < Fmt.size() && Fmt[I] == '-') {
      Left = true;
      ++I;
    }
    int Width = ReadNumber(true);
    int Prec = -1;
    if (I < Fmt.size() && Fmt[I] == '.') {
      ++I;
      Prec = ReadNumber(true);
      if (Prec < 0) Prec = 0;
    }
    if (I >= Fmt.size()) Invalid(Fmt);
    char Type = static_cast<char>(Fmt[I] | 0x20);
    ++I;
    const FormatArg& A = NextArg();
    std::string Piece;
    switch (Type) {
      case 'd': {
        if (A.GetKind() != FormatArg::Kind::Int && A.GetKind() != FormatArg::Kind::UInt) Invalid(Fmt);
        bool Neg = A.GetKind() == FormatArg::Kind::Int && A.AsInt() < 0;
        uint64_t Mag = A.GetKind() == FormatArg::Kind::UInt ? A.AsUInt()
                       : Neg ? 0 - static_cast<uint64_t>(A.AsInt())
                             : static_cast<uint64_t>(A.AsInt());
        Piece = Digits(Mag, 10);
        if (Prec > 0 && static_cast<int>(Piece.size()) < Prec) Piece.insert(0, Prec - Piece.size(), '0');
        if (Neg) Piece.insert(0, 1, '-');
        break;
      }
      case 'u':
      case 'x': {
        if (A.GetKind() != FormatArg::Kind::Int && A.GetKind() != FormatArg::Kind::UInt) Invalid(Fmt);
        Piece = Digits(AsUnsigned(A), Type == 'u' ? 10 : 16);
        if (Prec > 0 && static_cast<int>(Piece.size()) < Prec) Piece.insert(0, Prec - Piece.size(), '0');
        break;
      }
      case 's': {
        if (A.GetKind() != FormatArg::Kind::Str) Invalid(Fmt);
        std::string_view S = A.AsStr();
        if (Prec >= 0 && static_cast<size_t>(Prec) < S.size()) S = S.substr(0, Prec);
        Piece.assign(S);
        break;
      }
      case 'e':
      case 'f':
      case 'g':
      case 'n':
      case 'm': {
        double V;
        if (A.GetKind() == FormatArg::Kind::Float) V = A.AsFloat();
        else Invalid(Fmt);
        char Conversion[32];
        if (Type == 'e') {
          std::snprintf(Conversion, sizeof Conversion, "%%.%dE", (Prec < 0 ? 15 : Prec) - 1 < 0 ? 0 : (Prec < 0 ? 15 : Prec) - 1);
        } else if (Type == 'g') {
          std::snprintf(Conversion, sizeof Conversion, "%%.%dG", Prec < 0 ? 15 : Prec);
        } else {
          std::snprintf(Conversion, sizeof Conversion, "%%.%df", Prec < 0 ? 2 : Prec);
        }
        Piece = Printf(Conversion, V);
        if (Type == 'n' || Type == 'm') Piece = Grouped(Piece);
        break;
      }
      case 'p': {
        if (A.GetKind() != FormatArg::Kind::Ptr) Invalid(Fmt);
        Piece = Digits(reinterpret_cast<uintptr_t>(A.AsPtr()), 16);
        Piece.insert(0, sizeof(void*) * 2 - Piece.size(), '0');
        break;
      }
      default:
        Invalid(Fmt);
    }
    if (Width > 0 && static_cast<int>(Piece.size()) < Width) {
      if (Left) Piece.append(Width - Piece.size(), ' ');
      else Piece.insert(0, Width - Piece.size(), ' ');
    }
    Out += Piece;
  }
  return Out;
}

}  // namespace nxs
