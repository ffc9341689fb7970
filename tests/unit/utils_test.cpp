// System information parsers and the chat history reader; browsing the history is tested with the chat line.
#include "utils.h"

#include <string>
#include <tuple>

#include "temp_world_fixture.h"

namespace {

using UtilsFiles = TempDirTest;

TEST_F(UtilsFiles, SystemLinesSkipOnlySpacesAndFallBackToUnknownAndHistoryReadsBackwards) {
    write_file("status", "Name:\tqvox\nVmPeak:\t 999999 kB\nVmRSS:\t  204900 kB\nVmRSS:\t 1 kB\n");
    EXPECT_EQ(get_process_memory_mb_from("status"), 200);
    EXPECT_EQ(get_process_memory_mb_from("missing"), 0);
    EXPECT_GT(get_process_memory_mb(), 0);

    // 'c': a cpuinfo file's text, 'g' and 'k': the command that prints the GPU or kernel line.
    const std::tuple<char, const char*, const char*> cases[] = {
        {'c', nullptr, "CPU: Unknown"},  // no file
        {'c', "processor\t: 0\nmodel name without colon\nmodel name\t:\tTabbed CPU @ 3.00GHz\nmodel name\t: 2\n",
         "CPU: \tTabbed CPU @ 3.00GHz"},
        {'g', "printf 'OpenGL renderer string: llvmpipe (LLVM 15)\\n'", "GPU: llvmpipe (LLVM 15)"},
        {'g', "printf 'no colon here\\n'", "GPU: Unknown"},
        {'g', "true", "GPU: Unknown"},
        {'k', "printf '6.1.0-test\\nsecond\\n'", "Kernel: 6.1.0-test"},
        {'k', "true", "Kernel: Unknown"}};
    char buffer[256];
    for (const auto& [what, input, want] : cases) {
        if (what == 'c' && input) write_file("cpuinfo", input);
        if (what == 'c') get_cpu_model_from("cpuinfo", buffer, sizeof buffer);
        if (what == 'g') get_gpu_model_from_command(input, buffer, sizeof buffer);
        if (what == 'k') get_kernel_info_from_command(input, buffer, sizeof buffer);
        EXPECT_STREQ(buffer, want) << (input ? input : "(no file)");
    }
    get_kernel_info(buffer, sizeof buffer);  // this machine's own kernel
    EXPECT_STRNE(buffer, "Kernel: Unknown");

    std::string text;
    for (int i = 0; i < 25; i++) text += "line " + std::to_string(i) + "\n\n";
    write_file("chathistory", text + "last line without newline");
    const std::tuple<int, size_t, const char*> lines[] = {
        {1, 256, "last line without newline"}, {26, 256, "line 0"}, {0, 256, nullptr}, {2, 5, "line"}};
    for (const auto& [back, size, want] : lines) {
        EXPECT_EQ(get_chat_history_line(back, buffer, size), want != nullptr) << back;
        EXPECT_STREQ(buffer, want ? want : "") << back;
    }
}

}  // namespace
