// The engine's built-in tasks: messages, warnings and errors, building other projects and
// targets, and the file tasks (MakeDir, Copy, Delete, RemoveDir, Touch, WriteLinesToFile,
// ReadLinesFromFile). Paths are taken relative to the project's directory.
#include <filesystem>
#include <system_error>

#include "build/engine/items.h"
#include "build/engine/project.h"
#include "build/engine/resstrings.h"
#include "build/engine/tasks.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::engine {

namespace {

std::string PathOf(const TTaskContext& Ctx, const std::string& Spec) {
  return FullPathOf(Spec, Ctx.ProjectDirectory());
}

bool Require(TTaskContext& Ctx, const char* Name) {
  if (Ctx.HasParameter(Name) && !Ctx.Parameter(Name).Text.empty()) return true;
  Ctx.LogError(Format(res::SParameterRequired, Ctx.TaskName(), Name));
  return false;
}

TImportance ImportanceOf(const std::string& S) {
  if (SameText(Trim(S), "high")) return imHigh;
  if (SameText(Trim(S), "low")) return imLow;
  return imNormal;
}

void Diagnostic(TTaskContext& Ctx, TEventKind Kind, const std::string& Text) {
  TBuildEvent E;
  E.Kind = Kind;
  E.Importance = imHigh;
  E.Text = Text;
  E.Code = Ctx.Parameter("Code").Text;
  E.HelpKeyword = Ctx.Parameter("HelpKeyword").Text;
  E.File = Ctx.Parameter("File").Text;
  Ctx.Log(E);
}

std::string ErrorText(const std::error_code& Ec) { return Ec.message(); }

bool Message(TTaskContext& Ctx) {
  Ctx.LogMessage(Ctx.Parameter("Text").Text, ImportanceOf(Ctx.Parameter("Importance").Text));
  return true;
}

bool Warning(TTaskContext& Ctx) {
  if (!Ctx.Parameter("Text").Text.empty() || !Ctx.Parameter("Code").Text.empty())
    Diagnostic(Ctx, ekWarning, Ctx.Parameter("Text").Text);
  return true;
}

bool Error(TTaskContext& Ctx) {
  std::string Text = Ctx.Parameter("Text").Text;
  Diagnostic(Ctx, ekError, Text.empty() ? std::string(res::SErrorTaskDefault) : Text);
  return false;
}

bool Build(TTaskContext& Ctx) {
  bool Ok = true;
  bool Skip = Ctx.BoolParameter("SkipNonexistentProjects", false);
  bool StopOnFirst = Ctx.BoolParameter("StopOnFirstFailure", false);
  TPropertyMap Props;
  for (const auto& It : Ctx.Parameter("Properties").Items) {
    size_t Eq = It.ItemSpec.find('=');
    if (Eq != std::string::npos) Props[Trim(It.ItemSpec.substr(0, Eq))] = Trim(It.ItemSpec.substr(Eq + 1));
  }
  std::vector<TTaskItem> Outputs;
  for (const auto& Project : Ctx.Parameter("Projects").Items) {
    std::string Full = PathOf(Ctx, Project.ItemSpec);
    if (!FileSystem().FileExists(Full)) {
      if (Skip) continue;
      Ctx.LogError(Format(res::SCannotReadProject, Full, "the file does not exist"));
      Ok = false;
      if (StopOnFirst) break;
      continue;
    }
    TPropertyMap Mine = Props;
    for (const char* Meta : {"Properties", "AdditionalProperties"}) {
      auto M = Project.Metadata.find(Meta);
      if (M == Project.Metadata.end()) continue;
      for (auto& [N, V] : ParsePropertyString(M->second)) Mine[N] = V;
    }
    std::vector<TTaskItem> Out;
    if (!Ctx.BuildProject(Full, Ctx.Parameter("Targets").Text, Mine, &Out)) {
      Ok = false;
      if (StopOnFirst) break;
    }
    for (auto& O : Out) Outputs.push_back(std::move(O));
  }
  Ctx.SetOutput("TargetOutputs", std::move(Outputs));
  return Ok;
}

bool CallTarget(TTaskContext& Ctx) {
  std::vector<std::string> Targets;
  for (const auto& T : Ctx.Parameter("Targets").Items) Targets.push_back(T.ItemSpec);
  std::vector<TTaskItem> Outputs;
  bool Ok = Ctx.CallTargets(Targets, &Outputs);
  Ctx.SetOutput("TargetOutputs", std::move(Outputs));
  return Ok;
}

bool MakeDir(TTaskContext& Ctx) {
  bool Ok = true;
  std::vector<TTaskItem> Created;
  for (const auto& D : Ctx.Parameter("Directories").Items) {
    std::string Full = PathOf(Ctx, D.ItemSpec);
    if (FileSystem().DirectoryExists(Full)) continue;
    try {
      FileSystem().ForceDirectories(Full);
      Created.push_back(D);
    } catch (const Exception& E) {
      Ctx.LogError(Format(res::SMakeDirFailed, D.ItemSpec, E.Message()));
      Ok = false;
    }
  }
  Ctx.SetOutput("DirectoriesCreated", std::move(Created));
  return Ok;
}

bool Copy(TTaskContext& Ctx) {
  const auto& Sources = Ctx.Parameter("SourceFiles").Items;
  bool HasFiles = Ctx.HasParameter("DestinationFiles");
  bool HasFolder = Ctx.HasParameter("DestinationFolder") && !Ctx.Parameter("DestinationFolder").Text.empty();
  if (HasFiles == HasFolder) {
    Ctx.LogError(res::SCopyNeedsDestination);
    return false;
  }
  std::vector<TTaskItem> Destinations;
  if (HasFiles) {
    Destinations = Ctx.Parameter("DestinationFiles").Items;
    if (Destinations.size() != Sources.size()) {
      Ctx.LogError(Format(res::SCopyCountMismatch, static_cast<int>(Sources.size()),
                          static_cast<int>(Destinations.size())));
      return false;
    }
  } else {
    std::string Folder = Ctx.Parameter("DestinationFolder").Text;
    for (const auto& S : Sources) {
      TTaskItem D;
      D.ItemSpec = IncludeTrailingPathDelimiter(Folder) + S.GetMetadata("Filename") + S.GetMetadata("Extension");
      D.BaseDirectory = Ctx.ProjectDirectory();
      Destinations.push_back(std::move(D));
    }
  }
  bool SkipUnchanged = Ctx.BoolParameter("SkipUnchangedFiles", false);
  bool Ok = true;
  std::vector<TTaskItem> Copied, DestOut;
  for (size_t I = 0; I < Sources.size(); ++I) {
    if (Ctx.Cancelled()) return false;
    std::string From = PathOf(Ctx, Sources[I].ItemSpec), To = PathOf(Ctx, Destinations[I].ItemSpec);
    TTaskItem Dest = Destinations[I];
    for (const auto& [N, V] : Sources[I].Metadata)
      if (!Dest.Metadata.count(N)) Dest.Metadata[N] = V;
    TFileInfo SI = FileSystem().Stat(From);
    if (!SI.Exists || SI.IsDirectory) {
      Ctx.LogError(Format(res::SCopyFailed, Sources[I].ItemSpec, Destinations[I].ItemSpec, "the source does not exist"));
      Ok = false;
      continue;
    }
    DestOut.push_back(Dest);
    if (From == To) continue;
    TFileInfo DI = FileSystem().Stat(To);
    if (SkipUnchanged && DI.Exists && DI.Size == SI.Size && DI.ModifiedTimeNs == SI.ModifiedTimeNs) continue;
    try {
      std::string Dir = ExtractFileDir(To);
      if (!Dir.empty() && !FileSystem().DirectoryExists(Dir)) FileSystem().ForceDirectories(Dir);
      Ctx.LogMessage(Format(res::SCopying, Sources[I].ItemSpec, Destinations[I].ItemSpec), imLow);
      FileSystem().CopyFile(From, To);
      // The copy keeps the source's time, so that SkipUnchangedFiles and later incremental
      // checks see it as unchanged.
      std::error_code Ec;
      auto T = std::filesystem::last_write_time(From, Ec);
      if (!Ec) std::filesystem::last_write_time(To, T, Ec);
      Copied.push_back(Dest);
    } catch (const Exception& E) {
      Ctx.LogError(Format(res::SCopyFailed, Sources[I].ItemSpec, Destinations[I].ItemSpec, E.Message()));
      Ok = false;
    }
  }
  Ctx.SetOutput("CopiedFiles", std::move(Copied));
  Ctx.SetOutput("DestinationFiles", std::move(DestOut));
  return Ok;
}

bool Delete(TTaskContext& Ctx) {
  bool Ok = true;
  std::vector<TTaskItem> Deleted;
  for (const auto& F : Ctx.Parameter("Files").Items) {
    std::string Full = PathOf(Ctx, F.ItemSpec);
    TFileInfo I = FileSystem().Stat(Full);
    if (!I.Exists) continue;
    try {
      FileSystem().DeleteFile(Full);
      Deleted.push_back(F);
    } catch (const Exception& E) {
      Ctx.LogError(Format(res::SDeleteFailed, F.ItemSpec, E.Message()));
      Ok = false;
    }
  }
  Ctx.SetOutput("DeletedFiles", std::move(Deleted));
  return Ok;
}

bool RemoveDir(TTaskContext& Ctx) {
  bool Ok = true;
  std::vector<TTaskItem> Removed;
  for (const auto& D : Ctx.Parameter("Directories").Items) {
    std::string Full = PathOf(Ctx, D.ItemSpec);
    if (Full == "/" || Full == Ctx.ProjectDirectory()) {
      // Removing the root or the project's own directory is never what a project means.
      Ctx.LogError(Format(res::SDeleteFailed, D.ItemSpec, "refusing to remove this directory"));
      Ok = false;
      continue;
    }
    std::error_code Ec;
    if (!std::filesystem::exists(Full, Ec)) continue;
    std::filesystem::remove_all(Full, Ec);
    if (Ec) {
      Ctx.LogError(Format(res::SDeleteFailed, D.ItemSpec, ErrorText(Ec)));
      Ok = false;
      continue;
    }
    Removed.push_back(D);
  }
  Ctx.SetOutput("RemovedDirectories", std::move(Removed));
  return Ok;
}

bool Touch(TTaskContext& Ctx) {
  bool Always = Ctx.BoolParameter("AlwaysCreate", false);
  bool Ok = true;
  std::vector<TTaskItem> Touched;
  for (const auto& F : Ctx.Parameter("Files").Items) {
    std::string Full = PathOf(Ctx, F.ItemSpec);
    try {
      if (!FileSystem().FileExists(Full)) {
        if (!Always) {
          Ctx.LogError(Format(res::STouchMissing, F.ItemSpec));
          Ok = false;
          continue;
        }
        FileSystem().WriteFile(Full, "");
      }
      std::error_code Ec;
      std::filesystem::last_write_time(Full, std::filesystem::file_time_type::clock::now(), Ec);
      if (Ec) throw EInOutError(ErrorText(Ec));
      Touched.push_back(F);
    } catch (const Exception& E) {
      Ctx.LogError(Format(res::STouchFailed, F.ItemSpec, E.Message()));
      Ok = false;
    }
  }
  Ctx.SetOutput("TouchedFiles", std::move(Touched));
  return Ok;
}

bool WriteLinesToFile(TTaskContext& Ctx) {
  if (!Require(Ctx, "File")) return false;
  std::string Name = Ctx.Parameter("File").Text;
  std::string Full = PathOf(Ctx, Name);
  bool Overwrite = Ctx.BoolParameter("Overwrite", false);
  std::string Text;
  for (const auto& L : Ctx.Parameter("Lines").Items) {
    Text += L.ItemSpec;
    Text += '\n';
  }
  try {
    bool Exists = FileSystem().FileExists(Full);
    if (!Overwrite && Exists) Text = FileSystem().ReadFile(Full) + Text;
    if (Ctx.BoolParameter("WriteOnlyWhenDifferent", false) && Exists && FileSystem().ReadFile(Full) == Text)
      return true;
    if (!Overwrite && Text.empty() && Exists) return true;
    std::string Dir = ExtractFileDir(Full);
    if (!Dir.empty() && !FileSystem().DirectoryExists(Dir)) FileSystem().ForceDirectories(Dir);
    FileSystem().WriteFile(Full, Text);
  } catch (const Exception& E) {
    Ctx.LogError(Format(res::SWriteFailed, Name, E.Message()));
    return false;
  }
  return true;
}

bool ReadLinesFromFile(TTaskContext& Ctx) {
  if (!Require(Ctx, "File")) return false;
  std::string Name = Ctx.Parameter("File").Text;
  std::string Full = PathOf(Ctx, Name);
  std::vector<TTaskItem> Lines;
  if (FileSystem().FileExists(Full)) {
    std::string Text;
    try {
      Text = FileSystem().ReadFile(Full);
    } catch (const Exception& E) {
      Ctx.LogError(Format(res::SReadFailed, Name, E.Message()));
      return false;
    }
    for (auto& L : Split(Text, '\n')) {
      std::string T = Trim(L);
      if (T.empty()) continue;
      TTaskItem It;
      It.ItemSpec = T;
      It.BaseDirectory = Ctx.ProjectDirectory();
      Lines.push_back(std::move(It));
    }
  }
  Ctx.SetOutput("Lines", std::move(Lines));
  return true;
}

}  // namespace

void RegisterBuiltinTasks(TNoCaseMap<TTaskFunction>& Tasks) {
  Tasks["Message"] = Message;
  Tasks["Warning"] = Warning;
  Tasks["Error"] = Error;
  Tasks["MSBuild"] = Build;
  Tasks["CallTarget"] = CallTarget;
  Tasks["MakeDir"] = MakeDir;
  Tasks["Copy"] = Copy;
  Tasks["Delete"] = Delete;
  Tasks["RemoveDir"] = RemoveDir;
  Tasks["Touch"] = Touch;
  Tasks["WriteLinesToFile"] = WriteLinesToFile;
  Tasks["ReadLinesFromFile"] = ReadLinesFromFile;
}

}  // namespace nxs::engine
