// An option set: a named group of typed options stored under one key path of the settings
// store, one named value per option, optionally once per subkey with one subkey current.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "shared/exceptions.h"

namespace nxs {

class TSettingsStore;
class TOptionSet;

enum class TOptionType { Boolean, Integer, String, Color, Enum };

// Booleans hold bool; integers, colours and enumerations int64_t; strings std::string.
using TOptionValue = std::variant<bool, int64_t, std::string>;

struct TOptionField {
  std::string Name;   // the stored value's name
  std::string Label;  // the options dialog's label; the name when empty
  TOptionType Type = TOptionType::Boolean;
  TOptionValue Default = false;
  bool HasRange = false;  // integers: Min..Max; enumerations: 0..EnumNames.size()-1
  int64_t Min = 0;
  int64_t Max = 0;
  std::vector<std::string> EnumNames;
  // Runs after the value changed.
  std::function<void(TOptionSet& Set, int SubKey, const TOptionField& Field)> OnChange;
  // Raises Exception to refuse a new value.
  std::function<void(const TOptionSet& Set, int SubKey, const TOptionValue& Value)> Validate;
};

// Field builders for the option tables.
TOptionField BoolOption(std::string Name, bool Default = false);
TOptionField IntOption(std::string Name, int64_t Default, int64_t Min, int64_t Max);
TOptionField StrOption(std::string Name, std::string Default = {});
TOptionField ColorOption(std::string Name, int64_t Default);
TOptionField EnumOption(std::string Name, int64_t Default, std::vector<std::string> Names);

// Colour values: "clWhite" and the other standard names, "$00BBGGRR" or a decimal number.
std::string ColorToString(int64_t Color);
bool TryStringToColor(std::string_view Text, int64_t& Color);

class TOptionSet {
 public:
  using THook = std::function<void(TOptionSet& Set, TSettingsStore& Store)>;

  TOptionSet(std::string Name, std::string KeyPath, std::vector<TOptionField> Fields, bool ThreadSafe = false);
  TOptionSet(const TOptionSet&) = delete;  // readers keep pointers to it and its fields
  TOptionSet& operator=(const TOptionSet&) = delete;

  const std::string& Name() const { return FName; }
  const std::string& KeyPath() const { return FKeyPath; }
  bool ThreadSafe() const { return FThreadSafe; }
  const std::vector<TOptionField>& Fields() const { return FFields; }
  const TOptionField* FindField(std::string_view Name) const;
  int IndexOfField(std::string_view Name) const;

  // Subkeys: a set without subkeys has one unnamed slot, index 0, stored at KeyPath.
  bool HasSubKeys() const { return FHasSubKeys; }
  void SetHasSubKeys(bool Value);
  const std::vector<std::string>& SubKeys() const { return FSubKeys; }
  int SubKeyCount() const;
  int IndexOfSubKey(std::string_view SubKey) const;
  // Adds a subkey with every option at its default; returns its index.
  int AddSubKey(const std::string& SubKey);
  void DeleteSubKey(int Index);
  void ClearSubKeys();
  int KeyIndex() const { return FKeyIndex.load(); }
  void SetKeyIndex(int Index);
  // The key path of a slot: KeyPath, or KeyPath\SubKey.
  std::string SlotKeyPath(int SubKey) const;
  std::string CurrentKeyPath() const { return SlotKeyPath(FKeyIndex); }

  // Values of the current subkey, or of a given one.
  TOptionValue Value(std::string_view Name) const { return ValueAt(FKeyIndex, Name); }
  TOptionValue ValueAt(int SubKey, std::string_view Name) const;
  bool GetBool(std::string_view Name) const;
  int64_t GetInt(std::string_view Name) const;
  std::string GetStr(std::string_view Name) const;
  bool GetBoolAt(int SubKey, std::string_view Name) const;
  int64_t GetIntAt(int SubKey, std::string_view Name) const;
  std::string GetStrAt(int SubKey, std::string_view Name) const;
  // True when the value was read from the store or set since; false while it is the default.
  bool IsStored(int SubKey, std::string_view Name) const;

  // Checks type, range and the validation hook; on success stores the value, marks the set
  // modified and runs the on-change hook. A refused value raises Exception and leaves the
  // old value in place. Returns whether the value changed.
  bool SetValue(std::string_view Name, const TOptionValue& Value) { return SetValueAt(FKeyIndex, Name, Value); }
  bool SetValueAt(int SubKey, std::string_view Name, const TOptionValue& Value);
  // Stores without checks or hooks (loading, creating built-in values).
  void AssignAt(int SubKey, std::string_view Name, const TOptionValue& Value);

  // Text forms for the command line and the dialogs.
  TOptionValue ParseValue(const TOptionField& Field, std::string_view Text) const;
  static std::string FormatValue(const TOptionField& Field, const TOptionValue& Value);

  // Reads every slot (absent values and values of the wrong type take the default); writes
  // the values of every slot (of one slot) that changed since they were read or written;
  // writes one value.
  void Load(TSettingsStore& Store);
  void LoadSlot(TSettingsStore& Store, int SubKey);
  void Save(TSettingsStore& Store);
  void SaveSlot(TSettingsStore& Store, int SubKey);
  void SaveValue(TSettingsStore& Store, int SubKey, std::string_view Name);
  // Takes what the store holds now for one option in every slot, except where this process
  // changed the value and has not saved it.
  void ReloadStoredValue(TSettingsStore& Store, std::string_view Name);

  bool Modified() const { return FModified; }
  void SetModified(bool Value) { FModified = Value; }

  THook BeforeLoad, AfterLoad, AfterSave;

 private:
  struct TSlot {
    std::vector<TOptionValue> Values;
    std::vector<bool> Stored;
    // What the store held when this process last read or wrote the value (none: nothing),
    // so that saving writes only what changed here and leaves newer values of another
    // process alone.
    std::vector<std::optional<TOptionValue>> InStore;
  };
  TSlot DefaultSlot() const;
  int CheckedField(std::string_view Name) const;
  void CheckSlot(int SubKey) const;
  void CheckValue(const TOptionField& Field, int SubKey, const TOptionValue& Value) const;
  std::unique_lock<std::mutex> Guard() const;

  std::string FName, FKeyPath;
  std::vector<TOptionField> FFields;
  bool FThreadSafe;
  bool FHasSubKeys = false;
  std::vector<std::string> FSubKeys;
  std::vector<TSlot> FSlots;
  std::atomic<int> FKeyIndex = 0;  // read by other threads for the thread-safe sets
  bool FModified = false;
  mutable std::mutex FMutex;
};

}  // namespace nxs
