// Earlier versions: every save keeps the one it replaces, twenty per
// profile; a backup that cannot be written never stops a save; a restore
// keeps the current file first.
#include "profile_backup.h"
#include "profile_file.h"
#include "test_fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace kb {
namespace {

using testing::TempFolder;
using testing::useAsOnlyProfile;

std::vector<std::uint8_t> bytesOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class Backups : public ::testing::Test {
protected:
    void SetUp() override {
        setBackupFolder(dir_ / "Backups");
        file_ = dir_ / "game.px3";
        ASSERT_EQ(writeDefaultProfileFile(file_, 0), 1);
        useAsOnlyProfile(list_, file_);
        ASSERT_EQ(loadProfileFile(model_, file_), 1);
        (void)takeBackupNotice();
    }
    void TearDown() override { setBackupFolder({}); }

    // Version n: slot n blocked as well.
    SaveResult saveVersion(int n) {
        model_.record->setEntry(n, {1, 0, 0});
        return saveProfile(model_, list_);
    }

    TempFolder dir_;
    MemorySettingsStore store_;
    ProfileList list_{store_};
    ProfileModel model_;
    std::filesystem::path file_;
};

TEST_F(Backups, TwentyFiveSavesLeaveTheNewestTwenty) {
    std::vector<std::vector<std::uint8_t>> versions{bytesOf(file_)};
    for (int n = 1; n <= 25; ++n) {
        ASSERT_EQ(saveVersion(n), SaveResult::Saved);
        versions.push_back(bytesOf(file_));
    }
    const std::vector<BackupInfo> backups = listBackups(file_);
    ASSERT_EQ(backups.size(), kBackupsKept);
    // Newest first: the versions before the last 20 saves, 24 down to 5.
    for (std::size_t i = 0; i < backups.size(); ++i) {
        EXPECT_EQ(bytesOf(backups[i].file), versions[24 - i]) << "backup " << i;
        EXPECT_TRUE(backups[i].usable);
        EXPECT_EQ(backups[i].assignedKeys, static_cast<int>(24 - i));
        EXPECT_EQ(backups[i].size, kProfileRecordSize);
    }
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(backupFolderFor(file_))) {
        ++files;
        for (int old = 0; old < 5; ++old) EXPECT_NE(bytesOf(entry.path()), versions[old]) << "version " << old;
    }
    EXPECT_EQ(files, kBackupsKept);  // nothing half-written left beside them
    // A save of unchanged bytes adds no copy of the same version.
    ASSERT_EQ(saveProfile(model_, list_), SaveResult::Saved);
    ASSERT_EQ(saveProfile(model_, list_), SaveResult::Saved);
    EXPECT_EQ(bytesOf(listBackups(file_).front().file), versions[25]);
    EXPECT_EQ(bytesOf(listBackups(file_)[1].file), versions[24]);
    EXPECT_FALSE(takeBackupNotice());

    // Another profile of the same name elsewhere has backups of its own.
    std::filesystem::create_directory(dir_ / "other");
    EXPECT_NE(backupFolderFor(dir_ / "other" / "game.px3"), backupFolderFor(file_));
}

TEST_F(Backups, UnwritableBackupFolderDoesNotStopTheSaveAndIsToldOnce) {
    // A file where the folder should be: nothing can be created below it.
    std::ofstream(dir_ / "Backups") << "x";
    ASSERT_EQ(saveVersion(1), SaveResult::Saved);
    ProfileContent saved;
    ASSERT_TRUE(readProfileFile(file_, saved));
    EXPECT_EQ(saved.record.entry(1).type, 1);
    const auto notice = takeBackupNotice();
    ASSERT_TRUE(notice);
    EXPECT_NE(notice->find(u"Backups"), std::u16string::npos);
    ASSERT_EQ(saveVersion(2), SaveResult::Saved);
    EXPECT_FALSE(takeBackupNotice());  // once, not at every save

    // Told again after backups worked and failed anew.
    std::filesystem::remove(dir_ / "Backups");
    ASSERT_EQ(saveVersion(3), SaveResult::Saved);
    EXPECT_FALSE(takeBackupNotice());
    std::filesystem::remove_all(dir_ / "Backups");
    std::ofstream(dir_ / "Backups") << "x";
    ASSERT_EQ(saveVersion(4), SaveResult::Saved);
    EXPECT_TRUE(takeBackupNotice());
}

TEST_F(Backups, RestoreKeepsTheCurrentFileAndRoundTrips) {
    ASSERT_EQ(saveVersion(1), SaveResult::Saved);
    const std::vector<std::uint8_t> first = bytesOf(file_);
    ASSERT_EQ(saveVersion(2), SaveResult::Saved);
    const std::vector<std::uint8_t> second = bytesOf(file_);
    const std::vector<BackupInfo> before = listBackups(file_);
    ASSERT_EQ(before.size(), 2u);
    ASSERT_EQ(bytesOf(before[0].file), first);

    ASSERT_EQ(restoreBackup(file_, before[0].file), RestoreResult::Restored);
    EXPECT_EQ(bytesOf(file_), first);
    const std::vector<BackupInfo> after = listBackups(file_);
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(bytesOf(after[0].file), second);  // the replaced file, kept first
    // And back again.
    ASSERT_EQ(restoreBackup(file_, after[0].file), RestoreResult::Restored);
    EXPECT_EQ(bytesOf(file_), second);

    // A damaged backup is refused and changes nothing.
    std::vector<std::uint8_t> bad = first;
    bad[0] = 'Q';
    std::ofstream(dir_ / "bad.px3", std::ios::binary).write(reinterpret_cast<const char*>(bad.data()),
                                                           static_cast<std::streamsize>(bad.size()));
    EXPECT_EQ(restoreBackup(file_, dir_ / "bad.px3"), RestoreResult::Unusable);
    EXPECT_EQ(bytesOf(file_), second);
    // So is a restore whose current file cannot be kept.
    std::filesystem::remove_all(dir_ / "Backups");
    std::ofstream(dir_ / "Backups") << "x";
    const std::filesystem::path elsewhere = dir_ / "first.px3";
    std::ofstream(elsewhere, std::ios::binary).write(reinterpret_cast<const char*>(first.data()),
                                                     static_cast<std::streamsize>(first.size()));
    EXPECT_EQ(restoreBackup(file_, elsewhere), RestoreResult::CurrentNotKept);
    EXPECT_EQ(bytesOf(file_), second);
}

}  // namespace
}  // namespace kb
