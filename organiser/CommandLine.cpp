#include "CommandLine.h"

#include <cstdlib>

namespace nosk {

namespace {

// Only "--word" and "-h" are options; "-" and "-odd.tst" stay file names.
bool isOption(const std::string& a)
{
    return a.rfind("--", 0) == 0 || a == "-h";
}

} // namespace

CommandLine CommandLine::parse(const std::vector<std::string>& args)
{
    CommandLine cl;
    auto fail = [&cl](std::string text) {
        if (cl.error.empty())
            cl.error = std::move(text);
    };
    // The operand of an option: the next argument, which must not look like
    // an option itself ("--run --help" is a mistake, not a file named --help).
    auto operand = [&](size_t& i, const std::string& option, std::string& into) {
        if (i + 1 >= args.size() || isOption(args[i + 1])) {
            fail(option + " needs a file name");
            return;
        }
        if (!into.empty()) {
            fail(option + " given twice");
            return;
        }
        into = args[++i];
    };
    auto setMode = [&](Mode m, const std::string& option) {
        if (cl.mode != Mode::Window && cl.mode != m)
            fail(option + " cannot be combined with the other options given");
        cl.mode = m;
    };

    std::vector<std::string> words;
    std::string batchOption;  // the last option that belongs to --batch alone
    bool engineOption = false;
    bool kkOption = false;
    bool optionsEnded = false;
    // With --batch, --drt is a switch; alone it names the file.
    bool batch = false;
    for (const std::string& a : args) {
        if (a == "--")
            break;
        batch = batch || a == "--batch";
    }
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || !isOption(a)) {
            words.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "--help" || a == "-h") {
            cl.mode = Mode::Help;
            return cl;  // help wins over everything else on the line
        } else if (a == "--run") {
            setMode(Mode::Run, a);
            operand(i, a, cl.file);
        } else if (a == "--import") {
            setMode(Mode::Import, a);
            operand(i, a, cl.file);
        } else if (a == "--to") {
            operand(i, a, cl.target);
        } else if (a == "--spectrum") {
            std::string n;
            operand(i, a, n);
            char* end = nullptr;
            const long v = n.empty() ? 0 : std::strtol(n.c_str(), &end, 10);
            if (!n.empty() && (v < 1 || v > 100000 || *end != '\0'))
                fail("--spectrum needs a number from 1");
            else if (!n.empty())
                cl.spectrum = int(v);
        } else if (a == "--guess") {
            setMode(Mode::Guess, a);
            operand(i, a, cl.file);
        } else if (a == "--starts") {
            std::string n;
            if (i + 1 < args.size())
                n = args[++i];
            char* end = nullptr;
            const long v = n.empty() ? 0 : std::strtol(n.c_str(), &end, 10);
            if (n.empty() || *end != '\0' || v < 1 || v > 1000)
                fail("--starts needs a number from 1 to 1000");
            else if (cl.starts != 0)
                fail("--starts given twice");
            else
                cl.starts = static_cast<int>(v);
        } else if (a == "--kk") {
            setMode(Mode::Kk, a);
            operand(i, a, cl.file);
        } else if (a == "--drt" && batch) {
            cl.drt = true;
        } else if (a == "--drt") {
            setMode(Mode::Drt, a);
            operand(i, a, cl.file);
        } else if (a == "--band") {
            cl.band = true;
        } else if (a == "--zhit") {
            setMode(Mode::Zhit, a);
            operand(i, a, cl.file);
        } else if (a == "--kk-cutoff") {
            kkOption = true;
            std::string n = i + 1 < args.size() ? args[++i] : std::string();
            char* end = nullptr;
            const double v = n.empty() ? 0 : std::strtod(n.c_str(), &end);
            if (n.empty() || *end != '\0' || !(v > -1e9 && v < 1))
                fail("--kk-cutoff needs a number below 1 (such as 0.85)");
            else
                cl.kkCutoff = v == 0 ? 1e-300 : v;
        } else if (a == "--check") {
            batchOption = a;
            std::string what = i + 1 < args.size() ? args[++i] : std::string();
            if (what == "kk")
                cl.checkKk = true;
            else if (what == "zhit")
                cl.checkZhit = true;
            else
                fail("--check needs kk or zhit");
        } else if (a == "--batch") {
            setMode(Mode::Batch, a);
        } else if (a == "--template") {
            batchOption = a;
            operand(i, a, cl.templateFile);
        } else if (a == "--out") {
            batchOption = a;
            operand(i, a, cl.outFile);
        } else if (a == "--plot") {
            batchOption = a;
            operand(i, a, cl.plotFile);
        } else if (a == "--chain") {
            batchOption = a;
            cl.chain = true;
        } else if (a == "--engine") {
            engineOption = true;
            operand(i, a, cl.engine);
        } else if (a == "--jobs") {
            batchOption = a;
            std::string n;
            if (i + 1 < args.size())
                n = args[++i];
            char* end = nullptr;
            long v = n.empty() ? 0 : std::strtol(n.c_str(), &end, 10);
            if (n.empty() || *end != '\0' || v < 1 || v > 1024)
                fail("--jobs needs a number from 1 to 1024");
            else
                cl.jobs = static_cast<int>(v);
        } else {
            fail("unknown option '" + a + "'");
        }
    }
    if (!cl.error.empty())
        return cl;

    if (cl.mode != Mode::Import && (!cl.target.empty() || cl.spectrum != 0)) {
        fail(std::string(cl.target.empty() ? "--spectrum" : "--to") + " belongs to --import");
        return cl;
    }
    if (cl.band && cl.mode != Mode::Drt) {
        fail("--band goes with --drt FILE");
        return cl;
    }
    if (kkOption && cl.mode != Mode::Kk) {
        fail("--kk-cutoff goes with --kk");
        return cl;
    }
    if (cl.starts != 0 && cl.mode != Mode::Run && cl.mode != Mode::Batch && cl.mode != Mode::Guess) {
        fail("--starts goes with --run, --batch or --guess");
        return cl;
    }
    if (engineOption && cl.mode != Mode::Run && cl.mode != Mode::Batch) {
        fail("--engine goes with --run or --batch");
        return cl;
    }
    if (!batchOption.empty() && cl.mode != Mode::Batch) {
        fail(batchOption + " goes with --batch");
        return cl;
    }
    if (cl.mode == Mode::Batch) {
        cl.inputs = words;
        if (cl.inputs.empty())
            fail("--batch needs files or folders");
    } else if (cl.mode == Mode::Window) {
        for (const std::string& w : words) {
            if (!cl.file.empty())
                cl.file += ' ';
            cl.file += w;
        }
    } else if (!words.empty()) {
        fail("unexpected argument '" + words.front() + "'");
    }
    return cl;
}

std::string CommandLine::defaultImportTarget(const std::string& file)
{
    // The job goes into the work folder (the current one), wherever the
    // data file lies.
    const size_t slash = file.find_last_of('/');
    const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    // A leading dot starts a hidden file's name, not its extension.
    const bool hasExtension = dot != std::string::npos && dot > 0;
    return (hasExtension ? name.substr(0, dot) : name) + ".TST";
}

} // namespace nosk
