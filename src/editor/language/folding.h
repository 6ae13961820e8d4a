// The folding parser: region parsers run on the parse thread over the edited files that a
// language's region services handle, and their results become the views' folded blocks on the
// main thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/kernel/ek.h"
#include "editor/language/parsethread.h"
#include "editor/language/regions.h"

namespace nxs {

// Replaces the view's blocks by the parser's regions, keeping folded every block that was
// folded with the same range and description. FoldByDefault answers for regions whose flag
// is 0 (nullptr: they start unfolded). ParsedText, when given, is the buffer's text as the
// parser read it (lines joined by "\n"): lines are then looked at there instead of being
// asked of the kernel one by one.
void ApplyElisions(PEkView View, const std::vector<TRegion>& Regions,
                   const std::function<bool(const TRegion&)>& FoldByDefault = {},
                   const std::string* ParsedText = nullptr);
// The same with the empty lines known already: EmptyLines holds, sorted, every line of the
// parsed text that is empty among those where a region starts at the line's first byte.
void ApplyElisions(PEkView View, const std::vector<TRegion>& Regions,
                   const std::function<bool(const TRegion&)>& FoldByDefault,
                   const std::vector<int32_t>& EmptyLines);
// Those lines of Text (lines joined by "\n"), found in one pass: the parse thread finds them
// so that applying a result never scans a long text on the main thread.
std::vector<int32_t> EmptyRegionStartLines(const std::vector<TRegion>& Regions, std::string_view Text);

// Raised on every change of any text the folding parser watches; a result computed for an
// older count is dropped, and a parse under way stops.
std::atomic<uint64_t>& ElisionGeneration();

// One edited file under the folding parser. The parse thread reads its text a slice at a time
// under the kernel's lock while the main thread goes on editing: a change between two slices
// or during the parse drops that parse, and the change brings the next one.
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
  // EmptyRegionStartLines of the text the parser read (none: asked of the kernel); the
  // generation check keeps that text the buffer's.
  std::optional<std::vector<int32_t>> EmptyLines;
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
  // Whether a module shows the text of Buffer.
  bool Watches(const TEditorBuffer* Buffer);
  // Reads each module's text a slice at a time, so that the editor never waits long for the
  // kernel, and stops as soon as a text changes.
  void Parse() override;
  bool Enabled = true;

 private:
  std::mutex FMutex;
  std::vector<std::shared_ptr<TElisionModule>> FModules;
};

// Puts the folding on a parse thread as a plug-in would: its parser goes through the thread's
// public registration, and the languages come from the region services that personalities
// and packages register in a registry (the process's unless another is given). An editor
// whose file some services handle gets a module.
class TEvEditBufferModified;

class TElisionParserEditorHooks {
 public:
  // Adds the folding parser to Thread; Thread and Registry must outlive the hooks. A change of
  // a text the parser watches raises the generation and restarts the thread's quiet period, so
  // the folds follow the text once the typing pauses.
  explicit TElisionParserEditorHooks(TParseThread& Thread,
                                     const TRegionServicesRegistry& Registry = RegionServicesRegistry());
  // Takes the parser off the thread.
  ~TElisionParserEditorHooks();
  TElisionParserEditorHooks(const TElisionParserEditorHooks&) = delete;  // the thread holds the parser
  TElisionParserEditorHooks& operator=(const TElisionParserEditorHooks&) = delete;

  // An editor opened on FileName: its module, parsed from now on; nullptr when no services
  // handle the file.
  std::shared_ptr<TElisionModule> EditorOpened(PEkView View, const std::string& FileName);
  // The module is no longer parsed; its owner drops it before the view goes.
  void EditorClosed(const TElisionModule* Module);
  TElisionParser& Parser() const { return *FParser; }

 private:
  void BufferModified(TEvEditBufferModified& Args);

  TParseThread& FThread;
  const TRegionServicesRegistry& FRegistry;
  std::shared_ptr<TElisionParser> FParser;
};

}  // namespace nxs
