// System information parsers against prepared proc-like files and commands,
// the chat history reader, and trim_string.
#include "utils.h"

#include <string>

#include "temp_world_fixture.h"

namespace {

using UtilsFiles = TempDirTest;

TEST_F(UtilsFiles, MemoryCpuGpuAndKernelLinesSkipOnlySpacesAndFallBackToUnknown) {
    const std::pair<const char*, int> status[] = {
        {"Name:\tqvox\nVmPeak:\t 999999 kB\nVmRSS:\t  204900 kB\nVmRSS:\t 1 kB\n", 200},
        {"VmRSS:\t1023 kB\n", 0},
        {"Name:\tqvox\n", 0}};
    for (const auto& [text, mb] : status) {
        write_file("status", text);
        EXPECT_EQ(get_process_memory_mb_from("status"), mb) << text;
    }
    EXPECT_EQ(get_process_memory_mb_from("missing"), 0);
    EXPECT_GT(get_process_memory_mb(), 0);

    // 'c': a cpuinfo file's text, 'g' and 'k': the command that prints the GPU or kernel line.
    struct Case {
        char what;
        const char* input;
        const char* want;
    };
    const Case cases[] = {
        {'c', nullptr, "CPU: Unknown"},  // no file
        {'c', "processor\t: 0\nmodel name without colon\nmodel name\t: Example CPU @ 3.00GHz\nmodel name\t: 2\n",
         "CPU: Example CPU @ 3.00GHz"},
        {'c', "model name:\tTabbed CPU\n", "CPU: \tTabbed CPU"},
        {'c', "vendor_id\t: Example\n", "CPU: Unknown"},
        {'g', "printf 'OpenGL renderer string: llvmpipe (LLVM 15)\\n'", "GPU: llvmpipe (LLVM 15)"},
        {'g', "printf 'OpenGL renderer string:\\tTabbed\\n'", "GPU: \tTabbed"},
        {'g', "printf 'no colon here\\n'", "GPU: Unknown"},
        {'g', "true", "GPU: Unknown"},
        {'k', "printf '6.1.0-test\\nsecond\\n'", "Kernel: 6.1.0-test"},
        {'k', "true", "Kernel: Unknown"}};
    char buffer[128];
    for (const Case& c : cases) {
        if (c.what == 'c' && c.input) write_file("cpuinfo", c.input);
        if (c.what == 'c') get_cpu_model_from("cpuinfo", buffer, sizeof buffer);
        if (c.what == 'g') get_gpu_model_from_command(c.input, buffer, sizeof buffer);
        if (c.what == 'k') get_kernel_info_from_command(c.input, buffer, sizeof buffer);
        EXPECT_STREQ(buffer, c.want) << (c.input ? c.input : "(no file)");
    }
    write_file("cpuinfo", "model name\t: A very long processor name\n");
    get_cpu_model_from("cpuinfo", buffer, 10);
    EXPECT_STREQ(buffer, "CPU: A ve");
    get_kernel_info(buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer).rfind("Kernel: ", 0), 0u);
    EXPECT_STRNE(buffer, "Kernel: Unknown");
}

TEST_F(UtilsFiles, HistoryGivesTheNthNewestNonEmptyLine) {
    char line[256] = "stale";
    EXPECT_FALSE(get_chat_history_line(1, line, sizeof line));  // no ./chathistory yet
    EXPECT_STREQ(line, "");
    write_file("history", "one\n\ntwo\n\n\nthree\n");
    std::string text;
    for (int i = 0; i < 25; i++) text += "line " + std::to_string(i) + "\n";
    write_file("chathistory", text + "last line without newline");
    struct Case {
        const char* path;
        int back;
        size_t size;
        const char* want;  // null: no such line, and an empty output
    };
    const Case cases[] = {{"history", 1, 256, "three"},
                          {"history", 3, 256, "one"},
                          {"history", 4, 256, nullptr},
                          {"history", 0, 256, nullptr},
                          {"chathistory", 1, 256, "last line without newline"},
                          {"chathistory", 26, 256, "line 0"},
                          {"chathistory", 2, 5, "line"}};
    for (const Case& c : cases) {
        EXPECT_EQ(get_chat_history_line_from(c.path, c.back, line, c.size), c.want != nullptr) << c.back;
        EXPECT_STREQ(line, c.want ? c.want : "") << c.back;
    }
    ASSERT_TRUE(get_chat_history_line(1, line, sizeof line));
    EXPECT_STREQ(line, "last line without newline");
}

TEST(UtilsTrim, TrailingWhitespaceThenLeadingSpacesAndTabs) {
    const std::pair<std::string, const char*> cases[] = {
        {" \t hello  world \t\r\n", "hello  world"}, {"\nname ", "\nname"}, {" \t \r\n", ""}, {"", ""}};
    for (auto [text, want] : cases) {
        trim_string(text.data());
        EXPECT_STREQ(text.c_str(), want);
    }
    trim_string(nullptr);
}

}  // namespace
