#include "CommandLine.h"

#include "Analyses.h"
#include "core/Exception.h"
#include "core/NumberText.h"
#include "job/Starts.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace nosk {

namespace {

using Mode = CommandLine::Mode;

// Only "--word" and "-h" are options; "-" and "-odd.tst" stay file names.
bool isOption(const std::string& a)
{
    return a.rfind("--", 0) == 0 || a == "-h";
}

// A whole number from `low` to `high`, nothing else in the word.
std::optional<long> wholeNumber(const std::string& word, long low, long high)
{
    char* end = nullptr;
    const long v = word.empty() ? 0 : std::strtol(word.c_str(), &end, 10);
    if (word.empty() || *end != '\0' || v < low || v > high)
        return std::nullopt;
    return v;
}

constexpr unsigned bit(Mode m)
{
    return 1u << static_cast<unsigned>(m);
}

constexpr unsigned kAnyMode = ~0u;

// What follows an option on the line.
enum class Takes {
    Nothing,
    FileName,  // the next argument, which must not look like an option ("--run --help" is a mistake)
    Word,      // the next argument whatever it is, or nothing at the end of the line
};

struct Option {
    const char* name;
    Takes takes;
    Mode selects;       // the mode the option asks for; Window for none
    unsigned accepted;  // the modes it goes with
    // The mistake of giving it in another mode, after its name ("belongs to
    // --import"). Of the options that share a text, the one given last is named.
    const char* elsewhere;
    // Stores the value; false when the value is wrong (`badValue` after the
    // option's name: "needs a number from 1").
    bool (*set)(CommandLine& cl, const std::string& value);
    std::string badValue;
    // Whether the field it sets holds a value already: a second one is
    // the mistake "given twice". nullptr: the last one given counts.
    bool (*isSet)(const CommandLine& cl);
    // With --batch on the line the option means this row; without, the
    // other row of the same name.
    bool onBatchLine = false;
};

bool setFile(CommandLine& cl, const std::string& v)
{
    cl.file = v;
    return true;
}

bool fileSet(const CommandLine& cl)
{
    return !cl.file.empty();
}

bool setNothing(CommandLine&, const std::string&)
{
    return true;
}

// The options in the order their mode is checked after the line is read.
// The analyses' own (--kk FILE, ...) follow from the analysis table.
std::vector<Option> makeOptions()
{
    std::vector<Option> options = {
        {"--run", Takes::FileName, Mode::Run, kAnyMode, nullptr, setFile, {}, fileSet},
        {"--import", Takes::FileName, Mode::Import, kAnyMode, nullptr, setFile, {}, fileSet},
        {"--guess", Takes::FileName, Mode::Guess, kAnyMode, nullptr, setFile, {}, fileSet},
        {"--suggest", Takes::FileName, Mode::Suggest, kAnyMode, nullptr, setFile, {}, fileSet},
        // With --batch, --suggest is a switch: each spectrum's ranked circuits.
        {"--suggest", Takes::Nothing, Mode::Window, kAnyMode, nullptr,
         [](CommandLine& cl, const std::string&) { return cl.suggest = true; }, {}, nullptr, true},
        {"--json", Takes::FileName, Mode::Window, bit(Mode::Suggest) | bit(Mode::Series),
         "goes with --suggest FILE or --series",
         [](CommandLine& cl, const std::string& v) { cl.jsonFile = v; return true; }, {},
         [](const CommandLine& cl) { return !cl.jsonFile.empty(); }},
        {"--top", Takes::Word, Mode::Window, bit(Mode::Suggest) | bit(Mode::Batch), "goes with --suggest",
         [](CommandLine& cl, const std::string& v) {
             const std::optional<long> n = wholeNumber(v, 1, 1000);
             if (n)
                 cl.top = int(*n);
             return n.has_value();
         },
         "needs a number from 1 to 1000", [](const CommandLine& cl) { return cl.top != 0; }},
        {"--batch", Takes::Nothing, Mode::Batch, kAnyMode, nullptr, setNothing, {}, nullptr},
        {"--series", Takes::Nothing, Mode::Series, kAnyMode, nullptr, setNothing, {}, nullptr},
        {"--shared", Takes::Word, Mode::Window, bit(Mode::Series), "goes with --series",
         [](CommandLine& cl, const std::string& v) {
             std::size_t start = 0;
             for (;;) {
                 const std::size_t comma = v.find(',', start);
                 const std::string name = v.substr(start, comma == std::string::npos ? comma : comma - start);
                 if (name.empty())
                     return false;
                 cl.shared.push_back(name);
                 if (comma == std::string::npos)
                     return true;
                 start = comma + 1;
             }
         },
         "needs parameters separated by commas (such as P1,P3)", nullptr},
        {"--vary", Takes::Word, Mode::Window, bit(Mode::Series), "goes with --series",
         [](CommandLine& cl, const std::string& v) {
             const std::size_t eq = v.find('=');
             if (eq == std::string::npos || eq == 0 || eq + 1 == v.size())
                 return false;
             cl.vary.push_back(v);
             return true;
         },
         "needs a parameter and a function (such as P4=arrhenius)", nullptr},
        {"--covariate", Takes::Word, Mode::Window, bit(Mode::Series), "goes with --series",
         [](CommandLine& cl, const std::string& v) { cl.covariate = v; return !v.empty(); },
         "needs a name with its unit (such as T/K)",
         [](const CommandLine& cl) { return !cl.covariate.empty(); }},
        {"--to", Takes::FileName, Mode::Window, bit(Mode::Import), "belongs to --import",
         [](CommandLine& cl, const std::string& v) { cl.target = v; return true; }, {},
         [](const CommandLine& cl) { return !cl.target.empty(); }},
        // An empty word leaves the first spectrum.
        {"--spectrum", Takes::FileName, Mode::Window, bit(Mode::Import), "belongs to --import",
         [](CommandLine& cl, const std::string& v) {
             const std::optional<long> n = wholeNumber(v, 1, 100000);
             if (!v.empty() && !n)
                 return false;
             if (n)
                 cl.spectrum = int(*n);
             return true;
         },
         "needs a number from 1", nullptr},
        {"--band", Takes::Nothing, Mode::Window, bit(Mode::Drt), "goes with --drt FILE",
         [](CommandLine& cl, const std::string&) { return cl.band = true; }, {}, nullptr},
        {"--kk-cutoff", Takes::Word, Mode::Window, bit(Mode::Kk), "goes with --kk",
         [](CommandLine& cl, const std::string& v) {
             const std::optional<double> c = readNumber(v, kOptionValue);
             if (!c || !(*c > -1e9 && *c < 1))
                 return false;
             // 0 is the automatic choice; a cutoff of 0 asked for is the smallest one.
             cl.kkCutoff = *c == 0 ? 1e-300 : *c;
             return true;
         },
         "needs a number below 1 (such as 0.85)", nullptr},
        {"--starts", Takes::Word, Mode::Window,
         bit(Mode::Run) | bit(Mode::Batch) | bit(Mode::Guess) | bit(Mode::Series),
         "goes with --run, --batch, --guess or --series",
         [](CommandLine& cl, const std::string& v) {
             const std::optional<long> n = wholeNumber(v, 1, kMaxStarts);
             if (n)
                 cl.starts = int(*n);
             return n.has_value();
         },
         "needs a number from 1 to 10000", [](const CommandLine& cl) { return cl.starts != 0; }},
        {"--intervals", Takes::Word, Mode::Window, bit(Mode::Run) | bit(Mode::Batch), "goes with --run or --batch",
         [](CommandLine& cl, const std::string& v) {
             if (v != "profile" && v != "bootstrap" && v != "none")
                 return false;
             cl.intervals = v;
             return true;
         },
         "needs profile, bootstrap or none", [](const CommandLine& cl) { return !cl.intervals.empty(); }},
        {"--engine", Takes::FileName, Mode::Window, bit(Mode::Run) | bit(Mode::Batch), "goes with --run or --batch",
         [](CommandLine& cl, const std::string& v) { cl.engine = v; return true; }, {},
         [](const CommandLine& cl) { return !cl.engine.empty(); }},
        {"--check", Takes::Word, Mode::Window, bit(Mode::Batch), "goes with --batch",
         [](CommandLine& cl, const std::string& v) {
             const analyses::Analysis* a = analyses::ofCheck(v);
             if (!a)
                 return false;
             if (std::find(cl.checks.begin(), cl.checks.end(), a) == cl.checks.end())
                 cl.checks.push_back(a);
             // The verdict columns come in the order of the analyses (rows of one
             // array: their addresses are in that order).
             std::sort(cl.checks.begin(), cl.checks.end());
             return true;
         },
         "needs " + analyses::checkWords(), nullptr},
        {"--template", Takes::FileName, Mode::Window, bit(Mode::Batch) | bit(Mode::Series),
         "goes with --batch or --series",
         [](CommandLine& cl, const std::string& v) { cl.templateFile = v; return true; }, {},
         [](const CommandLine& cl) { return !cl.templateFile.empty(); }},
        {"--out", Takes::FileName, Mode::Window, bit(Mode::Batch) | bit(Mode::Series),
         "goes with --batch or --series",
         [](CommandLine& cl, const std::string& v) { cl.outFile = v; return true; }, {},
         [](const CommandLine& cl) { return !cl.outFile.empty(); }},
        {"--plot", Takes::FileName, Mode::Window, bit(Mode::Batch) | bit(Mode::Series),
         "goes with --batch or --series",
         [](CommandLine& cl, const std::string& v) { cl.plotFile = v; return true; }, {},
         [](const CommandLine& cl) { return !cl.plotFile.empty(); }},
        {"--chain", Takes::Nothing, Mode::Window, bit(Mode::Batch), "goes with --batch",
         [](CommandLine& cl, const std::string&) { return cl.chain = true; }, {}, nullptr},
        {"--jobs", Takes::Word, Mode::Window, bit(Mode::Batch), "goes with --batch",
         [](CommandLine& cl, const std::string& v) {
             const std::optional<long> n = wholeNumber(v, 1, 1024);
             if (n)
                 cl.jobs = int(*n);
             return n.has_value();
         },
         "needs a number from 1 to 1024", nullptr},
        // With --batch, --drt is a switch: each spectrum's DRT.
        {"--drt", Takes::Nothing, Mode::Window, kAnyMode, nullptr,
         [](CommandLine& cl, const std::string&) { return cl.drt = true; }, {}, nullptr, true},
    };
    for (const analyses::Analysis& a : analyses::all())
        options.push_back({a.flag, Takes::FileName, a.mode, kAnyMode, nullptr, setFile, {}, fileSet});
    return options;
}

const std::vector<Option>& options()
{
    static const std::vector<Option> table = makeOptions();
    return table;
}

// The row of `name`; on a --batch line the batch's own meaning first.
const Option* findOption(const std::string& name, bool batchLine)
{
    const Option* found = nullptr;
    for (const Option& o : options()) {
        if (name != o.name || (o.onBatchLine && !batchLine))
            continue;
        if (o.onBatchLine || !found)
            found = &o;
    }
    return found;
}

[[noreturn]] void fail(const std::string& text)
{
    throw exception("%s", text.c_str());
}

} // namespace

