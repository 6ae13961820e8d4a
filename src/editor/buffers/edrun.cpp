#include "editor/buffers/edrun.h"

#include <optional>

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/ekinit.h"
#include "editor/buffers/resstrings.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

namespace {

bool IsQueryClass(uint8_t Class) { return Class == ccQuery || Class == ccBlockQuery || Class == ccCharQuery; }

uint16_t BookmarkOf(std::string_view Args) {
  const std::optional<int64_t> N = TryStrToInt(Trim(Args));
  if (!N) throw EEditorError(Format(res::SBookmarkNotNumber, std::string(Args)));
  if (*N < 0 || *N > 9) throw EEditorError(res::SBookmarkRange);
  return static_cast<uint16_t>(*N);
}

}  // namespace

TNamedCommandResult RunNamedCommand(PEkView View, std::string_view Name, std::string_view Args) {
  const std::string Word(Name);
  const std::optional<TEkCommandRef> Ref = EkFindCommand(Name);
  if (!Ref) throw EEditorError(Format(res::SUnknownEditorCommand, Word));
  TNamedCommandResult Result;
  if (Ref->Class == ccOperation && (Ref->Code == mpUndo || Ref->Code == mpRedo)) {
    // Not even a blank: undo and redo are words of their own.
    if (!Args.empty()) throw EEditorError(Format(res::SCommandTakesNoArgument, Word));
    Ref->Code == mpUndo ? Undo(View) : Redo(View);
    return Result;
  }
  uint16_t Bookmark = 0;
  if (Ref->Class == ccBookmark)
    Bookmark = BookmarkOf(Args);
  else if (!Trim(Args).empty())
    throw EEditorError(Format(res::SCommandTakesNoArgument, Word));
  uint8_t Answer = 0;
  const TMapCommandResult R = RunMapCommand(View, *Ref, Bookmark, &Answer);
  if (!R.Known) throw EEditorError(Format(res::SNotAnEditorCommand, Word));
  if (IsQueryClass(Ref->Class)) {
    Result.IsQuery = true;
    Result.Answer = Answer != 0;
    return Result;
  }
  if (R.Status != 0 && R.Status != erNotFound)
    throw EEditorError(Format(res::SEditorCommandFailed, Word, std::string(EkOpName(R.Op))));
  if (R.Status == erNotFound && Ref->Class == ccBookmark)
    throw EEditorError(Format(res::SBookmarkNotSet, static_cast<int>(Bookmark)));
  return Result;
}

std::string UnescapeTypedText(std::string_view Text) {
  std::string Out;
  for (size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] != '\\' || I + 1 == Text.size()) {
      Out += Text[I];
      continue;
    }
    const char C = Text[++I];
    if (C == 'n')
      Out += '\r';  // a typed line break
    else if (C == 't')
      Out += '\t';
    else if (C == '\\')
      Out += '\\';
    else
      throw EEditorError(Format(res::SUnknownEscape, std::string(1, C)));
  }
  return Out;
}

TSearchRequest ParseSearchRequest(std::string_view Args, size_t Count) {
  TSearchRequest R;
  const size_t Blank = Args.find(' ');
  if (Blank == std::string_view::npos || Blank + 1 >= Args.size()) throw EEditorError(res::SExpectedSearchRequest);
  const std::string_view Flags = Args.substr(0, Blank);
  R.Flags = {sfFromCursor, sfGoForward};
  if (Flags != "-") {
    for (char C : Flags) {
      switch (C) {
        case 'c': R.Flags.Include(sfCase); break;
        case 'w': R.Flags.Include(sfWord); break;
        case 'r': R.Flags.Include(sfRegExp); break;
        case 'b': R.Flags.Include(sfRegExp); R.Brief = true; break;
        case 'a': R.Flags.Include(sfWrapAround); break;
        case 'u': R.Flags.Exclude(sfGoForward); break;
        default: throw EEditorError(Format(res::SUnknownSearchFlag, std::string(1, C)));
      }
    }
  }
  const char Delim = Args[Blank + 1];
  size_t Pos = Blank + 2;
  for (size_t I = 0; I < Count; ++I) {
    const size_t End = Args.find(Delim, Pos);
    if (End == std::string_view::npos) throw EEditorError(Format(res::SMissingClosingDelimiter, std::string(1, Delim)));
    R.Parts.emplace_back(Args.substr(Pos, End - Pos));
    Pos = End + 1;
  }
  if (Pos != Args.size()) throw EEditorError(res::STextAfterPattern);
  return R;
}

}  // namespace nxs
