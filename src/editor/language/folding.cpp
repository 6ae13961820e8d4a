#include "editor/language/folding.h"

#include <algorithm>
#include <tuple>

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/ekinit.h"
#include "editor/buffers/elisions.h"
#include "editor/buffers/resstrings.h"
#include "shared/mainthread.h"

namespace nxs {

// --- Applying parse results ---

namespace {

// Whether a line is empty, read from the parsed text when there is one.
class TEmptyLines {
 public:
  TEmptyLines(PEkView View, const std::string* Text) : FView(View), FText(Text) {}
  bool operator()(int32_t Line) {
    if (!FText) return GetLineText(FView, Line).empty();
    if (FStarts.empty()) {
      FStarts.push_back(0);
      for (size_t At = FText->find('\n'); At != std::string::npos; At = FText->find('\n', At + 1))
        FStarts.push_back(At + 1);
    }
    if (Line < 1 || static_cast<size_t>(Line) > FStarts.size()) return true;
    const size_t Start = FStarts[static_cast<size_t>(Line) - 1];
    return Start >= FText->size() || (*FText)[Start] == '\n';
  }

 private:
  PEkView FView;
  const std::string* FText;
  std::vector<size_t> FStarts;  // offset of each line, made on first use
};

void ApplyWith(PEkView View, const std::vector<TRegion>& Regions, const std::function<bool(const TRegion&)>& FoldByDefault,
               const std::function<bool(int32_t)>& LineEmpty) {
  // The blocks folded now, sorted by range and description so that each region finds its
  // match by a binary search; among equal ones the earliest is taken first.
  // Parsers count bytes of the line: so do the blocks here, from and to the kernel.
  std::vector<TElidedBlock> Folded = GetAllElidedBlocksByBytes(View);
  auto Key = [](const TElidedBlock& B) {
    return std::tie(B.Start.LineNum, B.Start.Index, B.End.LineNum, B.End.Index, B.Desc);
  };
  std::stable_sort(Folded.begin(), Folded.end(), [&](const auto& A, const auto& B) { return Key(A) < Key(B); });
  std::vector<bool> Found(Folded.size(), false);
  ClearAllElisions(View);
  const int32_t Lines = TotalLinesInBuffer(View);
  std::vector<TElidedBlock> Blocks;
  Blocks.reserve(Regions.size());
  for (const TRegion& R : Regions) {
    TElidedBlock B;
    B.Start = TCharPos{R.StartIndex, R.StartLine};
    B.End = TCharPos{R.EndIndex, R.EndLine};
    // A region that begins with its line's break starts on the next line.
    if (B.Start.Index == 0 && B.Start.LineNum < Lines && LineEmpty(B.Start.LineNum)) ++B.Start.LineNum;
    B.Type = R.Type;
    B.Desc = R.Description.empty() ? res::SFoldedRegion : R.Description;
    B.Folded = false;
    if (R.Flag == 0) {
      B.Folded = FoldByDefault && FoldByDefault(R);
    } else {
      // Compared with the placeholder the block was added with: a region the parser leaves
      // undescribed was folded under the default text and must find itself again.
      auto [First, Last] = std::equal_range(Folded.begin(), Folded.end(), B,
                                            [&](const auto& A, const auto& C) { return Key(A) < Key(C); });
      for (auto It = First; It != Last; ++It) {
        const size_t I = static_cast<size_t>(It - Folded.begin());
        if (Found[I]) continue;
        Found[I] = true;
        B.Folded = true;
        break;
      }
    }
    Blocks.push_back(std::move(B));
  }
  AddElisionBlocksByBytes(View, Blocks);
  ReconcileViewState(View);
}

}  // namespace

void ApplyElisions(PEkView View, const std::vector<TRegion>& Regions,
                   const std::function<bool(const TRegion&)>& FoldByDefault, const std::string* ParsedText) {
  TEmptyLines LineEmpty(View, ParsedText);
  ApplyWith(View, Regions, FoldByDefault, std::ref(LineEmpty));
}

void ApplyElisions(PEkView View, const std::vector<TRegion>& Regions,
                   const std::function<bool(const TRegion&)>& FoldByDefault, const std::vector<int32_t>& EmptyLines) {
  ApplyWith(View, Regions, FoldByDefault,
            [&](int32_t Line) { return std::binary_search(EmptyLines.begin(), EmptyLines.end(), Line); });
}

std::vector<int32_t> EmptyRegionStartLines(const std::vector<TRegion>& Regions, std::string_view Text) {
  std::vector<int32_t> Wanted;
  for (const TRegion& R : Regions)
    if (R.StartIndex == 0 && R.StartLine >= 1) Wanted.push_back(R.StartLine);
  std::sort(Wanted.begin(), Wanted.end());
  Wanted.erase(std::unique(Wanted.begin(), Wanted.end()), Wanted.end());
  std::vector<int32_t> Empty;
  int32_t Line = 1;
  size_t Start = 0;  // where Line starts; npos once past the last line
  for (int32_t W : Wanted) {
    while (Line < W && Start != std::string_view::npos) {
      const size_t Break = Text.find('\n', Start);
      Start = Break == std::string_view::npos ? Break : Break + 1;
      ++Line;
    }
    // A line past the text reads as empty, as the kernel's count would stop it anyway.
    if (Start == std::string_view::npos || Start >= Text.size() || Text[Start] == '\n') Empty.push_back(W);
  }
  return Empty;
}

std::atomic<uint64_t>& ElisionGeneration() {
  static std::atomic<uint64_t> Generation{0};
  return Generation;
}

TElisionModule::TElisionModule(PEkView View, std::string FileName, std::shared_ptr<IRegionParser> Parser)
    : FView(View), FFileName(std::move(FileName)), FParser(std::move(Parser)) {}

std::string TElisionModule::FileName() const {
  std::lock_guard G(FMutex);
  return FFileName;
}

void TElisionModule::SetFileName(std::string Name) {
  std::lock_guard G(FMutex);
  FFileName = std::move(Name);
}

std::vector<TParseError> TElisionModule::Errors() const {
  std::lock_guard G(FMutex);
  return FErrors;
}

void TElisionModule::ApplyErrors(std::vector<TParseError> Errors) {
  std::lock_guard G(FMutex);
  FErrors = std::move(Errors);
}

bool TParserContext::Apply() {
  auto M = Module.lock();
  if (!M || Generation != ElisionGeneration().load() || M->FileName() != FileName) return false;
  if (EmptyLines)
    ApplyElisions(M->View(), Result.Regions, {}, *EmptyLines);
  else
    ApplyElisions(M->View(), Result.Regions);
  M->ApplyErrors(std::move(Result.Errors));
  return true;
}

void TElisionParser::AddModule(std::shared_ptr<TElisionModule> Module) {
  std::lock_guard G(FMutex);
  FModules.push_back(std::move(Module));
}

void TElisionParser::RemoveModule(const TElisionModule* Module) {
  std::lock_guard G(FMutex);
  std::erase_if(FModules, [&](const auto& M) { return M.get() == Module; });
}

bool TElisionParser::Watches(const TEditorBuffer* Buffer) {
  std::lock_guard G(FMutex);
  return std::any_of(FModules.begin(), FModules.end(), [&](const auto& M) { return M->View()->Editor == Buffer; });
}

void TElisionParser::Parse() {
  if (!Enabled) return;
  std::vector<std::shared_ptr<TElisionModule>> Modules;
  {
    std::lock_guard G(FMutex);
    Modules = FModules;
  }
  for (const auto& M : Modules) {
    if (TParseThread::GetCancelState() != 0) return;
    auto Context = std::make_shared<TParserContext>();
    Context->Module = M;
    const uint64_t Generation = ElisionGeneration().load();
    Context->Generation = Generation;
    Context->FileName = M->FileName();
    // A changed text makes the rest of the work pointless: its result would be dropped.
    auto Stop = [Generation] {
      return TParseThread::GetCancelState() != 0 || ElisionGeneration().load() != Generation;
    };
    // The text stays on this thread: freeing a long one would cost the main thread as well.
    std::string Text;
    if (!ReadBufferTextInSlices(M->View(), Text, Stop)) continue;
    Context->Result = M->Parser().Parse(Text, Stop);
    if (Context->Result.Canceled || Stop()) continue;
    Context->EmptyLines = EmptyRegionStartLines(Context->Result.Regions, Text);
    Queue([Context] { Context->Apply(); });
  }
}

// --- The hooks ---

TElisionParserEditorHooks::TElisionParserEditorHooks(TParseThread& Thread, const TRegionServicesRegistry& Registry)
    : FThread(Thread), FRegistry(Registry), FParser(std::make_shared<TElisionParser>()) {
  FThread.Add(FParser);
  EvEditBufferModified().Add(this, &TElisionParserEditorHooks::BufferModified);
}

TElisionParserEditorHooks::~TElisionParserEditorHooks() {
  EvEditBufferModified().Remove(this, &TElisionParserEditorHooks::BufferModified);
  FThread.Remove(FParser.get());
}

void TElisionParserEditorHooks::BufferModified(TEvEditBufferModified& Args) {
  if (!FParser->Watches(Args.Buffer)) return;
  ++ElisionGeneration();
  FThread.Modified();
}

std::shared_ptr<TElisionModule> TElisionParserEditorHooks::EditorOpened(PEkView View, const std::string& FileName) {
  auto Services = FRegistry.ServicesForFile(FileName);
  if (!Services) return nullptr;
  auto Module = std::make_shared<TElisionModule>(View, FileName, Services->RegionParser());
  FParser->AddModule(Module);
  FThread.Modified();
  return Module;
}

void TElisionParserEditorHooks::EditorClosed(const TElisionModule* Module) {
  // Under the parse lock: once this returns no parse reads the closing editor's text.
  FThread.CancelAndLock();
  FParser->RemoveModule(Module);
  FThread.Unlock();
}

}  // namespace nxs
