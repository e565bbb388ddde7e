#include "Candidates.h"

#include <algorithm>

namespace nosk::suggest {

namespace {

// Builds the text of a circuit part by part, numbering parameters from p1.
class Writer {
public:
    std::string ref(const std::string& name)
    {
        m_names.push_back(name);
        return "p" + std::to_string(m_names.size());
    }
    void part(const std::string& text)
    {
        if (!m_text.empty())
            m_text += "-";
        m_text += text;
    }
    void label(const std::string& text)
    {
        if (!m_label.empty())
            m_label += "-";
        m_label += text;
    }
    Candidate finish(const Shape& shape)
    {
        Candidate c;
        c.shape = shape;
        c.circuit = m_text;
        c.label = m_label;
        c.names = m_names;
        return c;
    }

private:
    std::string m_text, m_label;
    std::vector<std::string> m_names;
};

std::string repeated(const std::string& unit, int count)
{
    return count == 1 ? unit : unit + "x" + std::to_string(count);
}

} // namespace

int Shape::parameterCount() const
{
    int n = (inductance ? 1 : 0) + (series ? 1 : 0) + 2 * rc + 3 * rq + 2 * gerischer;
    if (randles != Diffusion::None)
        n += 5;
    if (tail != Tail::None)
        n += 2;
    return n;
}

int Shape::processes() const
{
    return rc + rq + gerischer + (randles != Diffusion::None ? 2 : 0) + (tail != Tail::None ? 1 : 0);
}

Candidate candidateOf(const Shape& s)
{
    Writer w;
    if (s.inductance) {
        w.part("L(" + w.ref("L") + ")");
        w.label("L");
    }
    if (s.series) {
        w.part("R(" + w.ref("Rs") + ")");
        w.label("R");
    }
    int unit = 0;
    for (int i = 0; i < s.rc; ++i) {
        const std::string k = std::to_string(++unit);
        const std::string r = w.ref("R" + k);
        w.part("par(R(" + r + "),C(" + w.ref("C" + k) + "))");
    }
    if (s.rc > 0)
        w.label(repeated("(RC)", s.rc));
    for (int i = 0; i < s.rq; ++i) {
        const std::string k = std::to_string(++unit);
        const std::string r = w.ref("R" + k);
        const std::string q = w.ref("Q" + k);
        w.part("par(R(" + r + "),Q(" + q + "," + w.ref("a" + k) + "))");
    }
    if (s.rq > 0)
        w.label(repeated("(RQ)", s.rq));
    if (s.randles != Diffusion::None) {
        const std::string q = w.ref("Qdl");
        const std::string a = w.ref("adl");
        const std::string r = w.ref("Rct");
        const std::string element = s.randles == Diffusion::Ws ? "Ws" : "Wo";
        const std::string rw = w.ref("Rw");
        w.part("par(Q(" + q + "," + a + "),R(" + r + ")-" + element + "(" + rw + "," + w.ref("Tw") + "))");
        w.label("Randles(" + element + ")");
    }
    for (int i = 0; i < s.gerischer; ++i) {
        const std::string k = std::to_string(i + 1);
        const std::string z = w.ref("Zg" + k);
        w.part("G(" + z + "," + w.ref("kg" + k) + ")");
    }
    if (s.gerischer > 0)
        w.label(repeated("G", s.gerischer));
    switch (s.tail) {
    case Tail::None: break;
    case Tail::Cpe: {
        const std::string q = w.ref("Qt");
        w.part("Q(" + q + "," + w.ref("at") + ")");
        w.label("Q");
        break;
    }
    case Tail::Ws:
    case Tail::Wo: {
        const std::string element = s.tail == Tail::Ws ? "Ws" : "Wo";
        const std::string r = w.ref("Rw");
        w.part(element + "(" + r + "," + w.ref("Tw") + ")");
        w.label(element);
        break;
    }
    }
    return w.finish(s);
}

std::vector<Candidate> grammar()
{
    std::vector<Shape> shapes;
    struct Prefix {
        bool l, r;
    };
    const Prefix prefixes[] = {{false, false}, {false, true}, {true, true}};
    for (const Prefix& p : prefixes) {
        Shape base;
        base.inductance = p.l;
        base.series = p.r;
        for (int units = 0; units <= 4; ++units)
            for (int rc = 0; rc <= units; ++rc)
                for (Tail tail : {Tail::None, Tail::Cpe, Tail::Ws, Tail::Wo}) {
                    Shape s = base;
                    s.rc = rc;
                    s.rq = units - rc;
                    s.tail = tail;
                    if (units == 0 && (tail == Tail::None || !p.r))
                        continue;
                    // A tail follows a chain of at most three units, of CPEs
                    // only (a mixed chain with a tail has more parameters
                    // than spectra of this length determine).
                    if (tail != Tail::None && (units > 3 || (rc > 0 && units > 1)))
                        continue;
                    shapes.push_back(s);
                }
        for (int g = 1; g <= 2; ++g)
            for (int kind = 0; kind < 3; ++kind) {
                Shape s = base;
                s.gerischer = g;
                s.rc = kind == 1 ? 1 : 0;
                s.rq = kind == 2 ? 1 : 0;
                shapes.push_back(s);
            }
        if (p.r)
            for (Diffusion d : {Diffusion::Ws, Diffusion::Wo})
                for (int rq = 0; rq <= 1; ++rq) {
                    Shape s = base;
                    s.randles = d;
                    s.rq = rq;
                    shapes.push_back(s);
                }
    }
    std::stable_sort(shapes.begin(), shapes.end(),
        [](const Shape& a, const Shape& b) { return a.parameterCount() < b.parameterCount(); });
    std::vector<Candidate> list;
    list.reserve(shapes.size());
    for (const Shape& s : shapes)
        list.push_back(candidateOf(s));
    linkReductions(list);
    return list;
}

void linkReductions(std::vector<Candidate>& list)
{
    auto indexOf = [&list](const Shape& s) {
        for (std::size_t i = 0; i < list.size(); ++i)
            if (list[i].shape == s)
                return static_cast<int>(i);
        return -1;
    };
    for (Candidate& c : list) {
        const Shape& s = c.shape;
        std::vector<Shape> smaller;
        auto add = [&smaller](Shape t) { smaller.push_back(t); };
        if (s.inductance) {
            Shape t = s;
            t.inductance = false;
            add(t);
        }
        if (s.series) {
            Shape t = s;
            t.series = false;
            t.inductance = false;
            add(t);
        }
        if (s.rc > 0) {
            Shape t = s;
            --t.rc;
            add(t);
        }
        if (s.rq > 0) {
            Shape t = s;
            --t.rq;
            add(t);
            // A CPE whose exponent reached 1 is a capacitor.
            ++t.rc;
            add(t);
        }
        if (s.gerischer > 0) {
            Shape t = s;
            --t.gerischer;
            add(t);
        }
        if (s.tail != Tail::None) {
            Shape t = s;
            t.tail = Tail::None;
            add(t);
        }
        if (s.randles != Diffusion::None) {
            // Without its diffusion branch the cell is an R-CPE unit.
            Shape t = s;
            t.randles = Diffusion::None;
            ++t.rq;
            add(t);
        }
        c.reducesTo.clear();
        for (const Shape& t : smaller) {
            const int i = indexOf(t);
            if (i >= 0 && std::find(c.reducesTo.begin(), c.reducesTo.end(), i) == c.reducesTo.end())
                c.reducesTo.push_back(i);
        }
    }
}

} // namespace nosk::suggest
