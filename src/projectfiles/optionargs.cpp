#include "projectfiles/optionargs.h"

#include <cerrno>
#include <cstdlib>

#include "projectfiles/resstrings.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

std::string TArgumentInfo::CheckValue(const std::string& Value) const {
  if (FType != atNone || Value.empty()) return {};
  if (SameText(Value, "true") || SameText(Value, "false")) return {};
  return Format(res::SNotABoolean, Value);
}

std::string TIntegerArgumentInfo::CheckValue(const std::string& Value) const {
  if (Value.empty()) return {};
  auto N = TryStrToInt(Value);
  if (!N) return Format(res::SNotAnInteger, Value);
  if (FUpperLimit > FLowerLimit && (*N < FLowerLimit || *N > FUpperLimit))
    return Format(res::SOutOfRange, Value, FLowerLimit, FUpperLimit);
  return {};
}

std::string TDecimalArgumentInfo::CheckValue(const std::string& Value) const {
  if (Value.empty()) return {};
  errno = 0;
  char* End = nullptr;
  double D = std::strtod(Value.c_str(), &End);
  if (End == Value.c_str() || *End != '\0' || errno == ERANGE) return Format(res::SNotADecimal, Value);
  if (FUpperLimit > FLowerLimit && (D < static_cast<double>(FLowerLimit) || D > static_cast<double>(FUpperLimit)))
    return Format(res::SOutOfRange, Value, FLowerLimit, FUpperLimit);
  return {};
}

std::string TValueListArgumentInfo::CheckValue(const std::string& Value) const {
  if (Value.empty()) return {};
  for (const auto& [V, Desc] : FValues)
    if (SameText(V, Value)) return {};
  return Format(res::SNotAllowedValue, Value);
}

const IOTAListArgument* AsListArgument(const IOTAOptionArgument* Argument) {
  return dynamic_cast<const IOTAListArgument*>(Argument);
}

}  // namespace nxs
