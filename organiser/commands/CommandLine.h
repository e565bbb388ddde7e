#pragma once

#include <string>
#include <vector>

namespace nosk {

namespace analyses {
struct Analysis;
}

// What noskrun was asked to do, read from its arguments without side
// effects. A mistake (an option we do not know, a missing operand) is thrown;
// the program then prints it with the usage text on standard error and ends
// with status 2, so that a script never waits for a window.
struct CommandLine {
    enum class Mode {
        Window,  // the main window, with `file` loaded when it is not empty
        Help,    // --help, -h
        Run,     // --run FILE: SAVE AND RUN without a window
        Import,  // --import FILE [--to JOB.TST] [--spectrum N]
        Kk,      // --kk FILE [--kk-cutoff C]: the Kramers-Kronig test of FILE's data
        Zhit,    // --zhit FILE: the Z-HIT test of FILE's data
        Batch,   // --batch FILES_OR_FOLDERS...: fit many spectra, one table
        Guess,   // --guess FILE: start values of the free parameters from the data
        Drt,     // --drt FILE: the distribution of relaxation times of FILE's data
        Series,  // --series LIST...: fit a series of spectra as one
        Suggest, // --suggest FILE [--json RESULT.json] [--top N]: ranked circuits for FILE's data
    };

    Mode mode = Mode::Window;
    std::string file;    // the FILE of every mode
    std::string target;  // --to: the job file --import writes
    int spectrum = 0;    // --spectrum N: which spectrum of the file (from 1), 0 the first
    int starts = 0;      // --starts N (--run, --batch, --guess); 0: the program options'
    std::string intervals;  // --intervals profile|bootstrap (--run, --batch); empty: the program options'

    // --batch and --series: the plain words are the inputs; the options
    // below go with them.
    std::vector<std::string> inputs;
    std::string templateFile;  // --template JOB.TST
    int jobs = 0;              // --jobs N (0: the number of cores)
    std::string outFile;       // --out TABLE.csv
    bool chain = false;        // --chain
    std::string plotFile;      // --plot IMAGE.png
    bool drt = false;          // --drt with --batch: each spectrum's DRT peaks, a picture of the DRTs
    bool band = false;         // --band with --drt FILE: the credible band as well
    bool suggest = false;      // --suggest with --batch: each spectrum's ranked circuits
    std::string jsonFile;      // --json RESULT.json with --suggest FILE or --series
    int top = 0;               // --top N with --suggest: how many circuits (0: 5)
    // --check WORD (kk, zhit): the analyses whose verdicts the batch table
    // gets as columns, each once, in the order of the analysis table.
    std::vector<const analyses::Analysis*> checks;

    // --series: the parameters shared by all spectra (--shared P1,P3, also
    // given more than once), the functions of the covariate (--vary
    // P4=arrhenius, once per parameter), the covariate's column or
    // quantity (--covariate 'T/K'); the whole result goes to jsonFile.
    std::vector<std::string> shared;
    std::vector<std::string> vary;
    std::string covariate;

    // --kk-cutoff C (with --kk): the classic rule, M grows until mu <= C;
    // 0 for the automatic choice.
    double kkCutoff = 0;

    // --engine PROGRAM (with --run and --batch): the engine to run instead of
    // the bundled one, such as the work folder's NOSKWIN.EXE.
    std::string engine;

    // The arguments after the program name, read by a table of the options
    // (what each takes, which modes it goes with, the field it sets, its
    // mistakes). Plain words form the file name of the window mode, joined
    // by blanks (a name with blanks that the shell split); "--" ends the
    // options, so "-- --odd.tst" loads "--odd.tst".
    // Throws nosk::exception naming the first mistake ("unknown option
    // '--x'", "--run needs a file name", ...).
    static CommandLine parse(const std::vector<std::string>& args);

    // The job file --import writes when --to is not given: FILE's name with
    // its extension replaced by ".TST", in the current folder (the work
    // folder): "data/cell.csv" -> "cell.TST".
    static std::string defaultImportTarget(const std::string& file);

    // The text of --help, also printed after a mistake.
    static const char* usage();
};

} // namespace nosk
