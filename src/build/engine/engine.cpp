#include "build/engine/engine.h"

#include <unistd.h>

#include "build/engine/build.h"
#include "build/engine/items.h"
#include "build/engine/project.h"
#include "build/engine/resstrings.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::engine {

namespace {

std::string Located(const std::string& Text, const std::string& File, int Line, int Column) {
  if (File.empty()) return Text;
  if (Line <= 0) return Format(res::SErrorIn, File, Text);
  return Format(res::SErrorAt, File, Line, Column, Text);
}

std::string CurrentDir() {
  char Buf[4096];
  return getcwd(Buf, sizeof Buf) ? std::string(Buf) : std::string("/");
}


}  // namespace

EEngineError::EEngineError(const std::string& Text, std::string File, int Line, int Column)
    : Exception(Located(Text, File, Line, Column)), Text(Text), File(std::move(File)), Line(Line), Column(Column) {}

bool TNoCaseLess::operator()(const std::string& A, const std::string& B) const { return CompareText(A, B) < 0; }

std::string TTaskItem::GetMetadata(const std::string& Name) const {
  auto It = Metadata.find(Name);
  if (It != Metadata.end()) return It->second;
  TItem I;
  I.Spec = MSBuildEscape(ItemSpec);
  std::string V;
  if (!GetItemMetadata(I, Name, BaseDirectory.empty() ? CurrentDir() : BaseDirectory, V)) return {};
  return MSBuildUnescape(V);
}

TPropertyMap ParsePropertyString(const std::string& Properties) {
  TPropertyMap R;
  for (const auto& Pair : Split(Properties, ';')) {
    size_t Eq = Pair.find('=');
    if (Eq == std::string::npos) continue;
    std::string Name = Trim(Pair.substr(0, Eq));
    if (Name.empty()) continue;
    R[Name] = Trim(Pair.substr(Eq + 1));
  }
  return R;
}

struct TEngine::TImpl {
  TDocumentCache Cache;
};

TEngine::TEngine() : FImpl(std::make_unique<TImpl>()) {}
TEngine::~TEngine() = default;

std::shared_ptr<TEvaluatedProject> TEngine::Evaluate(const std::string& FileName, const TBuildRequest& Request) {
  std::string Full = FullPathOf(FileName, CurrentDir());
  return EvaluateProject(FImpl->Cache, Full, Request.GlobalProperties,
                         Request.UseProjectText ? &Request.ProjectText : nullptr, Request.Logger);
}

bool TEngine::Build(const std::string& FileName, const std::string& Targets, const TBuildRequest& Request,
                    std::vector<TTaskItem>* Outputs) {
  std::string Full = FullPathOf(FileName, CurrentDir());
  TBuildSession Session(FImpl->Cache, Request);
  std::vector<std::string> Names;
  for (auto& T : Split(Targets, ';')) {
    std::string N = Trim(T);
    if (!N.empty()) Names.push_back(N);
  }
  bool Ok = Session.BuildProject(Full, Request.GlobalProperties, Names, Outputs,
                                 Request.UseProjectText ? &Request.ProjectText : nullptr, nullptr);
  return Ok && Session.Errors() == 0;
}

}  // namespace nxs::engine
