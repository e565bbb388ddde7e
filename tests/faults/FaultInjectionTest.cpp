// Faults injected from outside: a file-size limit while a writer runs (a full
// disk), links planted under the names of scratch and output files, FIFOs and
// devices where a reader expects a file. Each case runs in a child process
// with an alarm, so that a writer that kills its process or a reader that
// blocks fails the test instead of ending or hanging the test program.

#include "BmpFile.h"
#include "GraphSettings.h"
#include "RunOptions.h"
#include "core/RunCommand.h"
#include "core/Exception.h"
#include "core/ScriptedPrompt.h"
#include "engine/EngineTestSupport.h"
#include "job/FitJob.h"
#include "job/SideFile.h"
#include "ops/DataSheetImport.h"
#include "ops/OutputSummary.h"
#include "ops/RunReport.h"
#include "results/PntoutlReader.h"
#include "results/SolartronFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace nosk;
namespace fs = std::filesystem;

namespace {

struct ChildOutcome {
    bool ended = false;  // exited normally, not killed by a signal or its alarm
    std::string text;    // what the body reported
};

// Runs `body` in a child process, with the file-size limit when one is given
// (SIGXFSZ ignored, so that a write fails with EFBIG as on a full disk). An
// escaping exception is reported as "exception: <text>".
ChildOutcome inChild(const std::function<std::string()>& body, rlim_t fileSizeLimit = RLIM_INFINITY)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return {};
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        ::alarm(20);
        if (fileSizeLimit != RLIM_INFINITY) {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit { fileSizeLimit, fileSizeLimit };
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::string text;
        try {
            text = body();
        } catch (const std::exception& e) {
            text = std::string("exception: ") + e.what();
        }
        const char* p = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            const ssize_t n = ::write(pipeFds[1], p, left);
            if (n <= 0)
                break;
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    ChildOutcome outcome;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        outcome.text.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    outcome.ended = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return outcome;
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeAll(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<std::string> folderEntries()
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator("."))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

FitJob bigJob()
{
    // About 400 data lines: far beyond the limit the writers get.
    return test::makeTestJob('A', 10, {{1, 10.0, 1}, {6, 100.0, 1}, {7, 1e-4, 1}, {10, 1, 0}}, 400);
}

std::string hundredsOfBytes(std::size_t count)
{
    std::string s;
    while (s.size() < count)
        s += "old contents of the user's file\r\n";
    return s;
}

constexpr rlim_t kLimit = 4096;

} // namespace

TEST(FileSizeLimit, EveryWriterKeepsTheOldFileAndSaysTheWriteFailed)
{
    struct Writer {
        const char* file;
        std::size_t oldSize;  // below the limit
        rlim_t limit;
        std::function<std::string()> write;
        const char* message;  // what the writer must report
    };
    const std::vector<Writer> writers = {
        {"job.tst", 1000, kLimit, [] { bigJob().save("job.tst"); return std::string("saved"); },
         "exception: Cannot write file 'job.tst'!"},
        {"__X_EDIT.TMP", 1000, kLimit, [] { bigJob().saveWithSideFile("__X_EDIT.TMP"); return std::string("saved"); },
         "exception: Cannot write file '__X_EDIT.TMP'!"},
        {"solartron.fra", 1000, kLimit,
         [] {
             std::vector<double> f(400, 1.0), re(400, 2.0), im(400, 3.0);
             writeSolartronPoints("solartron.fra", f.data(), re.data(), im.data(), f.size());
             return std::string("saved");
         },
         "exception: Cannot write file 'solartron.fra'!"},
        {"Report.txt", 1000, kLimit,
         [] {
             ScriptedPrompt prompt;
             prompt.files.push_back("Report.txt");
             runCommand(prompt, [&] { writeRunReport(bigJob(), prompt); });
             return prompt.messages.empty() ? std::string("saved") : prompt.lastMessage().text;
         },
         "Cannot write file 'Report.txt'!"},
        {"NOSKRUN.OPT", 16, 8,
         [] {
             RunOptions o;
             o.closeEngineWindow = 7;
             return std::string(o.write("NOSKRUN.OPT") ? "saved" : "refused");
         },
         "refused"},
        {"NOSKVIEW.OPT", 320, 100,
         [] { return std::string(GraphSettings().save("NOSKVIEW.OPT") ? "saved" : "refused"); }, "refused"},
        {"graphs.bmp", 1000, kLimit,
         [] {
             std::vector<std::uint32_t> pixels(100 * 100, 0xffffffu);
             try {
                 WriteBmpFile("graphs.bmp", 100, 100, pixels.data(), 100);
             } catch (const BmpError& e) {
                 return std::string(e.what());
             }
             return std::string("saved");
         },
         "Error of WriteFile.\nError code 27."},
        {"graphs.png", 1000, kLimit,
         [] {
             // The viewer's PNG and PDF saves: the bytes encoded in memory.
             const std::string body(std::size_t(kLimit) * 2, 'x');
             try {
                 writeImageFile("graphs.png", {"\x89PNG", body});
             } catch (const BmpError& e) {
                 return std::string(e.what());
             }
             return std::string("saved");
         },
         "Error of WriteFile.\nError code 27."},
        {"ADD.BIN", 2, 1, [] { writeSideFile(3, 2); return std::string("passed over"); }, "passed over"},
    };
    for (const Writer& w : writers) {
        SCOPED_TRACE(w.file);
        test::TempWorkDir dir;
        const std::string old = hundredsOfBytes(w.oldSize).substr(0, w.oldSize);
        writeAll(w.file, old);
        const ChildOutcome outcome = inChild(w.write, w.limit);
        EXPECT_TRUE(outcome.ended);
        EXPECT_EQ(outcome.text, w.message);
        EXPECT_EQ(readAll(w.file), old);
        // No temporary file stays behind.
        std::vector<std::string> expected{w.file};
        EXPECT_EQ(folderEntries(), expected);
    }
}

TEST(FileSizeLimit, AWriteWithinTheLimitReplacesTheFile)
{
    // The other side of the limit: the same writers do replace the file when
    // the bytes fit, so the refusals above are the limit's doing.
    test::TempWorkDir dir;
    writeAll("NOSKVIEW.OPT", "x");
    const ChildOutcome outcome =
        inChild([] { return std::string(GraphSettings().save("NOSKVIEW.OPT") ? "saved" : "refused"); }, 1000);
    EXPECT_EQ(outcome.text, "saved");
    EXPECT_EQ(readAll("NOSKVIEW.OPT").size(), 320u);
}

TEST(PlantedLinks, ScratchAndOutputFilesReplaceTheLinkNeverItsTarget)
{
    test::TempWorkDir dir;
    fs::create_directory("victims");
    auto plant = [](const std::string& name) {
        const std::string victim = "victims/" + name;
        writeAll(victim, "precious " + name);
        fs::create_symlink(victim, name);
    };
    auto untouched = [](const std::string& name) {
        EXPECT_EQ(readAll("victims/" + name), "precious " + name) << name;
    };

    // The editor's scratch copy of the job and the side file beside it.
    plant("__X_EDIT.TMP");
    plant("ADD.BIN");
    bigJob().saveWithSideFile("__X_EDIT.TMP");
    for (const char* name : {"__X_EDIT.TMP", "ADD.BIN"}) {
        untouched(name);
        EXPECT_FALSE(fs::is_symlink(name)) << name;
    }
    FitJob back;
    back.load("__X_EDIT.TMP");
    EXPECT_EQ(back.M, 400);

    // The programs' option files and the organiser's model curve.
    for (const char* name : {"NOSKRUN.OPT", "NOSKVIEW.OPT", "solartron.fra"})
        plant(name);
    EXPECT_TRUE(RunOptions().write("NOSKRUN.OPT"));
    EXPECT_TRUE(GraphSettings().save("NOSKVIEW.OPT"));
    std::vector<double> f(5, 1.0), re(5, 2.0), im(5, 3.0);
    writeSolartronPoints("solartron.fra", f.data(), re.data(), im.data(), f.size());
    for (const char* name : {"NOSKRUN.OPT", "NOSKVIEW.OPT", "solartron.fra"}) {
        untouched(name);
        EXPECT_FALSE(fs::is_symlink(name)) << name;
    }

#ifdef NOSKWIN_PATH
    // The engine's report and point table.
    FitJob job = test::makeTestJob('A', 10, {{1, 10.0, 1}, {6, 100.0, 1}, {7, 1e-4, 1}, {10, 1, 0}}, 20);
    test::offsetStart(job);
    job.save("INFL");
    plant("PNTOUTL");
    plant("AUXPNTL");
    const std::string command = std::string("'") + NOSKWIN_PATH + "' S </dev/null >out.txt 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << readAll("out.txt");
    for (const char* name : {"PNTOUTL", "AUXPNTL"}) {
        untouched(name);
        EXPECT_FALSE(fs::is_symlink(name)) << name;
    }

    // The organiser's summary of that report, in its two scratch files.
    struct Seen : TextFileHandler {
        void print(const std::string& path) override { text = readAll(path); }
        void view(const std::string& path) override { text = readAll(path); }
        std::string text;
    } handler;
    plant("__TMP_9_.TXT");
    plant("__TMP_8_.TXT");
    ScriptedPrompt prompt;
    EXPECT_TRUE(runCommand(prompt, [&] { writeOutputSummary(job, "job.tst", false, handler); }));
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_NE(handler.text.find("job.tst"), std::string::npos);
    untouched("__TMP_9_.TXT");
    untouched("__TMP_8_.TXT");
#endif
}

TEST(SpecialFiles, ReadersRefuseFifosAndDevicesAtOnce)
{
    test::TempWorkDir dir;
    // A FIFO nobody writes to would block an open; /dev/zero never ends.
    auto special = [](const std::string& name, bool fifo) {
        std::error_code ec;
        fs::remove(name, ec);
        if (fifo)
            ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0);
        else
            fs::create_symlink("/dev/zero", name);
    };
    for (bool fifo : {true, false}) {
        SCOPED_TRACE(fifo ? "FIFO" : "/dev/zero");
        for (const char* name : {"INFL", "PNTOUTL", "cell.fra", "sheet.txt", "ADD.BIN", "NOSKRUN.OPT", "NOSKVIEW.OPT"})
            special(name, fifo);

        EXPECT_EQ(inChild([] { FitJob().load("INFL"); return std::string(); }).text,
                  "exception: Cannot open file 'INFL'!");
        EXPECT_EQ(inChild([] { FitStatistics s; readPntoutl(s); return std::string(); }).text,
                  "exception: Cannot open file 'PNTOUTL'!");
        // The end of a run takes the reason from the console instead.
        EXPECT_EQ(inChild([] {
                      const EngineAccount a = readEngineAccount("PNTOUTL", " @REASON kind=file text=on the console\n");
                      return a.reportLastLine + "|" + (a.reason ? a.reason->text : std::string());
                  }).text,
                  "|on the console");
        EXPECT_EQ(inChild([] { SolartronFile::read("cell.fra"); return std::string(); }).text,
                  "exception: Cannot open file 'cell.fra'!");
        EXPECT_EQ(inChild([] {
                      ScriptedPrompt prompt;
                      prompt.files.push_back("sheet.txt");
                      FitJob job;
                      runCommand(prompt, [&] { importDataSheet(job, prompt, {}); });
                      return prompt.lastMessage().text;
                  }).text,
                  "Cannot open file 'sheet.txt'!");
        EXPECT_EQ(inChild([] {
                      unsigned char a = 0, b = 0;
                      readSideFile(a, b);
                      return std::to_string(a) + std::to_string(b);
                  }).text,
                  "11");
        EXPECT_EQ(inChild([] {
                      RunOptions o;
                      o.read("NOSKRUN.OPT");
                      return std::to_string(o.notifyViewer);
                  }).text,
                  std::to_string(RunOptions().notifyViewer));
        EXPECT_EQ(inChild([] { return std::string(GraphSettings().load("NOSKVIEW.OPT") ? "read" : "refused"); }).text,
                  "refused");

#ifdef NOSKWIN_PATH
        // The engine itself ends with its error instead of waiting on INFL.
        // (timeout ends with 124 should it hang.)
        const std::string command = std::string("timeout 20 '") + NOSKWIN_PATH + "' S </dev/null >out.txt 2>&1";
        const int status = std::system(command.c_str());
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
        EXPECT_NE(readAll("out.txt").find("Cannot open file 'INFL'!"), std::string::npos) << readAll("out.txt");
#endif
    }
}
