#pragma once
// The installation folders the program resolves at start-up. Every folder text ends in the
// platform's path separator ("\" on Windows, "/" elsewhere).
//
// Built-in defaults: "C:\Program Files\" and "C:\Program Files\Common Files\" on Windows,
// "/opt/" and "/opt/Common Files/" elsewhere; a registry value that is missing or empty leaves
// the default (there is no registry off Windows, so the defaults always hold there).

#include <string>
#include <string_view>

class TRegistry;

inline constexpr char PathDelim =
#ifdef _WIN32
    '\\';
#else
    '/';
#endif

// Process-wide folders, set once by InitApplicationFolders and kept until the process ends.
extern std::string ProgramFilesFolder;
extern std::string CommonFilesFolder;
extern std::string ExeFolder;
extern std::string VendorFolder;
extern std::string SharedDataFolder; // VendorFolder + "Common Files" + separator

// The program-files and common-files folders from the machine-wide registry value
// "ProgramFilesDir" / "CommonFilesDir", or the built-in default.
std::string ReadProgramFilesFolder(const TRegistry& registry);
std::string ReadCommonFilesFolder(const TRegistry& registry);
std::string ReadProgramFilesFolder();
std::string ReadCommonFilesFolder();

// The folder part of an executable's full path, up to and including its last separator (on
// Windows also "/" or a drive colon). Empty when the path has none.
std::string ExeFolderOf(std::string_view exePath);

// The full path of the running executable. Raises Exception when the system cannot tell.
std::string RunningExecutablePath();

// The vendor's installation folder: the part of exeFolder before the first "VELMORA" (letter
// case ignored) followed by "Velmora", else the part before the first "5VQ" followed by "5vq",
// else programFilesFolder + "Velmora". On Windows the prefix is taken from the upper-cased copy
// of exeFolder (the same folder there). On case-sensitive file systems the folder text names the
// folder as it is spelled on disk: the prefix keeps exeFolder's own letter case, and the name
// keeps exeFolder's spelling ("velmora", "5VQ") when that names an existing folder.
std::string FindVendorFolder(std::string_view programFilesFolder, std::string_view exeFolder);
// The same for the process-wide ProgramFilesFolder and ExeFolder, which must be set first.
std::string FindVendorFolder();

struct TApplicationFolders {
    std::string ProgramFiles;
    std::string CommonFiles;
    std::string Exe;
    std::string Vendor;
    std::string SharedData;
};

// Resolves every folder from the registry and the executable's full path, in start-up order.
TApplicationFolders ResolveApplicationFolders(const TRegistry& registry, std::string_view exePath);

// Resolves the folders from the system registry and the running executable and stores them in
// the process-wide texts; ClearApplicationFolders empties them again.
void InitApplicationFolders();
void ClearApplicationFolders();
