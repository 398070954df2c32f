// The command line: what parsing makes of the arguments, and the program itself started without a display.

#include <QCoreApplication>
#include <QProcess>

#include <sys/stat.h>

#include <variant>

#include "app/CommandLine.h"
#include "tests/support/TempDir.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

// What `args` come to, parsed in `dir`: an early exit's status and text, or the source, destination and first file,
// each relative to `dir` ("." itself, "-" for none).
std::string outcome(const TempDir& dir, std::vector<std::string> args)
{
    args.insert(args.begin(), "/usr/bin/shoebox");
    std::vector<const char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    argv.push_back(nullptr);
    const std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const auto result = parseCommandLine(static_cast<int>(args.size()), argv.data());
    std::filesystem::current_path(cwd);
    if (const auto* exit = std::get_if<EarlyExit>(&result))
        return std::to_string(exit->status) + " " + exit->text;
    const StartFolders& folders = std::get<StartFolders>(result);
    std::string line;
    for (const auto& url : {folders.source, folders.destination, folders.firstFile}) {
        std::string path = url ? url->path() : "-";
        line +=
            (line.empty() ? "" : " | ") + (path.starts_with(dir.path()) ? "." + path.substr(dir.path().size()) : path);
    }
    return line;
}

// Guards folders losing bytes, "--" not ending the options, "." and ".." not resolved as the kernel does, "Open With"
// a photo (given relative, as a file manager may) not choosing its folder; a mistake's exit status and its exact
// message (a newline in a name escaped, a lone "-" dropped); and --help, -h and --version.
TEST(CommandLineTest, ArgumentsBecomeTheFoldersOrEndWithStatusTwoAndSayWhy)
{
    TempDir dir;
    dir.fill({"a.jpg", "b.Jpg", ".c.jpg"}, "photos"); // the scan would not list the last two
    dir.write("notes.txt");
    dir.makeFolder("caf\xE9");
    dir.makeFolder("-reverse");
    dir.makeFolder("a/b");
    const std::string more = "\nTry 'shoebox --help' for more information.\n",
                      usage = "Usage: shoebox [OPTION]... [SOURCE [DESTINATION]]\n"
                              "  or:  shoebox [OPTION]... PHOTO [DESTINATION]\n";
    const struct {
        std::vector<std::string> args;
        std::string expected;
        bool start = false; // of what an option prints
    } cases[] = {
        {{}, "- | - | -"},
        {{"caf\xE9", "--", "-reverse"}, "./caf\xE9 | ./-reverse | -"},
        {{".", "caf\xE9/../a/b/"}, ". | ./a/b | -"},
        {{"photos/a.jpg", "a"}, "./photos | ./a | ./photos/a.jpg"},
        {{"missing"}, "2 shoebox: source folder 'missing': No such file or directory\n"},
        {{"notes.txt"}, "2 shoebox: source folder 'notes.txt': Not a directory\n"},
        {{"photos/b.Jpg"}, "2 shoebox: source folder 'photos/b.Jpg': Not a directory\n"},
        {{"photos/.c.jpg"}, "2 shoebox: source folder 'photos/.c.jpg': Not a directory\n"},
        {{"photos", "notes.txt"}, "2 shoebox: destination folder 'notes.txt': Not a directory\n"},
        {{"photos", "photos/a.jpg"}, "2 shoebox: destination folder 'photos/a.jpg': Not a directory\n"},
        {{""}, "2 shoebox: source folder '': No such file or directory\n"},
        {{"-"}, "2 shoebox: source folder '-': No such file or directory\n"}, // a lone "-" is a name, not an option
        {{"bad\nname"}, "2 shoebox: source folder 'bad\\x0Aname': No such file or directory\n"},
        {{"a", "a", "a"}, "2 shoebox: too many arguments: at most a source and a destination folder" + more},
        {{"--colour", "a"}, "2 shoebox: Unknown option 'colour'." + more},
        {{"--help"}, "0 " + usage, true},
        {{"-h"}, "0 " + usage, true},
        {{"--version"}, "0 shoebox 0.", true},
    };
    for (const auto& c : cases) {
        const std::string got = outcome(dir, c.args);
        EXPECT_EQ(c.start ? got.substr(0, c.expected.size()) : got, c.expected) << join(c.args);
    }
}

// Guards Qt's abort (status 134) without a display, more than the one line saying so, --help or --version needing a
// display, and the help's translation missing beside the program or not taken from LANG as a desktop sets it.
TEST(CommandLineTest, WithoutADisplayOneLineSaysSoAndOnlyTheOptionsRun)
{
    int number = 79; // an X display no server answers on
    for (struct stat st{}; ::stat(("/tmp/.X11-unix/X" + std::to_string(number)).c_str(), &st) == 0;)
        ++number;
    const QString gone = ":" + QString::number(number);
    const struct {
        QStringList arguments, environment;
        std::string expected; // the status, then the whole of stderr, or the start of stdout for status 0
    } runs[] = {
        {{}, {}, "1 shoebox: cannot open the display: neither DISPLAY nor WAYLAND_DISPLAY is set\n"},
        {{}, {"DISPLAY=" + gone}, "1 shoebox: cannot open the display (DISPLAY=" + gone.toStdString() + ")\n"},
        {{"--help"}, {"LANG=de_DE.UTF-8"}, "0 Aufruf: shoebox [OPTION]... [QUELLE [ZIEL]]\n"},
        {{"--help"}, {}, "0 Usage: shoebox [OPTION]... [SOURCE [DESTINATION]]\n"},
        {{"--version"}, {}, "0 shoebox 0."},
    };
    for (const auto& run : runs) {
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "LC_ALL", "LC_MESSAGES", "LANGUAGE"})
            variables.remove(name);
        variables.insert("LANG", "C.UTF-8");
        for (const QString& variable : run.environment)
            variables.insert(variable.section('=', 0, 0), variable.section('=', 1));
        QProcess shoebox;
        shoebox.setProcessEnvironment(variables);
        shoebox.start(QCoreApplication::applicationDirPath() + "/shoebox", run.arguments);
        if (!shoebox.waitForFinished(60000))
            shoebox.kill();
        const int status = shoebox.exitStatus() == QProcess::NormalExit ? shoebox.exitCode() : -1;
        const std::string got =
            std::to_string(status) + " " +
            (status == 0 ? shoebox.readAllStandardOutput() : shoebox.readAllStandardError()).toStdString();
        EXPECT_EQ(status == 0 ? got.substr(0, run.expected.size()) : got, run.expected)
            << run.arguments.join(' ').toStdString();
    }
}

} // namespace
