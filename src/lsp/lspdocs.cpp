#include "lsp/lspdocs.h"

#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editstream.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/edkrnl.h"
#include "lsp/lsperrors.h"
#include "lsp/resstrings.h"
#include "modules/modulescope.h"
#include "modules/sourcemodule.h"
#include "options/envoptions.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::lsp {

std::string FileNameOfUri(std::string_view Uri) {
  constexpr std::string_view Scheme = "file://";
  if (Uri.substr(0, Scheme.size()) != Scheme) throw ELspError(ecInvalidParams, Format(res::SLspNotAFileUri, std::string(Uri)));
  std::string_view Path = Uri.substr(Scheme.size());
  // "file://localhost/x" names the same file as "file:///x".
  if (Path.substr(0, 9) == "localhost") Path.remove_prefix(9);
  if (Path.empty() || Path[0] != '/') throw ELspError(ecInvalidParams, Format(res::SLspNotAFileUri, std::string(Uri)));
  std::string Name;
  for (size_t I = 0; I < Path.size(); ++I) {
    if (Path[I] == '%' && I + 2 < Path.size() && HexDigitValue(Path[I + 1]) >= 0 && HexDigitValue(Path[I + 2]) >= 0) {
      Name += static_cast<char>(HexDigitValue(Path[I + 1]) * 16 + HexDigitValue(Path[I + 2]));
      I += 2;
    } else {
      Name += Path[I];
    }
  }
  if (Name.find('\0') != std::string::npos) throw ELspError(ecInvalidParams, Format(res::SLspNotAFileUri, std::string(Uri)));
  return Name;
}

