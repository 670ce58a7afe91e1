// SPDX-License-Identifier: Zlib
#include "options.h"

#include <csignal>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "common.h"

namespace probe {
namespace {

std::pair<std::string, std::string> split_pair(const std::string& text)
{
    const auto colon = text.find(':');
    if (colon == std::string::npos) {
        die("expected A:B, got '" + text + "'");
    }
    return {text.substr(0, colon), text.substr(colon + 1)};
}

std::pair<double, double> number_pair(const std::string& text)
{
    const auto [a, b] = split_pair(text);
    return {std::stod(a), std::stod(b)};
}

int signal_number(const std::string& name)
{
    static const std::map<std::string, int> names{
        {"INT", SIGINT}, {"TERM", SIGTERM}, {"HUP", SIGHUP}, {"QUIT", SIGQUIT}, {"KILL", SIGKILL}};
    const auto it = names.find(name);
    if (it == names.end()) {
        die("unknown signal '" + name + "'");
    }
    return it->second;
}

}  // namespace

Options parse(int argc, char** argv)
{
    Options o;
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        std::string flag = argv[i];
        std::optional<std::string> inline_value;
        if (const auto eq = flag.find('='); eq != std::string::npos) {
            inline_value = flag.substr(eq + 1);
            flag.resize(eq);
        }
        auto value = [&]() -> std::string {
            if (inline_value) {
                return *inline_value;
            }
            if (i + 1 >= argc) {
                die(flag + " needs a value");
            }
            return argv[++i];
        };
        const std::map<std::string, std::function<void()>> handlers{
            {"--display-file", [&] { o.display_file = value(); }},
            {"--caption", [&] { o.caption = value(); }},
            {"--close-after", [&] { o.close_after = std::stod(value()); }},
            {"--signal",
             [&] {
                 const auto [name, after] = split_pair(value());
                 o.signal_after = {{signal_number(name), std::stod(after)}};
             }},
            {"--kill-server", [&] { o.kill_server_after = std::stod(value()); }},
            {"--server-pid", [&] { o.server_pid_file = value(); }},
            {"--stdout", [&] { o.stdout_mode = value(); }},
            {"--unset", [&] { o.unset.push_back(value()); }},
            {"--timeout", [&] { o.timeout = std::stod(value()); }},
            {"--any-client", [&] { o.any_client = true; }},
            {"--timeline", [&] { o.timeline = value(); }},
            {"--status", [&] { o.status = std::stoi(value()); }},
            {"--output", [&] { o.output = value(); }},
            {"--output-has", [&] { o.output_has = value(); }},
            {"--window",
             [&] {
                 const auto [w, h] = number_pair(value());
                 o.window = {{static_cast<int>(w), static_cast<int>(h)}};
             }},
            {"--icon-name", [&] { o.icon_name = value(); }},
            {"--wm-class", [&] { o.wm_class = value(); }},
            {"--shell", [&] { o.shell = value(); }},
            {"--save-icon", [&] { o.save_icon = value(); }},
            {"--no-window", [&] { o.no_window = true; }},
            {"--hold", [&] { o.hold = number_pair(value()); }},
            {"--hold-from",
             [&] {
                 const std::string from = value();
                 if (from != "shown" && from != "caption") {
                     die("--hold-from takes shown or caption, not '" + from + "'");
                 }
                 o.hold_from_shown = from == "shown";
             }},
            {"--exit-within", [&] { o.exit_within = std::stod(value()); }},
            {"--gone-at-exit", [&] { o.gone_at_exit = true; }},
            {"--exit-after", [&] { o.exit_after = std::stod(value()); }},
            {"--started-by", [&] { o.started_by = value(); }},
            {"--stack",
             [&] {
                 const auto [name, sonames] = split_pair(value());
                 std::set<std::string> libraries;
                 std::istringstream list(sonames);
                 for (std::string soname; std::getline(list, soname, ',');) {
                     libraries.insert(library_name(soname));
                 }
                 o.stack = {{name, libraries}};
             }},
            {"--arch", [&] { o.arch = split_pair(value()); }},
            {"--absent", [&] { o.absent.push_back(value()); }},
            {"--file", [&] { o.files.push_back(split_pair(value())); }},
        };
        const auto handler = handlers.find(flag);
        if (handler == handlers.end()) {
            die("unknown option '" + flag + "'");
        }
        handler->second();
    }
    for (++i; i < argc; ++i) {
        o.command.push_back(argv[i]);
    }
    if (o.command.empty() && o.timeline.empty()) {
        die("usage: window_probe [options] -- PROGRAM [ARGS...], or window_probe --timeline F [expectations]");
    }
    o.command.push_back(nullptr);
    return o;
}

}  // namespace probe
