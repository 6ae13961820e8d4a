#include "build/engine/expand.h"

#include "build/engine/items.h"
#include "build/engine/resstrings.h"
#include "shared/condscan.h"
#include "shared/fileio.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::engine {

namespace {

std::string_view TrimView(std::string_view S) {
  while (!S.empty() && IsBlank(S.front())) S.remove_prefix(1);
  while (!S.empty() && IsBlank(S.back())) S.remove_suffix(1);
  return S;
}

bool IsQuote(char C) { return C == '\'' || C == '"' || C == '`'; }

// A function result goes back into text that is split on ";" and unescaped later.
std::string EscapeResult(const std::string& S) {
  if (S.find_first_of("%;\x01") == std::string::npos) return S;
  std::string R;
  for (char C : S) {
    if (C == '%')
      R += "%25";
    else if (C == ';')
      R += "%3B";
    else if (C == ListMark)
      R += ';';
    else
      R += C;
  }
  return R;
}

// Out grows by Add bytes: refused beyond the context's limit.
void Grow(const std::string& Out, size_t Add, const TExpandContext& Ctx) {
  if (Add > Ctx.Limit || Out.size() > Ctx.Limit - Add) ExpansionTooLarge(Ctx);
}

[[noreturn]] void BadExpression(const TExpandContext& Ctx, std::string_view Expr, const std::string& Why) {
  Fail(Ctx.Where, Format(res::SBadExpression, Expr, Why));
}

bool LookupMetadata(const TExpandContext& Ctx, std::string_view Type, std::string_view Name, std::string& Value) {
  if (Ctx.MetaItem) {
    if (!GetItemMetadata(*Ctx.MetaItem, Name, Ctx.Project->Directory(), Value)) Value.clear();
    return true;
  }
  if (Ctx.Bucket) {
    if (const std::string* V = Ctx.Bucket->Find(Type, Name)) {
      Value = *V;
      return true;
    }
  }
  return false;
}

// Splits "Type.Name" or "Name"; false when it is not a metadata reference.
bool SplitMetadataRef(std::string_view Ref, std::string_view& Type, std::string_view& Name) {
  Ref = TrimView(Ref);
  size_t Dot = Ref.find('.');
  Type = Dot == std::string_view::npos ? std::string_view() : TrimView(Ref.substr(0, Dot));
  Name = Dot == std::string_view::npos ? Ref : TrimView(Ref.substr(Dot + 1));
  if (Name.empty()) return false;
  for (char C : Type)
    if (!IsNameChar(C)) return false;
  for (char C : Name)
    if (!IsNameChar(C)) return false;
  return true;
}

std::string MetadataPass(std::string_view Text, const TExpandContext& Ctx) {
  std::string Out;
  Out.reserve(Text.size());
  size_t I = 0;
  while (I < Text.size()) {
    char C = Text[I];
    if ((C == '@' || C == '%') && I + 1 < Text.size() && Text[I + 1] == '(') {
      size_t Close = C == '@' ? FindClose(Text, I + 1) : Text.find(')', I + 2);
      if (Close == std::string_view::npos) break;
      std::string_view Type, Name;
      std::string Value;
      if (C == '%' && SplitMetadataRef(Text.substr(I + 2, Close - I - 2), Type, Name) &&
          LookupMetadata(Ctx, Type, Name, Value)) {
        Out += Value;
      } else {
        Out.append(Text.substr(I, Close + 1 - I));
      }
      I = Close + 1;
      continue;
    }
    Out += C;
    ++I;
  }
  Out.append(Text.substr(I));
  return Out;
}

std::string PropertyPass(std::string_view Text, const TExpandContext& Ctx);

// Function arguments: split on top-level commas; quoted ones lose their quotes; each has its
// properties expanded and is unescaped.
std::vector<std::string> ParseArgs(std::string_view Text, const TExpandContext& Ctx) {
  std::vector<std::string> Args;
  if (TrimView(Text).empty()) return Args;
  size_t Start = 0, Depth = 0, Total = 0;
  for (size_t I = 0; I <= Text.size(); ++I) {
    if (I < Text.size()) {
      char C = Text[I];
      if (IsQuote(C)) {
        size_t E = Text.find(C, I + 1);
        if (E == std::string_view::npos) BadExpression(Ctx, Text, "an unterminated quoted argument");
        I = E;
        continue;
      }
      if (C == '(') ++Depth;
      if (C == ')' && Depth > 0) --Depth;
      if (C != ',' || Depth > 0) continue;
    }
    std::string_view A = TrimView(Text.substr(Start, I - Start));
    if (A.size() >= 2 && IsQuote(A.front()) && A.back() == A.front()) A = A.substr(1, A.size() - 2);
    Args.push_back(MSBuildUnescape(PropertyPass(A, Ctx)));
    Total += Args.back().size();
    if (Total > Ctx.Limit) ExpansionTooLarge(Ctx);
    Start = I + 1;
  }
  return Args;
}

std::string_view ReadName(std::string_view Body, size_t& P) {
  size_t S = P;
  while (P < Body.size() && IsNameChar(Body[P])) ++P;
  // "@(Type->..." : the "-" belongs to the arrow, not to the name.
  if (P > S && Body[P - 1] == '-' && P < Body.size() && Body[P] == '>') --P;
  return Body.substr(S, P - S);
}

void SkipBlanks(std::string_view S, size_t& P) {
  while (P < S.size() && IsBlank(S[P])) ++P;
}

// Function arguments expand by recursion; text nesting functions hundreds deep is refused.
thread_local int FunctionDepth = 0;
struct TFunctionNest {
  TFunctionNest(const TExpandContext& Ctx, std::string_view Body) {
    if (++FunctionDepth > 100) {
      --FunctionDepth;
      Fail(Ctx.Where, Format(res::SExpressionTooDeep, Body.substr(0, 60), 100));
    }
  }
  ~TFunctionNest() { --FunctionDepth; }
};

// The "(args)" that may follow a member name; false (and no arguments) when none follows.
bool ReadCallArgs(std::string_view Body, size_t& P, const TExpandContext& Ctx, std::vector<std::string>& Args) {
  SkipBlanks(Body, P);
  if (P >= Body.size() || Body[P] != '(') return false;
  size_t C = FindClose(Body, P);
  if (C == std::string_view::npos) BadExpression(Ctx, Body, "a \")\" is missing");
  Args = ParseArgs(Body.substr(P + 1, C - P - 1), Ctx);
  P = C + 1;
  return true;
}

// A property function: "[Type]::Member(args)" or "Name.Method(args)", chained.
std::string EvalFunction(std::string_view Body, const TExpandContext& Ctx) {
  TFunctionNest Nest(Ctx, Body);
  size_t P = 0;
  std::string Value;
  if (Body[0] == '[') {
    size_t Close = Body.find(']');
    if (Close == std::string_view::npos) BadExpression(Ctx, Body, "a \"]\" is missing");
    std::string_view Type = TrimView(Body.substr(1, Close - 1));
    P = Close + 1;
    SkipBlanks(Body, P);
    if (Body.substr(P, 2) != "::") BadExpression(Ctx, Body, "\"::\" is missing after the type");
    P += 2;
    SkipBlanks(Body, P);
    std::string_view Member = ReadName(Body, P);
    if (Member.empty()) BadExpression(Ctx, Body, "a member name is missing");
    std::vector<std::string> Args;
    bool Called = ReadCallArgs(Body, P, Ctx, Args);
    Value = CallStaticFunction(Type, Member, Args, Called, Ctx);
  } else {
    std::string_view Name = ReadName(Body, P);
    if (Name.empty()) BadExpression(Ctx, Body, "a property name is missing");
    std::string Raw;
    Ctx.Project->FindProperty(Name, Ctx.ThisFile, Raw);
    Value = MSBuildUnescape(Raw);
  }
  for (;;) {
    SkipBlanks(Body, P);
    if (P >= Body.size()) break;
    if (Body[P] != '.') BadExpression(Ctx, Body, Format("unexpected \"%s\"", Body.substr(P, 1)));
    ++P;
    SkipBlanks(Body, P);
    std::string_view Member = ReadName(Body, P);
    if (Member.empty()) BadExpression(Ctx, Body, "a method name is missing");
    std::vector<std::string> Args;
    bool Called = ReadCallArgs(Body, P, Ctx, Args);
    Value = CallStringMethod(Value, Member, Args, Called, Ctx);
  }
  return EscapeResult(Value);
}

std::string PropertyPass(std::string_view Text, const TExpandContext& Ctx) {
  size_t I = Text.find("$(");
  if (I == std::string_view::npos) return std::string(Text);
  std::string Out;
  Out.reserve(Text.size());
  size_t From = 0;
  while (I != std::string_view::npos) {
    size_t Close = FindClose(Text, I + 1);
    if (Close == std::string_view::npos) break;  // an unclosed "$(" stays as written
    Grow(Out, I - From, Ctx);
    Out.append(Text.substr(From, I - From));
    std::string_view Body = TrimView(Text.substr(I + 2, Close - I - 2));
    bool Simple = !Body.empty();
    for (char C : Body)
      if (!IsNameChar(C)) {
        Simple = false;
        break;
      }
    if (Simple) {
      std::string V;
      const std::string* Stored = Ctx.Project->StoredProperty(Body);
      if (Stored || Ctx.Project->FindProperty(Body, Ctx.ThisFile, V)) {
        const std::string& Value = Stored ? *Stored : V;
        Grow(Out, Value.size(), Ctx);
        Out += Value;
      }
    } else if (Body.empty()) {
      BadExpression(Ctx, Text.substr(I, Close + 1 - I), "a property name is missing");
    } else if (StartsText("Registry:", Body)) {
      // No registry here: such a property reads as empty, as a missing key does.
    } else {
      std::string V = EvalFunction(Body, Ctx);
      Grow(Out, V.size(), Ctx);
      Out += V;
    }
    From = Close + 1;
    I = Text.find("$(", From);
  }
  Grow(Out, Text.size() - From, Ctx);
  Out.append(Text.substr(From));
  return Out;
}

const TItemList& ItemsForType(const TExpandContext& Ctx, std::string_view Type) {
  static const TItemList None;
  if (Ctx.Bucket) {
    auto It = Ctx.Bucket->Items.find(Type);
    if (It != Ctx.Bucket->Items.end()) return It->second;
  }
  const TItemList* L = Ctx.Project->FindItems(Type);
  return L ? *L : None;
}

std::string MetaOf(const TItem& It, const std::string& Name, const TExpandContext& Ctx) {
  std::string V;
  GetItemMetadata(It, Name, Ctx.Project->Directory(), V);
  return V;
}

void ApplyItemFunction(std::string_view Name, const std::vector<std::string>& Args, TItemList& Items,
                       const TExpandContext& Ctx) {
  auto NeedArgs = [&](size_t N) {
    if (Args.size() != N) Fail(Ctx.Where, Format(res::SFunctionArgs, Name, static_cast<int>(Args.size())));
  };
  TItemList R;
  if (SameText(Name, "Distinct") || SameText(Name, "DistinctWithCase")) {
    bool Case = SameText(Name, "DistinctWithCase");
    for (auto& It : Items) {
      bool Seen = false;
      for (auto& X : R)
        if (Case ? X.Spec == It.Spec : SameText(X.Spec, It.Spec)) Seen = true;
      if (!Seen) R.push_back(std::move(It));
    }
  } else if (SameText(Name, "Reverse")) {
    R.assign(std::make_move_iterator(Items.rbegin()), std::make_move_iterator(Items.rend()));
  } else if (SameText(Name, "Count")) {
    R.push_back({IntToStr(static_cast<int64_t>(Items.size())), {}});
  } else if (SameText(Name, "ClearMetadata")) {
    for (auto& It : Items) R.push_back({std::move(It.Spec), {}});
  } else if (SameText(Name, "WithMetadataValue") || SameText(Name, "WithoutMetadataValue")) {
    NeedArgs(2);
    bool With = SameText(Name, "WithMetadataValue");
    for (auto& It : Items)
      if (SameText(MSBuildUnescape(MetaOf(It, Args[0], Ctx)), Args[1]) == With) R.push_back(std::move(It));
  } else if (SameText(Name, "HasMetadata")) {
    NeedArgs(1);
    for (auto& It : Items)
      if (!MetaOf(It, Args[0], Ctx).empty()) R.push_back(std::move(It));
  } else if (SameText(Name, "AnyHaveMetadataValue")) {
    NeedArgs(2);
    bool Any = false;
    for (auto& It : Items)
      if (SameText(MSBuildUnescape(MetaOf(It, Args[0], Ctx)), Args[1])) Any = true;
    R.push_back({BoolText(Any), {}});
  } else if (SameText(Name, "Metadata")) {
    NeedArgs(1);
    for (auto& It : Items) {
      std::string V = MetaOf(It, Args[0], Ctx);
      if (!V.empty()) R.push_back({std::move(V), It.Meta});
    }
  } else if (SameText(Name, "DirectoryName")) {
    for (auto& It : Items) {
      std::string Full = FullPathOf(MSBuildUnescape(It.Spec), Ctx.Project->Directory());
      size_t P = Full.rfind('/');
      R.push_back({MSBuildEscape(P == 0 ? "/" : Full.substr(0, P)), std::move(It.Meta)});
    }
  } else if (SameText(Name, "Exists")) {
    for (auto& It : Items)
      if (FileSystem().Stat(FullPathOf(MSBuildUnescape(It.Spec), Ctx.Project->Directory())).Exists)
        R.push_back(std::move(It));
  } else {
    // The string methods apply to each item's text.
    if (!IsStringMethod(Name)) Fail(Ctx.Where, Format(res::SUnknownItemFunction, Name));
    for (auto& It : Items) {
      std::string V = CallStringMethod(MSBuildUnescape(It.Spec), Name, Args, true, Ctx);
      if (!V.empty()) R.push_back({EscapeResult(V), std::move(It.Meta)});
    }
  }
  Items = std::move(R);
}

// Evaluates the inside of "@(...)" into Items; Separator is set when the expression names one.
void EvalItemExpression(std::string_view Body, const TExpandContext& Ctx, TItemList& Items, std::string* Separator,
                        bool& HasSeparator) {
  TFunctionNest Nest(Ctx, Body);
  size_t P = 0;
  SkipBlanks(Body, P);
  std::string_view Type = ReadName(Body, P);
  if (Type.empty()) BadExpression(Ctx, Body, "an item type is missing");
  Items = ItemsForType(Ctx, Type);
  HasSeparator = false;
  for (;;) {
    SkipBlanks(Body, P);
    if (Body.substr(P, 2) != "->") break;
    P += 2;
    SkipBlanks(Body, P);
    if (P < Body.size() && IsQuote(Body[P])) {
      size_t E = Body.find(Body[P], P + 1);
      if (E == std::string_view::npos) BadExpression(Ctx, Body, "an unterminated transform");
      std::string_view Transform = Body.substr(P + 1, E - P - 1);
      P = E + 1;
      TItemList R;
      R.reserve(Items.size());
      TExpandContext C2 = Ctx;
      C2.ExpandItems = false;
      size_t Bytes = 0;
      for (auto& It : Items) {
        C2.MetaItem = &It;
        std::string S = ExpandString(Transform, C2);
        if (S.empty()) continue;
        R.push_back({std::move(S), It.Meta});
        Bytes += ItemBytes(R.back());
        if (Bytes > Ctx.Limit) ExpansionTooLarge(Ctx);
      }
      Items = std::move(R);
      continue;
    }
    std::string_view Fn = ReadName(Body, P);
    if (Fn.empty()) BadExpression(Ctx, Body, "a transform or an item function is missing after \"->\"");
    std::vector<std::string> Args;
    ReadCallArgs(Body, P, Ctx, Args);
    ApplyItemFunction(Fn, Args, Items, Ctx);
  }
  SkipBlanks(Body, P);
  if (P < Body.size() && Body[P] == ',') {
    ++P;
    SkipBlanks(Body, P);
    if (P >= Body.size() || !IsQuote(Body[P])) BadExpression(Ctx, Body, "the separator must be quoted");
    size_t E = Body.find(Body[P], P + 1);
    if (E == std::string_view::npos) BadExpression(Ctx, Body, "an unterminated separator");
    if (Separator) *Separator = std::string(Body.substr(P + 1, E - P - 1));
    HasSeparator = true;
    P = E + 1;
    SkipBlanks(Body, P);
  }
  if (P != Body.size()) BadExpression(Ctx, Body, Format("unexpected \"%s\"", Body.substr(P)));
}

// Appends the items' texts separated by Sep to Out.
void JoinItems(const TItemList& Items, std::string_view Sep, std::string& Out, const TExpandContext& Ctx) {
  for (size_t I = 0; I < Items.size(); ++I) {
    Grow(Out, (I ? Sep.size() : 0) + Items[I].Spec.size(), Ctx);
    if (I) Out += Sep;
    Out += Items[I].Spec;
  }
}

std::string ItemPass(std::string_view Text, const TExpandContext& Ctx) {
  size_t I = Text.find("@(");
  if (I == std::string_view::npos) return std::string(Text);
  std::string Out;
  size_t From = 0;
  while (I != std::string_view::npos) {
    size_t Close = FindClose(Text, I + 1);
    if (Close == std::string_view::npos) break;
    Grow(Out, I - From, Ctx);
    Out.append(Text.substr(From, I - From));
    std::string_view Body = Text.substr(I + 2, Close - I - 2);
    // The common "@(Type)" joins the list in place without copying it.
    std::string_view Trimmed = TrimView(Body);
    bool Plain = !Trimmed.empty();
    for (char C : Trimmed)
      if (!IsNameChar(C)) Plain = false;
    if (Plain) {
      JoinItems(ItemsForType(Ctx, Trimmed), ";", Out, Ctx);
    } else {
      TItemList Items;
      std::string Sep = ";";
      bool HasSep = false;
      EvalItemExpression(Body, Ctx, Items, &Sep, HasSep);
      JoinItems(Items, Sep, Out, Ctx);
    }
    From = Close + 1;
    I = Text.find("@(", From);
  }
  Grow(Out, Text.size() - From, Ctx);
  Out.append(Text.substr(From));
  return Out;
}

template <class TAdd>
void AddSplit(std::string_view Text, TAdd&& Add) {
  size_t Start = 0;
  for (size_t I = 0; I <= Text.size(); ++I) {
    if (I < Text.size() && Text[I] != ';') continue;
    std::string_view P = TrimView(Text.substr(Start, I - Start));
    if (!P.empty()) Add(TItem{std::string(P), {}});
    Start = I + 1;
  }
}

}  // namespace

