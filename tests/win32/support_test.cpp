#include "support/support_win32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tovalin::support {
namespace {

std::vector<std::wstring> Entries(const std::vector<wchar_t>& block) {
    std::vector<std::wstring> entries;
    for (const wchar_t* p = block.data(); *p; p += entries.back().size() + 1)
        entries.emplace_back(p);
    return entries;
}

// Every entry that sets the variable (names ignore case), in the block's order.
std::vector<std::wstring> Setting(const std::vector<std::wstring>& entries,
                                  const std::wstring& name) {
    std::vector<std::wstring> found;
    for (const std::wstring& entry : entries) {
        if (entry.size() > name.size() && entry[name.size()] == L'=' &&
            _wcsnicmp(entry.c_str(), name.c_str(), name.size()) == 0)
            found.push_back(entry);
    }
    return found;
}

TEST(Environment, TheChildGetsItsTempFolderAndTheExtraVariablesOnce) {
    ::SetEnvironmentVariableW(L"TOVALIN_PROBE", L"old");
    const std::vector<wchar_t> block =
        EnvironmentWithTemp(L"C:\\probe", {L"tovalin_probe=new", L"TOVALIN_OTHER=1"});
    ::SetEnvironmentVariableW(L"TOVALIN_PROBE", nullptr);
    ASSERT_GE(block.size(), 2u);
    EXPECT_EQ(block[block.size() - 1], L'\0');
    EXPECT_EQ(block[block.size() - 2], L'\0');
    const std::vector<std::wstring> entries = Entries(block);
    EXPECT_EQ(Setting(entries, L"TOVALIN_PROBE"), std::vector<std::wstring>{L"tovalin_probe=new"});
    EXPECT_EQ(Setting(entries, L"TOVALIN_OTHER"), std::vector<std::wstring>{L"TOVALIN_OTHER=1"});
    EXPECT_EQ(Setting(entries, L"TEMP"), std::vector<std::wstring>{L"TEMP=C:\\probe"});
    EXPECT_EQ(Setting(entries, L"TMP"), std::vector<std::wstring>{L"TMP=C:\\probe"});
    EXPECT_FALSE(Setting(entries, L"PATH").empty()) << "the rest of the environment is kept";
}

}  // namespace
}  // namespace tovalin::support
