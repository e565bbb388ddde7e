#pragma once

#include <string>
#include <vector>

namespace nosk::model {

// A model circuit of the engine, parsed from one line of the circuit
// language, e.g. "R(p1)-L(p3)-par(C(p2), R(p4)-DE(p10))". The tree is kept
// flat: children come before their parent, so the root is the last node and
// one pass in index order evaluates the whole circuit.
enum class ElementKind { Series, Parallel, R, C, E, L, Q, W, Ws, Wo, G, TLM, DE };

struct CircuitNode {
    ElementKind kind = ElementKind::Series;
    // 0-based parameter indices (p1 is 0). Elements use ref[0] and ref[1];
    // TLM uses ref[0] (r); DE uses ref[0] for the selector and ref[1..4] for
    // R, T, U, PHI.
    int ref[5] = {-1, -1, -1, -1, -1};
    int firstChild = 0;  // index into Circuit::children()
    int childCount = 0;
    int line = 0, column = 0;  // where the element starts in its text
};

class Circuit {
public:
    // Parses a definition's right-hand side (the part after "X ="). `where`
    // names the file in messages and `line`, `column0` place the text in it.
    // Throws nosk::exception: "<where>, line L, column C: expected ...".
    static Circuit parse(const std::string& text, const std::string& where = "circuit", int line = 1,
        int column0 = 0);

    const std::string& text() const { return m_text; }
    const std::vector<CircuitNode>& nodes() const { return m_nodes; }
    const CircuitNode& node(int i) const { return m_nodes[i]; }
    int child(const CircuitNode& n, int k) const { return m_children[n.firstChild + k]; }
    int root() const { return static_cast<int>(m_nodes.size()) - 1; }
    // Number of parameters of an element kind (DE: selector and four).
    static int refCount(ElementKind kind);

    // The DE elements in the order they appear in the text.
    std::vector<int> deNodes() const;
    // The highest parameter index the circuit refers to, or -1.
    int highestParameter() const;

private:
    std::string m_text;
    std::vector<CircuitNode> m_nodes;
    std::vector<int> m_children;
    friend class CircuitParser;
};

// What a parameter means in a circuit: "p5: Q (Q)". A parameter used in
// several places lists each role, joined by "; ".
struct ParameterRole {
    int number = 0;     // 1-based
    std::string role;   // "C", "Q (Q)", "Q (alpha)", "DE (R)", "DE selector", ...
    std::string label() const { return "p" + std::to_string(number) + ": " + role; }
};
std::vector<ParameterRole> parameterRoles(const Circuit& circuit);
// The same from a definition's text (throws as Circuit::parse does).
std::vector<ParameterRole> parameterRoles(const std::string& definition);

// The DE places of a circuit: for each DE(...) its selector and its R, T, U,
// PHI parameters, 1-based (what the organiser's parameter editor links).
struct DePlace {
    int selector = 0;
    int params[4] = {0, 0, 0, 0};
};
std::vector<DePlace> dePlaces(const Circuit& circuit);

// A set of definitions, one per letter. The engine carries the built-in set;
// a file CIRCUITS in the work folder replaces letters of it.
class CircuitLibrary {
public:
    struct Definition {
        char letter = 0;
        std::string text;  // the right-hand side as written
        // What the circuit is ("Randles", "two ZARCs and a CPE (battery)" cut
        // to "two ZARCs and a CPE"): a comment after the definition on its
        // line, else the first line of the comment block right above it, up
        // to a ':' or '('; empty when neither is there.
        std::string name;
        Circuit circuit;
    };

    // The fifteen built-in circuits (the text installed as circuits.txt).
    static const CircuitLibrary& builtIn();
    static const std::string& builtInText();

    // Parses a text of definitions; `where` names it in messages. A syntax
    // error, an unknown element, a parameter beyond p50, a DE selector below
    // p5 without named parameters, a definition without an element and a
    // letter defined twice are refused with file, line, column and reason.
    static CircuitLibrary parse(const std::string& text, const std::string& where);
    // The built-in set with the definitions of `path` in place of theirs,
    // when that file exists (throws for a file that cannot be read or parsed).
    static CircuitLibrary withOverrides(const std::string& path);

    const Definition* find(char letter) const;
    const std::vector<Definition>& definitions() const { return m_definitions; }
    // Replaces or adds every definition of `other`.
    void overrideWith(const CircuitLibrary& other);

private:
    std::vector<Definition> m_definitions;
};

} // namespace nosk::model
