#include "build/compilers/record.h"

#include <unistd.h>

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>

#include "build/engine/filetimes.h"
#include "build/engine/tasks.h"
#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "shared/text.h"

namespace nxs::compilers {

namespace {

// The first line; a record of another form is not read (and never up to date).
constexpr std::string_view Header =
    "# nxs build record 2: the time of each file in nanoseconds, its inode and change time, then its name\n";

// What tells a file renamed over another, or written with its old time put back, from the
// file that was there: its inode and its change time, which no one sets by hand.
std::string IdentityText(const TFileStamp& S) { return IntToStr(S.Inode) + ":" + IntToStr(S.ChangedNs); }

// One line of the record, taken apart; false when it is no such line.
struct TRecordLine {
  std::optional<int64_t> Time;
  std::string_view Identity;
  std::string Name;
  bool Parse(std::string_view Line) {
    const size_t Tab = Line.find('\t');
    const size_t Tab2 = Tab == std::string_view::npos ? Tab : Line.find('\t', Tab + 1);
    if (Tab2 == std::string_view::npos) return false;
    Time = TryStrToInt(Line.substr(0, Tab));
    Identity = Line.substr(Tab + 1, Tab2 - Tab - 1);
    Name = std::string(Line.substr(Tab2 + 1));
    return Time.has_value();
  }
};

// Calls Each with every line of a whole record; false when the record is of another form or
// cut short.
template <class F>
bool ForEachLine(const std::string& Text, F Each) {
  if (Text.compare(0, Header.size(), Header) != 0) return false;
  for (size_t Start = Header.size(), Nl; Start < Text.size(); Start = Nl + 1) {
    Nl = Text.find('\n', Start);
    if (Nl == std::string::npos) return false;  // cut short
    TRecordLine L;
    if (!L.Parse(std::string_view(Text.data() + Start, Nl - Start)) || !Each(L)) return false;
  }
  return true;
}

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
  std::map<std::string, TFileStamp> Stamps;
  auto Time = [&](const std::string& File) {
    auto [It, New] = Stamps.try_emplace(File);
    if (New) It->second = FileSystem().Stamp(File);
    return It->second.Exists ? It->second.ModifiedNs : -1;
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
  for (const auto& [File, S] : Stamps) {
    if (File.find('\n') != std::string::npos) return std::nullopt;
    Text += IntToStr(S.ModifiedNs) + "\t" + IdentityText(S) + "\t" + File + "\n";
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
  size_t Files = 0;
  const bool Same = ForEachLine(Text, [&](const TRecordLine& L) {
    const TFileStamp Now = engine::KnownFileStamp(L.Name);
    ++Files;
    return Now.Exists && *L.Time == Now.ModifiedNs && L.Identity == IdentityText(Now);
  });
  return Same && Files > 0;
}

std::set<std::string> TBuildRecord::ReplacedFiles() const {
  std::set<std::string> Replaced;
  std::string Text;
  try {
    Text = ReadWholeFile(FFileName);
  } catch (const Exception&) {
    return Replaced;
  }
  const bool Whole = ForEachLine(Text, [&](const TRecordLine& L) {
    const TFileStamp Now = FileSystem().Stamp(L.Name);
    if (Now.Exists && *L.Time == Now.ModifiedNs && L.Identity != IdentityText(Now)) Replaced.insert(L.Name);
    return true;
  });
  if (!Whole) Replaced.clear();
  return Replaced;
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
