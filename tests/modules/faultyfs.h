// A disk file system that fails chosen operations, for the failure paths of file history.
#pragma once

#include <string>

#include "shared/exceptions.h"
#include "shared/fileio.h"

namespace nxs::test {

class TFaultyFileSystem : public TDiskFileSystem {
 public:
  // Writes (and copies) to names containing this text fail.
  std::string FailWritesTo;
  // Deleting names containing this text fails.
  std::string FailDeletesOf;

  void WriteFile(const std::string& Name, std::string_view Data) override {
    if (!FailWritesTo.empty() && Name.find(FailWritesTo) != std::string::npos)
      throw EInOutError("Cannot write file \"" + Name + "\": No space left on device");
    TDiskFileSystem::WriteFile(Name, Data);
  }
  bool CreateNewFile(const std::string& Name, std::string_view Data) override {
    if (!FailWritesTo.empty() && Name.find(FailWritesTo) != std::string::npos)
      throw EInOutError("Cannot write file \"" + Name + "\": No space left on device");
    return TDiskFileSystem::CreateNewFile(Name, Data);
  }
  // Saves that stream their text reach the disk through WriteFile too.
  std::unique_ptr<IFileWriter> CreateFileWriter(const std::string& Name) override {
    return IFileSystem::CreateFileWriter(Name);
  }
  void CopyFile(const std::string& From, const std::string& To) override { WriteFile(To, ReadFile(From)); }
  void DeleteFile(const std::string& Name) override {
    if (!FailDeletesOf.empty() && Name.find(FailDeletesOf) != std::string::npos)
      throw EInOutError("Cannot delete file \"" + Name + "\": Permission denied");
    TDiskFileSystem::DeleteFile(Name);
  }
};

}  // namespace nxs::test
