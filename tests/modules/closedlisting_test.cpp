#include "modules/closedlisting.h"

#include <gtest/gtest.h>

#include <map>

#include "modules/inifile.h"
#include "shared/text.h"

using namespace nxs;

namespace {

// Sections of named values in memory, in insertion order.
class TMemIni : public TCustomIniFile {
 public:
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> Sections;
  std::string ReadString(std::string_view S, std::string_view K, std::string_view D) override {
    for (auto& [Key, Value] : Sections[std::string(S)])
      if (Key == K) return Value;
    return std::string(D);
  }
  int64_t ReadInteger(std::string_view S, std::string_view K, int64_t D) override {
    return StrToIntDef(ReadString(S, K, ""), D);
  }
  void WriteString(std::string_view S, std::string_view K, std::string_view V) override {
    Sections[std::string(S)].emplace_back(K, V);
  }
  void WriteInteger(std::string_view S, std::string_view K, int64_t V) override {
    WriteString(S, K, std::to_string(V));
  }
  std::vector<std::string> ReadSection(std::string_view S) override {
    std::vector<std::string> Keys;
    for (auto& KV : Sections[std::string(S)]) Keys.push_back(KV.first);
    return Keys;
  }
  void EraseSection(std::string_view S) override { Sections.erase(std::string(S)); }
};

}  // namespace

TEST(ClosedFileListing, ListsEveryStoredEntryWhateverItsHandler) {
  TMemIni Ini;
  Ini.WriteInteger("Closed Files", "Max Closed Files", 3);
  Ini.WriteString("Closed Files", "File_0", "TSourceModule,'/a/one, two.pas',0,1,1,1,1,0,0,'',''");
  Ini.WriteString("Closed Files", "File_1", "");
  Ini.WriteString("Closed Files", "File_2", "TPluginHandler,'/a/it''s.txt',0");
  Ini.WriteString("Closed Files", "File_3", "TSourceModule,'/a/beyond the maximum.pas',0");
  Ini.WriteString("Closed Projects", "File_0", "TProjectHandler,'/p/app.vproj',1");
  std::vector<TClosedFileListing> Files = ReadClosedFileListing(Ini, true);
  ASSERT_EQ(Files.size(), 2u);
  EXPECT_EQ(Files[0].FileName, "/a/one, two.pas");
  EXPECT_EQ(Files[1].HandlerName, "TPluginHandler");
  EXPECT_EQ(Files[1].FileName, "/a/it's.txt");
  std::vector<TClosedFileListing> Projects = ReadClosedFileListing(Ini, false);
  ASSERT_EQ(Projects.size(), 1u);
  EXPECT_TRUE(Projects[0].IsProject);
  EXPECT_EQ(Projects[0].FileName, "/p/app.vproj");
}
