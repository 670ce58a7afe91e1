// SPDX-License-Identifier: Zlib
#include "report.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>

#include "common.h"

namespace probe {

void report(const Options& o, const Run& r, const WindowLog& windows)
{
    const Windows t = tally(o, r, windows);
    const int status = WIFEXITED(r.wstatus) ? WEXITSTATUS(r.wstatus) : -1;
    const int signal = WIFSIGNALED(r.wstatus) ? WTERMSIG(r.wstatus) : 0;
    std::printf(R"({"status":%d,"signal":%d,"core":%s,"stdout":%s,"windows":%d,"captioned":%d)", status, signal,
                WCOREDUMP(r.wstatus) ? "true" : "false", json(r.output).c_str(), t.own, t.captioned);
    if (t.shown != nullptr) {
        std::printf(R"(,"created":%.1f,"mapped":%.1f,"caption":%.1f,"gone":%.1f,"width":%d,"height":%d)",
                    t.shown->created, t.shown->mapped, t.shown->captioned, t.shown->gone, t.shown->width,
                    t.shown->height);
        std::printf(R"(,"wm_name":%s,"net_wm_name":%s,"icon_name":%s,"wm_class":%s,"icon":"%lux%lu")",
                    json(t.shown->wm_name).c_str(), json(t.shown->net_wm_name).c_str(),
                    json(t.shown->icon_name).c_str(), json(t.shown->wm_class).c_str(),
                    t.shown->icon.empty() ? 0 : t.shown->icon[0], t.shown->icon.empty() ? 0 : t.shown->icon[1]);
        if (t.shown->gone >= 0) {  // unknown when the server died first
            const double from = o.hold_from_shown ? t.shown->mapped_early : t.shown->captioned_early;
            std::printf(R"(,"hold":%.1f,"caption_stamped":%s,"hold_from":%.1f,"held":%.1f,"gone_to_exit":%.1f)"
                        R"(,"hold_cpu_ms":%.2f,"hold_cpu_main_thread_ms":%.2f,"hold_waited_ms":%.2f)",
                        t.shown->gone - t.shown->captioned, t.shown->caption_stamped ? "true" : "false", from,
                        t.shown->gone - hold_start(o, *t.shown), r.exited - t.shown->gone,
                        r.cpu_last.total - r.cpu_at_caption.total,
                        r.cpu_last.main_thread - r.cpu_at_caption.main_thread, hold_waited(r));
        }
    }
    std::printf(R"(,"all":[)");
    const char* sep = "";
    for (const auto& [id, w] : windows) {
        if (ours(o, r, w)) {
            std::printf(R"(%s{"created":%.1f,"mapped":%.1f,"caption":%.1f,"gone":%.1f,"size":"%dx%d","name":%s})", sep,
                        w.created, w.mapped, w.captioned, w.gone, w.width, w.height, json(w.wm_name).c_str());
            sep = ",";
        }
    }
    // Other clients' windows, by their _NET_WM_PID (0: none), to tell a
    // window missed from one taken for another's.
    std::printf(R"(],"others":[)");
    sep = "";
    for (const auto& [id, w] : windows) {
        if (!ours(o, r, w)) {
            std::printf(R"(%s{"id":%lu,"pid":%ld,"created":%.1f,"name":%s})", sep, id, w.pid, w.created,
                        json(w.wm_name).c_str());
            sep = ",";
        }
    }
    std::printf(
        R"(],"pid":%d,"t0":%.3f,"started":%.1f,"exit":%.1f,"user_ms":%.1f,"sys_ms":%.1f,"maxrss_kb":%ld,"library":%s,"machine":%s,"libraries":%s})"
        "\n",
        r.pid, r.t0, program_start(o, r), r.exited, ms(r.usage.ru_utime), ms(r.usage.ru_stime), r.usage.ru_maxrss,
        json(r.stack.library).c_str(), json(r.stack.machine).c_str(), json(Stack::names(r.stack.libraries)).c_str());
    std::fflush(stdout);
}

void save_icon(const Options& o, const Run& r, const WindowLog& windows)
{
    const Windows t = tally(o, r, windows);
    if (o.save_icon.empty() || t.shown == nullptr || t.shown->icon.empty()) {
        return;
    }
    const auto& icon = t.shown->icon;
    std::ofstream out(o.save_icon, std::ios::binary);
    out << "P7\nWIDTH " << icon[0] << "\nHEIGHT " << icon[1] << "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    for (size_t i = 2; i < icon.size(); ++i) {
        const unsigned long argb = icon[i];
        for (const int shift : {16, 8, 0, 24}) {
            out.put(static_cast<char>((argb >> shift) & 0xff));
        }
    }
}

}  // namespace probe
