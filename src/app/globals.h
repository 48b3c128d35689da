// Program-wide state shared by the subsystems: the package's files and texts and the settings
// in force. Settings are held as the header's words, not as numbers.
#pragma once

#include "app/package.h"

#include <string>
#include <vector>

namespace tovalin::app {

extern std::vector<cFile> gTempFiles;  // the unpacked files: [0] the icon, then the frames
extern std::wstring gCount;            // "1", "3", "5"
extern std::wstring gMove;             // "静止", "直線", "浮遊", "跳ねる"
extern std::wstring gLocation;         // "中心", "乱数"
extern std::wstring gAnim;             // "遅い", "普通", "速い"
extern std::wstring gVersion;
extern std::wstring gCopyright;
extern std::wstring gFolder;  // the favourite folder in use, relative to the executable's folder

}  // namespace tovalin::app