size_t FindClose(std::string_view Text, size_t Open) { return FindMatchingClose(Text, Open); }

void ExpansionTooLarge(const TExpandContext& Ctx) {
  if (Ctx.Making.empty()) Fail(Ctx.Where, Format(res::SValueTooLarge, res::SExpansionBound));
  Fail(Ctx.Where, Format(Ctx.MakingItems ? res::SItemsTooLarge : res::SPropertyTooLarge, Ctx.Making,
                         res::SExpansionBound));
}

bool ParseBool(std::string_view S, bool& Value) {
  static const char* const True[] = {"true", "on", "yes", "!false", "!off", "!no"};
  static const char* const False[] = {"false", "off", "no", "!true", "!on", "!yes"};
  for (const char* T : True)
    if (SameText(S, T)) return Value = true, true;
  for (const char* F : False)
    if (SameText(S, F)) return Value = false, true;
  return false;
}

std::string BoolText(bool B) { return B ? "True" : "False"; }

std::string ExpandString(std::string_view Text, const TExpandContext& Ctx) {
  if (Text.find_first_of("$@%") == std::string_view::npos) return std::string(Text);
  std::string S;
  if ((Ctx.MetaItem || Ctx.Bucket) && Text.find("%(") != std::string_view::npos)
    S = MetadataPass(Text, Ctx);
  else
    S = std::string(Text);
  if (S.find("$(") != std::string::npos) S = PropertyPass(S, Ctx);
  if (Ctx.ExpandItems && S.find("@(") != std::string::npos) S = ItemPass(S, Ctx);
  return S;
}

