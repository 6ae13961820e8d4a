// What an option's argument looks like: the argument kinds and the TArgumentInfo family
// (type, list separator, CDATA storage, limits, allowed values), and the check of a stored
// value against it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace nxs {

enum TOTAOptionArgumentType {
  atString,
  atStringList,
  atFilename,
  atFileList,
  atDirectory,
  atDirectoryList,
  atNumber,
  atDecimalNumber,
  atEnumeration,
  atNone,  // a switch: its value is "true" or "false"
};

// Value and description of one allowed value of an enumeration.
using TOTAArgumentEnumeration = std::vector<std::pair<std::string, std::string>>;

class IOTAOptionArgument {
 public:
  virtual ~IOTAOptionArgument() = default;
  virtual TOTAOptionArgumentType GetType() const = 0;
  virtual std::string GetDescription() const = 0;
  virtual std::string GetSeparator() const = 0;
  virtual bool ValueIsCDATA() const = 0;
  // Why Value cannot be read as this argument; empty when it can. An empty value always can.
  virtual std::string CheckValue(const std::string& Value) const = 0;
};

// A list argument: the configurations split and merge its values.
class IOTAListArgument {
 public:
  virtual ~IOTAListArgument() = default;
  virtual bool AllowsMerging() const = 0;
  virtual char ValueDelimiter() const = 0;
};

class TArgumentInfo : public IOTAOptionArgument {
 public:
  TArgumentInfo(TOTAOptionArgumentType Type, std::string Description = {}, std::string Separator = {},
                bool ValueIsCDATA = false)
      : FDescription(std::move(Description)), FType(Type), FSeparator(std::move(Separator)),
        FValueIsCDATA(ValueIsCDATA) {}
  TOTAOptionArgumentType GetType() const override { return FType; }
  std::string GetDescription() const override { return FDescription; }
  std::string GetSeparator() const override { return FSeparator; }
  bool ValueIsCDATA() const override { return FValueIsCDATA; }
  std::string CheckValue(const std::string& Value) const override;
  void SetValueIsCDATA(bool Value) { FValueIsCDATA = Value; }

 protected:
  std::string FDescription;
  TOTAOptionArgumentType FType;
  std::string FSeparator;
  bool FValueIsCDATA;
};

// A whole number; limits apply when the upper one is above the lower one.
class TIntegerArgumentInfo : public TArgumentInfo {
 public:
  TIntegerArgumentInfo(std::string Description, int64_t LowerLimit, int64_t UpperLimit,
                       TOTAOptionArgumentType Type = atNumber)
      : TArgumentInfo(Type, std::move(Description)), FUpperLimit(UpperLimit), FLowerLimit(LowerLimit) {}
  int64_t UpperLimit() const { return FUpperLimit; }
  int64_t LowerLimit() const { return FLowerLimit; }
  std::string CheckValue(const std::string& Value) const override;

 protected:
  int64_t FUpperLimit;
  int64_t FLowerLimit;
};

class TDecimalArgumentInfo : public TIntegerArgumentInfo {
 public:
  TDecimalArgumentInfo(std::string Description, int64_t LowerLimit, int64_t UpperLimit)
      : TIntegerArgumentInfo(std::move(Description), LowerLimit, UpperLimit, atDecimalNumber) {}
  std::string CheckValue(const std::string& Value) const override;
};

class TDirectoryArgumentInfo : public TArgumentInfo {
 public:
  explicit TDirectoryArgumentInfo(std::string Description = {}) : TArgumentInfo(atDirectory, std::move(Description)) {}
};

class TFileNameArgumentInfo : public TArgumentInfo {
 public:
  TFileNameArgumentInfo(std::string Description, std::string FileFilter)
      : TArgumentInfo(atFilename, std::move(Description)), FFileFilter(std::move(FileFilter)) {}
  const std::string& FileFilter() const { return FFileFilter; }

 private:
  std::string FFileFilter;
};

class TListArgumentInfo : public TArgumentInfo, public IOTAListArgument {
 public:
  TListArgumentInfo(std::string Description, char ValueDelimiter, bool AllowMerge,
                    TOTAOptionArgumentType Type = atStringList)
      : TArgumentInfo(Type, std::move(Description), std::string(1, ValueDelimiter)), FAllowMerge(AllowMerge),
        FValueDelimiter(ValueDelimiter) {}
  bool AllowsMerging() const override { return FAllowMerge; }
  char ValueDelimiter() const override { return FValueDelimiter; }

 private:
  bool FAllowMerge;
  char FValueDelimiter;
};

class TDirectoryListArgumentInfo : public TListArgumentInfo {
 public:
  TDirectoryListArgumentInfo(std::string Description, char ValueDelimiter, bool AllowMerge)
      : TListArgumentInfo(std::move(Description), ValueDelimiter, AllowMerge, atDirectoryList) {}
};

class TFileListArgumentInfo : public TListArgumentInfo {
 public:
  TFileListArgumentInfo(std::string Description, char ValueDelimiter, bool AllowMerge, std::string FileFilter)
      : TListArgumentInfo(std::move(Description), ValueDelimiter, AllowMerge, atFileList),
        FFileFilter(std::move(FileFilter)) {}
  const std::string& FileFilter() const { return FFileFilter; }

 private:
  std::string FFileFilter;
};

class TValueListArgumentInfo : public TArgumentInfo {
 public:
  TValueListArgumentInfo(std::string Description, TOTAArgumentEnumeration Values)
      : TArgumentInfo(atEnumeration, std::move(Description)), FValues(std::move(Values)) {}
  const TOTAArgumentEnumeration& Values() const { return FValues; }
  std::string CheckValue(const std::string& Value) const override;

 private:
  TOTAArgumentEnumeration FValues;
};

// The list face of an argument, or null when it is not a list.
const IOTAListArgument* AsListArgument(const IOTAOptionArgument* Argument);

}  // namespace nxs
