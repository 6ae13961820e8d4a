#include "projectfiles/msbtask.h"

#include <algorithm>

#include "projectfiles/nodes.h"
#include "projectfiles/resstrings.h"
#include "projectfiles/xmlio.h"
#include "shared/dialogs.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"

namespace nxs {

namespace {

class EToolDescription : public Exception {
 public:
  using Exception::Exception;
};

std::vector<std::string> SplitList(const std::string& Text) {
  std::vector<std::string> R;
  for (auto& Part : Split(Text, ';')) {
    std::string T = Trim(Part);
    if (!T.empty()) R.push_back(T);
  }
  return R;
}

bool BoolAttr(const TNode& Node, const char* Name, bool Default = false) {
  std::string V = Node.GetAttribute(Name);
  if (V.empty()) return Default;
  return SameText(V, "true") || V == "1";
}

int64_t IntAttr(const TNode& Node, const char* Name, int64_t Default) {
  return StrToIntDef(Node.GetAttribute(Name), Default);
}

struct TKindName {
  const char* Name;
  TOTAOptionArgumentType Type;
};
constexpr TKindName KindNames[] = {
    {"String", atString},       {"StringList", atStringList}, {"Filename", atFilename},
    {"FileList", atFileList},   {"Directory", atDirectory},   {"DirectoryList", atDirectoryList},
    {"Number", atNumber},       {"DecimalNumber", atDecimalNumber}, {"Enumeration", atEnumeration},
    {"Boolean", atNone},        {"None", atNone},
};

}  // namespace

void TMSBuildTask::Initialize() {
  if (FInitialized) return;
  std::unique_ptr<TNode> Root;
  try {
    TXmlReader Reader;
    Root = Reader.Read(FileSystem().ReadFile(FAssemblyFilename));
  } catch (const Exception& E) {
    throw Exception(Format(res::SToolDescription, FAssemblyFilename, E.Message()));
  }
  try {
    ReadDescription(*Root);
  } catch (const Exception& E) {
    FOptions.clear();
    FOptionList.clear();
    FGroups.clear();
    throw Exception(Format(res::SToolDescription, FAssemblyFilename, E.Message()));
  }
  FInitialized = true;
}

void TMSBuildTask::ReadDescription(TNode& Root) {
  std::string Described = Root.GetAttribute("Name");
  if (Root.GetName() != "ToolDescription" || !SameText(Described, FResourceName))
    throw EToolDescription(Format(res::SToolNotDescribed, Described, FResourceName));
  FDescription = Root.GetAttribute("Description");
  FPageIndex = static_cast<int>(IntAttr(Root, "PageIndex", 0));
  FFileExtensions = SplitList(Root.GetAttribute("FileExtensions"));
  FPlatforms = SplitList(Root.GetAttribute("Platforms"));
  for (const auto& P : SplitList(Root.GetAttribute("Personalities"))) AddFilter(P);

  std::vector<std::shared_ptr<TProjectOption>> Options;
  for (int I = 0; I < Root.Count(); ++I) {
    TNode& Child = *Root.GetNode(I);
    if (Child.GetName() == "Group") ReadGroup(Child, nullptr, Options);
    else if (Child.GetName() == "Option") Options.push_back(ReadOption(Child, {}));
  }
  OrganizeOptions(Options);
}

void TMSBuildTask::ReadGroup(TNode& Node, TOptionGroup* Parent, std::vector<std::shared_ptr<TProjectOption>>& Options) {
  auto Group = std::make_shared<TMSBuildOptionGroup>(Node.GetAttribute("Name"), Node.GetAttribute("Description"), FName);
  Group->SetHelpKeyword(Node.GetAttribute("HelpKeyword"));
  Group->SetHidden(BoolAttr(Node, "Hidden"));
  Group->SetPageIndex(static_cast<int>(IntAttr(Node, "PageIndex", 0)));
  Group->SetPlatforms(SplitList(Node.GetAttribute("Platforms")));
  for (const auto& P : SplitList(Node.GetAttribute("Personalities"))) Group->AddFilter(P);
  if (Parent) {
    Group->SetParentName(Parent->Name());
    Parent->AddGroup(Group);
  } else {
    AddGroup(Group);
  }
  for (int I = 0; I < Node.Count(); ++I) {
    TNode& Child = *Node.GetNode(I);
    if (Child.GetName() == "Group") ReadGroup(Child, Group.get(), Options);
    else if (Child.GetName() == "Option") Options.push_back(ReadOption(Child, Group->Name()));
  }
}

std::shared_ptr<TProjectOption> TMSBuildTask::ReadOption(TNode& Node, const std::string& GroupName) {
  auto Option = std::make_shared<TProjectOption>(Node.GetAttribute("Name"));
  const std::string& Name = Option->Name();
  std::string KindText = Node.GetAttribute("Type");
  if (KindText.empty()) KindText = "String";
  auto Kind = std::find_if(std::begin(KindNames), std::end(KindNames), [&](auto& K) { return SameText(K.Name, KindText); });
  if (Kind == std::end(KindNames)) throw EToolDescription(Format(res::SToolBadAttribute, Name, "Type", KindText));

  std::string ArgDesc = Node.GetAttribute("ArgumentDescription");
  std::string Separator = Node.GetAttribute("Separator");
  char Delimiter = Separator.empty() ? ';' : Separator[0];
  bool AllowMerge = BoolAttr(Node, "AllowMerge");
  std::shared_ptr<TArgumentInfo> Arg;
  switch (Kind->Type) {
    case atStringList:
      Arg = std::make_shared<TListArgumentInfo>(ArgDesc, Delimiter, AllowMerge);
      break;
    case atDirectoryList:
      Arg = std::make_shared<TDirectoryListArgumentInfo>(ArgDesc, Delimiter, AllowMerge);
      break;
    case atFileList:
      Arg = std::make_shared<TFileListArgumentInfo>(ArgDesc, Delimiter, AllowMerge, Node.GetAttribute("FileFilter"));
      break;
    case atFilename:
      Arg = std::make_shared<TFileNameArgumentInfo>(ArgDesc, Node.GetAttribute("FileFilter"));
      break;
    case atDirectory:
      Arg = std::make_shared<TDirectoryArgumentInfo>(ArgDesc);
      break;
    case atNumber:
      Arg = std::make_shared<TIntegerArgumentInfo>(ArgDesc, IntAttr(Node, "Min", 0), IntAttr(Node, "Max", 0));
      break;
    case atDecimalNumber:
      Arg = std::make_shared<TDecimalArgumentInfo>(ArgDesc, IntAttr(Node, "Min", 0), IntAttr(Node, "Max", 0));
      break;
    case atEnumeration: {
      TOTAArgumentEnumeration Values;
      for (int I = 0; I < Node.Count(); ++I) {
        TNode& V = *Node.GetNode(I);
        if (V.GetName() == "Value") Values.emplace_back(V.GetAttribute("Name"), V.GetAttribute("Description"));
      }
      Arg = std::make_shared<TValueListArgumentInfo>(ArgDesc, std::move(Values));
      break;
    }
    default:
      Arg = std::make_shared<TArgumentInfo>(Kind->Type, ArgDesc, Separator);
      break;
  }
  Arg->SetValueIsCDATA(BoolAttr(Node, "CDATA"));
  Option->SetArgument(Arg);
  Option->SetDescription(Node.GetAttribute("Description"));
  Option->SetLongDescription(Node.GetAttribute("LongDescription"));
  Option->SetDefaultValue(Node.GetAttribute("Default"));
  Option->SetArgumentRequired(BoolAttr(Node, "ArgumentRequired"));
  Option->SetExcludeFromDefaultSave(BoolAttr(Node, "ExcludeFromDefaultSave"));
  Option->SetHidden(BoolAttr(Node, "Hidden"));
  Option->SetEnabledText(Node.GetAttribute("EnabledText"));
  Option->SetDisabledText(Node.GetAttribute("DisabledText"));
  Option->SetParent(Node.GetAttribute("Parent"));
  Option->SetPlatforms(SplitList(Node.GetAttribute("Platforms")));
  Option->SetLocalPreventMerge(BoolAttr(Node, "LocalPreventMerge"));
  Option->SetSwitch(Node.GetAttribute("Switch"));
  for (const auto& P : SplitList(Node.GetAttribute("Personalities"))) Option->AddFilter(P);
  Option->SetTaskName(FName);
  Option->SetGroupName(GroupName);
  std::string Problem = Option->CheckValue(Option->DefaultValue());
  if (!Problem.empty()) throw EToolDescription(Format(res::SInvalidOptionValue, Name, Problem));
  return Option;
}

void TMSBuildTask::OrganizeOptions(const std::vector<std::shared_ptr<TProjectOption>>& Options) {
  for (const auto& O : Options) {
    if (!O->Parent().empty()) {
      auto Parent = std::find_if(Options.begin(), Options.end(), [&](auto& P) { return SameText(P->Name(), O->Parent()); });
      if (Parent == Options.end()) throw EToolDescription(Format(res::SToolBadAttribute, O->Name(), "Parent", O->Parent()));
      (*Parent)->AddChild(O.get());
    }
    if (O->GroupName().empty())
      AddOption(O);
    else
      GetGroup(O->GroupName())->AddOption(O);
  }
}

void RegisterMSBuildTasks(const std::string& Dir) {
  std::vector<std::string> Files;
  try {
    for (const auto& Name : FileSystem().ListDirectory(Dir))
      if (SameText(ExtractFileExt(Name), ".xml")) Files.push_back(Name);
  } catch (const EInOutError&) {
    return;  // no tool descriptions installed: the registry stays empty
  }
  std::sort(Files.begin(), Files.end());
  for (const auto& Name : Files) {
    std::string Tool = ChangeFileExt(Name, "");
    if (OptionManager().GetTask(Tool)) continue;
    try {
      OptionManager().RegisterTask(std::make_shared<TMSBuildTask>(Tool, IncludeTrailingPathDelimiter(Dir) + Name, Tool));
    } catch (const Exception& E) {
      Questions().ShowMessage(E.Message());
    }
  }
}

}  // namespace nxs
