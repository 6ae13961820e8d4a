#include "environment/opentexts.h"

#include <map>
#include <mutex>
#include <set>

#include "build/messages/filesvc.h"
#include "editor/buffers/editbuffer.h"
#include "modules/docmodule.h"
#include "modules/modulelist.h"

namespace nxs {

namespace {

std::mutex OpenTextsLock;
std::map<std::string, std::string>& OpenTexts() {
  static std::map<std::string, std::string> Texts;
  return Texts;
}
std::function<std::vector<std::string>()>& OpenNamesHook() {
  static std::function<std::vector<std::string>()> Hook;
  return Hook;
}

}  // namespace

void CaptureOpenTexts() {
  std::map<std::string, std::string> Texts;
  for (const auto& Name : OpenFileNames()) {
    std::string Text;
    if (CReadWholeFile(Name, Text)) Texts[Name] = std::move(Text);
  }
  std::lock_guard<std::mutex> G(OpenTextsLock);
  OpenTexts() = std::move(Texts);
}

bool CapturedText(const std::string& Name, std::string_view& Text) {
  std::lock_guard<std::mutex> G(OpenTextsLock);
  auto It = OpenTexts().find(Name);
  if (It == OpenTexts().end()) return false;
  // The captured texts stay as they are until the next search starts.
  Text = It->second;
  return true;
}

void SetOpenFileNamesHook(std::function<std::vector<std::string>()> Hook) { OpenNamesHook() = std::move(Hook); }

std::vector<std::string> OpenFileNames() {
  if (OpenNamesHook()) return OpenNamesHook()();
  // Every file module gives its file and the files of its edit buffers (a unit's form), each
  // name once.
  std::vector<std::string> Names;
  std::set<std::string> Taken;
  auto Take = [&](const std::string& Name) {
    if (!Name.empty() && Taken.insert(Name).second) Names.push_back(Name);
  };
  for (TDocModule* M : ModuleList().Snapshot()) {
    if (!M->GetIsFileModule() || M->GetIsProjectGroup()) continue;
    Take(M->GetFileName());
    for (int I = 0; I < M->GetEditorBufferCount(); ++I)
      if (TEditBuffer* B = M->GetEditorBufferAt(I)) Take(B->FileName());
  }
  return Names;
}

}  // namespace nxs
