#include "options/optiontables.h"

#include "options/resstrings.h"
#include "options/tabstops.h"
#include "shared/format.h"

namespace nxs {

const std::array<const char*, HighlightElementCount> HighlightElements = {
    "Whitespace",   "Comment",      "Reserved word",   "Identifier",    "Symbol",         "String",
    "Number",       "Assembler",    "Plain text",      "Marked block",  "Search match",   "Execution point",
    "Enabled break", "Disabled break", "Invalid break", "Error line",   "Right margin",
};

namespace {

constexpr int64_t clBlack = 0x000000;
constexpr int64_t clWhite = 0xFFFFFF;
constexpr int64_t MaxInt = 2147483647;

std::unique_ptr<TOptionSet> MakeSet(const char* Name, const char* Key, std::vector<TOptionField> Fields,
                                    bool ThreadSafe = false) {
  return std::make_unique<TOptionSet>(Name, Key, std::move(Fields), ThreadSafe);
}

TOptionField TabStopsOption() {
  TOptionField F = StrOption(res::opt::TabStops, "8");
  F.Validate = [](const TOptionSet&, int, const TOptionValue& V) {
    const std::string& Text = std::get<std::string>(V);
    if (!TabStopsValidate(Text)) throw Exception(Format(res::SOptionTabStops, res::opt::TabStops, MaxTabStopColumn, Text));
  };
  return F;
}

}  // namespace

TBuiltInOptionSets MakeBuiltInOptionSets(const TOptionTableHooks& Hooks) {
  TBuiltInOptionSets S;

  S.EditorAttributes = MakeSet("EditorAttributes", res::KeyEditorHighlight,
                               {
                                   BoolOption("Bold"),
                                   BoolOption("Italic"),
                                   BoolOption("Underline"),
                                   BoolOption("Default Foreground", true),
                                   BoolOption("Default Background", true),
                                   ColorOption("Foreground Color New", clBlack),
                                   ColorOption("Background Color New", clWhite),
                               });
  S.EditorAttributes->SetHasSubKeys(true);
  for (const char* E : HighlightElements) S.EditorAttributes->AddSubKey(E);

  S.EditorOptions = MakeSet(
      "EditorOptions", res::KeyEditorOptions,
      {
          BoolOption("Insert", true),
          BoolOption("Group Undo", true),
          BoolOption("Cursor Beyond EOF"),
          BoolOption("Undo After Save", true),
          BoolOption("Persistent Blocks"),
          BoolOption("Overwrite Blocks", true),
          BoolOption("Double Click Line"),
          BoolOption("Find Text At Cursor", true),
          BoolOption("Extended Pair Matching"),
          BoolOption("Force Cut Copy Enabled"),
          IntOption("Undo Limit", 32767, 0, MaxInt),
          BoolOption("BRIEF Cursor Shapes"),
          BoolOption(res::opt::CreateBackupFile, true),
          BoolOption("Zoom To Full Screen"),
          BoolOption("Visible Right Margin", true),
          IntOption("Right Margin", 80, 0, 1024),
          BoolOption("Visible Gutter", true),
          IntOption("Gutter Width", 20, 0, 128),
          StrOption("Editor Font", "Courier New"),
          IntOption("Font Size", 10, 5, 72),
          BoolOption("BRIEF RegEx"),
          StrOption(res::opt::EditorSpeedSetting, res::SSpeedDefault),
          EnumOption("Editor Keymapping", 0, {"Default", "Classic", "Brief", "Epsilon", "VisualStudio", "VisualBasic"}),
          EnumOption("Color SpeedSetting", 0, {"Default", "Classic", "Twilight", "Ocean"}),
          StrOption(res::opt::EditorEmulation, "Tarvos.Internal"),
          BoolOption("Sort Pages Menu", true),
          BoolOption("Preserve Line Ends", true),
          BoolOption("Find AutoCompletes", true),
          BoolOption("Use CtrlAlt Keys", true),
          BoolOption("ShowFullPath"),
          BoolOption("Enable Elisions", true),
          BoolOption("Show Line Numbers", true),
          BoolOption("Auto Collapse Region Blocks", true),
          IntOption(res::opt::FileBackupLevel, 10, 1, 90),
          BoolOption("Show Image On Tabs", true),
          BoolOption("Number All Lines"),
          BoolOption("Code Insight Use Editor Font"),
          BoolOption(res::opt::AskToReloadModifiedFiles, true),
          BoolOption("Show All Search Matches", true),
          BoolOption("Highlight Brace Pairs", true),
          BoolOption("Show Navigation Toolbar", true),
      },
      /*ThreadSafe=*/true);

  S.AutoSave = MakeSet("AutoSave", res::KeyAutoSave,
                       {
                           BoolOption(res::opt::AutoSaveEditorFiles),
                           BoolOption(res::opt::AutoSaveDesktop),
                           EnumOption("Symbols", 0, {"None", "Project", "All"}),
                       });

  S.Debugging = MakeSet("Debugging", res::KeyDebugging,
                        {
                            BoolOption("Hide Designers On Run", true),
                            BoolOption("Minimize On Run"),
                            BoolOption("Detailed Exceptions"),
                        });

  S.Compiling = MakeSet("Compiling", res::KeyCompiling,
                        {
                            BoolOption("Show Compiler Progress", true),
                            BoolOption("Warn on Package Rebuild"),
                            BoolOption("Compile Beep"),
                            BoolOption("Cache Headers"),
                            BoolOption("BackgroundCompilation"),
                            BoolOption("ShowCommandLine", true),
                            BoolOption("Auto Close Progress Dialog"),
                            EnumOption("Verbosity", 3, {"Quiet", "Minimal", "Normal", "Detailed", "Diagnostic"}),
                            IntOption("Thread Priority", 3, 1, 5),
                            BoolOption("BuildModifiedProjects"),
                            BoolOption("Enable Unit Directory Cache", true),
                        });

  S.Repository = MakeSet("Repository", res::KeyRepository, {StrOption("Repository Dir")});

  S.CodeInsight = MakeSet("CodeInsight", res::KeyCodeInsight,
                          {
                              BoolOption("Error Insight", true),
                              BoolOption("ToolTip Watches", true),
                              BoolOption("Auto Code Completions", true),
                              BoolOption("Auto Code Parameters", true),
                              IntOption("Code Complete Delay", 1, 1, 4),
                              BoolOption("Scope Sort", true),
                              BoolOption("Declaration Information", true),
                              IntOption("CodeCompleteHeight", 200, 100, 5000),
                              IntOption("CodeCompleteWidth", 300, 100, 5000),
                              BoolOption("CodeCompleteAutoParens", true),
                              BoolOption("Help Insight", true),
                              BoolOption("Auto-block Completion", true),
                              BoolOption("Code Templates", true),
                              BoolOption("Auto Complete Templates", true),
                              BoolOption("Sync Edit Hints"),
                              EnumOption("Block Wrap Style", 0, {"Default", "Compact", "Expanded"}),
                              BoolOption("Auto Invoke"),
                              BoolOption("History"),
                              BoolOption("Show Reserved Words"),
                              BoolOption("Enable Cpp Indexed Insight", true),
                          },
                          /*ThreadSafe=*/true);

  S.SearchOptions = MakeSet("SearchOptions", res::KeySearch,
                            {
                                BoolOption(res::opt::CaseSensitive),
                                BoolOption(res::opt::WholeWords),
                                BoolOption(res::opt::RegularExpression),
                                BoolOption(res::opt::SearchForward, true),
                                BoolOption(res::opt::FromCursor, true),
                                StrOption("File Mask"),
                                BoolOption("Include Sub Dirs"),
                                BoolOption(res::opt::Global, true),
                                BoolOption("Display results in separate tab in message view"),
                                BoolOption("Group results by file", true),
                                BoolOption(res::opt::WrapAround),
                                StrOption("Search Directory"),
                            });

  S.ReplaceOptions = MakeSet("ReplaceOptions", res::KeyReplace,
                             {
                                 BoolOption(res::opt::CaseSensitive),
                                 BoolOption(res::opt::WholeWords),
                                 BoolOption(res::opt::RegularExpression),
                                 BoolOption(res::opt::PromptOnReplace, true),
                                 BoolOption(res::opt::FromCursor, true),
                                 BoolOption(res::opt::Global, true),
                                 BoolOption(res::opt::SearchForward, true),
                             });

  TOptionField Extensions = StrOption(res::opt::FileExtensions);
  Extensions.Validate = [V = Hooks.ValidateExtensions](const TOptionSet&, int Group, const TOptionValue& Value) {
    if (V) V(Group, std::get<std::string>(Value));
  };
  Extensions.OnChange = [C = Hooks.ExtensionsChanged](TOptionSet&, int, const TOptionField&) {
    if (C) C();
  };
  S.EditorSourceOptions = MakeSet("EditorSourceOptions", res::KeySourceOptions,
                                  {
                                      BoolOption(res::opt::TabCharacter),
                                      BoolOption(res::opt::SmartTab),
                                      BoolOption(res::opt::OptimalFill),
                                      BoolOption(res::opt::BackspaceUnindents, true),
                                      BoolOption(res::opt::KeepTrailingBlanks),
                                      BoolOption(res::opt::UseSyntaxHighlight, true),
                                      TabStopsOption(),
                                      BoolOption("Show tab character"),
                                      BoolOption("Show space character"),
                                      Extensions,
                                      BoolOption(res::opt::AutoIndent, true),
                                      IntOption(res::opt::BlockIndent, 2, 1, 16),
                                      StrOption(res::opt::SourceOptionName),
                                      StrOption(res::opt::SyntaxHighlighterID),
                                      StrOption(res::opt::SourceOptInternalID),
                                      BoolOption("Show line breaks"),
                                      BoolOption("Cursor Through Tabs", true),
                                      BoolOption("Highlight Current Line", true),
                                  });
  S.EditorSourceOptions->SetHasSubKeys(true);

  S.StartupOptions = MakeSet("StartupOptions", res::KeyStartupOptions,
                             {BoolOption("Create New Project"), StrOption("New Project Type")});
  S.GlobalOptions = MakeSet("GlobalOptions", res::KeyGlobals, {StrOption("DefaultProjectsDirectory")});
  S.ProjectManagerOptions = MakeSet("ProjectManagerOptions", res::KeyProjectManager, {BoolOption("ShowProjectOutputs")});
  S.AutoRecoverOptions = MakeSet("AutoRecoverOptions", res::KeyAutoRecover,
                                 {
                                     BoolOption(res::opt::AutoRecoverEnabled, true),
                                     IntOption(res::opt::AutoRecoverInterval, 10, 1, 120),
                                 });
  return S;
}

}  // namespace nxs
