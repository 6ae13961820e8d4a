// What a language's region parser reports: the foldable regions of a source text and the
// error locations it can see, and the registry through which personalities offer parsers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace nxs {

// Lines count from 1, indexes (bytes of the line) from 0; End is the region's last
// character's line and the index just after it.
struct TRegion {
  int32_t StartLine = 1, StartIndex = 0;
  int32_t EndLine = 1, EndIndex = 0;
  std::string Kind;
  std::string Description;
  uint8_t Flag = 1;  // 0: the editor's option for the kind decides whether it starts folded
  int Level = 0;     // nesting depth, 0 outermost
  uint16_t Type = 0;
};

struct TParseError {
  int32_t Line = 1, Col = 1;
  std::string Text;
};

struct TRegionResult {
  std::vector<TRegion> Regions;  // in order of their start
  std::vector<TParseError> Errors;
  bool Canceled = false;
};

// A language's region and error parser. Parse may run on the parse thread: it polls
// ShouldStop and gives up (Canceled) once it returns true.
class IRegionParser {
 public:
  virtual ~IRegionParser() = default;
  virtual TRegionResult Parse(std::string_view Text, const std::function<bool()>& ShouldStop) const = 0;
};

// The folding type number of a region kind ("routine", "class", ...); 0 for an unknown kind.
uint16_t RegionTypeOfKind(std::string_view Kind);

// The parsers for the two personalities.
std::unique_ptr<IRegionParser> MakePascalRegionParser();
std::unique_ptr<IRegionParser> MakeCppRegionParser();
// The parser for a file name by its extension; nullptr when none fits.
std::unique_ptr<IRegionParser> RegionParserForFile(std::string_view FileName);

}  // namespace nxs
