// What the studio's buttons do beyond its window: the file dialogs, writing the character's
// executable, and trial runs of the character from a copy that is removed when it ends.
#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/handles_win32.h"
#include "studio/project.h"

namespace tovalin::studio {

// Picture files chosen in a multi-select open dialog; none when it was cancelled.
std::vector<std::filesystem::path> ChooseFrameFiles(HWND owner);
std::optional<std::filesystem::path> ChooseIconFile(HWND owner);
// The executable's path from a Save As dialog that offers `suggested` in `folder`.
std::optional<std::filesystem::path> ChooseOutput(HWND owner, const std::wstring& suggested,
                                                  const std::filesystem::path& folder);

// The player the studio packs: tovalin-player.exe beside the studio.
std::filesystem::path PlayerPath();

// Makes the character (pack::MakeCharacter) and writes it to `output` through a temporary
// file, so that a failure leaves nothing; returns what to tell the user. Throws PackError.
std::wstring WriteCharacter(const Project& project, const std::filesystem::path& output);

class TrialRuns {
  public:
    TrialRuns() = default;
    TrialRuns(const TrialRuns&) = delete;
    TrialRuns& operator=(const TrialRuns&) = delete;
    ~TrialRuns();

    // Makes the character into a folder of its own in the temporary folder and starts it there,
    // with a folder inside as its temporary folder, so that everything it unpacks goes with the
    // copy. Throws PackError.
    void Start(const Project& project);
    // Removes the copies of the trials that have ended; true while any is left.
    bool Reap();
    // Ends every trial still running and removes its copy.
    void EndAll();

  private:
    struct Trial {
        platform::UniqueKernelHandle process;
        std::filesystem::path folder;
    };
    std::vector<Trial> trials_;
    unsigned started_ = 0;
};

}  // namespace tovalin::studio
