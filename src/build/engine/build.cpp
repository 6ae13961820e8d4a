#include "build/engine/build.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "build/engine/batching.h"
#include "build/engine/conditions.h"
#include "build/engine/expand.h"
#include "build/engine/filetimes.h"
#include "build/engine/items.h"
#include "build/engine/resstrings.h"
#include "shared/fileio.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::engine {

namespace {

TBuildEvent Ev(TEventKind Kind, TImportance Importance, std::string Text, std::string File = {}, int Line = 0,
               int Column = 0) {
  TBuildEvent E;
  E.Kind = Kind;
  E.Importance = Importance;
  E.Text = std::move(Text);
  E.File = std::move(File);
  E.Line = Line;
  E.Column = Column;
  return E;
}

// The started and finished events of targets and tasks.
TBuildEvent Frame(TEventKind Kind, const std::string& Name, const TLocation& Where, bool Succeeded = true) {
  TBuildEvent E = Ev(Kind, imNormal, Name, *Where.File, Where.Line);
  E.Succeeded = Succeeded;
  return E;
}

int Level(TVerbosity V) {
  switch (V) {
    case vbSilent: return 0;
    case vbQuiet: return 1;
    case vbMinimal: return 2;
    case vbDefault:
    case vbNormal: return 3;
    case vbDetailed: return 4;
    case vbDiagnostic: return 5;
  }
  return 3;
}

bool Visible(const TBuildEvent& E, TVerbosity V) {
  int L = Level(V);
  switch (E.Kind) {
    case ekError: return true;
    case ekWarning: return L >= 1;
    case ekMessage: return E.Importance == imHigh ? L >= 2 : E.Importance == imNormal ? L >= 3 : L >= 4;
    case ekOutput: return L >= 2;
    case ekProjectStarted:
    case ekProjectFinished:
    case ekTargetStarted:
    case ekTargetFinished: return L >= 3;
    case ekTaskStarted:
    case ekTaskFinished: return L >= 4;
  }
  return true;
}

std::string InstanceKey(const std::string& FullPath, const TPropertyMap& Globals) {
  std::string K = FullPath;
  for (const auto& [N, V] : Globals) {
    K += '\0';
    K += LowerCase(N);
    K += '=';
    K += V;
  }
  return K;
}

std::vector<std::string> NamesOf(const std::string& Text, const TExpandContext& Ctx) {
  std::vector<std::string> R;
  TItemList L;
  ExpandIntoItems(Text, Ctx, L);
  for (auto& It : L) R.push_back(MSBuildUnescape(It.Spec));
  return R;
}

TExpandContext ContextOf(TProject& P, const TXmlDocument& Doc, const TXmlElement& E, const TBucket* Bucket) {
  TExpandContext C;
  C.Project = &P;
  C.ThisFile = &Doc.FileName;
  C.Where = LocationOf(Doc, E);
  C.Bucket = Bucket;
  return C;
}

bool IsTaskAttribute(std::string_view N) {
  return SameText(N, "Condition") || SameText(N, "ContinueOnError") || SameText(N, "MSBuildRuntime") ||
         SameText(N, "MSBuildArchitecture");
}

// What a task hands back through SetOutput.
struct TOutputValue {
  bool IsText = false;
  std::string Text;
  std::vector<TTaskItem> Items;
};

enum TContinue { coStop, coWarn, coError };

class TContext : public TTaskContext {
 public:
  TContext(TBuildSession& S, TProject& P, const std::string& Name, const TLocation& Where, TContinue Continue)
      : FS(S), FP(P), FName(Name), FWhere(Where), FContinue(Continue) {}

