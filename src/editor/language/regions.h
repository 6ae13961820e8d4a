// What a language's region parser reports: the foldable regions of a source text and the
// error locations it can see, and the services through which personalities offer parsers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
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

// What a personality offers the editor's folding: the source files it owns and the region
// and error parser for them. Personalities and packages register theirs in a
// TRegionServicesRegistry; the folding itself knows no language.
class IRegionServices {
 public:
  virtual ~IRegionServices() = default;
  virtual std::string Personality() const = 0;
  virtual bool HandlesFile(std::string_view FileName) const = 0;
  virtual std::shared_ptr<IRegionParser> RegionParser() const = 0;
};

// The services of the Pascal personality ("Vellum.Personality": .pas .pp .inc .vpr .lpr
// .vpk) and of the C++ one ("Kestrel.Personality": C and C++ sources and headers). Extensions
// compare without regard to case.
std::shared_ptr<IRegionServices> MakePascalRegionServices();
std::shared_ptr<IRegionServices> MakeCppRegionServices();

// The region services registered, asked from the last registered to the first, so that a
// package can take over files that a personality handles too. Finding a file's parser needs
// no parse thread: a command that only parses one file asks here.
class TRegionServicesRegistry {
 public:
  TRegionServicesRegistry() = default;
  TRegionServicesRegistry(const TRegionServicesRegistry&) = delete;  // the folding refers to it
  TRegionServicesRegistry& operator=(const TRegionServicesRegistry&) = delete;

  void Add(std::shared_ptr<IRegionServices> Services);
  void Remove(const IRegionServices* Services);
  // nullptr when no services handle the file.
  std::shared_ptr<IRegionServices> ServicesForFile(std::string_view FileName) const;
  int Count() const;

 private:
  mutable std::mutex FMutex;  // the parse thread's folding asks while the main thread registers
  std::vector<std::shared_ptr<IRegionServices>> FServices;
};

// The process's registry: start-up registers the personalities' services in it, and a
// package its own.
TRegionServicesRegistry& RegionServicesRegistry();

}  // namespace nxs
