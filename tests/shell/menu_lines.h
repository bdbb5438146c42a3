#pragma once

#include <QMenu>

#include <string>
#include <vector>

namespace tovrel::testing {

// The real menu as lines: "-" for a separator, ">" before a submenu's title (its items indented
// below it), "*" before a checked item.
inline std::vector<std::string> menuLines(QMenu* menu, const std::string& indent = "") {
    std::vector<std::string> out;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            out.push_back(indent + "-");
        } else if (action->menu()) {
            out.push_back(indent + ">" + action->text().toStdString());
            for (auto& line : menuLines(action->menu(), indent + "  ")) out.push_back(line);
        } else {
            out.push_back(indent + (action->isChecked() ? "*" : "") + action->text().toStdString());
        }
    }
    return out;
}

}  // namespace tovrel::testing