  const std::string& TaskName() const override { return FName; }
  bool HasParameter(const std::string& Name) const override { return FParams.count(Name) > 0; }
  const TTaskParameter& Parameter(const std::string& Name) const override {
    static const TTaskParameter Empty;
    auto It = FParams.find(Name);
    return It == FParams.end() ? Empty : It->second;
  }
  bool BoolParameter(const std::string& Name, bool Default) const override {
    auto It = FParams.find(Name);
    if (It == FParams.end() || Trim(It->second.Text).empty()) return Default;
    bool B = Default;
    if (!ParseBool(Trim(It->second.Text), B))
      throw EEngineError(Format("The parameter \"%s\" of the task \"%s\" must be a Boolean, not \"%s\"", Name, FName,
                                It->second.Text),
                         *FWhere.File, FWhere.Line, FWhere.Column);
    return B;
  }
  void SetOutput(const std::string& Name, std::vector<TTaskItem> Items) override {
    TOutputValue& V = FOutputs[Name];
    V.IsText = false;
    V.Items = std::move(Items);
  }
  void SetOutput(const std::string& Name, const std::string& Text) override {
    TOutputValue& V = FOutputs[Name];
    V.IsText = true;
    V.Text = Text;
  }
  void Log(const TBuildEvent& Event) override {
    TBuildEvent E = Event;
    if (E.Kind == ekError) {
      if (FContinue == coWarn)
        E.Kind = ekWarning;
      else
        ++Errors;
    }
    if ((E.Kind == ekError || E.Kind == ekWarning) && E.File.empty()) {
      E.File = *FWhere.File;
      E.Line = FWhere.Line;
      E.Column = FWhere.Column;
    }
    FS.Log(E);
  }
  const TEvaluatedProject& Project() const override { return FP; }
  std::string ProjectDirectory() const override { return FP.Directory(); }
  ITaskHostObject* HostObject() const override {
    auto It = FS.Request().HostObjects.find(FName);
    return It == FS.Request().HostObjects.end() ? nullptr : It->second.get();
  }
  bool Cancelled() const override { return FS.Cancelled(); }
  TVerbosity Verbosity() const override { return FS.Request().Verbosity; }
  bool BuildProject(const std::string& FileName, const std::string& Targets, const TPropertyMap& Properties,
                    std::vector<TTaskItem>* Outputs) override {
    TPropertyMap Globals = FP.GlobalProperties();
    for (const auto& [N, V] : Properties) Globals[N] = V;
    std::vector<std::string> Names;
    for (auto& T : Split(Targets, ';'))
      if (!Trim(T).empty()) Names.push_back(Trim(T));
    return FS.BuildProject(FullPathOf(FileName, FP.Directory()), Globals, Names, Outputs, nullptr, &FWhere);
  }
  bool CallTargets(const std::vector<std::string>& Targets, std::vector<TTaskItem>* Outputs) override {
    TItemList Out;
    bool Ok = FS.RunTargets(FP, Targets, &FWhere, Outputs ? &Out : nullptr);
    if (Outputs)
      for (auto& It : Out) Outputs->push_back(FP.ToTaskItem(It));
    return Ok;
  }

  TNoCaseMap<TTaskParameter> FParams;
  TNoCaseMap<TOutputValue> FOutputs;
  int Errors = 0;

 private:
  TBuildSession& FS;
  TProject& FP;
  std::string FName;
  TLocation FWhere;
  TContinue FContinue;
};


// The newest input and the oldest output: a target is up to date when every output exists
// and none is older than any input.
int64_t TimeOf(const std::string& ItemSpec, const std::string& Dir) {
  return FileSystem().ModifiedTimeNs(FullPathOf(MSBuildUnescape(ItemSpec), Dir));
}

}  // namespace

void TBuildSession::Log(const TBuildEvent& E) {
  if (E.Kind == ekError) ++FErrors;
  if (FRequest.Logger && Visible(E, FRequest.Verbosity)) FRequest.Logger->Event(E);
}

void TBuildSession::LogError(const std::string& Text, const TLocation& Where) {
  TBuildEvent E;
  E.Kind = ekError;
  E.Text = Text;
  if (Where.File) E.File = *Where.File;
  E.Line = Where.Line;
  E.Column = Where.Column;
  Log(E);
}

bool TBuildSession::CheckCancel(const TLocation& Where) {
  if (!Cancelled()) return true;
  if (!FCancelReported) {
    FCancelReported = true;
    LogError(res::SBuildCancelled, Where);
  }
  return false;
}

