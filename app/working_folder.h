// Where the window keeps converted files: "tmp" in the folder of the running program when that
// can hold them, otherwise a per-user cache folder.
#pragma once

#include <string>

// The folder of the running executable, without a trailing separator.
std::string ProgramDirectory();

// "programDirectory/tmp" when it is a writable folder or can be created there; otherwise
// cacheHome/lumenvex/tmp, where cacheHome is xdgCacheHome when that is an absolute path and
// home/.cache otherwise.
std::string ChooseWorkingFolder(const std::string& programDirectory,
                                const std::string& xdgCacheHome, const std::string& home);

// ChooseWorkingFolder for this program, this user and this environment.
std::string DefaultWorkingFolder();
