// File routines. They leave their outcome in the engine's last-error code and
// report failures through the engine error reporter. Names are matched
// without regard to ASCII letter case, as the tables are.
#ifndef SV_SUPPORT_FILES_H_
#define SV_SUPPORT_FILES_H_

#include <cstdint>
#include <string>

namespace sv {

// True for an ordinary file (not a folder).
bool FileExistsName(const std::string& name);

// 0 when erased, else the engine's code: 2 missing, 32 held open by anyone
// (through an exclusive lock), 5 a folder or device. Leaves the last-error
// code alone.
int EraseOneFile(const std::string& name);

// One name: erased or reported ("Error erasing <name>"). A mask with '*' or
// '?': every ordinary, non-hidden file of its folder that matches is erased;
// the last-error code is 0 when something matched, 2 when nothing did, 3 when
// the folder is missing, and files that stay are reported with code 5.
void EraseFiles(const std::string& name_or_mask);

// Never replaces an existing file (nor one that differs only in case); a file
// held open stays under its name. Last-error code 0 on success.
void RenameFileTo(const std::string& old_name, const std::string& new_name);

std::string ShortPathOf(const std::string& path);
bool FileDatedToday(const std::string& name);
int32_t DiskFreeKB(const std::string& path);
int32_t DriveFreeKB(int drive);

// Full name of a new empty file in $TMPDIR (or /tmp); empty after a report
// when none can be made.
std::string UniqueFilename();

}  // namespace sv

#endif  // SV_SUPPORT_FILES_H_