void ExpandIntoItems(std::string_view Text, const TExpandContext& Ctx, TItemList& Out) {
  size_t Bytes = 0;
  auto Add = [&](TItem It) {
    Bytes += ItemBytes(It);
    if (Bytes > Ctx.Limit) ExpansionTooLarge(Ctx);
    Out.push_back(std::move(It));
  };
  std::string S;
  if ((Ctx.MetaItem || Ctx.Bucket) && Text.find("%(") != std::string_view::npos)
    S = MetadataPass(Text, Ctx);
  else
    S = std::string(Text);
  if (S.find("$(") != std::string::npos) S = PropertyPass(S, Ctx);
  if (S.find("@(") == std::string::npos) {
    AddSplit(S, Add);
    return;
  }
  std::string_view V(S);
  size_t Start = 0;
  for (size_t I = 0; I <= V.size(); ++I) {
    if (I < V.size()) {
      if (V[I] == '@' && I + 1 < V.size() && V[I + 1] == '(') {
        size_t C = FindClose(V, I + 1);
        if (C != std::string_view::npos) I = C;
        continue;
      }
      if (V[I] != ';') continue;
    }
    std::string_view Piece = TrimView(V.substr(Start, I - Start));
    Start = I + 1;
    if (Piece.empty()) continue;
    if (Piece.size() > 3 && Piece[0] == '@' && Piece[1] == '(' && FindClose(Piece, 1) == Piece.size() - 1) {
      TItemList Items;
      std::string Sep = ";";
      bool HasSep = false;
      EvalItemExpression(Piece.substr(2, Piece.size() - 3), Ctx, Items, &Sep, HasSep);
      if (HasSep) {
        std::string Joined;
        JoinItems(Items, Sep, Joined, Ctx);
        if (!Joined.empty()) Add({std::move(Joined), {}});
      } else {
        for (auto& It : Items) Add(std::move(It));
      }
      continue;
    }
    if (!Ctx.ExpandItems) {
      Add(TItem{std::string(Piece), {}});
      continue;
    }
    AddSplit(ItemPass(Piece, Ctx), Add);
  }
}

