// System information parsers against prepared proc-like files and commands,
// the chat history reader, and trim_string.
#include "utils.h"

#include <functional>
#include <string>

#include "temp_world_fixture.h"

namespace {

using UtilsFiles = TempDirTest;

TEST_F(UtilsFiles, MemoryComesFromTheFirstVmRSSLineInWholeMegabytes) {
    const std::pair<const char*, int> cases[] = {
        {"Name:\tqvox\nVmPeak:\t 999999 kB\nVmRSS:\t  204900 kB\nVmRSS:\t 1 kB\n", 200},
        {"VmRSS:\t1023 kB\n", 0},
        {"Name:\tqvox\n", 0},
    };
    for (const auto& [text, mb] : cases) {
        write_file("status", text);
        EXPECT_EQ(get_process_memory_mb_from("status"), mb) << text;
    }
    EXPECT_EQ(get_process_memory_mb_from("missing"), 0);
    EXPECT_GT(get_process_memory_mb(), 0);
}

TEST_F(UtilsFiles, CpuGpuAndKernelLinesSkipOnlySpacesAndFallBackToUnknown) {
    using Reader = std::function<void(const char*, char*, size_t)>;
    const Reader cpu = [](const char* text, char* out, size_t size) {
        if (text != nullptr) write_file("cpuinfo", text);
        get_cpu_model_from("cpuinfo", out, size);
    };
    const Reader gpu = [](const char* command, char* out, size_t size) {
        get_gpu_model_from_command(command, out, size);
    };
    const Reader kernel = [](const char* command, char* out, size_t size) {
        get_kernel_info_from_command(command, out, size);
    };
    struct Case {
        const Reader* read;
        const char* input;
        size_t size;
        const char* want;
    };
    const Case cases[] = {
        {&cpu, nullptr, 128, "CPU: Unknown"},  // no file yet
        {&cpu, "processor\t: 0\nmodel name without colon\nmodel name\t: Example CPU @ 3.00GHz\nmodel name\t: 2\n", 128,
         "CPU: Example CPU @ 3.00GHz"},
        {&cpu, "model name:\tTabbed CPU\n", 128, "CPU: \tTabbed CPU"},
        {&cpu, "vendor_id\t: Example\n", 128, "CPU: Unknown"},
        {&cpu, "model name\t: A very long processor name\n", 10, "CPU: A ve"},
        {&gpu, "printf 'OpenGL renderer string: llvmpipe (LLVM 15)\\n'", 128, "GPU: llvmpipe (LLVM 15)"},
        {&gpu, "printf 'OpenGL renderer string:\\tTabbed\\n'", 128, "GPU: \tTabbed"},
        {&gpu, "printf 'no colon here\\n'", 128, "GPU: Unknown"},
        {&gpu, "true", 128, "GPU: Unknown"},
        {&kernel, "printf '6.1.0-test\\nsecond\\n'", 128, "Kernel: 6.1.0-test"},
        {&kernel, "true", 128, "Kernel: Unknown"},
    };
    for (const Case& c : cases) {
        char buffer[128];
        (*c.read)(c.input, buffer, c.size);
        EXPECT_STREQ(buffer, c.want) << (c.input ? c.input : "(no file)");
    }
    char buffer[128];
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
    const Case cases[] = {
        {"history", 1, 256, "three"},
        {"history", 3, 256, "one"},
        {"history", 4, 256, nullptr},
        {"history", 0, 256, nullptr},
        {"chathistory", 1, 256, "last line without newline"},
        {"chathistory", 26, 256, "line 0"},
        {"chathistory", 2, 5, "line"},
    };
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
    for (const auto& [in, want] : cases) {
        std::string text = in;
        trim_string(text.data());
        EXPECT_STREQ(text.c_str(), want);
    }
    trim_string(nullptr);
}

}  // namespace
