// The client's workspace as the project layer sees it: the folder's group file, or else the
// project files under it, opened as project modules beside the client's documents, and the
// source files those projects name.
#pragma once

#include <string>
#include <vector>

namespace nxs::lsp {

// The project files (".vproj", ".kzproj") in Root and the folders below it, hidden folders and
// history folders left out, at most MaxDepth folders deep; sorted.
std::vector<std::string> FindProjectFiles(const std::string& Root, int MaxDepth = 4);

// Needs the module layer running (TLspDocuments) for as long as it lives, and is gone after
// it: the module layer frees the projects, this takes their open handlers away.
class TLspWorkspace {
 public:
  // Registers the project open handlers and opens Root's project modules (nothing for an
  // empty Root): its group when Root holds one group file, else every project FindProjectFiles
  // finds. What cannot be opened goes to Reports, and the rest opens.
  explicit TLspWorkspace(std::string Root);
  ~TLspWorkspace();
  TLspWorkspace(const TLspWorkspace&) = delete;  // holds the project layer's registrations
  TLspWorkspace& operator=(const TLspWorkspace&) = delete;

  const std::string& Root() const { return FRoot; }
  // What a build of the whole workspace builds: its group file, else its one project; empty
  // when the workspace has neither (or several projects and no group).
  std::string BuildFile() const;
  // The files the workspace's projects name, absolute, each once, in the projects' order.
  std::vector<std::string> SourceFiles() const;
  // The project file of the project that names File: an open one first, else the first
  // project of File's folder or a folder above it that names it (which opens); empty for a
  // file of no project.
  std::string ProjectOf(const std::string& File) const;
  // True for a file whose change changes the workspace: a project or group file.
  static bool IsProjectOrGroupFile(const std::string& File);
  // Reads the workspace's group and project files again where they changed on disk (as the
  // environment reloads a changed module), and opens projects that came.
  void Reload();

  std::vector<std::string> Reports;

 private:
  void Open();

  std::string FRoot;
  std::string FGroup;                  // the group file opened, or empty
  std::vector<std::string> FProjects;  // the project files opened, in the group's order
};

}  // namespace nxs::lsp
