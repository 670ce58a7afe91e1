// SPDX-License-Identifier: Zlib
// Runs quorvantel's own source, linked against the recording SDL stand-in,
// and checks what it asked of SDL, what it wrote and how it exited.
//
//   contract_test PROGRAM CASE
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::string completed_calls = "SDL_Init 0x0000ffff\n"
                                    "SDL_SetVideoMode 800 600 32 0x00000000\n"
                                    "SDL_WM_SetCaption \"Quorvantel\" null\n"
                                    "SDL_Delay 3000\n"
                                    "SDL_Quit\n";
const std::string failed_calls = "SDL_Init 0x0000ffff\n"
                                 "SDL_Quit\n";
const std::string failure_message = "SDL failed to initialize!";

using Args = std::vector<std::string>;

struct Case {
    const char* name;
    const char* init_result;  // what SDL_Init returns
    bool no_video;            // SDL_SetVideoMode returns null
    std::vector<Args> argument_sets;
    std::string calls;
    std::string out;
    int status;
};

const std::vector<Args> any_arguments{
    {},
    Args(200, "--fullscreen"),
    {"", "", ""},
    {std::string(100 * 1024, 'x')},
    {"\xff\xfe", "\xc3\x28", "caf\xe9", "-"},
};

const std::vector<Case> cases{
    {"completed", "0", false, {{}}, completed_calls, "", 1},
    {"init-positive", "7", false, {{}}, completed_calls, "", 1},
    {"init-fails", "-1", false, {{}}, failed_calls, failure_message, 0},
    {"init-fails-most-negative", "-2147483648", false, {{}}, failed_calls, failure_message, 0},
    {"no-video-mode", "0", true, {{}}, completed_calls, "", 1},
    {"arguments-ignored", "0", false, any_arguments, completed_calls, "", 1},
    {"arguments-ignored-on-failure", "-1", false, any_arguments, failed_calls, failure_message, 0},
};

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Run {
    std::string calls, out, err;
    int status = -1;
};

Run run(const std::string& program, const Case& c, const Args& args)
{
    char dir_template[] = "/tmp/quorvantel-contract-XXXXXX";
    const std::string dir = mkdtemp(dir_template);
    const std::string log = dir + "/calls", out = dir + "/out", err = dir + "/err";

    const pid_t pid = fork();
    if (pid == 0) {
        setenv("FAKE_SDL_LOG", log.c_str(), 1);
        setenv("FAKE_SDL_INIT", c.init_result, 1);
        if (c.no_video) {
            setenv("FAKE_SDL_NO_VIDEO", "1", 1);
        }
        dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
        dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    Run r{slurp(log), slurp(out), slurp(err), WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1};
    for (const auto& f : {log, out, err}) {
        std::remove(f.c_str());
    }
    rmdir(dir.c_str());
    return r;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: contract_test PROGRAM CASE\n");
        return 2;
    }
    for (const Case& c : cases) {
        if (c.name != std::string(argv[2])) {
            continue;
        }
        int failures = 0;
        for (const Args& args : c.argument_sets) {
            const Run r = run(argv[1], c, args);
            auto check = [&](bool ok, const char* what, const std::string& got) {
                if (!ok) {
                    std::printf("FAIL %s (%zu arguments): %s; got:\n%s\n", c.name, args.size(), what, got.c_str());
                    ++failures;
                }
            };
            check(r.calls == c.calls, "SDL calls", r.calls);
            check(r.out == c.out, "standard output", r.out);
            check(r.err.empty(), "nothing on standard error", r.err);
            check(r.status == c.status, "exit status", std::to_string(r.status));
        }
        std::printf("%s %s\n", failures == 0 ? "ok" : "FAIL", c.name);
        return failures == 0 ? 0 : 1;
    }
    std::fprintf(stderr, "contract_test: no case '%s'\n", argv[2]);
    return 2;
}
