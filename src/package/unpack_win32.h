// The player's side of its package: reading it from its own executable and unpacking every
// packaged file into the user's temporary folder, where the other parts load them by name.
#pragma once

#include "package/package.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tovalin::package {

// The unpacked files, in package order: [0] the icon, then the frames.
extern std::vector<cFile> gTempFiles;
// The header's "UVR" and "CPY" texts.
extern std::wstring gVersion;
extern std::wstring gCopyright;

// Where the package starts in the executable at path: 0 when the file is missing or no image.
std::int32_t EXESize(const std::wstring& path);

// The header's settings words, for the scene.
struct HeaderSettings {
    std::wstring gCount, gMove, gLocation, gAnim;
};

// Parses the package of the running executable, checks every record, then fills gTempFiles,
// gVersion and gCopyright and writes every packaged file into the temporary folder. Throws
// std::runtime_error with the Japanese reason (UTF-8) when the package cannot be unpacked;
// nothing is written when a record is unsound.
HeaderSettings ReadPackage();

// The temporary folder's path of unpacked file i (0: the icon).
std::wstring UnpackedPath(std::size_t i);

// The bytes of packaged file i as the executable holds them, the same bytes its unpacked file
// was written from: ReadPackage keeps its executable mapped so that start-up can decode the
// frames without reading back the files it has just written. Empty once released, or for an
// index past the records.
std::span<const std::uint8_t> PackagedBytes(std::size_t i);

// Gives the executable's mapping back once start-up has read what it needs from it.
void ReleasePackageBytes();

// Deletes what this run has unpacked so far, skipping what cannot be deleted. For the ways out
// that skip the tray host's own clean-up.
void DeleteWrittenFiles();

}  // namespace tovalin::package