bool TBuildSession::BuildProject(const std::string& FullPath, const TPropertyMap& Globals,
                                 const std::vector<std::string>& Targets, std::vector<TTaskItem>* Outputs,
                                 const std::string* Text, const TLocation* Caller) {
  if (FDepth >= MaxProjectDepth) {
    LogError(Format(res::SProjectsTooDeep, MaxProjectDepth, FullPath), Caller ? *Caller : TLocation{&FullPath, 0, 0});
    return false;
  }
  struct TDepth {
    int& D;
    explicit TDepth(int& Depth) : D(Depth) { ++D; }
    ~TDepth() { --D; }
  } Depth(FDepth);
  std::string Key = InstanceKey(FullPath, Globals);
  auto It = FInstances.find(Key);
  bool Fresh = It == FInstances.end();
  if (Fresh) {
    TInstance I;
    try {
      I.Project = EvaluateProject(FCache, FullPath, Globals, Text, FRequest.Logger);
    } catch (const EEngineError& E) {
      LogError(E.Text, TLocation{&E.File, E.Line, E.Column});
      return false;
    }
    It = FInstances.emplace(Key, std::move(I)).first;
  }
  TProject& P = *It->second.Project;
  TBuildEvent Started;
  Started.Kind = ekProjectStarted;
  Started.File = FullPath;
  Started.Text = FullPath;
  Log(Started);
  bool Ok = true;
  TLocation Here{&P.FullPath(), 0, 0};
  if (!It->second.InitialTargetsRun) {
    It->second.InitialTargetsRun = true;
    Ok = RunTargets(P, P.InitialTargets, &Here, nullptr);
  }
  std::vector<std::string> Names = Targets;
  if (Names.empty()) Names = P.DefaultTargets;
  if (Names.empty() && !P.FirstTarget.empty()) Names.push_back(P.FirstTarget);
  if (Names.empty() && Ok) {
    LogError(Format(res::SNoTargets, FullPath), Caller ? *Caller : Here);
    Ok = false;
  }
  TItemList Out;
  if (Ok) Ok = RunTargets(P, Names, Caller, Outputs ? &Out : nullptr);
  if (Outputs) {
    for (auto& Item : Out) {
      TTaskItem T = P.ToTaskItem(Item);
      if (!T.Metadata.count("MSBuildSourceProjectFile")) T.Metadata["MSBuildSourceProjectFile"] = FullPath;
      Outputs->push_back(std::move(T));
    }
  }
  TBuildEvent Finished;
  Finished.Kind = ekProjectFinished;
  Finished.File = FullPath;
  Finished.Text = FullPath;
  Finished.Succeeded = Ok;
  Log(Finished);
  return Ok;
}

bool TBuildSession::RunTargets(TProject& P, const std::vector<std::string>& Targets, const TLocation* Caller,
                               TItemList* Outputs) {
  for (const auto& Name : Targets) {
    if (!RunTarget(P, Name, Caller)) return false;
    if (Outputs) {
      auto& R = P.TargetResults[Name];
      for (auto& It : R.Outputs) {
        TItem Copy = It;
        if (!Copy.Meta.Find("MSBuildSourceTargetName")) Copy.Meta.Set("MSBuildSourceTargetName", MSBuildEscape(Name));
        Outputs->push_back(std::move(Copy));
      }
    }
  }
  return true;
}

bool TBuildSession::RunTarget(TProject& P, const std::string& Name, const TLocation* Caller) {
  TLocation Here = Caller ? *Caller : TLocation{&P.FullPath(), 0, 0};
  auto Def = P.Targets.find(Name);
  if (Def == P.Targets.end()) {
    LogError(Format(res::STargetNotFound, Name, P.FullPath()), Here);
    return false;
  }
  TTargetDef D = Def->second;
  TLocation Where = LocationOf(*D.Doc, *D.Element);
  {
    TTargetResult& R = P.TargetResults[Name];
    if (R.State == tsRunning) {
      std::string Chain;
      auto From = std::find_if(FTargetStack.begin(), FTargetStack.end(),
                               [&](const std::string& S) { return SameText(S, Name); });
      for (auto I = From; I != FTargetStack.end(); ++I) Chain += *I + " -> ";
      Chain += Name;
      LogError(Format(res::STargetCycle, Name, Chain), Where);
      return false;
    }
    if (R.State != tsNotRun) return R.State != tsFailed;
    R.State = tsRunning;
  }
  if (!CheckCancel(Where)) {
    P.TargetResults[Name].State = tsFailed;
    return false;
  }
  FTargetStack.push_back(Name);
  bool Ok = true;
  bool Run = false;
  try {
    TExpandContext Ctx = ContextOf(P, *D.Doc, *D.Element, nullptr);
    Run = EvaluateCondition(D.Element->AttributeOr("Condition"), Ctx);
    if (Run)
      for (const auto& Dep : NamesOf(D.Element->AttributeOr("DependsOnTargets"), Ctx))
        if (!(Ok = RunTarget(P, Dep, &Where))) break;
  } catch (const EEngineError& E) {
    LogError(E.Text, TLocation{&E.File, E.Line, E.Column});
    Ok = false;
  }
  if (Ok) {
    auto Before = P.BeforeTargets.find(Name);
    if (Before != P.BeforeTargets.end()) {
      std::vector<std::string> List = Before->second;
      for (const auto& B : List)
        if (!(Ok = RunTarget(P, B, &Where))) break;
    }
  }
  if (Ok && Run) Ok = ExecuteTarget(P, Name, D);
  FTargetStack.pop_back();
  P.TargetResults[Name].State = !Ok ? tsFailed : Run ? tsSucceeded : tsSkipped;
  if (!Ok) return false;
  auto After = P.AfterTargets.find(Name);
  if (After != P.AfterTargets.end()) {
    std::vector<std::string> List = After->second;
    for (const auto& A : List)
      if (!RunTarget(P, A, &Where)) return false;
  }
  return true;
}

