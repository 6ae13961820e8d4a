#include "projectfiles/names.h"

#include "projectfiles/errors.h"
#include "projectfiles/resstrings.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

static bool IsNameStart(char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_'; }
static bool IsNameChar(char C) { return IsNameStart(C) || (C >= '0' && C <= '9'); }

static bool IsReservedChar(char C) {
  switch (C) {
    case '"':
    case '$':
    case '%':
    case '\'':
    case '(':
    case ')':
    case '<':
    case '=':
    case '>':
    case '@':
      return true;
    default:
      return false;
  }
}

bool IsValidPropertyName(std::string_view Name) {
  if (Name.empty() || !IsNameStart(Name[0])) return false;
  for (char C : Name.substr(1))
    if (!IsNameChar(C)) return false;
  return true;
}

void ValidPropertyName(std::string_view Name) {
  if (!IsValidPropertyName(Name)) throw EInvalidTagName(Format(res::SInvalidTagName, Name));
}

std::string MakeValidPropertyName(std::string_view Name) {
  for (const char* Reserved : {"ItemGroup", "Project", "PropertyGroup", "Target"})
    if (SameText(Name, Reserved)) return {};
  std::string Result;
  bool Kept = false;
  for (size_t I = 0; I < Name.size(); ++I) {
    char C = Name[I];
    bool Ok = I == 0 ? IsNameStart(C) : IsNameChar(C);
    Result += Ok ? C : '_';
    Kept = Kept || Ok;
  }
  return Kept ? Result : std::string();
}

void ValidName(std::string_view Name) {
  for (char C : Name)
    if (IsReservedChar(C)) throw EInvalidName(Format(res::SInvalidName, Name, res::SInvalidNameChars));
}

std::string MakeValidName(std::string_view Name) {
  std::string Result(Name);
  for (char& C : Result)
    if (IsReservedChar(C)) C = '_';
  return Result;
}

}  // namespace nxs
