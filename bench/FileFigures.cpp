// The platform layer alone: listing big folders, and moving files within a
// filesystem and across two.

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>

#include <fcntl.h>
#include <stdio.h> // renameat2, RENAME_NOREPLACE
#include <sys/stat.h>
#include <unistd.h>

#include "bench/Figures.h"
#include "bench/Processes.h"
#include "platform/FileMove.h"
#include "platform/LinuxFileManager.h"

namespace shoebox::bench {

namespace {

// The folders of empty files, made once per run and kept until its end:
// ext4 skips inodes freed in the last minutes when it allocates new ones,
// so creating files right after deleting a million costs several times as
// much (seen in perf as recently_deleted() in the inode allocator).
std::map<int, std::string> emptyFolders;

// The scan of a folder of `count` empty files against `ls -f` (which lists
// without sorting or a stat per file); the folder's name, or empty when it
// could not be made in time. Its first file is a 24 MP photo, for the first
// picture's figures.
std::string scan(const Data& data, const Options& options, Report& report, const char* name, int count)
{
    if (!emptyFolders.contains(count)) {
        const std::string folder = data.newFolder("scan-" + std::to_string(count));
        const auto t0 = Clock::now();
        // Typically 30-70 s for a million on ext4, but several times that
        // while the disk is busy; past four minutes the figure is dropped.
        const bool complete = makeFiles(folder, count, 0, 240);
        note("made %s%d empty files in %.1f s", complete ? "" : "only part of ", count,
             msBetween(t0, Clock::now()) / 1000);
        const std::string first = folder + "/" + cameraName(1);
        if (::unlink(first.c_str()) != 0 || ::link(data.photos24[0].path.c_str(), first.c_str()) != 0)
            die("link " + first + ": " + std::strerror(errno));
        emptyFolders[count] = complete ? folder : "";
    }
    const std::string folder = emptyFolders[count];
    if (folder.empty()) {
        report.unavailable(name, "making the files took over 4 minutes");
        return folder;
    }
    auto scanMs = [&] {
        const auto t = Clock::now();
        UnwatchedListing unwatched;
        auto entries = LinuxFileManager().shownFilesInDirectory(FileURL::fileURLWithPath(folder), unwatched);
        const double ms = msBetween(t, Clock::now());
        if (!entries || int(entries->size()) != count)
            note("scan of %s found %zu entries", folder.c_str(), entries ? entries->size() : 0);
        return ms; // the list is freed after the clock stops
    };
    auto lsMs = [&] { return runTimed({"ls", "-f", folder}); };
    scanMs(); // warms the dentry and inode caches for both
    lsMs();
    std::vector<double> scans, lists;
    inTurn(
        options.pairs, [&](int) { scans.push_back(scanMs()); }, [&](int) { lists.push_back(lsMs()); });
    report.figure(name, "ms", scans, lists);
    return folder;
}

// 200 MB of incompressible bytes, the size of a long phone video.
void makeBigFile(const std::string& path)
{
    std::vector<std::uint64_t> block((1 << 20) / sizeof(std::uint64_t));
    std::mt19937_64 random(0xC0FFEE);
    for (auto& v : block)
        v = random();
    const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
    for (int mb = 0; mb < 200; ++mb) {
        block[0] = std::uint64_t(mb); // no two blocks alike
        writeAll(fd, block.data(), block.size() * sizeof block[0]);
    }
    ::close(fd);
}

} // namespace

void scanFigures(const Data& data, const Options& options, Report& report)
{
    scan(data, options, report, "scan_100k_ms", 100'000);
    if (options.quick) {
        report.unavailable("scan_1m_ms", "skipped by --quick");
        return;
    }
    const std::string million = scan(data, options, report, "scan_1m_ms", 1'000'000);
    if (!million.empty())
        listingFigures(data, options, report, million);
}

void removeScanFolders()
{
    const auto t = Clock::now();
    for (const auto& [count, folder] : emptyFolders)
        if (!folder.empty())
            std::filesystem::remove_all(folder);
    emptyFolders.clear();
    note("removing the empty files took %.1f s", msBetween(t, Clock::now()) / 1000);
}

void moveFigures(const Data& data, const Options& options, Report& report)
{
    // 1,000 small files renamed within one tree on /tmp, against renameat2
    // with RENAME_NOREPLACE; each round on files made right before it.
    auto moveAll = [&](const std::function<bool(const std::string&, const std::string&)>& move) {
        const std::string base = data.newFolder("move");
        makeFiles(base + "/from", 1000, 2048);
        std::filesystem::create_directories(base + "/to");
        const auto t = Clock::now();
        for (int i = 1; i <= 1000; ++i) {
            const std::string name = cameraName(i);
            if (!move(base + "/from/" + name, base + "/to/" + name))
                note("move of %s failed", name.c_str());
        }
        const double ms = msBetween(t, Clock::now());
        std::filesystem::remove_all(base);
        return ms;
    };
    std::vector<double> moves, renames;
    inTurn(
        options.pairs,
        [&](int) {
            moves.push_back(moveAll([](const std::string& from, const std::string& to) {
                return moveItemNoReplace(from, to).has_value();
            }));
        },
        [&](int) {
            renames.push_back(moveAll([](const std::string& from, const std::string& to) {
                return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
            }));
        });
    report.figure("move_1000_same_fs_ms", "ms", moves, renames);

    // 200 MB from /tmp to another filesystem, against coreutils mv; each
    // file is written right before its move, the same way.
    const auto other = data.otherFilesystem();
    if (!other) {
        report.unavailable("move_200mb_cross_fs_ms", "no second filesystem (/dev/shm on another than /tmp)");
        return;
    }
    const std::string src = data.newFolder("cross") + "/" + cameraName(1, "MOV");
    const std::string dst = *other + "/" + cameraName(1, "MOV");
    std::vector<double> app, mv;
    inTurn(
        options.pairs,
        [&](int) {
            makeBigFile(src);
            const auto t = Clock::now();
            if (!moveItemNoReplace(src, dst))
                note("cross-filesystem move failed");
            app.push_back(msBetween(t, Clock::now()));
            ::unlink(dst.c_str());
        },
        [&](int) {
            makeBigFile(src);
            mv.push_back(runTimed({"mv", src, dst}));
            ::unlink(dst.c_str());
        });
    report.figure("move_200mb_cross_fs_ms", "ms", app, mv);
}

} // namespace shoebox::bench