void CollectBatchRefs(std::string_view Text, TBatchRefs& Refs) {
  for (size_t I = 0; I + 1 < Text.size(); ++I) {
    char C = Text[I];
    if ((C != '@' && C != '%') || Text[I + 1] != '(') continue;
    if (C == '@') {
      size_t P = I + 2;
      SkipBlanks(Text, P);
      std::string_view Type = ReadName(Text, P);
      if (!Type.empty()) {
        bool Seen = false;
        for (auto& T : Refs.ItemTypes)
          if (SameText(T, Type)) Seen = true;
        if (!Seen) Refs.ItemTypes.emplace_back(Type);
      }
      size_t Close = FindClose(Text, I + 1);
      if (Close == std::string_view::npos) return;
      I = Close;
      continue;
    }
    size_t Close = Text.find(')', I + 2);
    if (Close == std::string_view::npos) return;
    std::string_view Type, Name;
    if (SplitMetadataRef(Text.substr(I + 2, Close - I - 2), Type, Name)) {
      bool Seen = false;
      for (auto& [T, N] : Refs.Metadata)
        if (SameText(T, Type) && SameText(N, Name)) Seen = true;
      if (!Seen) Refs.Metadata.emplace_back(std::string(Type), std::string(Name));
    }
    I = Close;
  }
}

}  // namespace nxs::engine