std::string UriOfFileName(std::string_view FileName) {
  static constexpr char Hex[] = "0123456789ABCDEF";
  std::string Uri = "file://";
  for (char C : FileName) {
    const auto U = static_cast<unsigned char>(C);
    const bool Plain = (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '-' ||
                       C == '.' || C == '_' || C == '~' || C == '/';
    if (Plain) {
      Uri += C;
    } else {
      Uri += '%';
      Uri += Hex[U >> 4];
      Uri += Hex[U & 15];
    }
  }
  return Uri;
}

// -- TLspDocument -----------------------------------------------------------------------------

namespace {

// The client edits its copy of a file the user may not write, and the document follows it:
// a read-only buffer takes the client's changes, and stays read-only for everyone else.
class TClientEdit {
 public:
  explicit TClientEdit(TEditBuffer& Buffer) : FBuffer(Buffer), FReadOnly(Buffer.GetReadOnly()) {
    if (FReadOnly) FBuffer.SetReadOnly(false);
  }
  ~TClientEdit() {
    if (FReadOnly) FBuffer.SetReadOnly(true);
  }
  TClientEdit(const TClientEdit&) = delete;  // restores the state once
  TClientEdit& operator=(const TClientEdit&) = delete;

 private:
  TEditBuffer& FBuffer;
  bool FReadOnly;
};

}  // namespace

TLspDocument::TLspDocument(std::string Uri, std::string FileName, TSourceModule& Module, bool OpenedHere)
    : FUri(std::move(Uri)), FFileName(std::move(FileName)), FModule(Module), FView(Module.ShowEditor().EkView()),
      FOpenedHere(OpenedHere) {}

TEditBuffer& TLspDocument::Buffer() { return *FModule.GetMainSource(); }

int32_t TLspDocument::LineCount() { return TotalLinesInBuffer(FView); }

std::string TLspDocument::LineText(int32_t Line) {
  if (Line < 1 || Line > LineCount()) return {};
  return GetLineText(FView, Line);
}

std::string TLspDocument::Text() { return GetBufferText(FView); }

TCharPos TLspDocument::ToCharPos(TLspPos Pos, TPosEncoding Encoding) {
  const int32_t Lines = LineCount();
  if (Pos.Line < 0) return {0, 1};
  if (Pos.Line >= Lines) return {std::max(GetLineLength(FView, Lines), 0), Lines};
  const auto Line = static_cast<int32_t>(Pos.Line + 1);
  if (Pos.Character <= 0) return {0, Line};
  return {UnitsToIndex(GetLineText(FView, Line), Pos.Character, Encoding), Line};
}

TLspPos TLspDocument::FromCharPos(TCharPos Pos, TPosEncoding Encoding) {
  return {Pos.LineNum - 1, IndexToUnits(LineText(Pos.LineNum), Pos.Index, Encoding)};
}

void TLspDocument::Replace(TLspPos Start, TLspPos End, std::string_view Text, TPosEncoding Encoding) {
  int32_t From = ConvertCharPosToPos(FView, ToCharPos(Start, Encoding));
  int32_t To = ConvertCharPosToPos(FView, ToCharPos(End, Encoding));
  if (From < 0 || To < 0) throw ELspError(ecInternalError, "position outside the text");
  // A range given end first is the same range.
  if (To < From) std::swap(From, To);
  TClientEdit Edit(Buffer());
  auto Writer = Buffer().CreateWriter();
  Writer->CopyTo(static_cast<uint32_t>(From));
  Writer->DeleteTo(static_cast<uint32_t>(To));
  Writer->Insert(Text);
}

void TLspDocument::ReplaceAll(std::string_view Text) {
  TEditBuffer& B = Buffer();
  if (B.Text() == Text) return;
  const int32_t Lines = LineCount();
  const int32_t End = ConvertCharPosToPos(FView, {std::max(GetLineLength(FView, Lines), 0), Lines});
  TClientEdit Edit(B);
  auto Writer = B.CreateWriter();
  if (End > 0) Writer->DeleteTo(static_cast<uint32_t>(End));
  Writer->Insert(Text);
}

void TLspDocument::Load(std::string_view Text) {
  TEditBuffer& B = Buffer();
  if (B.Text() == Text) return;
  TClientEdit Edit(B);
  // The file's byte-order mark stays the buffer's, as its encoding does.
  if (B.HasByteOrderMark())
    B.ReadFromStreamUTF8("\xEF\xBB\xBF" + std::string(Text));
  else
    B.ReadFromStreamUTF8(Text);
  B.SetModified(true);
}

// -- TLspDocuments ----------------------------------------------------------------------------

TLspDocuments::TLspDocuments() : FScope(std::make_unique<TSourceModuleScope>()) {}

TEnvironmentOptions& TLspDocuments::Options() { return FScope->Options(); }

TLspDocuments::~TLspDocuments() {
  for (auto& [Uri, Doc] : FDocuments)
    if (Doc->OpenedHere()) Doc->Module().Close(false);
  FDocuments.clear();
}

TLspDocument& TLspDocuments::Open(const std::string& Uri, std::string_view Text, int64_t Version) {
  auto Found = FDocuments.find(Uri);
  const bool New = Found == FDocuments.end();
  if (New) {
    const std::string Name = ExpandFileName(FileNameOfUri(Uri));
    // A client edits every file as text, project and group files too: it gets the source
    // module, whichever handler would open the file in the environment, and beside the
    // project or group module of the workspace's file.
    TDocModule* Open = FindDocModule(Name);
    auto* Module = dynamic_cast<TSourceModule*>(Open);
    const bool OpenedHere = !Module;
    if (Open && !Module && (Open->GetIsProject() || Open->GetIsProjectGroup()))
      Module = TDocModule::Create<TSourceModule>(Name, FileSystem().FileExists(Name));
    else if (!Open)
      Module = dynamic_cast<TSourceModule*>(SourceOpenHandler().FileOpen(0, Name, false, nullptr));
    if (!Module) throw ELspError(ecRequestFailed, Format(res::SLspNotSourceModule, Name));
    Found = FDocuments.emplace(Uri, std::make_unique<TLspDocument>(Uri, Name, *Module, OpenedHere)).first;
  }
  TLspDocument& Doc = *Found->second;
  Doc.Version = Version;
  if (New && Doc.OpenedHere())
    Doc.Load(Text);
  else
    Doc.ReplaceAll(Text);
  return Doc;
}

TLspDocument& TLspDocuments::Get(const std::string& Uri) {
  auto Found = FDocuments.find(Uri);
  if (Found == FDocuments.end()) throw ELspError(ecInvalidParams, Format(res::SLspNotOpen, Uri));
  return *Found->second;
}

void TLspDocuments::Close(const std::string& Uri) {
  auto Found = FDocuments.find(Uri);
  if (Found == FDocuments.end()) throw ELspError(ecInvalidParams, Format(res::SLspNotOpen, Uri));
  std::unique_ptr<TLspDocument> Doc = std::move(Found->second);
  FDocuments.erase(Found);
  if (Doc->OpenedHere()) Doc->Module().Close(false);
}

}  // namespace nxs::lsp
