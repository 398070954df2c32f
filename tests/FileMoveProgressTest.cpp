#include <fcntl.h>

#include "FileDescriptor.h"
#include "FileMoveTesting.h"
#include "MoveObserver.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

// Records every report, asks to stop at the `stopAt`th question, and notes
// how many fsyncs came before the last question.
struct RecordingObserver final : MoveObserver {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
    int questions = 0, stopAt = 0, syncsAtLastQuestion = -1;
    const int* syncs = nullptr;

    void copied(std::uint64_t done, std::uint64_t total) override { reports.emplace_back(done, total); }
    bool cancelled() override
    {
        syncsAtLastQuestion = syncs ? *syncs : -1;
        return ++questions == stopAt;
    }
};

// Reports only grow, the total is known from the first on, and the last is the total.
void expectSteadyProgress(const RecordingObserver& observer, std::uint64_t total)
{
    ASSERT_FALSE(observer.reports.empty());
    for (std::size_t i = 0; i < observer.reports.size(); ++i) {
        EXPECT_EQ(observer.reports[i].second, total) << "report " << i;
        EXPECT_GE(observer.reports[i].first, i > 0 ? observer.reports[i - 1].first : 0) << "report " << i;
    }
    EXPECT_EQ(observer.reports.back(), std::pair(total, total));
}

class MoveProgressTest : public CrossMoveTest {
protected:
    void SetUp() override
    {
        CrossMoveTest::SetUp();
        dir.write("Holiday/IMG_1.JPG", original);
        dir.write("Holiday/day 2/IMG_2.JPG", original.substr(0, 1 << 20));
        dir.write("Holiday/day 2/IMG_3.JPG", "");
        dir.write("Holiday/day 2/IMG_4.JPG", "4");
    }
    const std::uint64_t treeBytes = original.size() + (1 << 20) + 1;
};

} // namespace

// A file in steps of 1 MiB and a folder of several, counted before copying;
// a rename within one filesystem asks nothing.
TEST_F(MoveProgressTest, ReportsStepsUpToTheTotal)
{
    FileMoveIo io = systemFileMoveIo();
    userSpaceCopyOnly(io);
    ScopedFileMoveIo scoped(io);

    RecordingObserver file;
    ASSERT_TRUE(moveItemNoReplace(source, target, &file));
    expectSteadyProgress(file, original.size());
    EXPECT_GE(file.reports.size(), 3u);

    RecordingObserver folder;
    ASSERT_TRUE(moveItemNoReplace(dir / "Holiday", other / "Holiday", &folder));
    expectSteadyProgress(folder, treeBytes);
    EXPECT_GE(folder.reports.size(), 5u);

    // Holes count as copied, at the start, inside and at the end.
    {
        const UniqueFd video(::open((dir / "clip.MOV").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        ASSERT_EQ(::pwrite(video.get(), "data", 4, 2 << 20), 4);
        ASSERT_EQ(::ftruncate(video.get(), 4 << 20), 0);
    }
    RecordingObserver sparse;
    ASSERT_TRUE(moveItemNoReplace(dir / "clip.MOV", other / "clip.MOV", &sparse));
    expectSteadyProgress(sparse, 4 << 20);

    // Files without bytes are steps too: a stop is heard between any two.
    dir.write("Empty/a.JPG", "");
    dir.write("Empty/b.JPG", "");
    dir.write("Empty/c.JPG", "");
    RecordingObserver empty;
    ASSERT_TRUE(moveItemNoReplace(dir / "Empty", other / "Empty", &empty));
    EXPECT_GE(empty.questions, 3);

    RecordingObserver rename;
    ASSERT_TRUE(moveItemNoReplace(target, other / "Renamed.JPG", &rename));
    EXPECT_TRUE(rename.reports.empty());
    EXPECT_EQ(rename.questions, 0);
}

// Asked to stop at any point (the first step, mid-file, mid-folder, just
// before publishing the copy), the move fails as cancelled with the source
// as it was and nothing new in the target folder, hidden copies included.
TEST_F(MoveProgressTest, StopsWhereverItIsAskedToWithoutATrace)
{
    for (bool folder : {false, true}) {
        // A folder's copy always has a hidden name.
        for (bool tmpfile : folder ? std::vector{true} : std::vector{true, false}) {
            const std::string from = folder ? dir / "Holiday" : source, to = other / "Moved";
            FileMoveIo io = systemFileMoveIo();
            userSpaceCopyOnly(io);
            if (!tmpfile)
                likeFat(io);
            // How many times a whole move asks, counted on a run of it; the
            // last time after the copy is complete and synced, just before
            // it is published (and the target folder synced).
            int syncs = 0;
            io.fsync = [&, real = io.fsync](int fd) {
                ++syncs;
                return real(fd);
            };
            ScopedFileMoveIo scoped(io);
            RecordingObserver counter;
            counter.syncs = &syncs;
            ASSERT_TRUE(moveItemNoReplace(from, to, &counter));
            EXPECT_EQ(counter.syncsAtLastQuestion, syncs - 1);
            ASSERT_TRUE(moveItemNoReplace(to, from));
            ASSERT_GE(counter.questions, folder ? 6 : 4);

            for (int stopAt = 1; stopAt <= counter.questions; ++stopAt) {
                SCOPED_TRACE(std::string(folder ? "folder" : "file") + (tmpfile ? "" : " without O_TMPFILE") +
                             ", stopped at question " + std::to_string(stopAt));
                RecordingObserver observer;
                observer.stopAt = stopAt;
                const Result<> result = moveItemNoReplace(from, to, &observer);
                expectFailure(result, ECANCELED, Cause::cancelled);
                EXPECT_TRUE(result.error().description.ends_with(": the move was cancelled"))
                    << result.error().description;
                EXPECT_EQ(observer.questions, stopAt) << "asked again after the stop";
                EXPECT_EQ(names(other.path()), Names{});
                EXPECT_TRUE(readFile(folder ? from + "/IMG_1.JPG" : from) == original);
                if (folder) {
                    EXPECT_EQ(names(from + "/day 2"), (Names{"IMG_2.JPG", "IMG_3.JPG", "IMG_4.JPG"}));
                }
            }
        }
    }
}
