#pragma once

#include "job/FitJob.h"

#include <cmath>

namespace nosk::test {

// A job with every field set and values that the file holds exactly.
inline FitJob fullJob()
{
    FitJob job;
    job.description = "Li-ion cell, 25 C, two RC elements";
    job.IOPT = 12;
    job.DINP = 'Y';
    job.DFIT = 'M';
    job.PINP = 'D';
    job.PFIT = 'L';
    job.FREEQ = ' ';
    job.NEG = 'N';
    job.FUN = 'K';
    job.CELCAP = 1.234e-13;
    job.DATTYP = 'R';
    job.IPAR = -3;
    job.ROE = -0.0125;
    job.IFP = 4;
    job.IRE = -2;
    job.ECINF = -7.5;
    job.EC0 = 120.5;
    job.N = 7;
    job.MAXFEV = 300;
    job.NPRINT = 1;
    job.IRCH = 0;
    job.MODE = 2;
    job.ICP = 1;
    job.IPRINT = 5;
    job.IGACC = 9;
    job.ATEMP = 298.1;
    job.SDWC = -0.001;
    job.SDRC = 0.05;
    for (int i = 0; i < job.N; ++i) {
        job.P[i] = (i % 2 ? -1 : 1) * (1.2345678 + i) * std::pow(10.0, i - 3);
        job.NFREE[i] = i % 3;
    }
    job.allocateData(3, true);
    for (int i = 0; i < 3; ++i) {
        (*job.FREQ)[i] = 1000.0 / (i + 1);
        (*job.DATA1)[i] = 0.1234567890123 * (i + 1);
        (*job.DATA2)[i] = -2.5e-7 * (i + 1);
        (*job.WEIGHT1)[i] = 1.5 + i;
        (*job.WEIGHT2)[i] = -(0.25 + i);
    }
    return job;
}

} // namespace nosk::test
