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

int HexValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

}  // namespace

EEngineError::EEngineError(const std::string& Text, std::string File, int Line, int Column)
    : Exception(Located(Text, File, Line, Column)), Text(Text), File(std::move(File)), Line(Line), Column(Column) {}

bool TNoCaseLess::operator()(const std::string& A, const std::string& B) const { return CompareText(A, B) < 0; }

std::string TTaskItem::GetMetadata(const std::string& Name) const {
  auto It = Metadata.find(Name);
  if (It != Metadata.end()) return It->second;
  TItem I;
  I.Spec = Escape(ItemSpec);
  std::string V;
  if (!GetItemMetadata(I, Name, BaseDirectory.empty() ? CurrentDir() : BaseDirectory, V)) return {};
  return Unescape(V);
}

std::string Escape(const std::string& Text) {
  static const char Special[] = "%*?@$();'";
  if (Text.find_first_of(Special) == std::string::npos) return Text;
  static const char Hex[] = "0123456789ABCDEF";
  std::string R;
  R.reserve(Text.size() + 8);
  for (char C : Text) {
    if (std::string_view(Special).find(C) != std::string_view::npos) {
      R += '%';
      R += Hex[(static_cast<unsigned char>(C) >> 4) & 15];
      R += Hex[static_cast<unsigned char>(C) & 15];
    } else {
      R += C;
    }
  }
  return R;
}

std::string Unescape(const std::string& Text) {
  size_t P = Text.find('%');
  if (P == std::string::npos) return Text;
  std::string R(Text, 0, P);
  for (size_t I = P; I < Text.size(); ++I) {
    int H, L;
    if (Text[I] == '%' && I + 2 < Text.size() + 0 && (H = HexValue(Text[I + 1])) >= 0 &&
        (L = HexValue(Text[I + 2])) >= 0) {
      R += static_cast<char>(H * 16 + L);
      I += 2;
    } else {
      R += Text[I];
    }
  }
  return R;
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
