// How writeMidiFile replaces its target: a failed write never leaves a
// half-written file, and a replaced file keeps its mode and its links.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "midi/MidiFileWriter.h"
#include "midi/OutputFile.h"
#include "midi/TemporaryFolder.h"

namespace selvik {

// The writer itself, under a name the test fixture below does not hide.
using FileBeingWritten = OutputFile;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Names = std::vector<std::string>;

// A song of `notes` notes, about 8 bytes of file each.
void songOf(Song& song, std::uint32_t notes) {
    song.tempo = 120.0;
    song.division = 384;
    SongTrack& track = song.tracks[0];
    track.eventCount = 2 * notes;
    track.events = std::make_unique<MidiEvent[]>(2 * notes);
    for (std::uint32_t i = 0; i < notes; ++i) {
        const auto note = static_cast<std::uint8_t>(40 + i % 40);
        track.events[2 * i] = {100 * i, 0x90, note, 100};
        track.events[2 * i + 1] = {100 * i + 90, 0x90, note, 0};
    }
}

mode_t modeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

bool isSymbolicLink(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

class OutputFile : public ::testing::Test {
protected:
    void SetUp() override {
        songOf(song, 4);
        const std::string reference = folder.file("reference.mid");
        ASSERT_EQ(writeMidiFile(reference.c_str(), &song), MidiResult::Success);
        expected = test::readBytes(reference);
        ASSERT_EQ(expected.size(), 70u);  // header 14, tempo chunk 19, note chunk 8 + 25 + 4
        std::filesystem::remove(reference);
    }

    Song song;
    Bytes expected;
    test::TemporaryFolder folder;
};

// Writes a large song in a child whose file-size limit stops the write part-way
// (EFBIG, since SIGXFSZ is ignored); the result is the writer's code.
int writeWithFileSizeLimit(const std::string& path) {
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000, 1000};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            _exit(100);
        }
        Song big;
        songOf(big, 20000);
        _exit(static_cast<int>(writeMidiFile(path.c_str(), &big)));
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

TEST_F(OutputFile, AFailedWriteReportsCannotCreateAndKeepsThePreviousFile) {
    const std::string target = folder.file("out.mid");
    ASSERT_EQ(writeMidiFile(target.c_str(), &song), MidiResult::Success);
    EXPECT_EQ(writeWithFileSizeLimit(target), 4);
    EXPECT_EQ(test::readBytes(target), expected);
    EXPECT_EQ(folder.entries(), Names{"out.mid"});
}

TEST_F(OutputFile, AFailedWriteToANewPathLeavesNoFile) {
    EXPECT_EQ(writeWithFileSizeLimit(folder.file("out.mid")), 4);
    EXPECT_EQ(folder.entries(), Names{});
}

TEST_F(OutputFile, ATargetInAMissingFolderCannotBeCreated) {
    const std::string target = folder.file("missing/out.mid");
    EXPECT_EQ(writeMidiFile(target.c_str(), &song), MidiResult::CannotCreateFile);
    EXPECT_EQ(folder.entries(), Names{});
}

TEST_F(OutputFile, AFolderAsTargetCannotBeCreated) {
    std::filesystem::create_directory(folder.path() / "out.mid");
    const std::string target = folder.file("out.mid");
    EXPECT_EQ(writeMidiFile(target.c_str(), &song), MidiResult::CannotCreateFile);
    EXPECT_EQ(folder.entries(), Names{"out.mid"});
    EXPECT_TRUE(std::filesystem::is_directory(target));
}

TEST_F(OutputFile, AnEmptyPathCannotBeCreated) {
    EXPECT_EQ(writeMidiFile("", &song), MidiResult::CannotCreateFile);
}

TEST_F(OutputFile, ReplacesALongerFileAndLeavesNoTemporaryFile) {
    const std::string target = folder.file("out.mid");
    test::writeBytes(target, Bytes(5000, 0xEE));
    ASSERT_EQ(writeMidiFile(target.c_str(), &song), MidiResult::Success);
    EXPECT_EQ(test::readBytes(target), expected);
    EXPECT_EQ(folder.entries(), Names{"out.mid"});
}

TEST_F(OutputFile, AnAbruptEndRemovesTheFilesBeingWrittenAndKeepsTheTargets) {
    const std::string target = folder.file("out.mid");
    test::writeBytes(target, {1, 2, 3});
    FileBeingWritten first;
    FileBeingWritten second;
    ASSERT_TRUE(first.open(target.c_str()));
    ASSERT_TRUE(second.open(folder.file("new.mid").c_str()));
    const std::uint8_t bytes[] = {9, 9};
    ASSERT_TRUE(first.write(bytes, sizeof bytes));
    EXPECT_EQ(folder.entries().size(), 3u) << "two temporary files beside the target";
    FileBeingWritten::removeTemporaryFiles();
    EXPECT_EQ(folder.entries(), Names{"out.mid"});
    EXPECT_EQ(test::readBytes(target), (Bytes{1, 2, 3}));
    EXPECT_FALSE(first.commit()) << "its temporary file is gone";
    EXPECT_EQ(test::readBytes(target), (Bytes{1, 2, 3}));

    // A committed file is no longer among them.
    FileBeingWritten third;
    ASSERT_TRUE(third.open(target.c_str()));
    ASSERT_TRUE(third.write(bytes, sizeof bytes));
    ASSERT_TRUE(third.commit());
    FileBeingWritten::removeTemporaryFiles();
    EXPECT_EQ(test::readBytes(target), (Bytes{9, 9}));
}

TEST_F(OutputFile, KeepsTheModeOfAReplacedFile) {
    const std::string target = folder.file("out.mid");
    test::writeBytes(target, {1});
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(writeMidiFile(target.c_str(), &song), MidiResult::Success);
    EXPECT_EQ(modeOf(target), 0640u);
    EXPECT_EQ(test::readBytes(target), expected);
}

TEST_F(OutputFile, GivesANewFile0666LessTheUmask) {
    struct Case {
        mode_t umask;
        mode_t mode;
    };
    for (const Case c : {Case{027, 0640}, Case{0, 0666}, Case{077, 0600}}) {
        const std::string target = folder.file("new" + std::to_string(c.umask) + ".mid");
        const mode_t previous = umask(c.umask);
        const MidiResult result = writeMidiFile(target.c_str(), &song);
        umask(previous);
        ASSERT_EQ(result, MidiResult::Success);
        EXPECT_EQ(modeOf(target), c.mode) << "umask 0" << std::oct << c.umask;
    }
}

TEST_F(OutputFile, ReplacesTheFileASymbolicLinkNamesAndKeepsTheLink) {
    std::filesystem::create_directory(folder.path() / "real");
    const std::string pointee = folder.file("real/target.mid");
    test::writeBytes(pointee, {1, 2, 3});
    ASSERT_EQ(chmod(pointee.c_str(), 0604), 0);
    const std::string link = folder.file("link.mid");
    ASSERT_EQ(symlink("real/target.mid", link.c_str()), 0);

    ASSERT_EQ(writeMidiFile(link.c_str(), &song), MidiResult::Success);
    EXPECT_TRUE(isSymbolicLink(link));
    EXPECT_EQ(std::filesystem::read_symlink(link), "real/target.mid");
    EXPECT_EQ(test::readBytes(pointee), expected);
    EXPECT_EQ(modeOf(pointee), 0604u);
    EXPECT_EQ(folder.entries(), (Names{"link.mid", "real"}));
    EXPECT_EQ(test::TemporaryFolder::entriesOf(folder.path() / "real"), Names{"target.mid"});
}

TEST_F(OutputFile, FollowsAChainOfLinksToAFileThatDoesNotExistYet) {
    std::filesystem::create_directory(folder.path() / "real");
    const std::string pointee = folder.file("real/new.mid");
    ASSERT_EQ(symlink(pointee.c_str(), folder.file("second.mid").c_str()), 0);  // absolute
    ASSERT_EQ(symlink("second.mid", folder.file("first.mid").c_str()), 0);      // relative
    const std::string link = folder.file("first.mid");

    ASSERT_EQ(writeMidiFile(link.c_str(), &song), MidiResult::Success);
    EXPECT_TRUE(isSymbolicLink(folder.file("first.mid")));
    EXPECT_TRUE(isSymbolicLink(folder.file("second.mid")));
    EXPECT_EQ(test::readBytes(pointee), expected);
}

TEST_F(OutputFile, ALoopOfLinksCannotBeCreated) {
    ASSERT_EQ(symlink("b.mid", folder.file("a.mid").c_str()), 0);
    ASSERT_EQ(symlink("a.mid", folder.file("b.mid").c_str()), 0);
    const std::string link = folder.file("a.mid");
    EXPECT_EQ(writeMidiFile(link.c_str(), &song), MidiResult::CannotCreateFile);
    EXPECT_EQ(folder.entries(), (Names{"a.mid", "b.mid"}));
}

TEST_F(OutputFile, WritesAPipeInPlace) {
    const std::string fifo = folder.file("pipe.mid");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Bytes received;
    std::thread reader([&] {
        const int fd = open(fifo.c_str(), O_RDONLY);
        if (fd < 0) {
            return;
        }
        std::uint8_t buffer[4096];
        for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
            received.insert(received.end(), buffer, buffer + n);
        }
        close(fd);
    });
    const MidiResult result = writeMidiFile(fifo.c_str(), &song);
    reader.join();
    EXPECT_EQ(result, MidiResult::Success);
    EXPECT_EQ(received, expected);
    struct stat info {};
    ASSERT_EQ(lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(folder.entries(), Names{"pipe.mid"});
}

}  // namespace
}  // namespace selvik
