#pragma once

#include <string>
#include <vector>

namespace nosk::suggest {

// The circuits the suggestion chooses among, written in the circuit
// language. Each is built from the parts electrochemists combine, always in
// this order along the series chain:
//   [L] [R]  (R||C)... (R||Q)...  [Randles cell]  [Gerischer]...  [tail]
// where the Randles cell is par(Q, R-W) with a finite (transmissive or
// reflecting) Warburg W, and the tail a CPE or a finite Warburg in series.
enum class Tail { None, Cpe, Ws, Wo };
enum class Diffusion { None, Ws, Wo };

struct Shape {
    bool inductance = false;  // a series L (only with a series R)
    bool series = false;      // a series R
    int rc = 0;               // parallel R-C units
    int rq = 0;               // parallel R-CPE units
    Diffusion randles = Diffusion::None;
    int gerischer = 0;
    Tail tail = Tail::None;

    // Elements that cost parameters, in the order of the text.
    int parameterCount() const;
    // Separate processes along the time axis (what the DRT may count as peaks).
    int processes() const;
    bool operator==(const Shape&) const = default;
};

struct Candidate {
    Shape shape;
    std::string label;     // "L-R-(RQ)x2-Ws"
    std::string circuit;   // the definition: "L(p1)-R(p2)-par(R(p3),Q(p4,p5))"
    std::vector<std::string> names;  // p1 ... pn: "L", "Rs", "R1", "Q1", "a1", ...
    // The candidates one element smaller (an element left out, a CPE whose
    // exponent reached 1 read as a capacitor), as indices into the list.
    std::vector<int> reducesTo;
};

// The circuit-language text and parameter names of a shape.
Candidate candidateOf(const Shape& shape);

// Every shape of the grammar up to four parallel units, in order of size:
// the chains of 1 to 4 units with or without a series R, with a series L and
// R, each chain of up to 3 units with a tail, Gerischer elements after at
// most one unit, and Randles cells. `reducesTo` refers into the same list.
std::vector<Candidate> grammar();

// Fills the `reducesTo` of each candidate from the shapes present in `list`.
void linkReductions(std::vector<Candidate>& list);

} // namespace nosk::suggest
