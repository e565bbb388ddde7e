#include "ViewerRun.h"

#include "GraphSettings.h"
#include "ViewerTexts.h"
#include "core/WorkFolderFiles.h"
#include "job/DataStamp.h"
#include "job/Immittance.h"
#include "job/SideFile.h"
#include "results/FitResultSet.h"
#include "results/ResultHolder.h"

#include <cmath>

namespace nosk {

namespace {
const char* const kInputFile = workfiles::kInput;

double* dataOf(std::optional<std::vector<double>>& v) { return v ? v->data() : nullptr; }
const std::vector<double>* ptrOf(const std::optional<std::vector<double>>& v) { return v ? &*v : nullptr; }
} // namespace

ViewerRun::ViewerRun() = default;
ViewerRun::~ViewerRun() = default;

void ViewerRun::release()
{
    m_arrays.release();
    m_holder.reset();
    m_imagNegated = false;
    m_transformed = false;
}

bool ViewerRun::hasResults() const
{
    return m_holder && m_holder->resultSet();
}

bool ViewerRun::isFit() const
{
    return hasResults() && dynamic_cast<const FitResultSet*>(m_holder->resultSet()) != nullptr;
}

bool ViewerRun::angular() const
{
    return m_job.FREEQ != 'F';
}

int ViewerRun::count() const
{
    return hasResults() ? static_cast<int>(m_holder->resultSet()->count) : 0;
}

const std::vector<double>* ViewerRun::xValues() const
{
    return hasResults() ? &m_holder->resultSet()->xValues : nullptr;
}

const FitStatistics* ViewerRun::statistics() const
{
    if (!hasResults())
        return nullptr;
    auto* fit = dynamic_cast<const FitResultSet*>(m_holder->resultSet());
    return fit ? &fit->statistics : nullptr;
}

// INFL and ADD.BIN, inverse temperature, MAXFEV 1 taken as a simulation.
void ViewerRun::readJob(int /*mode*/)
{
    m_job = FitJob();
    m_job.load(kInputFile);
    unsigned char first = 1, second = 1;
    readSideFile(first, second);
    // The organiser stamps its analyses with the data as it holds them: the
    // X variable the first column really is (ADD.BIN's second byte), before
    // the title chosen here and any conversion.
    m_job.xVariable = second;
    m_dataChecksum = nosk::dataChecksum(m_job);
    m_job.xVariable = first;
    if (m_job.xVariable == kXInverseTemperature && m_job.FREQ)
        for (double& x : *m_job.FREQ)
            x = 1000.0 / x;
    if (m_job.MAXFEV == 1)
        m_job.MAXFEV = 0;
}

namespace {
// The representation in force: FREEQ blank for angular, F for ordinary. Only
// frequencies are converted; times, temperatures and inverse temperatures
// are shown as they are, whatever the representation.
void setRepresentation(FitJob& job, bool toAngular)
{
    const bool fromAngular = job.FREEQ == ' ';
    job.FREEQ = toAngular ? ' ' : 'F';
    if (job.FREQ && job.xVariable == kXFrequency)
        ConvertFrequencies(fromAngular, toAngular, job.FREQ->data(), static_cast<int>(job.FREQ->size()));
}
} // namespace

void ViewerRun::load(int mode, GraphSettings& settings)
{
    release();
    readJob(mode);
    const bool toAngular = angularForLoad(mode, m_job.IRE, m_job.FREEQ);
    if (mode == 1)
        m_job.IRE = -10;
    else if (mode == 2)
        m_job.IRE = -11;
    setRepresentation(m_job, toAngular);

    m_holder = std::make_unique<ResultHolder>(m_job);
    m_holder->read();
    buildDisplay();
    setLoadScaleFlags(settings, m_job.xVariable, m_arrays, count());
}

void ViewerRun::transform(const TransformChoice& choice)
{
    release();
    readJob(0);
    const char fromLevel = m_job.DFIT;
    const char fromFormat = m_job.PFIT;
    m_job.DFIT = choice.level;
    m_job.PFIT = choice.format;
    m_job.CELCAP = choice.celcap;
    m_job.IRE = choice.ire;
    setRepresentation(m_job, choice.ire >= -10);

    m_holder = std::make_unique<ResultHolder>(m_job);
    m_holder->read();
    m_transformed = true;
    if (ResultSet* set = m_holder->resultSet()) {
        const int n = static_cast<int>(set->count);
        const bool ordinary = !set->angular;
        double* x = set->xValues.data();
        if (ordinary)
            ToAngular(x, n);
        if (dynamic_cast<FitResultSet*>(set))
            TransformArrays(x, dataOf(set->obs1), dataOf(set->obs2), n, fromLevel, fromFormat, m_job.DFIT,
                            m_job.PFIT, m_job.CELCAP);
        TransformArrays(x, dataOf(set->model1), dataOf(set->model2), n, fromLevel, fromFormat, m_job.DFIT,
                        m_job.PFIT, m_job.CELCAP);
        if (ordinary)
            ToOrdinary(x, n);
    }
    buildDisplay();
}

void ViewerRun::buildDisplay()
{
    m_arrays.release();
    m_imagNegated = false;
    const ResultSet* set = hasResults() ? m_holder->resultSet() : nullptr;
    if (!set)
        return;
    DisplaySource s;
    s.obs1 = ptrOf(set->obs1);
    s.obs2 = ptrOf(set->obs2);
    s.model1 = ptrOf(set->model1);
    s.model2 = ptrOf(set->model2);
    if (auto* fit = dynamic_cast<const FitResultSet*>(set)) {
        s.fit = true;
        s.extra1a = ptrOf(fit->extra1a);
        s.extra2a = ptrOf(fit->extra2a);
        s.extra1b = ptrOf(fit->extra1b);
        s.extra2b = ptrOf(fit->extra2b);
    }
    m_imagNegated = BuildDisplayArrays(s, m_job.DFIT, m_job.PFIT, m_job.DATTYP, m_arrays);
    m_holder->imagNegated = m_imagNegated ? 1 : 0;
}

} // namespace nosk