CommandLine CommandLine::parse(const std::vector<std::string>& args)
{
    CommandLine cl;
    bool batchLine = false;
    for (const std::string& a : args) {
        if (a == "--")
            break;
        batchLine = batchLine || a == "--batch";
    }
    const std::vector<Option>& table = options();
    // Where each option was last given (0: not given).
    std::vector<size_t> given(table.size(), 0);
    std::vector<std::string> words;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || !isOption(a)) {
            words.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a == "--help" || a == "-h") {
            cl.mode = Mode::Help;
            return cl;  // help wins over everything else on the line
        }
        const Option* o = findOption(a, batchLine);
        if (!o)
            fail("unknown option '" + a + "'");
        if (o->selects != Mode::Window) {
            if (cl.mode != Mode::Window && cl.mode != o->selects)
                fail(a + " cannot be combined with the other options given");
            cl.mode = o->selects;
        }
        std::string value;
        if (o->takes == Takes::FileName) {
            if (i + 1 >= args.size() || isOption(args[i + 1]))
                fail(a + " needs a file name");
            value = args[++i];
        } else if (o->takes == Takes::Word && i + 1 < args.size()) {
            value = args[++i];
        }
        CommandLine next = cl;
        if (!o->set(next, value))
            fail(a + " " + o->badValue);
        if (o->isSet && o->isSet(cl))
            fail(a + " given twice");
        cl = std::move(next);
        given[size_t(o - table.data())] = i + 1;
    }
    for (size_t r = 0; r < table.size(); ++r) {
        const Option& o = table[r];
        if (given[r] == 0 || (o.accepted & bit(cl.mode)))
            continue;
        // Of the options with the same mistake, the one given last.
        size_t last = r;
        for (size_t s = r + 1; s < table.size(); ++s)
            if (table[s].elsewhere && std::string(table[s].elsewhere) == o.elsewhere && given[s] > given[last])
                last = s;
        fail(std::string(table[last].name) + " " + o.elsewhere);
    }
    if (cl.mode == Mode::Batch) {
        cl.inputs = words;
        if (cl.inputs.empty())
            fail("--batch needs files or folders");
    } else if (cl.mode == Mode::Series) {
        cl.inputs = words;
        if (cl.inputs.empty())
            fail("--series needs a list, a folder or files");
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

const char* CommandLine::usage()
{
    return "Usage: noskrun [FILE]\n"
           "       noskrun --run FILE [--engine PROGRAM] [--starts N] [--intervals METHOD]\n"
           "       noskrun --guess FILE [--starts N]\n"
           "       noskrun --import FILE [--to JOB.TST] [--spectrum N]\n"
           "       noskrun --kk FILE [--kk-cutoff C]\n"
           "       noskrun --zhit FILE\n"
           "       noskrun --drt FILE [--band]\n"
           "       noskrun --suggest FILE [--json RESULT.json] [--top N]\n"
           "       noskrun --batch FILES_OR_FOLDERS... [--template JOB.TST] [--jobs N]\n"
           "                       [--out TABLE.csv] [--chain] [--plot IMAGE.png]\n"
           "                       [--engine PROGRAM] [--starts N] [--check kk] [--check zhit]\n"
           "                       [--drt] [--intervals METHOD]\n"
           "       noskrun --batch --suggest FILES_OR_FOLDERS... [--out TABLE.csv] [--top N]\n"
           "       noskrun --series LIST [--template JOB.TST] [--shared P1,P3]\n"
           "                        [--vary P4=arrhenius] [--covariate 'T/K'] [--out TABLE.csv]\n"
           "                        [--json RESULT.json] [--plot IMAGE.png] [--starts N]\n"
           "       noskrun --help\n"
           "\n"
           "NOSKRUN, the run organiser: prepares a fit job, runs the fitting engine\n"
           "in the current folder (the work folder) and hands the results to NOSKVIEW.\n"
           "\n"
           "  FILE          a test file to load at start (the window title shows it)\n"
           "  --run FILE    load FILE and do SAVE AND RUN without a window: write INFL\n"
           "                and ADD.BIN, run the engine in the foreground (its output on\n"
           "                the terminal), read its results, write solartron.fra, reload\n"
           "                OUTIN when the options say so and the job's IRE is negative,\n"
           "                and notify a running NOSKVIEW. A line \"Parameters: ...\"\n"
           "                names every free parameter that is undetermined or at\n"
           "                bound (at the bound of ln p or at a limit), and what the\n"
           "                others' std devs hold only given. Exit status 0 after a fit\n"
           "                that converged (or a model computed without a fit); 3 when\n"
           "                the fit ended early (MAXFEV, no progress, a DE left its\n"
           "                range: the results are written, the reason is on standard\n"
           "                error); 1 with the message on standard error otherwise.\n"
           "  --starts N    with --run and --batch: the engine fits from the start values\n"
           "                and from further starts around them, in rounds, until three\n"
           "                runs reach the lowest S or N starts are spent, and keeps the\n"
           "                lowest S (default: the Starts of the program options, 64;\n"
           "                1 is a single fit); with --guess: the starts of its search (64)\n"
           "  --intervals METHOD  with --run and --batch: the engine adds an interval\n"
           "                per free parameter at level 0.95, by \"profile\" likelihood or\n"
           "                \"bootstrap\" (500 refits), or none (default: with --run the\n"
           "                Intervals of the program options, with --batch none); the\n"
           "                batch table gets their ends\n"
           "  --guess FILE  sets the start values of FILE's free parameters from its data\n"
           "                (intercepts, arc size, peak frequency, the parameters' roles\n"
           "                in the circuit), refines them by a wide search from many\n"
           "                starts and writes FILE back; fixed parameters stay, and\n"
           "                exponents (a CPE's alpha) end within (0, 1] as in any fit\n"
           "  --import FILE read the impedance spectrum of an instrument file (CSV or\n"
           "                other text table, Gamry .DTA, EC-Lab .mpt/.txt, ZPlot .z,\n"
           "                Autolab, CH Instruments, Parstat, PowerSuite text,\n"
           "                VersaStudio .par) into a job file and print what was read.\n"
           "                The data replace those of JOB.TST when it exists (its model\n"
           "                and settings stay); otherwise a new job is written.\n"
           "  --to JOB.TST  the job file to write; default FILE's name with the\n"
           "                extension .TST in the current folder. A new job is ready\n"
           "                to fit: MAXFEV 1000, IRCH 3 (weights |Z|)\n"
           "  --spectrum N  the N-th spectrum of a file that holds several (default 1)\n"
           "  --kk FILE     the Kramers-Kronig test of FILE's data lines (a job or an\n"
           "                instrument file): prints the number of RC elements M, mu,\n"
           "                the representation, the largest residuals and a verdict,\n"
           "                and writes KKTEST (frequency, residuals of the real and the\n"
           "                imaginary part in percent of |Z|) in the work folder. M is\n"
           "                chosen where the series first describes the data (its\n"
           "                residual norm within 15 % of the smallest any M reaches),\n"
           "                then grown until mu <= 0.85; see the help's Kramers-Kronig\n"
           "                page. --kk-cutoff C: the classic rule instead, M grows\n"
           "                from 1 until mu <= C\n"
           "  --zhit FILE   the Z-HIT test: |Z| reconstructed from the phase; prints\n"
           "                the largest deviation and a verdict, writes ZHITTEST\n"
           "                (frequency, deviation of |Z| in percent, |Z|, reconstructed\n"
           "                |Z|, phase, smoothed phase)\n"
           "  --drt FILE    the distribution of relaxation times of FILE's data lines\n"
           "                (a job or an instrument file): prints the peak table and\n"
           "                writes DRT (# header lines, then tau in s and gamma in\n"
           "                Ohm per line) in the work folder; --band adds the 95 %\n"
           "                credible band as two more columns\n"
           "  --suggest FILE  ranks equivalent circuits for FILE's data: chains of R-C\n"
           "                and R-CPE units with series R and L, Gerischer elements,\n"
           "                finite Warburg and CPE tails, Randles cells; each fitted\n"
           "                from several starts and ranked by an information criterion\n"
           "                whose noise level is the Kramers-Kronig test's. Prints the\n"
           "                best N (--top, default 5) with S, sigma_f, BIC, AIC, the\n"
           "                parameters and a reason; --json writes them as well. With\n"
           "                --batch: one row per spectrum (--out, default standard\n"
           "                output) with its best N circuits\n"
           "  --batch ...   fits many spectra, each in a temporary work folder of its\n"
           "                own: .TST jobs, and with --template JOB.TST data files\n"
           "                fitted with that job's model, codes and start values; a\n"
           "                folder gives its files in name order. --jobs N fits N at\n"
           "                once (default: the number of cores); --chain starts each\n"
           "                spectrum from the previous result (one at a time; a value\n"
           "                at a bound is not carried); --out names the table\n"
           "                (default batch.csv: one row per spectrum with S, sigmaf,\n"
           "                every parameter and its std dev, how the fit ended with\n"
           "                the parameters undetermined or at bound, the exit status,\n"
           "                and \"ok\" or what is wrong: the end, parameters not\n"
           "                determined, at bound or outside their physical range, or\n"
           "                the reason of a failure); --plot draws each\n"
           "                parameter against the series; --check kk and --check zhit\n"
           "                test every spectrum's data and add a verdict column; --drt\n"
           "                adds each spectrum's DRT peaks to the table and draws the\n"
           "                DRTs along the series (drt.png, or the --plot name with\n"
           "                -drt before its suffix). Exit status 1 when any spectrum\n"
           "                failed (the others are fitted all the same).\n"
           "  --series ...  fits a series of spectra as one: LIST is a CSV list (header\n"
           "                file,NAME/UNIT such as file,T/K, a line per spectrum), a\n"
           "                folder or files; the covariate of a folder or files is the\n"
           "                file's own value of --covariate (temperature, potential,\n"
           "                current, time) where it says one, else the number in its\n"
           "                name. Every free parameter of the template is local (a\n"
           "                value per spectrum) unless --shared names it (one value\n"
           "                for all) or --vary gives it a function of the covariate:\n"
           "                arrhenius (p = A exp(Ea/(kB T)), Ea in eV, T in K or degC),\n"
           "                vft, linear, quadratic or exponential. Each spectrum is\n"
           "                fitted alone first (--starts N starts, default 4), then all\n"
           "                together; the roles are tested against the independent\n"
           "                fits (F-test, AIC, BIC) and each shared or function\n"
           "                parameter is freed alone. --out names the table (default\n"
           "                series.csv: a row per spectrum with the covariate, every\n"
           "                parameter, its std dev and status), --json writes the\n"
           "                whole result, --plot draws the parameters along the\n"
           "                covariate. One spectrum gives its single fit. Exit status\n"
           "                1 with the message on standard error for a series that\n"
           "                cannot be fitted; nothing is written then.\n"
           "  --help        this text\n"
           "\n"
           "An option it does not know ends the program with this text on standard\n"
           "error and exit status 2.\n"
           "\n"
           "  --engine PROGRAM  with --run or --batch: the engine to run, such as the\n"
           "                work folder's own NOSKWIN.EXE\n"
           "\n"
           "The engine run is the noskwin beside this program, else noskwin on the\n"
           "PATH. A NOSKWIN.EXE in the work folder runs only when named with --engine\n"
           "or chosen in the window (which asks once per folder and file).\n"
           "One run at a time in a work folder (the lock file NOSK.LOCK): --run and\n"
           "--batch wait for a run there to end. Ctrl+C, a hang-up or SIGTERM is\n"
           "passed on to the engine, which is waited for (exit status 128 + signal).\n";
}

} // namespace nosk
