#include "build/compilers/record.h"

#include <unistd.h>

#include <map>
#include <mutex>
#include <optional>

#include "build/engine/filetimes.h"
#include "build/engine/tasks.h"
#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "shared/text.h"

namespace nxs::compilers {

namespace {

// The first line; a record of another form is not read (and never up to date).
constexpr std::string_view Header = "# nxs build record 1: the time of each file in nanoseconds, then its name\n";

int64_t TimeOf(const std::string& File) { return FileSystem().ModifiedTimeNs(File); }

// The last record found up to date, with the count of tasks started then.
struct TLastFound {
  std::mutex Lock;
  std::string FileName;
  uint64_t Task = 0;
};
TLastFound& LastFound() {
  static TLastFound Last;
  return Last;
}

// The record of the files and their times as they are now; nothing when one is missing, an
// input is newer than what was made from it, or a name cannot be one line of the record.
std::optional<std::string> RecordText(const std::vector<TMadeFrom>& Made, const std::vector<std::string>& Extra) {
  std::map<std::string, int64_t> Times;
  auto Time = [&](const std::string& File) {
    auto [It, New] = Times.try_emplace(File, 0);
    if (New) It->second = TimeOf(File);
    return It->second;
  };
  for (const auto& M : Made) {
    const int64_t OutputTime = Time(M.Output);
    if (OutputTime < 0) return std::nullopt;
    for (const auto& In : M.Inputs) {
      const int64_t T = Time(In);
      if (T < 0 || T > OutputTime) return std::nullopt;
    }
  }
  for (const auto& F : Extra)
    if (Time(F) < 0) return std::nullopt;
  std::string Text(Header);
  for (const auto& [File, T] : Times) {
    if (File.find('\n') != std::string::npos) return std::nullopt;
    Text += IntToStr(T) + "\t" + File + "\n";
  }
  return Text;
}

}  // namespace

bool TBuildRecord::UpToDate() const {
  if (!Check()) return false;
  TLastFound& L = LastFound();
  std::lock_guard G(L.Lock);
  L.FileName = FFileName;
  L.Task = engine::TasksStarted();
  return true;
}

bool TBuildRecord::JustFoundUpToDate() const {
  TLastFound& L = LastFound();
  std::lock_guard G(L.Lock);
  const bool Just = L.FileName == FFileName && L.Task + 1 == engine::TasksStarted();
  L.FileName.clear();
  return Just;
}

bool TBuildRecord::Check() const {
  std::string Text;
  try {
    Text = ReadWholeFile(FFileName);
  } catch (const Exception&) {
    return false;
  }
  if (Text.compare(0, Header.size(), Header) != 0) return false;
  size_t Files = 0;
  for (size_t Start = Header.size(), Nl; Start < Text.size(); Start = Nl + 1) {
    Nl = Text.find('\n', Start);
    if (Nl == std::string::npos) return false;  // cut short
    const std::string_view Line(Text.data() + Start, Nl - Start);
    const size_t Tab = Line.find('\t');
    if (Tab == std::string_view::npos) return false;
    const std::optional<int64_t> Recorded = TryStrToInt(Line.substr(0, Tab));
    if (!Recorded || *Recorded != engine::KnownModifiedTimeNs(std::string(Line.substr(Tab + 1)))) return false;
    ++Files;
  }
  return Files > 0;
}

void TBuildRecord::Forget() const { unlink(FFileName.c_str()); }

bool TBuildRecord::Write(const std::vector<TMadeFrom>& Made, const std::vector<std::string>& Extra) const {
  std::optional<std::string> Text = RecordText(Made, Extra);
  if (Text) {
    try {
      WriteFileAtomic(FFileName, *Text);
      return true;
    } catch (const Exception&) {
    }
  }
  Forget();
  return false;
}

}  // namespace nxs::compilers
