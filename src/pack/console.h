// What the packer, a console program, takes from and gives to its host: its arguments and its
// output, both UTF-8 whatever the system's code page. Implemented with the wide command line and
// the console (console_win32.cpp), and as they stand where UTF-8 is the rule (console_posix.cpp).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tovalin::pack {

// The program's arguments, argv[0] included, as UTF-8.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Writes UTF-8 text to stdout or stderr so that a console shows it readably.
void WriteText(std::FILE* stream, std::string_view utf8);

}  // namespace tovalin::pack