bool TBuildSession::ExecuteTarget(TProject& P, const std::string& Name, const TTargetDef& Def) {
  const TXmlElement& T = *Def.Element;
  TLocation Where = LocationOf(*Def.Doc, T);
  Log(Frame(ekTargetStarted, Name, Where));
  bool Ok = true;
  bool Continue = true;
  try {
    const std::string* Inputs = T.Attribute("Inputs");
    const std::string* Outputs = T.Attribute("Outputs");
    TBatchRefs Refs;
    if (Inputs) CollectBatchRefs(*Inputs, Refs);
    if (Outputs) CollectBatchRefs(*Outputs, Refs);
    std::vector<TBucket> Buckets;
    std::vector<const TBucket*> Runs = BatchRuns(P, nullptr, Refs, Where, Buckets);
    for (const TBucket* B : Runs) {
      TBucket Partial;
      const TBucket* Use = B;
      if (Inputs && Outputs) {
        TExpandContext Ctx = ContextOf(P, *Def.Doc, T, B);
        TItemList In, Out;
        ExpandIntoItems(*Inputs, Ctx, In);
        ExpandIntoItems(*Outputs, Ctx, Out);
        if (In.empty() || Out.empty()) {
          Log(Ev(ekMessage, imLow, Format(res::STargetSkipped, Name)));
          continue;
        }
        int64_t NewestIn = 0;
        for (auto& I : In) NewestIn = std::max(NewestIn, TimeOf(I.Spec, P.Directory()));
        int64_t OldestOut = INT64_MAX;
        for (auto& O : Out) OldestOut = std::min(OldestOut, TimeOf(O.Spec, P.Directory()));
        if (OldestOut >= 0 && OldestOut >= NewestIn) {
          Log(Ev(ekMessage, imNormal, Format(res::STargetSkipped, Name)));
          continue;
        }
        // Outputs that are a transform of one input list build item by item: only the
        // inputs whose output is missing or older run.
        std::string_view O = *Outputs;
        while (!O.empty() && IsBlank(O.front())) O.remove_prefix(1);
        while (!O.empty() && IsBlank(O.back())) O.remove_suffix(1);
        size_t Arrow = O.find("->");
        if (O.starts_with("@(") && Arrow != std::string_view::npos && FindClose(O, 1) == O.size() - 1) {
          std::string Type(O.substr(2, Arrow - 2));
          Type = Trim(Type);
          TBatchRefs InRefs;
          CollectBatchRefs(*Inputs, InRefs);
          bool Refers = std::any_of(InRefs.ItemTypes.begin(), InRefs.ItemTypes.end(),
                                    [&](const std::string& S) { return SameText(S, Type); });
          const TItemList* Source = nullptr;
          if (B) {
            auto F = B->Items.find(Type);
            if (F != B->Items.end()) Source = &F->second;
          }
          if (!Source) Source = P.FindItems(Type);
          if (Refers && Source && InRefs.ItemTypes.size() == 1) {
            TItemList Stale;
            for (const TItem& Item : *Source) {
              TBucket One;
              if (B) One = *B;
              One.Items[Type] = TItemList{Item};
              TItemList ItemOut;
              ExpandIntoItems(*Outputs, ContextOf(P, *Def.Doc, T, &One), ItemOut);
              int64_t InTime = TimeOf(Item.Spec, P.Directory());
              bool Old = ItemOut.empty();
              for (auto& X : ItemOut) {
                int64_t OT = TimeOf(X.Spec, P.Directory());
                if (OT < 0 || OT < InTime) Old = true;
              }
              if (Old) Stale.push_back(Item);
            }
            if (Stale.empty()) {
              // Each output is newer than its own input: the cross-check above was too coarse.
              Log(Ev(ekMessage, imNormal, Format(res::STargetSkipped, Name)));
              continue;
            }
            if (Stale.size() < Source->size()) {
              Log(Ev(ekMessage, imNormal,
                              Format(res::STargetPartial, Name, static_cast<int>(Stale.size()),
                                     static_cast<int>(Source->size()))));
              if (B) Partial = *B;
              Partial.Items[Type] = std::move(Stale);
              Use = &Partial;
            }
          }
        }
      }
      if (!RunBody(P, Def, Use, Continue)) Ok = false;
      if (!Ok && !Continue) break;
    }
    if (Ok) {
      TExpandContext Ctx = ContextOf(P, *Def.Doc, T, nullptr);
      TItemList Result;
      if (const std::string* Returns = T.Attribute("Returns"))
        ExpandIntoItems(*Returns, Ctx, Result);
      else if (!P.AnyTargetReturns && Outputs)
        ExpandIntoItems(*Outputs, Ctx, Result);
      P.TargetResults[Name].Outputs = std::move(Result);
    }
  } catch (const EEngineError& E) {
    LogError(E.Text, TLocation{&E.File, E.Line, E.Column});
    Ok = false;
  }
  if (!Ok) {
    // OnError: the targets it names run before the target reports its failure.
    for (const auto& Child : T.Children) {
      if (!Child->Is("OnError")) continue;
      try {
        TExpandContext Ctx = ContextOf(P, *Def.Doc, *Child, nullptr);
        if (!EvaluateCondition(Child->AttributeOr("Condition"), Ctx)) continue;
        TLocation At = LocationOf(*Def.Doc, *Child);
        for (const auto& N : NamesOf(Child->AttributeOr("ExecuteTargets"), Ctx)) RunTarget(P, N, &At);
      } catch (const EEngineError& E) {
        LogError(E.Text, TLocation{&E.File, E.Line, E.Column});
      }
    }
  }
  Log(Frame(ekTargetFinished, Name, Where, Ok));
  return Ok;
}

