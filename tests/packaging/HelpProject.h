// The help file's project (qv_admin.hhp): its options and the files it lists,
// which are the pages the CHM holds.
#pragma once
#include <map>
#include <sstream>
#include <string>
#include <vector>

struct HelpProject {
    std::map<std::string, std::string> options;
    std::vector<std::string> files;
};

inline HelpProject ReadHelpProject(const std::string& text) {
    HelpProject project;
    std::istringstream in(text);
    std::string line, section;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            section = line;
            continue;
        }
        if (section == "[OPTIONS]") {
            const size_t eq = line.find('=');
            if (eq != std::string::npos) project.options[line.substr(0, eq)] = line.substr(eq + 1);
        } else if (section == "[FILES]") {
            project.files.push_back(line);
        }
    }
    return project;
}
