#pragma once
// The register list as plain texts, for fronts without a list view of their
// own (the command-line tool, tests, benchmarks).

#include "reg_list_item_data.h"

#include <string>
#include <vector>

class PlainRegList : public RegListItems {
public:
    int AddRow(const std::vector<std::string>& texts, RegListItemData& object) override
    {
        rows.push_back(texts);
        objects.push_back(&object);
        return static_cast<int>(rows.size()) - 1;
    }

    std::vector<std::vector<std::string>> rows;
    std::vector<RegListItemData*> objects;
};