bool TBuildSession::RunBody(TProject& P, const TTargetDef& Def, const TBucket* Bucket, bool& Continue) {
  bool Ok = true;
  for (const auto& Child : Def.Element->Children) {
    const TXmlElement& E = *Child;
    if (E.Is("OnError")) continue;
    TLocation Where = LocationOf(*Def.Doc, E);
    if (!CheckCancel(Where)) {
      Continue = false;
      return false;
    }
    if (E.Is("PropertyGroup")) {
      for (const auto& Prop : E.Children) ApplyPropertyElement(P, *Def.Doc, E, *Prop, Bucket);
      continue;
    }
    if (E.Is("ItemGroup")) {
      for (const auto& Item : E.Children) ApplyItemElementBatched(P, *Def.Doc, E, *Item, Bucket, true);
      continue;
    }
    if (!RunTask(P, E, *Def.Doc, Bucket)) {
      Ok = false;
      Continue = false;
      return false;
    }
  }
  return Ok;
}

bool TBuildSession::RunTask(TProject& P, const TXmlElement& E, const TXmlDocument& Doc, const TBucket* Bucket) {
  TLocation Where = LocationOf(Doc, E);
  TTaskFunction Fn;
  bool OwnChanges = false;
  if (!FindTask(E.Name, Fn, &OwnChanges)) {
    LogError(Format(res::STaskNotFound, E.Name), Where);
    return false;
  }
  TBatchRefs Refs;
  for (const auto& A : E.Attributes) CollectBatchRefs(A.Value, Refs);
  std::vector<TBucket> Buckets;
  // One run per batch; none when every batched list is empty.
  for (const TBucket* B : BatchRuns(P, Bucket, Refs, Where, Buckets))
    if (!RunTaskOnce(P, E, Doc, B, Fn, OwnChanges)) return false;
  return true;
}

