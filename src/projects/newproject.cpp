#include "projects/newproject.h"

#include <cctype>

#include "projectfiles/projectfile.h"
#include "shared/filenames.h"
#include "shared/text.h"

namespace nxs {

std::string PersonalityTargetsImport(const std::string& Personality) {
  if (SameText(Personality, "Vellum.Personality")) return "$(NXS)\\data\\targets\\Vellum.Common.Targets";
  if (SameText(Personality, "Kestrel.Personality")) return "$(NXS)\\data\\targets\\Kestrel.Common.Targets";
  return {};
}

std::string ProjectFileExtension(const std::string& Personality) {
  return SameText(Personality, "Kestrel.Personality") ? ".kzproj" : ".vproj";
}

TNewProjectFile SetUpProjectBuild(IMSProjectFile& Doc, const std::string& FileName, const std::string& Personality,
                                  const std::string& ProjectType) {
  TNewProjectFile Main;
  if (SameText(Personality, "Vellum.Personality")) {
    // A program or a library is a main source of its own; an archive is made of a unit.
    // The source's name is the program's, the library's or the unit's: an identifier.
    std::string Name = ChangeFileExt(ExtractFileName(FileName), "");
    for (char& C : Name)
      if (!(std::isalnum(static_cast<unsigned char>(C)) || C == '_')) C = '_';
    if (Name.empty() || std::isdigit(static_cast<unsigned char>(Name[0]))) Name = "_" + Name;
    const bool Unit = SameText(ProjectType, "StaticLibrary");
    const std::string Source = Name + (Unit ? ".pas" : ".vpr");
    Doc.SetGlobalProperty("MainSource", Source, false, "");
    Doc.AddItem("VellumCompile", "$(MainSource)", "");
    Doc.AddItemMetadata("MainSource", "MainSource");
    Doc.EndItem();
    Main.FileName = ExpandFileName(Source, ExtractFilePath(FileName));
    if (Unit)
      Main.Text = "unit " + Name + ";\n\ninterface\n\nimplementation\n\nend.\n";
    else if (SameText(ProjectType, "Library"))
      Main.Text = "library " + Name + ";\n\n{$mode objfpc}{$H+}\n\nbegin\nend.\n";
    else
      Main.Text = "program " + Name + ";\n\n{$mode objfpc}{$H+}\n\nbegin\nend.\n";
  }
  if (std::string Import = PersonalityTargetsImport(Personality); !Import.empty()) Doc.AddImport(Import, "");
  return Main;
}

}  // namespace nxs
