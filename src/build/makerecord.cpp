#include "build/makerecord.h"

#include <unistd.h>

#include <algorithm>

#include "build/buildhost.h"
#include "build/engine/filetimes.h"
#include "build/resstrings.h"
#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/fileprobes.h"
#include "shared/format.h"
#include "shared/install.h"
#include "shared/settings.h"
#include "shared/text.h"

namespace nxs {

namespace {

// The first line; a record of another form is never replayed. The program's own file is in
// every record, so that another build of nxs does not replay this one's.
constexpr std::string_view Header = "# nxs make record 1\n";

// Two 64-bit FNV-1a hashes with different starts: what tells one key from another.
struct THash {
  uint64_t A = 14695981039346656037ull;
  uint64_t B = 1099511628211ull * 31 + 7;
  void Add(std::string_view Text) {
    for (unsigned char C : Text) {
      A = (A ^ C) * 1099511628211ull;
      B = (B ^ C) * 0x100000001b3ull + 0x9e3779b97f4a7c15ull;
    }
    // A separator no text holds, so that ("ab", "c") and ("a", "bc") differ.
    A = (A ^ 0x100) * 1099511628211ull;
    B = (B ^ 0x100) * 0x100000001b3ull;
  }
  std::string Text() const {
    char Buf[40];
    std::snprintf(Buf, sizeof Buf, "%016llx%016llx", static_cast<unsigned long long>(A),
                  static_cast<unsigned long long>(B));
    return Buf;
  }
};

std::string Escaped(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (char C : Text) {
    switch (C) {
      case '\\': Out += "\\\\"; break;
      case '\n': Out += "\\n"; break;
      case '\r': Out += "\\r"; break;
      case '\t': Out += "\\t"; break;
      default: Out += C;
    }
  }
  return Out;
}

std::optional<std::string> Unescaped(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] != '\\') {
      Out += Text[I];
      continue;
    }
    if (++I == Text.size()) return std::nullopt;
    switch (Text[I]) {
      case '\\': Out += '\\'; break;
      case 'n': Out += '\n'; break;
      case 'r': Out += '\r'; break;
      case 't': Out += '\t'; break;
      default: return std::nullopt;
    }
  }
  return Out;
}

std::string StampText(const TFileStamp& S) {
  return Format("%d%d\t%s\t%s\t%s\t%s\t%s", S.Exists ? 1 : 0, S.Directory ? 1 : 0, IntToStr(S.Size),
                IntToStr(S.Inode), IntToStr(S.Device), IntToStr(S.ModifiedNs), IntToStr(S.ChangedNs));
}

// The line of the elapsed time, as the message view shows it ("Elapsed time: 00:00:00.0").
bool IsElapsedLine(std::string_view Text) {
  const std::string Prefix = Format(res::SElapsedTime, "");
  const size_t Indent = Text.find_first_not_of(' ');
  return Indent != std::string_view::npos && Text.substr(Indent).starts_with(Prefix) && Text.ends_with('\n') &&
         std::count(Text.begin(), Text.end(), '\n') == 1;
}

std::string ElapsedLine(std::string_view Recorded, std::chrono::steady_clock::time_point Started) {
  const auto Elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - Started);
  return std::string(Recorded.substr(0, Recorded.find_first_not_of(' '))) +
         Format(res::SElapsedTime, FormatElapsedTime(Elapsed)) + "\n";
}

}  // namespace

bool ReplayableMake(bool Make, bool Background, bool Unsaved) { return Make && !Background && !Unsaved; }

TMakeRecord::TMakeRecord(const std::string& BuildFile) : FKey(ProcessKey()) {
  THash Name;
  Name.Add(ExpandFileName(BuildFile));
  FFileName = TSettingsStore::DefaultDirectory() + "/MakeRecords/" + Name.Text();
}

TMakeRecord::TMakeRecord(std::string RecordFile, std::string Key)
    : FFileName(std::move(RecordFile)), FKey(std::move(Key)) {}

std::string TMakeRecord::ProcessKey() {
  THash H;
  H.Add(Header);
  for (const auto& W : ProcessArguments()) H.Add(W);
  H.Add("");
  H.Add(ExpandFileName("."));
  std::vector<std::string> Environment = EnvironmentEntries();
  std::sort(Environment.begin(), Environment.end());
  for (const auto& E : Environment) H.Add(E);
  return H.Text();
}

