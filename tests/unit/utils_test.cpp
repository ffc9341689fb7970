// System information parsers against prepared proc-like files and commands,
// the chat history reader, and trim_string.
#include "utils.h"

#include <string>

#include "game_ui_fixture.h"

namespace {

using UtilsSystemInfo = TempDirTest;
using UtilsHistory = TempDirTest;

TEST_F(UtilsSystemInfo, MemoryComesFromTheVmRSSLineInWholeMegabytes) {
    write_file("status", "Name:\tqvox\nVmPeak:\t 999999 kB\nVmRSS:\t  204900 kB\nVmRSS:\t 1 kB\n");
    EXPECT_EQ(get_process_memory_mb_from("status"), 200);
    write_file("small", "VmRSS:\t1023 kB\n");
    EXPECT_EQ(get_process_memory_mb_from("small"), 0);
    write_file("none", "Name:\tqvox\n");
    EXPECT_EQ(get_process_memory_mb_from("none"), 0);
    EXPECT_EQ(get_process_memory_mb_from("missing"), 0);
    EXPECT_GT(get_process_memory_mb(), 0);
}

TEST_F(UtilsSystemInfo, CpuModelSkipsOnlySpacesAfterTheColon) {
    write_file("cpuinfo",
               "processor\t: 0\nmodel name without colon\nmodel name\t: Example CPU @ 3.00GHz\n"
               "model name\t: Second\n");
    char buffer[128];
    get_cpu_model_from("cpuinfo", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "CPU: Example CPU @ 3.00GHz");

    write_file("tabbed", "model name:\tTabbed CPU\n");
    get_cpu_model_from("tabbed", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "CPU: \tTabbed CPU");
}

TEST_F(UtilsSystemInfo, CpuModelFallsBackAndRespectsTheBufferSize) {
    char buffer[128];
    get_cpu_model_from("missing", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "CPU: Unknown");
    write_file("other", "vendor_id\t: Example\n");
    get_cpu_model_from("other", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "CPU: Unknown");
    write_file("cpuinfo", "model name\t: A very long processor name\n");
    char small[10];
    get_cpu_model_from("cpuinfo", small, sizeof small);
    EXPECT_STREQ(small, "CPU: A ve");
}

TEST_F(UtilsSystemInfo, GpuModelReadsTheRendererLine) {
    char buffer[128];
    get_gpu_model_from_command("printf 'OpenGL renderer string: llvmpipe (LLVM 15)\\n'", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "GPU: llvmpipe (LLVM 15)");
    get_gpu_model_from_command("printf 'OpenGL renderer string:\\tTabbed\\n'", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "GPU: \tTabbed");
    get_gpu_model_from_command("printf 'no colon here\\n'", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "GPU: Unknown");
    get_gpu_model_from_command("true", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "GPU: Unknown");
}

TEST_F(UtilsSystemInfo, KernelReadsOneLineOrFallsBack) {
    char buffer[128];
    get_kernel_info_from_command("printf '6.1.0-test\\nsecond\\n'", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "Kernel: 6.1.0-test");
    get_kernel_info_from_command("true", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "Kernel: Unknown");
    get_kernel_info(buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer).rfind("Kernel: ", 0), 0u);
    EXPECT_STRNE(buffer, "Kernel: Unknown");
}

TEST_F(UtilsHistory, NewestNonEmptyLineFirstAndNothingPastTheOldest) {
    write_file("history", "one\n\ntwo\n\n\nthree\n");
    char line[256];
    ASSERT_TRUE(get_chat_history_line_from("history", 1, line, sizeof line));
    EXPECT_STREQ(line, "three");
    ASSERT_TRUE(get_chat_history_line_from("history", 3, line, sizeof line));
    EXPECT_STREQ(line, "one");
    EXPECT_FALSE(get_chat_history_line_from("history", 4, line, sizeof line));
    EXPECT_STREQ(line, "");
    EXPECT_FALSE(get_chat_history_line_from("history", 0, line, sizeof line));
}

TEST_F(UtilsHistory, MissingFileGivesNoLine) {
    char line[256] = "stale";
    EXPECT_FALSE(get_chat_history_line(1, line, sizeof line));
    EXPECT_STREQ(line, "");
}

TEST_F(UtilsHistory, ManyLinesAndShortBuffers) {
    std::string text;
    for (int i = 0; i < 25; i++) text += "line " + std::to_string(i) + "\n";
    write_file("chathistory", text + "last line without newline");
    char line[256];
    ASSERT_TRUE(get_chat_history_line(1, line, sizeof line));
    EXPECT_STREQ(line, "last line without newline");
    ASSERT_TRUE(get_chat_history_line(26, line, sizeof line));
    EXPECT_STREQ(line, "line 0");
    char small[5];
    ASSERT_TRUE(get_chat_history_line(2, small, sizeof small));
    EXPECT_STREQ(small, "line");
}

TEST(UtilsTrim, TrailingWhitespaceThenLeadingSpacesAndTabs) {
    char text[] = " \t hello  world \t\r\n";
    trim_string(text);
    EXPECT_STREQ(text, "hello  world");
    char newline_first[] = "\nname ";
    trim_string(newline_first);
    EXPECT_STREQ(newline_first, "\nname");
    char blank[] = " \t \r\n";
    trim_string(blank);
    EXPECT_STREQ(blank, "");
    char empty[] = "";
    trim_string(empty);
    EXPECT_STREQ(empty, "");
    trim_string(nullptr);
}

}  // namespace
