#include "platform/program_directory.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quorvel {
namespace {

TEST(ProgramDirectoryTest, IsTheDirectoryOfTheRunningProgram) {
    const std::filesystem::path program = std::filesystem::canonical("/proc/self/exe");
    const std::string directory = ProgramDirectory();
    EXPECT_EQ(directory, program.parent_path().string());
    // Callers append "/server.txt", so the directory must not end in a slash.
    EXPECT_EQ(directory + "/" + program.filename().string(), program.string());
}

}  // namespace
}  // namespace quorvel
