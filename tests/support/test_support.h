// test_support.h: expected texts, one start-up and a captured console for the unit tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

// The whole text as a regular expression that matches only itself.
std::string Literal(const std::string& text);

// A 79-character banner line and its line feed as reports are framed: the
// title in brackets, or all '=' for an empty title (the closing line).
// Titles of up to 73 characters.
std::string Banner(const std::string& title);

// An address as the library prints it: at least eight upper-case digits.
std::string Hex(std::uintptr_t address);
std::string Hex(const void* pointer);

// Every byte of a file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// The text as the log file stores it: a carriage return before each line feed.
std::string CrLf(const std::string& text);

// Back to the log state before start-up: no file, no mutex, no console,
// locking off and the real clock.
void ResetLog();

// The library as the application starts it. Start-up is allowed only once
// per process, so only the first call counts, whatever it passes.
void StartCore(const char* program, std::uint32_t flags);

// Each test gets a directory of its own, dir_, and a file in it standing in
// for the console, which Console() reads back. The log's flags and console
// handle are put back as they were when the test ends.
class ConsoleFileTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string Console() const;

    std::filesystem::path dir_;

private:
    std::int32_t console_ = 0;
    std::uint32_t savedFlags_ = 0;
    std::uintptr_t savedConsole_ = 0;
};
