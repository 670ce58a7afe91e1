// SPDX-License-Identifier: Zlib
#include "common.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>

namespace probe {

double now_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double ms(const timeval& tv)
{
    return static_cast<double>(tv.tv_sec) * 1e3 + static_cast<double>(tv.tv_usec) / 1e3;
}

[[noreturn]] void die(const std::string& what)
{
    std::fprintf(stderr, "window_probe: %s\n", what.c_str());
    std::exit(2);
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string first_line(const std::string& path)
{
    std::string text = slurp(path);
    return text.substr(0, text.find('\n'));
}

std::string library_name(const std::string& file)
{
    const auto so = file.find(".so");
    return so == std::string::npos ? "" : file.substr(0, so);
}

std::string elf_machine(const std::string& path)
{
    std::array<unsigned char, 20> header{};
    std::ifstream file(path, std::ios::binary);
    file.read(reinterpret_cast<char*>(header.data()), header.size());
    if (!file || header[0] != 0x7f || header[1] != 'E' || header[2] != 'L' || header[3] != 'F') {
        return "";
    }
    const bool little = header[5] == 1;  // EI_DATA
    const unsigned machine = little ? header[18] | header[19] << 8 : header[18] << 8 | header[19];
    return std::to_string(machine) + "/" + (header[4] == 2 ? "64" : "32");  // EI_CLASS
}

std::string json(const std::string& s)
{
    std::string out = "\"";
    for (const unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            std::array<char, 8> esc{};
            std::snprintf(esc.data(), esc.size(), "\\u%04x", c);
            out += esc.data();
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

}  // namespace probe
