// tovalin-pack: makes, lists and unpacks character executables.
#include <cstdio>

#include "pack/cli.h"
#include "pack/console.h"
#include "platform/module_path.h"

int main(int argc, char** argv) {
    using namespace tovalin::pack;
    std::vector<std::string> arguments = Utf8Arguments(argc, argv);
    if (!arguments.empty())
        arguments.erase(arguments.begin());
    const std::filesystem::path self = tovalin::platform::ModulePath();
    std::filesystem::path player = self.empty() ? std::filesystem::path("tovalin-player.exe")
                                                : self.parent_path() / "tovalin-player.exe";
    CommandResult result = RunPacker(arguments, player);
    WriteText(stdout, result.out);
    WriteText(stderr, result.err);
    return result.exitCode;
}
