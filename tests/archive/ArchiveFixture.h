// A scratch folder to pack archives in, with the file layer installed and the
// archive layer fresh; the current directory is the scratch folder.
#pragma once

#include "VlaArchive.h"
#include "archive/ArchiveHook.h"
#include "archive/ArchiveInternal.h"
#include "core/MemoryTracker.h"
#include "file/FileAccess.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace velox::test {

// The directory the tests were started in (<build>/tests); the fixture leaves it.
inline const std::filesystem::path kStartDirectory = std::filesystem::current_path();

class ArchiveFixture : public ::testing::Test {
protected:
    void SetUp() override {
        file::InstallArchiveAwareFileAccess();
        archive::ResetArchiveLayer();
        archive::SetArchiveKeyString(nullptr);
        baselineBlocks_ = core::mem_detail::CurrentTotals().blockCount;
        ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    }
    void TearDown() override {
        archive::EndArchiveLayer();
        archive::SetArchiveKeyString(nullptr);
        // Every test closes what it opened: nothing of the archive layer stays behind.
        EXPECT_EQ(archive::ArchiveState().openCount, 0);
        EXPECT_EQ(core::mem_detail::CurrentTotals().blockCount, baselineBlocks_);
    }

    // Packs dir/folder into dir/folder.VLA.
    void Pack(const std::string& folder, const vla::PackOptions& options = {}) {
        std::string error;
        ASSERT_TRUE(vla::PackDirectory(dir.path() + "/" + folder,
                                       dir.path() + "/" + folder + ".VLA", options, error))
            << error;
    }

    // The whole file through the file-access table; nullopt when the open fails.
    std::optional<std::string> ReadThrough(const std::string& path, int async = 0) {
        intptr_t f = file::gFileAccess.open(path.c_str(), 0, 1, async);
        if (f == 0) {
            return std::nullopt;
        }
        std::string all;
        char buffer[777]; // odd-sized reads cross every boundary
        while (true) {
            size_t n = file::gFileAccess.read(buffer, 1, sizeof buffer, f);
            while (file::gFileAccess.idle(f) == 0) {
            }
            all.append(buffer, n);
            if (n == 0) {
                break;
            }
        }
        EXPECT_EQ(file::gFileAccess.close(f), 0);
        return all;
    }

    // The archive's bytes descrambled with the key it was written with, and back.
    std::vector<uint8_t> Plain(const std::string& archive, const char* key = nullptr) {
        std::string bytes = dir.Read(archive);
        std::vector<uint8_t> plain(bytes.begin(), bytes.end());
        archive::ScrambleArchiveBytes(plain.data(), plain.size(), 0, archive::MakeArchiveKey(key));
        return plain;
    }
    void WritePlain(const std::string& archive, std::vector<uint8_t> plain,
                    const char* key = nullptr) {
        archive::ScrambleArchiveBytes(plain.data(), plain.size(), 0, archive::MakeArchiveKey(key));
        dir.Write(archive, std::string(plain.begin(), plain.end()));
    }

    // Seeds for the archive fuzz target, which takes a descrambled archive and
    // a last byte that picks the member it reads (here the first, at once).
    void WriteOpenSeed(const std::string& name, const std::vector<uint8_t>& plainBytes) {
        std::filesystem::path seeds = kStartDirectory / "../fuzz-corpus/ArchiveOpenFuzz";
        std::error_code ec;
        std::filesystem::create_directories(seeds, ec);
        std::ofstream out(seeds / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(plainBytes.data()),
                  std::streamsize(plainBytes.size()));
        out.put('\0');
    }

    LogCapture log; // before dir: it changes the current directory and restores it last
    TempDir dir;

private:
    int32_t baselineBlocks_ = 0;
};

} // namespace velox::test
