// Fuzzes the project XML reader: any input either reads or raises one of the system's
// exceptions; whatever reads is written, and the written text must read again and be
// stable from then on.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "projectfiles/projectfile.h"
#include "projectfiles/xmlio.h"
#include "shared/exceptions.h"

namespace {

struct TNullReader : nxs::IPropertyReader, nxs::IItemReader, nxs::ITargetReader {
  void ReadProperty(const std::string&, const std::string&, const std::string&) override {}
  void BeginItem(const std::string&, const std::string&, const std::string&) override {}
  void ItemMetadata(const std::string&, const std::string&) override {}
  void EndItem() override {}
  void BeginTarget(const std::string&, const std::string&) override {}
  void DependsOnTargets(const std::string&) override {}
  void BeginTask(const std::string&, const std::string&) override {}
  void TaskParameter(const std::string&, const std::string&) override {}
};

std::string Format(const std::string& Xml) {
  std::unique_ptr<nxs::TNode> Root = nxs::TProjectXmlReader().Read(Xml);
  return nxs::WriteXmlText(*Root);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string Input(reinterpret_cast<const char*>(Data), Size);
  std::string Once;
  try {
    Once = Format(Input);
  } catch (const nxs::Exception&) {
    return 0;
  }
  // What the writer produced must read again; after a second pass nothing changes.
  std::string Twice = Format(Once);
  if (Format(Twice) != Twice) std::abort();

  try {
    auto Doc = nxs::MSBuildCreateProjectFromXml("fuzz.vproj", Input);
    TNullReader R;
    std::string S, V, C;
    Doc->GetPersonality();
    Doc->GetProjectType();
    Doc->GetTargetNames(S);
    Doc->GetGlobalProperty("ProjectGuid", V, C);
    Doc->ReadItems(R);
    Doc->ReadTargets(R);
    Doc->ReadPropertyInAllGroups("Config", R);
    Doc->SetConditionedProperty("Fuzz", "1", "'$(Base)'!=''");
    Doc->RebuildTree();
    Format(Doc->GetXml());
  } catch (const nxs::Exception&) {
  }
  return 0;
}
