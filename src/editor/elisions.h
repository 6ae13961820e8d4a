// Folding as the editor uses it: wrappers around the kernel's folding commands, the saved
// form of a view's folded blocks, and the folding parser that runs region parsers on the
// parse thread and applies their results on the main thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "editor/edkrnl.h"
#include "editor/kernel/ek.h"
#include "editor/parsethread.h"
#include "editor/regions.h"

namespace nxs {

// One block as the wrappers hand it out.
struct TElidedBlock {
  TCharPos Start{0, 1}, End{0, 1};
  uint16_t Type = 0;
  std::string Desc;
  bool Folded = true;  // the blocks handed out are the folded ones
};

// Adds the blocks as AddElisionBlock would one by one, in a few kernel calls rather than one
// per block. Blocks outside the buffer or ending before they start are skipped; false when
// any was.
bool AddElisionBlocks(PEkView View, const std::vector<TElidedBlock>& Blocks);
bool RemoveElisionBlock(PEkView View, TCharPos Pos);
bool RemoveElisionBlock(PEkView View, TCharPos Start, TCharPos End);
// Folds or unfolds the blocks lying within the lines First..Last.
bool ElideRange(PEkView View, int32_t First, int32_t Last, bool Fold);
// The block starting on Line (else the innermost one holding it) is folded or unfolded.
bool ElideLine(PEkView View, int32_t Line, bool Fold);
// At the cursor: the block starting on its line is unfolded when folded, folded otherwise.
bool ToggleElide(PEkView View);
void ElideByType(PEkView View, uint16_t Type);
void UnElideAll(PEkView View);
void ClearAllElisions(PEkView View);
void ReconcileViewState(PEkView View);
void ResetEphemerals(PEkView View);
// Nothing to do here: the kernel opens blocks for the moment itself.
inline void ImplicitUnElide(PEkView) {}
inline void EndImplicitUnElide(PEkView) {}

std::vector<TElidedBlock> GetAllElidedBlocks(PEkView View);
bool IsElisionTreePresent(PEkView View);
bool IsStartOfElisionBlock(PEkView View, int32_t Line);
bool IsEndOfElisionBlock(PEkView View, int32_t Line);
bool IsInElisionBlock(PEkView View, int32_t Line);
bool BlockIsElided(PEkView View, int32_t Line);
bool LineIsElided(PEkView View, int32_t Line);
bool PointIsElided(PEkView View, int32_t Line, int32_t Column);
int32_t NumElidedLines(PEkView View);
int32_t ElisionsAtLine(PEkView View, int32_t Line);

// The saved form of folded blocks is the command layer's (PrintElisions, InsertSavedElisions).

// Replaces the view's blocks by the parser's regions, keeping folded every block that was
// folded with the same range and description. FoldByDefault answers for regions whose flag
// is 0 (nullptr: they start unfolded). ParsedText, when given, is the buffer's text as the
// parser read it (lines joined by "\n"): lines are then looked at there instead of being
// asked of the kernel one by one.
void ApplyElisions(PEkView View, const std::vector<TRegion>& Regions,
                   const std::function<bool(const TRegion&)>& FoldByDefault = {},
                   const std::string* ParsedText = nullptr);

// Raised on every change of any text the folding parser watches; a result computed for an
// older count is dropped.
std::atomic<uint64_t>& ElisionGeneration();

// One edited file under the folding parser. Text and FileName are read under the parse lock
// on the parse thread; the main thread changes the text only while holding that lock.
class TElisionModule {
 public:
  TElisionModule(PEkView View, std::string FileName, std::shared_ptr<IRegionParser> Parser);
  TElisionModule(const TElisionModule&) = delete;  // the parser refers to it
  TElisionModule& operator=(const TElisionModule&) = delete;

  PEkView View() const { return FView; }
  std::string FileName() const;
  void SetFileName(std::string Name);
  IRegionParser& Parser() const { return *FParser; }
  // The errors of the last applied result.
  std::vector<TParseError> Errors() const;
  void ApplyErrors(std::vector<TParseError> Errors);

 private:
  PEkView FView;
  mutable std::mutex FMutex;
  std::string FFileName;
  std::shared_ptr<IRegionParser> FParser;
  std::vector<TParseError> FErrors;
};

// One parse result, applied on the main thread while it is still current.
struct TParserContext {
  std::weak_ptr<TElisionModule> Module;
  uint64_t Generation = 0;
  std::string FileName;
  std::string Text;  // what the parser read (empty: unknown); the generation check keeps it the buffer's
  TRegionResult Result;
  // False when the text changed since or the module shows another file now.
  bool Apply();
};

// The parser the parse thread calls: it parses every registered module and queues the
// results to the main thread.
class TElisionParser : public IParseThreadParser {
 public:
  void AddModule(std::shared_ptr<TElisionModule> Module);
  void RemoveModule(const TElisionModule* Module);
  void Parse() override;
  bool Enabled = true;

 private:
  std::mutex FMutex;
  std::vector<std::shared_ptr<TElisionModule>> FModules;
};

// Puts the folding on a parse thread as a plug-in would: its parser goes through the thread's
// public registration, and the languages come from the region services that personalities
// and packages register here. An editor whose file some services handle gets a module.
class TElisionParserEditorHooks {
 public:
  // Adds the folding parser to Thread, which must outlive the hooks.
  explicit TElisionParserEditorHooks(TParseThread& Thread);
  // Takes the parser off the thread.
  ~TElisionParserEditorHooks();
  TElisionParserEditorHooks(const TElisionParserEditorHooks&) = delete;  // the thread holds the parser
  TElisionParserEditorHooks& operator=(const TElisionParserEditorHooks&) = delete;

  // The services registered last are asked first, so a package can take over files that a
  // personality handles too.
  void AddRegionServices(std::shared_ptr<IRegionServices> Services);
  void RemoveRegionServices(const IRegionServices* Services);
  // nullptr when no services handle the file.
  std::shared_ptr<IRegionServices> ServicesForFile(std::string_view FileName) const;

  // An editor opened on FileName: its module, parsed from now on; nullptr when no services
  // handle the file.
  std::shared_ptr<TElisionModule> EditorOpened(PEkView View, const std::string& FileName);
  // The module is no longer parsed; its owner drops it before the view goes.
  void EditorClosed(const TElisionModule* Module);
  TElisionParser& Parser() const { return *FParser; }

 private:
  TParseThread& FThread;
  std::shared_ptr<TElisionParser> FParser;
  mutable std::mutex FMutex;
  std::vector<std::shared_ptr<IRegionServices>> FServices;
};

}  // namespace nxs
