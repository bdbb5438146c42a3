// Runs the built tovrelctl as a person or a script would and checks what it prints and returns.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>

namespace {

struct CtlRun {
    int status = -1;
    std::string out;
    std::string err;
};

CtlRun run(const std::string& arguments) {
    char errPath[] = "/tmp/tovrelctl-test-XXXXXX";
    int fd = mkstemp(errPath);
    if (fd >= 0) close(fd);
    std::string command = std::string(TOVRELCTL_PATH) + " " + arguments + " 2>" + errPath;
    CtlRun result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    std::array<char, 512> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        result.out.append(buffer.data(), n);
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (FILE* err = fopen(errPath, "r")) {
        while ((n = fread(buffer.data(), 1, buffer.size(), err)) > 0)
            result.err.append(buffer.data(), n);
        fclose(err);
    }
    remove(errPath);
    return result;
}

TEST(Tovrelctl, SimulatedStatusShowsEveryText) {
    CtlRun r = run("--simulate status");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Device Type:         0\n"
              "Current OS Mode:     Widnows Mode\n"
              "Source Resolution:   1920x1080p@60\n"
              "DDC Voltage Level:   5001 mV\n"
              "HPD Voltage Level:   4975 mV\n"
              "Audio Format Type:   LPCM\n"
              "Audio Sample Rate:   48k\n"
              "Firmware Version:    2.12.05\n"
              "Capture Resolution:  1920x1080p@60\n");
}

TEST(Tovrelctl, SimulatedJson) {
    CtlRun r = run("--json --simulate status");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(
        r.out,
        "{\"device_type\":0,\"os_mode\":\"Widnows Mode\",\"source_resolution\":\"1920x1080p@60\","
        "\"ddc_voltage\":\"5001 mV\",\"hpd_voltage\":\"4975 mV\",\"audio_format_type\":\"LPCM\","
        "\"audio_sample_rate\":\"48k\",\"firmware_version\":\"2.12.05\","
        "\"capture_resolution\":\"1920x1080p@60\"}\n");
    r = run("--simulate --json get 26");
    EXPECT_EQ(r.out, "{\"register\":26,\"slave\":180,\"value\":219}\n");
    r = run("--simulate --json set 0x06 44");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "{\"register\":6,\"value\":44,\"ok\":true}\n");
}

TEST(Tovrelctl, GetAndSet) {
    CtlRun r = run("--simulate get 11");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "83\n");
    r = run("--simulate get --bridge 92");
    EXPECT_EQ(r.out, "5\n");
    r = run("--simulate set 27 1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST(Tovrelctl, UsageErrorsAndHelp) {
    // Out-of-range numbers are refused before any box is looked for, not cut to their low byte.
    for (const char* bad : {"", "frobnicate", "get", "get x", "set 6", "status 1", "--bogus status",
                            "--bridge status", "get 0x1ffffffff", "get -5", "get 256", "set 26 300",
                            "set 0x106 44", "set 6 -1"}) {
        CtlRun r = run(std::string("--simulate ") + bad);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("tovrelctl: "), std::string::npos) << bad;
        EXPECT_EQ(r.out, "") << bad;
    }
    CtlRun help = run("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"status", "get REG", "set REG VALUE", "--simulate", "--json",
                             "--version", "0 to 255", "Exit status"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    // The build's version, wherever the option stands; nothing is looked for.
    for (const char* arguments : {"--version", "--simulate --version status"}) {
        CtlRun version = run(arguments);
        EXPECT_EQ(version.status, 0) << arguments;
        EXPECT_EQ(version.out, std::string("tovrelctl ") + TOVREL_VERSION + "\n") << arguments;
        EXPECT_EQ(version.err, "") << arguments;
    }
}

TEST(Tovrelctl, WithoutABoxSaysSoOnStandardError) {
    // This machine has no capture box; a machine with one would find it.
    CtlRun r = run("status");
    if (r.status == 0) GTEST_SKIP() << "a real box is attached";
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("no supported box found"), std::string::npos);
    EXPECT_NE(r.err.find("7b30:4e11"), std::string::npos);
}

}  // namespace

namespace {

std::string writeImage(const std::string& name, size_t bytes) {
    const std::string path = ::testing::TempDir() + name;
    FILE* f = fopen(path.c_str(), "wb");
    for (size_t i = 0; i < bytes; ++i) fputc(static_cast<int>(i * 7 + 3) & 0xFF, f);
    fclose(f);
    return path;
}

TEST(TovrelctlFlash, WritesAnImageAndReportsEachStepAndFailure) {
    const std::string image = writeImage("flash-300.bin", 300);
    CtlRun ok = run("--simulate flash " + image + " --target mac");
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_NE(ok.out.find("written: 300 bytes"), std::string::npos) << ok.out;
    EXPECT_NE(ok.err.find("Programming the flash: 100%"), std::string::npos) << ok.err;

    CtlRun json = run("--simulate --json flash " + image);
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"ok\":true,\"outcome\":\"done\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"programmed_bytes\":300"), std::string::npos) << json.out;

    CtlRun empty = run("--simulate --json flash " + writeImage("flash-empty.bin", 0));
    EXPECT_EQ(empty.status, 1);
    EXPECT_NE(empty.out.find("\"outcome\":\"image_empty\""), std::string::npos) << empty.out;
    EXPECT_NE(empty.out.find("\"flash_touched\":false"), std::string::npos) << empty.out;

    CtlRun large = run("--simulate flash " + writeImage("flash-large.bin", (2u << 20) - 4095));
    EXPECT_EQ(large.status, 1);
    EXPECT_NE(large.err.find("larger than the box's flash allows"), std::string::npos) << large.err;

    CtlRun missing = run("--simulate flash /nonexistent/image.bin");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot read the image"), std::string::npos) << missing.err;

    EXPECT_EQ(run("--simulate flash").status, 2);
    EXPECT_EQ(run("--simulate flash " + image + " --target linux").status, 2);
    EXPECT_EQ(run("--simulate status --target mac").status, 2);
}

}  // namespace
