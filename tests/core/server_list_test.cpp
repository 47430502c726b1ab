#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sntp/server_list.h"

namespace {

TEST(ServerList, UpToFourDistinctNamesBySpacesOrTabs)
{
    const std::string longName(300, 'n');
    const struct {
        std::string field;
        std::vector<std::string> names;
        int nIgnored;
    } rows[] = {
        {"ntp.nict.jp", {"ntp.nict.jp"}, 0},
        {"  a.example\tb.example  ", {"a.example", "b.example"}, 0},
        {"a A b c d e a", {"a", "b", "c", "d"}, 1},
        {"", {""}, 0},
        {" \t", {""}, 0},
        {longName + " b", {std::string(255, 'n'), "b"}, 0},
    };
    for (const auto& row : rows) {
        ServerNames names;
        SplitServerNames(row.field.c_str(), &names);
        std::vector<std::string> got(names.aszNames, names.aszNames + names.nNames);
        EXPECT_EQ(got, row.names) << row.field;
        EXPECT_EQ(names.nIgnored, row.nIgnored) << row.field;
    }
}

}  // namespace
