// The texts of the files open in the editor, as a search reads them: captured on the main
// thread when a search starts, read by its threads in place of the disk.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nxs {

// The text of every file open in the editor, captured on the main thread through CFileOpen;
// the search reads the disk for other files. The open files: the hook's names when one is
// set (a host without modules), else those of the module list's file modules.
void SetOpenFileNamesHook(std::function<std::vector<std::string>()> Hook);
std::vector<std::string> OpenFileNames();

// Captures, on the main thread, the editor's text of every open file through CFileOpen.
void CaptureOpenTexts();
// The editor's text of a file open in it, when captured; it stays as it is until the next
// capture.
bool CapturedText(const std::string& Name, std::string_view& Text);

}  // namespace nxs
