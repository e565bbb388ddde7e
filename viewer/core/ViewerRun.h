#pragma once

#include "DisplayArrays.h"
#include "job/FitJob.h"

#include <memory>
#include <string>

namespace nosk {

struct GraphSettings;
struct FitStatistics;
class ResultHolder;
class ResultSet;

// The representation "Data transformation" asks for.
struct TransformChoice {
    char level = 'Z';      // DFIT
    char format = 'R';     // PFIT
    int ire = -10;         // -10 angular, -11 ordinary
    double celcap = 0;
};

// The run the viewer shows: the job read from INFL and ADD.BIN, its result
// set and the display arrays, in the level, format and frequency
// representation chosen. Every load starts again from the files. The reading
// throws nosk::exception; the window reports it.
class ViewerRun {
public:
    ViewerRun();
    ~ViewerRun();

    // The load sequence: release everything, read INFL and ADD.BIN, the
    // load-time X steps (mode 0: representation from IRE, 1 angular, 2
    // ordinary), the result set, the display arrays and the load-time scale
    // flags of the settings.
    void load(int mode, GraphSettings& settings);
    // A level, format or capacitance transformation: reload and convert the
    // result set from the file's fit system to the chosen one.
    void transform(const TransformChoice& choice);
    // Releases the display arrays and the result set.
    void release();

    const FitJob& job() const { return m_job; }
    FitJob& job() { return m_job; }
    bool hasResults() const;
    bool isFit() const;          // a fit's result set
    bool transformed() const { return m_transformed; }
    bool imagNegated() const { return m_imagNegated; }
    bool angular() const;        // X values are angular frequencies
    int count() const;           // |M|
    const std::vector<double>* xValues() const;
    const DisplayArrays& arrays() const { return m_arrays; }
    const FitStatistics* statistics() const;  // a fit's statistics, else null
    // The checksum of INFL's data lines as the organiser stamps the analyses'
    // tables with it (job/DataStamp.h), taken before any conversion.
    const std::string& dataChecksum() const { return m_dataChecksum; }

private:
    void readJob(int mode);
    void buildDisplay();

    FitJob m_job;
    std::unique_ptr<ResultHolder> m_holder;
    DisplayArrays m_arrays;
    bool m_imagNegated = false;
    bool m_transformed = false;
    std::string m_dataChecksum;
};

} // namespace nosk
