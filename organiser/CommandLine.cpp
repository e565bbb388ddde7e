#include "CommandLine.h"

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
    bool optionsEnded = false;
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
        } else {
            fail("unknown option '" + a + "'");
        }
    }
    if (!cl.error.empty())
        return cl;

    if (cl.mode == Mode::Window) {
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

} // namespace nosk
