// What every test needs: a fresh scratch directory as the current directory, a clean simulated
// platform, a fixed time zone, and byte-exact file helpers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

typedef std::vector<unsigned char> Bytes;

class InScratchDir : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::filesystem::path Dir;

private:
    std::filesystem::path Previous;
};

// Makes local time that of zone (a TZ string such as "UTC0" or "EST5").
void UseTimeZone(const char* zone);

Bytes ReadBytes(const std::string& path);            // empty when the file is missing
void WriteBytes(const std::string& path, const Bytes& bytes);
bool Exists(const std::string& path);
std::vector<std::string> LogLines();                 // the log's lines, each without "\r\n"

// A status file of the given size: the layout's bytes where they fit, zeros beyond.
Bytes StatusFileBytes(int statusByte, int64_t heartbeat, size_t size = 17);
