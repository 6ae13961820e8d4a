#include "changers.h"

#include <cctype>
#include <map>
#include <memory>

namespace nxs::test {

namespace {

using TArgs = std::vector<std::string>;

std::string Unit(const TChange& C) { return "u" + C.Tag() + ".pas"; }

// a.vproj holding a unit for every change (for the rows that take them away or move them).
void ProjectWithUnits(TBench& B) {
  std::string Items;
  B.ForEachChange([&](const TChange& C) {
    B.Write(Unit(C), "unit u" + C.Tag() + ";\n");
    Items += "<UnitReference Include=\"" + Unit(C) + "\"/>";
  });
  B.Project("a.vproj", Items);
}

// g.groupproj holding Fixed projects and, with ForEach, one p<tag>.vproj for every change.
void Group(TBench& B, const std::vector<std::string>& Fixed, bool ForEach) {
  B.Ok({"group", "new", B / "g.groupproj"});
  TArgs Add{"group", "add", B / "g.groupproj"};
  for (const auto& F : Fixed) {
    B.Project(F);
    Add.push_back(B / F);
  }
  if (ForEach)
    B.ForEachChange([&](const TChange& C) {
      B.Project("p" + C.Tag() + ".vproj");
      Add.push_back(B / ("p" + C.Tag() + ".vproj"));
    });
  if (Add.size() > 3) B.Ok(Add);
}

// g.groupproj, written by hand, holding y0.vproj... (one for each slot) and x0.vproj... (one
// for each round), each x depending on every y when Depending.
void DependencyGroup(TBench& B, bool Depending) {
  std::string Targets, Order, Ys;
  for (int S = 0; S < B.Slots; ++S) {
    const std::string Y = "y" + std::to_string(S);
    B.Project(Y + ".vproj");
    Targets += "<Target Name=\"" + Y + "\"><MSBuild Projects=\"" + Y + ".vproj\"/></Target>";
    Order += Y + ";";
    Ys += (Ys.empty() ? "" : ";") + Y;
  }
  for (int R = 0; R < B.Rounds; ++R) {
    const std::string X = "x" + std::to_string(R);
    B.Project(X + ".vproj");
    Targets += "<Target Name=\"" + X + "\"" + (Depending ? " DependsOnTargets=\"" + Ys + "\"" : "") +
               "><MSBuild Projects=\"" + X + ".vproj\"/></Target>";
    Order += X + ";";
  }
  B.Write("g.groupproj", "<Project xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">" + Targets +
                             "<Target Name=\"Build\"><CallTarget Targets=\"" + Order + "\"/></Target></Project>");
}

// Whether x<Round> depends on y<Slot> in g.groupproj.
bool DependsOn(TBench& B, const TChange& C) {
  const std::string X = "<Projects Include=\"x" + std::to_string(C.Round) + ".vproj\">";
  const std::string Item = Between(B.Text("g.groupproj"), X, "</Projects>");
  return Item.find("y" + std::to_string(C.Slot) + ".vproj") != std::string::npos;
}

// Whether the text of f.txt, or of one of its backups, holds the change's mark.
bool MarkKept(TBench& B, const TChange& C) {
  const std::string Mark = "mark " + C.Tag() + "\n";
  if (B.Has("f.txt", Mark)) return true;
  for (const auto& Name : FilesIn(B, "__history"))
    if (B.Has("__history/" + Name, Mark)) return true;
  return false;
}

// f.txt ends in what it held at first, whatever was typed above it: it was never cut short.
std::string TextWhole(TBench& B) {
  const std::string T = B.Text("f.txt");
  return T.ends_with("base\n") ? std::string() : "f.txt was cut short: " + T;
}

// Every backup holds the text of f.txt whole.
std::string BackupsWhole(TBench& B) {
  for (const auto& Name : FilesIn(B, "__history"))
    if (Name.find(".tmp") == std::string::npos && B.Text("__history/" + Name) != "base\n")
      return "the backup " + Name + " is not the file's text";
  return {};
}

// The position of o4.vproj in the group's build order.
int PositionOfO4(TBench& B) {
  std::vector<std::string> Order = GroupProjects(B.Text("g.groupproj"));
  return static_cast<int>(std::find(Order.begin(), Order.end(), "o4.vproj") - Order.begin());
}

// "Right Margin", "Gutter Width" and "Undo Limit", each in a range it accepts.
const char* const OptionNames[MaxSlots] = {"Right Margin", "Gutter Width", "Undo Limit"};
std::string OptionValue(const TChange& C) { return std::to_string((C.Slot == 2 ? 100 : 20 * (2 - C.Slot)) + C.Round); }

// The program b.vpr prints the round it was written in.
void WriteProgram(TBench& B, int Round) {
  B.Write("b.vpr", "program b;\n\nbegin\n  WriteLn(" + std::to_string(Round) + ");\nend.\n");
}

// What ./b prints; "" when it does not run.
std::string ProgramSays(TBench& B) {
  if (!B.Exists("b")) return {};
  std::string Out;
  if (FILE* P = ::popen(("'" + (B / "b") + "' 2>/dev/null").c_str(), "r")) {
    char Buf[64];
    while (std::fgets(Buf, sizeof Buf, P)) Out += Buf;
    if (::pclose(P) != 0) return {};
  }
  return Out;
}

// A row whose command makes one file a round (Stem<round>.Ext), "Command FILE Options", and
// refuses one that exists; "Reader FILE" reads it back.
TChangeRow MakesRow(const char* Name, const std::string& Stem, const std::string& Ext, TArgs Command, TArgs Options,
                    TArgs Reader) {
  auto File = [Stem, Ext](const TChange& C) { return Stem + std::to_string(C.Round) + Ext; };
  auto Shows = [File](TBench& B, const TChange& C) { return B.Exists(File(C)); };
  auto With = [File](TArgs Before, TArgs After) {
    return [File, Before, After](TBench& B, const TChange& C) {
      TArgs Args = Before;
      Args.push_back(B / File(C));
      Args.insert(Args.end(), After.begin(), After.end());
      return Args;
    };
  };
  return {.Name = Name,
          .File = File,
          .Prepare = [](TBench&) {},
          .Args = With(std::move(Command), std::move(Options)),
          .Shows = Shows,
          .Check = OneMakesIt(Shows),
          .Load = With(std::move(Reader), {}),
          .Makes = true};
}

}  // namespace

std::vector<TChangeRow> ChangeRows() {
  std::vector<TChangeRow> Rows;

  // -- Projects -------------------------------------------------------------------------------------------
  const TArgs Pascal{"--personality", "Vellum.Personality"};
  Rows.push_back(MakesRow("project new", "n", ".vproj", {"project", "new"}, Pascal, {"config", "list"}));
  {
    auto Shows = [](TBench& B, const TChange& C) { return B.Has("a.vproj", "Include=\"" + Unit(C) + "\""); };
    Rows.push_back({.Name = "project add",
                    .File = [](const TChange&) { return "a.vproj"; },
                    .Prepare =
                        [](TBench& B) {
                          B.Project("a.vproj");
                          B.ForEachChange([&](const TChange& C) { B.Write(Unit(C), "unit u" + C.Tag() + ";\n"); });
                        },
                    .Args =
                        [](TBench& B, const TChange& C) {
                          return TArgs{"project", "add", B / "a.vproj", B / Unit(C)};
                        },
                    .Shows = Shows,
                    .Check = EveryStays(Shows),
                    .Load =
                        [](TBench& B, const TChange&) {
                          return TArgs{"project", "tree", B / "a.vproj"};
                        }});
  }
  {
    auto Shows = [](TBench& B, const TChange& C) { return !B.Has("a.vproj", "Include=\"" + Unit(C) + "\""); };
    Rows.push_back({.Name = "project remove",
                    .File = [](const TChange&) { return "a.vproj"; },
                    .Prepare = ProjectWithUnits,
                    .Args =
                        [](TBench& B, const TChange& C) {
                          return TArgs{"project", "remove", B / "a.vproj", B / Unit(C)};
                        },
                    .Shows = Shows,
                    .Check = EveryStays(Shows),
                    .Load =
                        [](TBench& B, const TChange&) {
                          return TArgs{"project", "tree", B / "a.vproj"};
                        }});
  }
  {
    // Into a folder that does not exist yet.
    auto Moved = [](const TChange& C) { return "moved" + std::to_string(C.Round) + "/v" + C.Tag() + ".pas"; };
    auto Shows = [Moved](TBench& B, const TChange& C) {
      return B.Has("a.vproj", "Include=\"moved" + std::to_string(C.Round) + "\\v" + C.Tag() + ".pas\"") &&
             !B.Has("a.vproj", "Include=\"" + Unit(C) + "\"") && B.Exists(Moved(C)) && !B.Exists(Unit(C));
    };
    Rows.push_back({.Name = "project rename",
                    .File = [](const TChange&) { return "a.vproj"; },
                    .Prepare = ProjectWithUnits,
                    .Args =
                        [Moved](TBench& B, const TChange& C) {
                          return TArgs{"project", "rename", B / "a.vproj", B / Unit(C), B / Moved(C)};
                        },
                    .Shows = Shows,
                    .Check = EveryStays(Shows),
                    .Load =
                        [](TBench& B, const TChange&) {
                          return TArgs{"project", "tree", B / "a.vproj"};
                        }});
  }

  // -- Groups ----------------------------------------------------------------------------------------------
  auto Groupproj = [](const TChange&) { return "g.groupproj"; };
  auto ShowGroup = [](TBench& B, const TChange&) { return TArgs{"group", "show", B / "g.groupproj"}; };
  Rows.push_back(MakesRow("group new", "g", ".groupproj", {"group", "new"}, {}, {"group", "show"}));
  {
    auto Shows = [](TBench& B, const TChange& C) { return B.Has("g.groupproj", "\"p" + C.Tag() + ".vproj\""); };
    Rows.push_back({.Name = "group add",
                    .File = Groupproj,
                    .Prepare =
                        [](TBench& B) {
                          B.Ok({"group", "new", B / "g.groupproj"});
                          B.ForEachChange([&](const TChange& C) { B.Project("p" + C.Tag() + ".vproj"); });
                        },
                    .Args =
                        [](TBench& B, const TChange& C) {
                          return TArgs{"group", "add", B / "g.groupproj", B / ("p" + C.Tag() + ".vproj")};
                        },
                    .Shows = Shows,
                    .Check = EveryStays(Shows),
                    .Load = ShowGroup});
  }
  {
    auto Shows = [](TBench& B, const TChange& C) { return !B.Has("g.groupproj", "\"p" + C.Tag() + ".vproj\""); };
    Rows.push_back({.Name = "group remove",
                    .File = Groupproj,
                    .Prepare = [](TBench& B) { Group(B, {}, true); },
                    .Args =
                        [](TBench& B, const TChange& C) {
                          return TArgs{"group", "remove", B / "g.groupproj", "p" + C.Tag()};
                        },
                    .Shows = Shows,
                    .Check = EveryStays(Shows),
                    .Load = ShowGroup});
  }
  {
    auto Shows = [](TBench& B, const TChange& C) {
      return B.Has("g.groupproj", "\"ActiveProject\">o" + std::to_string(C.Slot) + ".vproj<");
    };
    Rows.push_back({.Name = "group activate",
                    .File = Groupproj,
                    .Prepare =
                        [](TBench& B) {
                          Group(B, {"o0.vproj", "o1.vproj", "o2.vproj"}, false);
                        },
                    .Args =
                        [](TBench& B, const TChange& C) {
                          return TArgs{"group", "activate", B / "g.groupproj", "o" + std::to_string(C.Slot)};
                        },
                    .Shows = Shows,
                    .Check = OneStands(Shows),
                    .Load = ShowGroup});
  }
  {
    // o4 moves later in slots 0 and 2 and sooner in slot 1, except where it stands at an end
    // when the change is made; each move that succeeded moves it by one place, and one that
    // found it at an end meanwhile says so.
    std::vector<std::string> Nine;
    for (int I = 0; I < 9; ++I) Nine.push_back("o" + std::to_string(I) + ".vproj");
    struct TMoves {
      std::map<std::string, int> Step;  // by change: +1 later, -1 sooner
      int Expected = 4;
    };
    auto Moves = std::make_shared<TMoves>();
    Rows.push_back({.Name = "group order",
                    .File = Groupproj,
                    .Prepare = [Nine, Moves](TBench& B) {
                      Group(B, Nine, false);
                      *Moves = TMoves();
                    },
                    .Args = [Moves](TBench& B, const TChange& C) {
                      const int At = PositionOfO4(B);
                      const int Step = At == 0 ? 1 : At == 8 ? -1 : C.Slot == 1 ? -1 : 1;
                      Moves->Step[C.Tag()] = Step;
                      return TArgs{"group", "order", B / "g.groupproj", "o4", Step < 0 ? "--sooner" : "--later"};
                    },
                    .Shows = nullptr,
                    .Check = [Moves](TBench& B, int Round, const std::vector<TRunResult>& Runs) -> std::string {
                      for (int Slot = 0; Slot < static_cast<int>(Runs.size()); ++Slot)
                        if (Runs[Slot].Status == 0) Moves->Expected += Moves->Step[TChange{Round, Slot}.Tag()];
                      const int At = PositionOfO4(B);
                      return At == Moves->Expected ? std::string()
                                                   : "o4 stands at " + std::to_string(At) + ", not " +
                                                         std::to_string(Moves->Expected);
                    },
                    .Load = ShowGroup});
  }
  {
    // Change (R, S) makes x<R> depend on y<S>: distinct dependencies from a few projects.
    auto Shows = [](TBench& B, const TChange& C) { return DependsOn(B, C); };
    Rows.push_back({.Name = "group depend",
                    .File = Groupproj,
                    .Prepare = [](TBench& B) { DependencyGroup(B, false); },
                    .Args = [](TBench& B, const TChange& C) {
                      return TArgs{"group", "depend", B / "g.groupproj", "x" + std::to_string(C.Round), "--on",
                                   "y" + std::to_string(C.Slot)};
                    },
                    .Shows = Shows,
                    .Check = EveryStays(Shows),
                    .Load = ShowGroup});
  }
  {
    auto Shows = [](TBench& B, const TChange& C) { return !DependsOn(B, C); };
    Rows.push_back({.Name = "group nodepend",
                    .File = Groupproj,
                    .Prepare = [](TBench& B) { DependencyGroup(B, true); },
                    .Args = [](TBench& B, const TChange& C) {
                      return TArgs{"group", "nodepend", B / "g.groupproj", "x" + std::to_string(C.Round), "--on",
                                   "y" + std::to_string(C.Slot)};
                    },
                    .Shows = Shows,
                    .Check = EveryStays(Shows),
                    .Load = ShowGroup});
  }
  {
    // Each round's legacy group upgraded into a new file beside it.
    TChangeRow Row = MakesRow("group upgrade", "old", ".groupproj", {}, {}, {"group", "show"});
    Row.Prepare = [](TBench& B) {
      B.Project("o.vproj");
      for (int R = 0; R < B.Rounds; ++R)
        B.Write("old" + std::to_string(R) + ".nxsgroup",
                "\xEF\xBB\xBF<TarvosProject><Projects><Project Name=\"o\" File=\"o.vproj\" GUID=\"\"/>"
                "</Projects><Targets>o</Targets><ActiveProject>o</ActiveProject></TarvosProject>");
    };
    Row.Args = [](TBench& B, const TChange& C) {
      return TArgs{"group", "upgrade", B / ("old" + std::to_string(C.Round) + ".nxsgroup")};
    };
    Rows.push_back(std::move(Row));
  }

  // -- Option sets and configurations ----------------------------------------------------------------------
  Rows.push_back(MakesRow("optionset new", "s", ".optset", {"optionset", "new"}, Pascal, {"project", "show"}));
  auto Vproj = [](const TChange&) { return "a.vproj"; };
  auto ListConfigs = [](TBench& B, const TChange&) { return TArgs{"config", "list", B / "a.vproj"}; };
  {
    auto Shows = [](TBench& B, const TChange& C) { return B.Has("a.vproj", "<Defines>D" + C.Tag() + "</Defines>"); };
    Rows.push_back({.Name = "config set",
                    .File = Vproj,
                    .Prepare = [](TBench& B) { B.Project("a.vproj"); },
                    .Args =
                        [](TBench& B, const TChange& C) {
                          return TArgs{"config",   "set",   B / "a.vproj", "Defines",  "D" + C.Tag(),
                                       "--config", "Debug", "--file",      B / Unit(C)};
                        },
                    .Shows = Shows,
                    .Check = EveryStays(Shows),
                    .Load = ListConfigs});
  }
  {
    auto Shows = [](TBench& B, const TChange& C) { return B.Has("a.vproj", "'$(Config)'=='C" + C.Tag() + "'"); };
    Rows.push_back({.Name = "config add",
                    .File = Vproj,
                    .Prepare = [](TBench& B) { B.Project("a.vproj"); },
                    .Args =
                        [](TBench& B, const TChange& C) {
                          return TArgs{"config", "add", B / "a.vproj", "C" + C.Tag()};
                        },
                    .Shows = Shows,
                    .Check = EveryStays(Shows),
                    .Load = ListConfigs});
  }
  {
    auto Shows = [](TBench& B, const TChange& C) { return !B.Has("a.vproj", "'$(Config)'=='C" + C.Tag() + "'"); };
    Rows.push_back({.Name = "config remove",
                    .File = Vproj,
                    .Prepare =
                        [](TBench& B) {
                          // The configurations as "config add" writes them, one key each.
                          B.Project("a.vproj");
                          std::string T = B.Text("a.vproj");
                          std::string Groups;
                          int Key = 3;
                          B.ForEachChange([&](const TChange& C) {
                            const std::string K = "Cfg_" + std::to_string(Key++);
                            Groups += "<PropertyGroup Condition=\"'$(Config)'=='C" + C.Tag() + "' or '$(" + K +
                                      ")'!=''\"><" + K + ">true</" + K +
                                      "><CfgParent>Base</CfgParent><Base>true</Base>"
                                      "</PropertyGroup>";
                          });
                          const std::string Before = "<PropertyGroup Condition=\"'$(Base)'!=''\"/>";
                          T.insert(T.find(Before), Groups);
                          B.Write("a.vproj", T);
                        },
                    .Args =
                        [](TBench& B, const TChange& C) {
                          return TArgs{"config", "remove", B / "a.vproj", "C" + C.Tag()};
                        },
                    .Shows = Shows,
                    .Check = EveryStays(Shows),
                    .Load = ListConfigs});
  }
  {
    const char* Names[MaxSlots] = {"Base", "Debug", "Release"};
    auto Shows = [Names](TBench& B, const TChange& C) {
      return B.Has("a.vproj", std::string("<Config Condition=\"'$(Config)'==''\">") + Names[C.Slot] + "</Config>");
    };
    Rows.push_back({.Name = "config activate",
                    .File = Vproj,
                    .Prepare = [](TBench& B) { B.Project("a.vproj"); },
                    .Args =
                        [Names](TBench& B, const TChange& C) {
                          return TArgs{"config", "activate", B / "a.vproj", Names[C.Slot]};
                        },
                    .Shows = Shows,
                    .Check = OneStands(Shows),
                    .Load = ListConfigs});
  }
  {
    auto Set = [](const TChange& C) { return "s" + C.Tag() + ".optset"; };
    auto Shows = [Set](TBench& B, const TChange& C) { return B.Has("a.vproj", "<Import Project=\"" + Set(C) + "\""); };
    Rows.push_back({.Name = "config reference",
                    .File = Vproj,
                    .Prepare =
                        [Set](TBench& B) {
                          B.Project("a.vproj");
                          B.Ok({"optionset", "new", B / "set.optset", "--personality", "Vellum.Personality"});
                          B.ForEachChange([&](const TChange& C) { B.Write(Set(C), B.Text("set.optset")); });
                        },
                    .Args =
                        [Set](TBench& B, const TChange& C) {
                          return TArgs{"config", "reference", B / "a.vproj", B / Set(C), "--config", "Debug"};
                        },
                    .Shows = Shows,
                    .Check = EveryStays(Shows),
                    .Load = ListConfigs});
  }

  // -- Settings: options, favourites -----------------------------------------------------------------------
  auto Settings = [](const TChange&) { return "settings/settings.ini"; };
  {
    auto Shows = [](TBench& B, const TChange& C) {
      return B.Has("settings/settings.ini", std::string("\n") + OptionNames[C.Slot] + "=int:" + OptionValue(C) + "\n");
    };
    Rows.push_back({.Name = "options set",
                    .File = Settings,
                    .Prepare = [](TBench&) {},
                    .Args =
                        [](TBench&, const TChange& C) {
                          return TArgs{"options", "set", "Editor\\Options", OptionNames[C.Slot], OptionValue(C)};
                        },
                    .Shows = Shows,
                    .Check = EveryStays(Shows),
                    .Load =
                        [](TBench&, const TChange&) {
                          return TArgs{"options", "show", "Editor\\Options"};
                        }});
  }
  auto ListFavorites = [](TBench&, const TChange&) { return TArgs{"history", "favorites"}; };
  {
    auto Shows = [](TBench& B, const TChange& C) {
      return B.Has("settings/settings.ini", "=\"" + (B / ("f" + C.Tag())) + "\"");
    };
    Rows.push_back({.Name = "favorites add",
                    .File = Settings,
                    .Prepare = [](TBench&) {},
                    .Args =
                        [](TBench& B, const TChange& C) {
                          return TArgs{"history", "favorites", "add", B / ("f" + C.Tag())};
                        },
                    .Shows = Shows,
                    .Check = EveryStays(Shows),
                    .Load = ListFavorites});
  }
  {
    auto Shows = [](TBench& B, const TChange& C) {
      return !B.Has("settings/settings.ini", "=\"" + (B / ("f" + C.Tag())) + "\"");
    };
    Rows.push_back({.Name = "favorites remove",
                    .File = Settings,
                    .Prepare =
                        [](TBench& B) {
                          std::string Ini = "[Favorites]\n";
                          int N = 0;
                          B.ForEachChange([&](const TChange& C) {
                            Ini += std::to_string(N++) + "=\"" + (B / ("f" + C.Tag())) + "\"\n";
                          });
                          B.Write("settings/settings.ini", Ini);
                        },
                    .Args =
                        [](TBench& B, const TChange& C) {
                          return TArgs{"history", "favorites", "remove", B / ("f" + C.Tag())};
                        },
                    .Shows = Shows,
                    .Check = EveryStays(Shows),
                    .Load = ListFavorites});
  }

  // -- Saved files: backups and editor saves --------------------------------------------------------------
  auto TextFile = [](const TChange&) { return "f.txt"; };
  auto Base = [](TBench& B) { B.Write("f.txt", "base\n"); };
  {
    // Each backup that was reported is there, under a name of its own, with the file's text.
    TCheck Check = [](TBench& B, int, const std::vector<TRunResult>& Runs) -> std::string {
      std::vector<std::string> Names;
      for (const auto& R : Runs) {
        if (R.Status != 0) continue;
        const std::string Name = R.Out.substr(0, R.Out.find('\n'));
        if (std::find(Names.begin(), Names.end(), Name) != Names.end()) return "two backups named " + Name;
        Names.push_back(Name);
        if (ReadText(Name) != "base\n") return "the backup " + Name + " is lost";
      }
      return {};
    };
    Rows.push_back({.Name = "history backup",
                    .File = TextFile,
                    .Prepare = Base,
                    .Args =
                        [](TBench& B, const TChange&) {
                          return TArgs{"history", "backup", B / "f.txt"};
                        },
                    .Shows = nullptr,
                    .Check = Check,
                    .Load =
                        [](TBench& B, const TChange&) {
                          return TArgs{"history", "backup", B / "f.txt"};
                        },
                    .Intact = BackupsWhole});
  }
  {
    Rows.push_back({.Name = "ed save",
                    .File = TextFile,
                    .Prepare = Base,
                    .Args =
                        [](TBench& B, const TChange& C) {
                          B.Write("script" + C.Tag(), "InsertText mark " + C.Tag() + "\\n\nSaveFile\n");
                          return TArgs{"ed", B / "f.txt", "--script", B / ("script" + C.Tag())};
                        },
                    .Shows = MarkKept,
                    .Check = EveryStays(MarkKept),
                    .Load =
                        [](TBench& B, const TChange&) {
                          return TArgs{"ed", B / "f.txt", "--script", "/dev/null"};
                        },
                    .Intact = TextWhole});
  }

  // -- Builds ------------------------------------------------------------------------------------------------
  {
    // Every build of a round builds the program of that round; the program always runs.
    auto Shows = [](TBench& B, const TChange& C) { return ProgramSays(B) == std::to_string(C.Round) + "\n"; };
    Rows.push_back(
        {.Name = "build",
         .File = [](const TChange&) { return "b"; },
         .Prepare =
             [](TBench& B) {
               B.Ok({"project", "new", B / "b.vproj", "--personality", "Vellum.Personality"});
               WriteProgram(B, 0);
             },
         .Args =
             [](TBench& B, const TChange& C) {
               WriteProgram(B, C.Round);
               return TArgs{"build", B / "b.vproj"};
             },
         .Shows = Shows,
         .Check = EveryStays(Shows),
         .Load =
             [](TBench& B, const TChange&) {
               return TArgs{"build", B / "b.vproj"};
             },
         .Intact = [](TBench& B) -> std::string {
           return !B.Exists("b") || !ProgramSays(B).empty() ? std::string() : "the program does not run";
         }});
  }
  return Rows;
}

}  // namespace nxs::test
