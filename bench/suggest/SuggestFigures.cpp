// The figures of the circuit suggestion: labelled synthetic spectra of nine
// families (tests/support/CircuitFamilies), each ranked by suggestCircuits;
// top-1 and top-3 per family, the confusion matrix of the top-1 picks and
// the time per spectrum.
//   bench_suggest [--per-family N] [--max-noise 0.01] [--threads T] [--family F]
//                 [--starts N] [--screen N] [--refine N] [--carry N] [--verbose]
//                 [--first INDEX] [--penalty P] [--penalties P1,P2,...]
// (--first: the index of the first spectrum of each family; --penalty: the
// BIC's penalty as a multiple of ln K; --penalties: each spectrum ranked
// again from the same fits with each, top-1 per family printed)
//   bench_suggest [--max-noise X] --write FAMILY INDEX POINTS FILE
#include "core/AtomicFileWriter.h"
#include "support/CircuitFamilies.h"
#include "Suggest.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using nosk::test::familyLabel;
using nosk::test::kFamilyCount;

int main(int argc, char** argv)
{
    int perFamily = 20, threads = 0, only = -1;
    double maxNoise = 0.01;
    bool verbose = false;
    int starts = -1, screen = -1, refine = -1, carry = -1, first = 0;
    double penalty = -1;
    std::vector<double> penalties;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : "";
        if (a == "--per-family") perFamily = std::atoi(v), ++i;
        else if (a == "--max-noise") maxNoise = std::atof(v), ++i;
        else if (a == "--threads") threads = std::atoi(v), ++i;
        else if (a == "--family") only = std::atoi(v), ++i;
        else if (a == "--verbose") verbose = true;
        else if (a == "--write") {
            // --write FAMILY INDEX POINTS FILE: one spectrum as a text table (f, Z', Z'').
            if (i + 4 >= argc)
                return 2;
            nosk::test::LabelledSpectrum s = nosk::test::familySpectrum(std::atoi(argv[i + 1]),
                static_cast<std::uint64_t>(std::atoi(argv[i + 2])), maxNoise, std::atoi(argv[i + 3]));
            std::string text;
            char line[96];
            for (std::size_t k = 0; k < s.z.size(); ++k) {
                std::snprintf(line, sizeof line, "%.10e %.10e %.10e\n", s.frequencyHz[k], s.z[k].real(), s.z[k].imag());
                text += line;
            }
            try {
                nosk::replaceFile(argv[i + 4], text);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "bench_suggest: %s\n", e.what());
                return 1;
            }
            return 0;
        }
        else if (a == "--starts") starts = std::atoi(v), ++i;
        else if (a == "--screen") screen = std::atoi(v), ++i;
        else if (a == "--refine") refine = std::atoi(v), ++i;
        else if (a == "--carry") carry = std::atoi(v), ++i;
        else if (a == "--first") first = std::atoi(v), ++i;
        else if (a == "--penalty") penalty = std::atof(v), ++i;
        else if (a == "--penalties") {
            // Each spectrum ranked again from the same fits with each of these penalties.
            for (const char* t = v; *t;) {
                char* end = nullptr;
                penalties.push_back(std::strtod(t, &end));
                t = *end == ',' ? end + 1 : end;
                if (end == t && *t) break;
            }
            ++i;
        }
        else {
            std::fprintf(stderr, "usage: bench_suggest [--per-family N] [--max-noise X] [--threads T] [--family F] [--starts N] [--screen N] [--refine N] [--carry N] [--verbose] [--first I] [--penalty P] [--penalties P1,P2]\n");
            return 2;
        }
    }
    nosk::suggest::Options options;
    options.threads = threads;
    if (starts > 0) options.starts = starts;
    if (screen >= 0) options.screenStarts = screen;
    if (refine >= 0) options.refine = refine;
    if (carry >= 0) options.carryOver = carry;
    if (penalty > 0) options.penalty = penalty;
    // hits[penalty][family]: top-1 hits when ranked again with that penalty.
    std::vector<std::vector<int>> again(penalties.size(), std::vector<int>(kFamilyCount, 0));
    // confusion[true][picked]; the last column: a circuit outside the nine.
    std::vector<std::vector<int>> confusion(kFamilyCount, std::vector<int>(kFamilyCount + 1, 0));
    std::vector<int> top1(kFamilyCount), top3(kFamilyCount), count(kFamilyCount);
    // Per family: spectra and top-1 hits with noise below half the most, then above.
    std::vector<std::vector<int>> byNoise(kFamilyCount, std::vector<int>(4, 0));
    double seconds = 0, slowest = 0;
    int spectra = 0;
    for (int f = 0; f < kFamilyCount; ++f) {
        if (only >= 0 && f != only)
            continue;
        for (int i = 0; i < perFamily; ++i) {
            const nosk::test::LabelledSpectrum s = nosk::test::familySpectrum(f, static_cast<std::uint64_t>(first + i), maxNoise);
            const auto t0 = std::chrono::steady_clock::now();
            const nosk::suggest::Result r = nosk::suggest::suggestCircuits(s.frequencyHz, s.z, options);
            const double dt = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            seconds += dt;
            slowest = std::max(slowest, dt);
            ++spectra;
            ++count[f];
            if (!penalties.empty()) {
                const std::vector<nosk::suggest::Candidate> list =
                    nosk::suggest::candidatesFor(r.inductance, r.points);
                std::vector<nosk::suggest::CandidateFit> fits(list.size());
                for (const nosk::suggest::Ranked& c : r.ranked) {
                    nosk::suggest::CandidateFit& x = fits[static_cast<std::size_t>(c.index)];
                    x.ok = true;
                    x.S = c.S;
                    x.sigmaF = c.sigmaF;
                    x.K = 2 * r.points;
                    x.parameters = c.parameters;
                }
                for (std::size_t k = 0; k < penalties.size(); ++k) {
                    const auto g = nosk::suggest::rankCandidates(list, fits, r.noise, options.tieMargin, penalties[k]);
                    again[k][f] += !g.empty() && g[0].candidate.label == familyLabel(f);
                }
            }
            int picked = kFamilyCount;
            for (std::size_t k = 0; k < r.ranked.size() && k < 3; ++k) {
                const bool hit = r.ranked[k].candidate.label == familyLabel(f);
                if (k == 0) {
                    for (int g = 0; g < kFamilyCount; ++g)
                        if (r.ranked[0].candidate.label == familyLabel(g))
                            picked = g;
                    top1[f] += hit;
                }
                if (hit)
                    ++top3[f];
            }
            ++confusion[f][picked];
            // Top-1 by the noise the spectrum was made with: below or above half the most.
            const int half = s.noise < maxNoise / 2 ? 0 : 1;
            ++byNoise[f][2 * half];
            byNoise[f][2 * half + 1] += picked == f;
            if (verbose && picked != f) {
                std::printf("%s #%d (%d points, noise %.3f %%, est %.3f %%, peaks %d, %d tried): ", familyLabel(f), i,
                    static_cast<int>(s.z.size()), 100 * s.noise, 100 * r.noise, r.peaks, r.tried);
                for (std::size_t k = 0; k < r.ranked.size() && k < 4; ++k)
                    std::printf("%s%s (%.1f; %s)", k ? ", " : "", r.ranked[k].candidate.label.c_str(), r.ranked[k].bic,
                        r.ranked[k].reason.c_str());
                for (std::size_t k = 0; k < r.ranked.size(); ++k)
                    if (r.ranked[k].candidate.label == familyLabel(f)) {
                        std::printf("; the family's own: #%d (%.1f; %s)", static_cast<int>(k + 1), r.ranked[k].bic,
                            r.ranked[k].reason.c_str());
                        for (const auto& p : r.ranked[k].parameters)
                            std::printf(" %s=%.4g", p.name.c_str(), p.value);
                    }
                std::printf("\n");
            }
        }
    }
    std::printf("%d spectra, %d per family, noise 0 to %.2f %%; %.3f s a spectrum on average, %.3f s the slowest\n\n",
        spectra, perFamily, 100 * maxNoise, spectra ? seconds / spectra : 0.0, slowest);
    std::printf("| family | top-1 | top-3 | top-1, noise below %.2f %% | top-1, noise above |\n|---|---|---|---|---|\n",
        50 * maxNoise);
    int all1 = 0, all3 = 0, all = 0;
    for (int f = 0; f < kFamilyCount; ++f) {
        if (!count[f])
            continue;
        const std::vector<int>& b = byNoise[static_cast<std::size_t>(f)];
        std::printf("| %s | %.0f %% | %.0f %% | %d/%d | %d/%d |\n", familyLabel(f), 100.0 * top1[f] / count[f],
            100.0 * top3[f] / count[f], b[1], b[0], b[3], b[2]);
        all1 += top1[f];
        all3 += top3[f];
        all += count[f];
    }
    if (all)
        std::printf("| all | %.1f %% | %.1f %% |\n", 100.0 * all1 / all, 100.0 * all3 / all);
    for (std::size_t k = 0; k < penalties.size(); ++k) {
        int hits = 0;
        std::printf("penalty %.2f x ln K, top-1:", penalties[k]);
        for (int f = 0; f < kFamilyCount; ++f)
            if (count[f]) {
                std::printf(" %s %d/%d", familyLabel(f), again[k][f], count[f]);
                hits += again[k][f];
            }
        std::printf("; all %.1f %%\n", all ? 100.0 * hits / all : 0.0);
    }
    std::printf("\nConfusion (rows: the family that made the data; columns: the top-1 pick)\n\n| |");
    for (int g = 0; g < kFamilyCount; ++g)
        std::printf(" %d |", g);
    std::printf(" other |\n|---|");
    for (int g = 0; g <= kFamilyCount; ++g)
        std::printf("---|");
    std::printf("\n");
    for (int f = 0; f < kFamilyCount; ++f) {
        if (!count[f])
            continue;
        std::printf("| %d %s |", f, familyLabel(f));
        for (int g = 0; g <= kFamilyCount; ++g)
            std::printf(" %d |", confusion[f][g]);
        std::printf("\n");
    }
    return 0;
}
