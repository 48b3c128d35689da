#include "app/globals.h"

namespace tovalin::app {

std::vector<cFile> gTempFiles;
std::wstring gCount;
std::wstring gMove;
std::wstring gLocation;
std::wstring gAnim;
std::wstring gVersion;
std::wstring gCopyright;
std::wstring gFolder;

}  // namespace tovalin::app
