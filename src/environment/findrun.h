// A search as a host without windows asks for it: the scope chosen from the places it names,
// files taken as open in the editor with the text of other files, and a run to the end on the
// calling thread that hands each line, as the message view shows it, to a sink.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "environment/findinfiles.h"

namespace nxs {

// Places named together that exclude each other; Conflict() says which, so that a host can
// name them in its own words.
enum TFindScopeConflict : uint8_t { fcProjectAndGroup, fcDirectoriesAndProjects };
class EFindScope : public Exception {
 public:
  EFindScope(TFindScopeConflict Conflict, const std::string& Message) : Exception(Message), FConflict(Conflict) {}
  TFindScopeConflict Conflict() const { return FConflict; }

 private:
  TFindScopeConflict FConflict;
};

// A file taken as open in the editor; its text is that of TextFile when one is given.
struct TOpenFileStandIn {
  std::string FileName;
  std::string TextFile;
};

// The places a search is asked to look in.
struct TFindPlaces {
  std::vector<std::string> Directories;  // each taken whole, whatever its name holds
  std::vector<TOpenFileStandIn> OpenFiles;
  std::optional<std::string> ProjectFile;
  std::optional<std::string> GroupFile;
};

// Opens what a project scope names (Places.ProjectFile, else Places.GroupFile) for the search.
using TOpenSearchProjects = std::function<TSearchProjects(const TFindPlaces& Places)>;

// Sets the scope of R from Places. A project or a group, never both and never with
// directories, searches the files of the project, or of every project of the group, that
// OpenProjects opened; the open files alone, when no directory is named, search those files;
// else the directories (the current one when none is named). The open files, their names
// expanded, are from now on the editor's open files for every search, each read in the text
// of its stand-in. Raises EFindScope, before anything is opened, for places that exclude
// each other.
void SelectFindScope(TFindRequest& R, const TFindPlaces& Places, const TOpenSearchProjects& OpenProjects);

// What a run to the end shows.
class IFindSink {
 public:
  virtual ~IFindSink() = default;
  // A top-level line of the search group once it is complete (a file's title once all its
  // hits are there), with the group's title.
  virtual void Line(const std::string& GroupTitle, const TLine& Line) = 0;
  // A run of hits of a search not grouped by file, in the group titled GroupTitle. By
  // default each is made the line the message view shows for it and handed to Line; a sink
  // that shows them otherwise may read them as they are.
  virtual void Hits(const std::string& GroupTitle, const TFileHits& File);
  // A file or folder that could not be read, or not wholly: the message naming it and why.
  virtual void Problem(const std::string& Text) = 0;
};

// Runs R to its end on the calling thread, which must be the main thread, after checking its
// pattern. Grouped by file, the search runs on its thread and fills its search group, whose
// lines are handed to Sink as they complete and then let go, the main-thread queue pumped
// meanwhile; otherwise the hits go from the search straight to Sink, each as the message view
// shows its line, without the group. Raises for a bad pattern and for a path that does not
// exist (Exception).
void RunFindToSink(const TFindRequest& R, IFindSink& Sink);

}  // namespace nxs
