// SPDX-License-Identifier: Zlib
#include "timeline.h"

#include <fstream>
#include <functional>
#include <sstream>

#include "common.h"

namespace probe {
namespace {

std::string unhex(const std::string& hex)
{
    std::string text;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return text;
}

}  // namespace

void read_timeline(const std::string& path, Run& r, WindowLog& windows)
{
    std::ifstream in(path);
    if (!in) {
        die("cannot read " + path);
    }
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key;
        std::string value;
        fields >> key >> value;
        if (key == "pid") {
            r.pid = std::stoi(value);
        } else if (key == "exit") {
            r.exited = std::stod(value);
        } else if (key == "status") {
            r.wstatus = std::stoi(value) << 8;  // as waitpid gives a normal exit
        } else if (key == "signal") {
            r.wstatus = std::stoi(value);
        } else if (key == "output") {
            r.output = unhex(value);
        } else if (key == "libraries") {
            std::istringstream names(value);
            for (std::string name; std::getline(names, name, ',');) {
                r.stack.libraries.insert(name);
            }
        } else if (key == "window") {
            Seen& w = windows.emplace(std::stoul(value), Seen{})->second;
            w.pid = r.pid;
            for (std::string pair; fields >> pair;) {
                const auto eq = pair.find('=');
                const std::string name = pair.substr(0, eq);
                const std::string v = pair.substr(eq + 1);
                const std::map<std::string, std::function<void()>> set{
                    {"created", [&] { w.created = std::stod(v); }},
                    {"mapped", [&] { w.mapped = std::stod(v); }},
                    {"mapped_early", [&] { w.mapped_early = std::stod(v); }},
                    {"captioned", [&] { w.captioned = std::stod(v); }},
                    {"captioned_early", [&] { w.captioned_early = std::stod(v); }},
                    {"gone", [&] { w.gone = std::stod(v); }},
                    {"gone_early", [&] { w.gone_early = std::stod(v); }},
                    {"width", [&] { w.width = std::stoi(v); }},
                    {"height", [&] { w.height = std::stoi(v); }},
                    {"shell", [&] { w.shell = v; }},
                    {"wm_class", [&] { w.wm_class = unhex(v); }},
                    {"wm_name", [&] { w.wm_name = unhex(v); }},
                };
                const auto it = set.find(name);
                if (eq == std::string::npos || it == set.end()) {
                    die("cannot read '" + pair + "' in " + path);
                }
                it->second();
            }
        } else if (!key.empty()) {
            die("cannot read '" + line + "' in " + path);
        }
    }
}

}  // namespace probe