std::optional<std::string> TMakeRecord::Replay(std::chrono::steady_clock::time_point Started) const {
  std::string Text;
  try {
    Text = ReadWholeFile(FFileName);
  } catch (const Exception&) {
    return std::nullopt;
  }
  if (!std::string_view(Text).starts_with(Header)) return std::nullopt;
  std::string Output;
  bool KeySeen = false;
  size_t Files = 0;
  for (size_t Start = Header.size(), Nl; Start < Text.size(); Start = Nl + 1) {
    Nl = Text.find('\n', Start);
    if (Nl == std::string::npos) return std::nullopt;  // cut short
    const std::string_view Line(Text.data() + Start, Nl - Start);
    const size_t Tab = Line.find('\t');
    const std::string_view Kind = Line.substr(0, Tab);
    const std::string_view Rest = Tab == std::string_view::npos ? std::string_view() : Line.substr(Tab + 1);
    if (Kind == "end") {
      // The key first, every file before the output: a record is whole only with its end.
      if (!KeySeen || Files == 0 || Nl + 1 != Text.size()) return std::nullopt;
      return Output;
    }
    if (Kind == "key") {
      if (Rest != FKey) return std::nullopt;
      KeySeen = true;
    } else if (Kind == "file") {
      // Seven fields of the stamp, then the name.
      size_t Field = 0;
      for (int I = 0; I < 6 && Field != std::string_view::npos; ++I) Field = Rest.find('\t', Field + 1);
      if (!KeySeen || Field == std::string_view::npos) return std::nullopt;
      const std::string Name(Rest.substr(Field + 1));
      if (Rest.substr(0, Field) != StampText(FileStampOf(Name))) return std::nullopt;
      ++Files;
    } else if (Kind == "out") {
      std::optional<std::string> Piece = Unescaped(Rest);
      if (!Piece) return std::nullopt;
      Output += IsElapsedLine(*Piece) ? ElapsedLine(*Piece, Started) : *Piece;
    } else {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

void TMakeRecord::Forget() const { ::unlink(FFileName.c_str()); }

TMakeRecording::TMakeRecording(const TMakeRecord& Record)
    : FRecord(Record),
      FStartedAt(FileClockNowNs()),
      FChangesAtStart(engine::FileChangesBegun()),
      FStartedProbes(!CollectingFileProbes()) {
  Record.Forget();
  StartFileProbes();
}

TMakeRecording::~TMakeRecording() {
  if (FStartedProbes) StopFileProbes();
}

void TMakeRecording::Printed(std::string_view Text) { FOutput.emplace_back(Text); }

bool TMakeRecording::Commit() {
  // A make that ran a tool or wrote a file would print and do otherwise the next time.
  if (engine::FileChangesBegun() != FChangesAtStart) return false;
  std::vector<std::string> Files = FileProbes();
  if (const std::string Exe = ExecutableFile(); !Exe.empty()) Files.push_back(Exe);
  std::sort(Files.begin(), Files.end());
  Files.erase(std::unique(Files.begin(), Files.end()), Files.end());
  std::string Text(Header);
  Text += "key\t" + FRecord.Key() + "\n";
  size_t Kept = 0;
  for (const auto& F : Files) {
    // What the system makes up as it is read says nothing of the next run.
    if (F.starts_with("/proc/") || F == FRecord.FileName()) continue;
    if (F.find('\n') != std::string::npos) return false;
    const TFileStamp S = FileStampOf(F);
    // Changed while the make ran (the user saved it, another build wrote it): what the make
    // read may not be what is there now.
    if (S.Exists && S.ChangedNs >= FStartedAt) return false;
    Text += "file\t" + StampText(S) + "\t" + F + "\n";
    ++Kept;
  }
  if (Kept == 0) return false;
  for (const auto& O : FOutput) Text += "out\t" + Escaped(O) + "\n";
  Text += "end\n";
  try {
    FileSystem().ForceDirectories(ExtractFileDir(FRecord.FileName()));
    WriteFileAtomic(FRecord.FileName(), Text);
  } catch (const Exception&) {
    return false;  // no record: the next make goes the whole way
  }
  return true;
}

}  // namespace nxs
