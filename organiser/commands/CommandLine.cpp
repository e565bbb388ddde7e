#include "CommandLine.h"

#include "core/Exception.h"
#include "core/NumberText.h"

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
    auto fail = [](const std::string& text) { throw exception("%s", text.c_str()); };
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
            const std::optional<double> v = readNumber(n, kOptionValue);
            if (!v || !(*v > -1e9 && *v < 1))
                fail("--kk-cutoff needs a number below 1 (such as 0.85)");
            else
                cl.kkCutoff = *v == 0 ? 1e-300 : *v;
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

const char* CommandLine::usage()
{
    return "Usage: noskrun [FILE]\n"
           "       noskrun --run FILE [--engine PROGRAM] [--starts N]\n"
           "       noskrun --guess FILE [--starts N]\n"
           "       noskrun --import FILE [--to JOB.TST] [--spectrum N]\n"
           "       noskrun --kk FILE [--kk-cutoff C]\n"
           "       noskrun --zhit FILE\n"
           "       noskrun --drt FILE [--band]\n"
           "       noskrun --batch FILES_OR_FOLDERS... [--template JOB.TST] [--jobs N]\n"
           "                       [--out TABLE.csv] [--chain] [--plot IMAGE.png]\n"
           "                       [--engine PROGRAM] [--starts N] [--check kk] [--check zhit]\n"
           "                       [--drt]\n"
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
           "                and from N-1 further starts around them and keeps the lowest\n"
           "                S (default: the Starts of the program options, 8; 1 is a\n"
           "                single fit); with --guess: the starts of its search (64)\n"
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
