// An INI-style file of sections and named values, as the closed-file lists, favourites and
// desktop files read and write them: an abstract view, and the view of the settings store.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nxs {

class TSettingsStore;

class TCustomIniFile {
 public:
  virtual ~TCustomIniFile() = default;
  virtual std::string ReadString(std::string_view Section, std::string_view Ident, std::string_view Default) = 0;
  // A value that is not a number reads as Default.
  virtual int64_t ReadInteger(std::string_view Section, std::string_view Ident, int64_t Default) = 0;
  virtual void WriteString(std::string_view Section, std::string_view Ident, std::string_view Value) = 0;
  virtual void WriteInteger(std::string_view Section, std::string_view Ident, int64_t Value) = 0;
  // The names of the section's values, in file order.
  virtual std::vector<std::string> ReadSection(std::string_view Section) = 0;
  virtual void EraseSection(std::string_view Section) = 0;
  // Groups the writes of one operation; the settings store saves them at once at the end.
  virtual void BeginUpdate() {}
  virtual void EndUpdate() {}
  // Runs a read-change-write of the file as one step that no other writer can come
  // between: a list changed this way keeps what another process added or removed.
  virtual void Locked(const std::function<void()>& Fn) { Fn(); }
};

// The settings store as an INI file. Integers may be stored as numbers or as text.
class TSettingsIniFile : public TCustomIniFile {
 public:
  explicit TSettingsIniFile(TSettingsStore& Store) : FFixed(&Store) {}
  // The process's store, as SettingsStore() gives it at each access.
  TSettingsIniFile() = default;
  std::string ReadString(std::string_view Section, std::string_view Ident, std::string_view Default) override;
  int64_t ReadInteger(std::string_view Section, std::string_view Ident, int64_t Default) override;
  void WriteString(std::string_view Section, std::string_view Ident, std::string_view Value) override;
  void WriteInteger(std::string_view Section, std::string_view Ident, int64_t Value) override;
  std::vector<std::string> ReadSection(std::string_view Section) override;
  void EraseSection(std::string_view Section) override;
  void BeginUpdate() override;
  void EndUpdate() override;
  void Locked(const std::function<void()>& Fn) override;

 private:
  TSettingsStore& Store() const;
  TSettingsStore* FFixed = nullptr;
};

}  // namespace nxs
