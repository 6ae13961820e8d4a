// What the terminal IDE wires into the core while it runs, and undoes when it ends: the
// module and project layers, the folding parser of each open editor, the message view's
// jumps to source, the build's progress, the searches and builds it starts in the background,
// and the editor helpers (syntax colours by file, sync edit frames, the word at the cursor).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "environment/findengine.h"
#include "terminal/editorpane.h"

namespace nxs {
class TAutoRecoverIDENotifier;
class TBaseProject;
class TCustomCodeIProject;
class TEditBuffer;
class TEditView;
class TElisionModule;
class TElisionParserEditorHooks;
class TKeyboardServices;
class TProgressMonitor;
class TProjectGroup;
class TSourceModule;
class TEvEditBufferModified;
}  // namespace nxs

namespace nxs::script {
class TEdDesktop;
class TEdModules;
class TEdSession;
}  // namespace nxs::script

namespace nxs::term {

class TTerminalIDE;

// A group or a project file (the tree shows it) rather than a file to edit.
bool IsGroupOrProjectFile(const std::string& FileName);
// The identifier the cursor stands in or just after; empty when none.
std::string WordAtCursor(TEditView& View);
// The occurrences of the view's sync edit points: the active point's in the sync edit
// highlight, the others in its background.
TDecorationSource SyncEditDecorations(TEditView& View);

struct TIdeHooks {
  explicit TIdeHooks(TTerminalIDE& Ide);
  ~TIdeHooks();
  TIdeHooks(const TIdeHooks&) = delete;  // registered with the core by address
  TIdeHooks& operator=(const TIdeHooks&) = delete;

  // A line of the command language of editor scripts, on the IDE's current module: what it
  // printed goes to Output. Current is the module the IDE shows; the module the command
  // leaves current comes back (nullptr when none is open).
  TSourceModule* RunScript(const std::string& Line, TSourceModule* Current, std::string& Output);
  // The keymaps and macros, shared by the keys and the prompt's commands.
  TKeyboardServices& Keyboard();

  // A module that gets a tab: its highlighter, its folding parser, a notice when it goes.
  void Prepare(TSourceModule& Module);
  // The highlighter the source options give the buffer's file.
  void Highlight(TEditBuffer& Buffer);
  // Opens a group (or a project) for the tree; the group's projects are what the project
  // scopes of a search take. Returns the group, or nullptr with Project set for a project.
  TProjectGroup* OpenGroup(const std::string& FileName, TBaseProject*& Project);
  TProjectGroup* Group() const { return FGroup; }

  // Builds, in the background, the project that holds the current file (else the group's
  // active project) with the editor's unsaved text: "make" (the default), "build" or "clean".
  void Build(const std::string& ModeWord);
  // The project that holds the current file, else the group's active project, else the
  // project open alone, with the builders started; raises Exception when there is none.
  TCustomCodeIProject* CurrentProject();
  // The project a debug run starts: the group's active project, else the project open alone,
  // else the current file's.
  TCustomCodeIProject* ProjectToRun();
  // Find in files: Grep searches the group's projects (the current folder without a
  // group) for a text as typed; StartFind runs what the form describes. Results stream into
  // the search group of the message view.
  void Grep(const std::string& Text);
  void StartFind(TFindRequest Request);
  // Stops a running search; false when none runs.
  bool StopFind();

  void ToggleFold(TEditView& View);
  bool SyncEdit(TEditView& View);

  // The session's desktop: a ".dsk" file (the environment's) or a project or group whose
  // desktop lies beside it. Opens what it records and returns the module it was last on
  // (nullptr when none); the desktop is saved when the session ends, as the options ask.
  TSourceModule* OpenDesktop(const std::string& FileName);
  // Starts autorecover on its timer; Offer is called when a session left copies behind.
  void StartAutoRecover(std::function<void()> Offer);
  TAutoRecoverIDENotifier* AutoRecovering() const { return FAutoRecover; }

  bool Busy() const;
  // Once after a build or search began: the message view should come on screen.
  bool MessagesWanted();
  std::string ProgressText() const;
  void Tick() {}

 private:
  struct TModuleWatch;
  class TProgress;
  void ChangeRefused(TEvEditBufferModified& Args);
  void StartBuilders();
  void Forget(TSourceModule* Module);

  TTerminalIDE& FIde;
  std::string FOutput;  // what the running script command printed
  std::unique_ptr<script::TEdModules> FModules;
  std::unique_ptr<script::TEdSession> FSession;
  std::unique_ptr<script::TEdDesktop> FDesktop;
  TAutoRecoverIDENotifier* FAutoRecover = nullptr;
  std::unique_ptr<TElisionParserEditorHooks> FFolding;
  std::map<TSourceModule*, std::shared_ptr<TElisionModule>> FElisions;
  std::shared_ptr<TProgress> FProgress;
  TProjectGroup* FGroup = nullptr;
  TBaseProject* FProject = nullptr;
  bool FBuildersStarted = false;
  bool FWantMessages = false;
};

}  // namespace nxs::term
