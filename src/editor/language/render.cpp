#include "editor/language/render.h"

#include <cstdio>
#include <strings.h>

#include "editor/buffers/charwidth.h"
#include "editor/language/tokens.h"
#include "options/sourceoptions.h"

namespace nxs {

THighlighter* HighlighterForFile(TSourceOptionGroups& Groups, const std::string& FileName) {
  int Group = Groups.MoveToOptionsForFileType(FileName);
  if (Group < 0) return nullptr;
  THighlightManager& M = HighlightManager();
  return M.GetHighlighter(M.LookupHighlighter(std::string_view(Groups.Group(Group).SyntaxLangID)));
}

THighlighter* FindHighlighter(std::string_view Name) {
  THighlightManager& M = HighlightManager();
  auto Same = [&](const std::string& S) {
    return S.size() == Name.size() && strncasecmp(S.data(), Name.data(), S.size()) == 0;
  };
  for (int I = 0; I < M.GetHighlighterCount(); ++I) {
    THighlighter* H = M.GetHighlighter(I);
    const std::string ID = H->GetIDString();
    const size_t Dot = ID.rfind('.');
    if (Same(H->GetName()) || Same(ID) || (Dot != std::string::npos && Same(ID.substr(Dot + 1)))) return H;
  }
  return nullptr;
}

namespace {

const char* ClassName(uint8_t Class) {
  return Class < DisplayElementCount ? DisplayElements[Class] : DisplayElements[dePlainText];
}

int ElementOf(uint8_t Class) { return Class < DisplayElementCount ? int{Class} : int{dePlainText}; }

std::string Hex(int32_t Color) {
  char Buf[8];
  std::snprintf(Buf, sizeof Buf, "#%02X%02X%02X", Color & 0xFF, (Color >> 8) & 0xFF, (Color >> 16) & 0xFF);
  return Buf;
}

std::string AnsiStart(const TAttributeArray& A, int E) {
  const TSyntaxAttribute& S = A[E];
  std::string R;
  auto Add = [&](const std::string& Code) { R += (R.empty() ? "\x1b[" : ";") + Code; };
  if (S.Modifier & fsBold) Add("1");
  if (S.Modifier & fsItalic) Add("3");
  if (S.Modifier & fsUnderline) Add("4");
  auto Rgb = [](int32_t C) {
    return std::to_string(C & 0xFF) + ";" + std::to_string((C >> 8) & 0xFF) + ";" + std::to_string((C >> 16) & 0xFF);
  };
  if (!S.DefaultFG) Add("38;2;" + Rgb(S.ForegroundColor));
  if (!S.DefaultBG) Add("48;2;" + Rgb(S.BackgroundColor));
  return R.empty() ? R : R + "m";
}

void HtmlEscape(std::string& Out, std::string_view Text) {
  for (char C : Text) {
    switch (C) {
      case '&': Out += "&amp;"; break;
      case '<': Out += "&lt;"; break;
      case '>': Out += "&gt;"; break;
      case '"': Out += "&quot;"; break;
      default: Out += C;
    }
  }
}

std::string HtmlStyles(const TAttributeArray& A) {
  std::string R = "body { background: " + Hex(A.Background(deWhitespace)) + "; color: " +
                  Hex(A.Foreground(deWhitespace)) + "; }\n";
  for (int E = 1; E < DisplayElementCount; ++E) {
    const TSyntaxAttribute& S = A[E];
    R += ".e" + std::to_string(E) + " {";
    if (!S.DefaultFG) R += " color: " + Hex(S.ForegroundColor) + ";";
    if (!S.DefaultBG) R += " background: " + Hex(S.BackgroundColor) + ";";
    if (S.Modifier & fsBold) R += " font-weight: bold;";
    if (S.Modifier & fsItalic) R += " font-style: italic;";
    if (S.Modifier & fsUnderline) R += " text-decoration: underline;";
    R += " }\n";
  }
  return R;
}

}  // namespace

std::string TokenLines(int Line, std::string_view Text, const std::vector<TToken>& Tokens) {
  std::string R;
  size_t Col = 1, At = 0;
  for (const TToken& T : Tokens) {
    Col += Utf8CharCount(Text.substr(At, T.Start - At));
    At = T.Start;
    const size_t Length = Utf8CharCount(Text.substr(T.Start, T.Length));
    R += std::to_string(Line) + " " + std::to_string(Col) + " " + std::to_string(Length) + " " + ClassName(T.Class) + "\n";
  }
  return R;
}

std::string TokensOfLine(THighlighter& H, int Line, const std::function<std::string(int)>& LineText) {
  uint8_t Class = 0;
  for (int L = 1; L < Line; ++L) {
    const std::string Text = LineText(L);
    Class = H.TokenizeLineClass(Class, Text.data(), static_cast<int32_t>(Text.size()));
  }
  const std::string Text = LineText(Line);
  std::vector<TToken> Tokens;
  TokenizeLine(H, Class, Text, Tokens);
  return TokenLines(Line, Text, Tokens);
}

std::string RenderHighlighted(THighlighter& H, std::string_view Text, TRenderFormat Format, const TAttributeArray& Colors,
                              const std::string& Title) {
  std::string Out;
  if (Format == TRenderFormat::Html) {
    Out += "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>";
    HtmlEscape(Out, Title);
    Out += "</title>\n<style>\n" + HtmlStyles(Colors) + "</style>\n</head>\n<body>\n<pre>";
  }
  uint8_t Class = 0;
  int LineNo = 0;
  std::vector<TToken> Tokens;
  std::vector<uint8_t> Codes;
  size_t From = 0;
  while (From < Text.size()) {
    // Lines end as the editor ends them: CR LF, LF or a lone CR.
    const size_t Break = Text.find_first_of("\r\n", From);
    const size_t End = Break == std::string_view::npos ? Text.size() : Break;
    const std::string_view Line = Text.substr(From, End - From);
    ++LineNo;
    if (Format == TRenderFormat::Tokens) {
      Class = TokenizeLine(H, Class, Line, Tokens);
      Out += TokenLines(LineNo, Line, Tokens);
    } else {
      Codes.assign(Line.size() + 1, 0);
      Class = H.Tokenize(Class, Line.data(), static_cast<int32_t>(Line.size()), Codes.data());
      size_t I = 0;
      while (I < Line.size()) {
        size_t J = I + 1;
        while (J < Line.size() && Codes[J] == Codes[I]) ++J;
        const int E = ElementOf(Codes[I]);
        if (Format == TRenderFormat::Ansi) {
          const std::string Start = E == deWhitespace ? std::string() : AnsiStart(Colors, E);
          Out += Start;
          Out.append(Line.substr(I, J - I));
          if (!Start.empty()) Out += "\x1b[0m";
        } else if (E == deWhitespace) {
          HtmlEscape(Out, Line.substr(I, J - I));
        } else {
          Out += "<span class=\"e" + std::to_string(E) + "\">";
          HtmlEscape(Out, Line.substr(I, J - I));
          Out += "</span>";
        }
        I = J;
      }
      Out += '\n';
    }
    From = End + (Text.substr(End, 2) == "\r\n" ? 2 : 1);
  }
  if (Format == TRenderFormat::Html) Out += "</pre>\n</body>\n</html>\n";
  return Out;
}

}  // namespace nxs
