# Types of the compiled part of nosk (python/src). The public functions of
# the package wrap these; arrays are numpy arrays of float64 or complex128.

from typing import Any, Dict, List, Optional, Tuple

import numpy as np
import numpy.typing as npt

RealArray = npt.NDArray[np.float64]
ComplexArray = npt.NDArray[np.complex128]

class Job:
    description: str
    IOPT: int
    DINP: str
    DFIT: str
    PINP: str
    PFIT: str
    FREEQ: str
    NEG: str
    FUN: str
    CELCAP: float
    DATTYP: str
    IPAR: int
    ROE: float
    IFP: int
    IRE: int
    ECINF: float
    EC0: float
    M: int
    N: int
    MAXFEV: int
    NPRINT: int
    IRCH: int
    MODE: int
    ICP: int
    IPRINT: int
    IGACC: int
    ATEMP: float
    SDWC: float
    SDRC: float
    P: RealArray
    NFREE: npt.NDArray[np.int32]
    LOWER: RealArray
    UPPER: RealArray
    FREQ: Optional[RealArray]
    DATA1: Optional[RealArray]
    DATA2: Optional[RealArray]
    WEIGHT1: Optional[RealArray]
    WEIGHT2: Optional[RealArray]
    def __init__(self) -> None: ...
    def _assign(self, other: Job) -> None: ...

def load_job(path: str) -> Job: ...
def save_job(job: Job, path: str) -> None: ...
def job_spectrum(job: Job) -> Tuple[RealArray, ComplexArray]: ...
def read_spectrum(path: str, index: int = 0) -> Dict[str, Any]: ...
def simulate(circuit: str, params: RealArray, frequency: RealArray) -> ComplexArray: ...
def fit(circuit: str, frequency: RealArray, Z: ComplexArray, start: RealArray, codes: List[int], weighting: int,
        sigma: Optional[ComplexArray], max_evaluations: int, mode: int, lower: Optional[RealArray] = None,
        upper: Optional[RealArray] = None, intervals: str = "", level: float = 0.95) -> Dict[str, Any]: ...
def fit_job(job: Job, circuits_file: str = "", definition: str = "") -> Dict[str, Any]: ...
def parameter_roles(circuit: str) -> List[Tuple[int, str]]: ...
def circuit_definition(circuit: str) -> str: ...
def kk(frequency: RealArray, Z: ComplexArray, cutoff: float, elements: int) -> Dict[str, Any]: ...
def zhit(frequency: RealArray, Z: ComplexArray) -> Dict[str, Any]: ...
def drt(frequency: RealArray, Z: ComplexArray, band_samples: int = 0, lam: float = 0.0, derivative: int = 2,
        capacitance: str = "auto", seed: int = 1) -> Dict[str, Any]: ...
def suggest(frequency: RealArray, Z: ComplexArray, top: int = 5) -> Dict[str, Any]: ...
def fit_series(jobs: List[Job], covariate: List[float], roles: Dict[int, str], labels: List[str], unit: str = "",
               starts: int = 4, test_each: bool = True, circuits_file: str = "") -> Dict[str, Any]: ...