bool TBuildSession::RunTaskOnce(TProject& P, const TXmlElement& E, const TXmlDocument& Doc, const TBucket* Bucket,
                                const TTaskFunction& Fn, bool OwnChanges) {
  TLocation Where = LocationOf(Doc, E);
  TExpandContext Ctx = ContextOf(P, Doc, E, Bucket);
  if (!EvaluateCondition(E.AttributeOr("Condition"), Ctx)) return true;
  if (!CheckCancel(Where)) return false;
  TContinue Continue = coStop;
  if (const std::string* C = E.Attribute("ContinueOnError")) {
    std::string V = Trim(MSBuildUnescape(ExpandString(*C, Ctx)));
    bool B = false;
    if (SameText(V, "WarnAndContinue") || (ParseBool(V, B) && B))
      Continue = coWarn;
    else if (SameText(V, "ErrorAndContinue"))
      Continue = coError;
  }
  TContext Task(*this, P, E.Name, Where, Continue);
  for (const auto& A : E.Attributes) {
    if (IsTaskAttribute(A.Name)) continue;
    TTaskParameter Param;
    Param.Text = MSBuildUnescape(ExpandString(A.Value, Ctx));
    TItemList Items;
    ExpandIntoItems(A.Value, Ctx, Items);
    Param.Items.reserve(Items.size());
    for (auto& It : Items) Param.Items.push_back(P.ToTaskItem(It));
    Task.FParams[A.Name] = std::move(Param);
  }
  Log(Frame(ekTaskStarted, E.Name, Where));
  NoteTaskStarted();
  bool Ok = false;
  int ErrorsBefore = FErrors;
  std::optional<TFileChanges> Changes;
  if (!OwnChanges) Changes.emplace();
  try {
    Ok = Fn(Task);
  } catch (const EEngineError& X) {
    Task.Log(Ev(ekError, imHigh, X.Text, X.File, X.Line, X.Column));
  } catch (const std::exception& X) {
    Task.Log(Ev(ekError, imHigh, Format(res::STaskCrashed, E.Name, X.what())));
  } catch (...) {
    Task.Log(Ev(ekError, imHigh, Format(res::STaskCrashed, E.Name, "unknown exception")));
  }
  if (Ok && Task.Errors > 0) Ok = false;
  // Errors of projects the task built (the MSBuild task) were logged by the build itself; a
  // task that stopped because the build was cancelled says so.
  if (!Ok && Task.Errors == 0 && FErrors == ErrorsBefore && Continue == coStop && CheckCancel(Where))
    Task.Log(Ev(ekError, imHigh, Format(res::STaskFailedSilently, E.Name)));
  Changes.reset();
  Log(Frame(ekTaskFinished, E.Name, Where, Ok));
  if (Ok || Continue != coStop) {
    for (const auto& Out : E.Children) {
      TLocation At = LocationOf(Doc, *Out);
      if (!Out->Is("Output")) Fail(At, Format(res::SUnknownElement, Out->Name, E.Name));
      TExpandContext OCtx = Ctx;
      OCtx.Where = At;
      if (!EvaluateCondition(Out->AttributeOr("Condition"), OCtx)) continue;
      const std::string* Param = Out->Attribute("TaskParameter");
      const std::string* Prop = Out->Attribute("PropertyName");
      const std::string* Item = Out->Attribute("ItemName");
      if (!Param || (!Prop && !Item) || (Prop && Item)) Fail(At, res::SOutputNeedsName);
      auto V = Task.FOutputs.find(*Param);
      if (V == Task.FOutputs.end()) {
        // The task did not set it: the property is left alone and no items are added.
        continue;
      }
      if (Prop) {
        std::string Text;
        if (V->second.IsText) {
          Text = MSBuildEscape(V->second.Text);
        } else {
          for (size_t I = 0; I < V->second.Items.size(); ++I)
            Text += (I ? ";" : "") + MSBuildEscape(V->second.Items[I].ItemSpec);
        }
        P.SetProperty(*Prop, Text, At);
      } else {
        TItemList& List = P.ItemsOf(*Item);
        auto Defs = P.ItemDefinitions.find(*Item);
        auto Add = [&](TItem It) {
          if (Defs != P.ItemDefinitions.end()) It.Meta.AddDefaults(Defs->second);
          P.AddItemBytes(*Item, ItemBytes(It), At);
          List.push_back(std::move(It));
        };
        if (V->second.IsText) {
          for (auto& S : Split(V->second.Text, ';'))
            if (!Trim(S).empty()) Add(TItem{MSBuildEscape(Trim(S)), {}});
        } else {
          for (auto& T : V->second.Items) {
            TItem It{MSBuildEscape(T.ItemSpec), {}};
            for (auto& [N, MV] : T.Metadata) It.Meta.Set(N, MSBuildEscape(MV));
            Add(std::move(It));
          }
        }
      }
    }
  }
  if (!Ok && Continue == coError) return true;  // the error stands; the build goes on
  return Ok || Continue != coStop;
}

}  // namespace nxs::engine
