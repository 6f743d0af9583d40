// File routines. They leave their outcome in the engine's last-error code and
// report failures through the engine error reporter.
#ifndef SV_SUPPORT_FILES_H_
#define SV_SUPPORT_FILES_H_

#include <cstdint>
#include <string>

namespace sv {

bool FileExistsName(const std::string& name);
int EraseOneFile(const std::string& name);
void EraseFiles(const std::string& name_or_mask);
void RenameFileTo(const std::string& old_name, const std::string& new_name);
std::string ShortPathOf(const std::string& path);
bool FileDatedToday(const std::string& name);
int32_t DiskFreeKB(const std::string& path);
int32_t DriveFreeKB(int drive);
std::string UniqueFilename();

}  // namespace sv

#endif  // SV_SUPPORT_FILES_H_
