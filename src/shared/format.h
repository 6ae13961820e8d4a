// Format: the system's message formatter. It understands the format strings the resource
// strings use: %s %d %u %x %e %f %g %n %p, an index specifier ("%1:s", after which the
// arguments continue from that index), "-" for left alignment, width and precision (either
// may be "*", taken from the arguments) and "%%".
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace nxs {

// One argument of Format. A wrong type for a conversion raises EConvertError; it is never
// reinterpreted.
class FormatArg {
 public:
  enum class Kind { Int, UInt, Float, Str, Ptr };

  FormatArg(bool) = delete;  // a Boolean would silently print as 0 or 1
  template <class T>
    requires(std::is_integral_v<T> && std::is_signed_v<T> && !std::is_same_v<T, bool> &&
             !std::is_same_v<T, char>)
  FormatArg(T Value) : FKind(Kind::Int), FInt(Value) {}
  template <class T>
    requires(std::is_integral_v<T> && std::is_unsigned_v<T> && !std::is_same_v<T, bool>)
  FormatArg(T Value) : FKind(Kind::UInt), FUInt(Value) {}
  FormatArg(char Value) : FKind(Kind::Str), FStr(&FChar, 1), FChar(Value) {}
  FormatArg(double Value) : FKind(Kind::Float), FFloat(Value) {}
  FormatArg(const std::string& Value) : FKind(Kind::Str), FStr(Value) {}
  FormatArg(std::string_view Value) : FKind(Kind::Str), FStr(Value) {}
  FormatArg(const char* Value) : FKind(Kind::Str), FStr(Value ? Value : "") {}
  FormatArg(const void* Value) : FKind(Kind::Ptr), FPtr(Value) {}
  FormatArg(const FormatArg& Other)
      : FKind(Other.FKind), FInt(Other.FInt), FUInt(Other.FUInt), FFloat(Other.FFloat),
        FStr(Other.FStr), FPtr(Other.FPtr), FChar(Other.FChar) {
    if (FKind == Kind::Str && Other.FStr.data() == &Other.FChar) FStr = std::string_view(&FChar, 1);
  }
  FormatArg& operator=(const FormatArg&) = delete;

  Kind GetKind() const { return FKind; }
  int64_t AsInt() const { return FInt; }
  uint64_t AsUInt() const { return FUInt; }
  double AsFloat() const { return FFloat; }
  std::string_view AsStr() const { return FStr; }
  const void* AsPtr() const { return FPtr; }

 private:
  Kind FKind;
  int64_t FInt = 0;
  uint64_t FUInt = 0;
  double FFloat = 0;
  std::string_view FStr;
  const void* FPtr = nullptr;
  char FChar = 0;
};

std::string FormatV(std::string_view Fmt, std::span<const FormatArg> Args);

template <class... TArgs>
std::string Format(std::string_view Fmt, const TArgs&... Args) {
  if constexpr (sizeof...(TArgs) == 0) {
    return FormatV(Fmt, {});
  } else {
    const FormatArg List[] = {FormatArg(Args)...};
    return FormatV(Fmt, List);
  }
}

}  // namespace nxs
