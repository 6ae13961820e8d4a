// What a new project needs to build: the import of its personality's shipped targets file
// (through $(NXS), the installation directory) and, for the Pascal personality, its main
// source.
#pragma once

#include <string>

namespace nxs {

class IMSProjectFile;

// The import a personality's projects build through; "" for a personality without one.
std::string PersonalityTargetsImport(const std::string& Personality);

// The extension of a new project file of the personality: ".kzproj" for the C++ personality,
// ".vproj" for any other.
std::string ProjectFileExtension(const std::string& Personality);

// A file a new project starts with: written only when it does not exist yet.
struct TNewProjectFile {
  std::string FileName;
  std::string Text;
};

// Sets up a new project document for FileName to build as ProjectType ("Application",
// "Library", "StaticLibrary"): the main source of a Pascal project (property, item) and the
// targets import, after everything else the document holds. Returns the main source to
// write (an empty name when the personality needs none).
TNewProjectFile SetUpProjectBuild(IMSProjectFile& Doc, const std::string& FileName, const std::string& Personality,
                                  const std::string& ProjectType);

}  // namespace nxs
