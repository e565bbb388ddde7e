#include "Circuit.h"

#include "EngineError.h"
#include "core/Exception.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>
#include <filesystem>

namespace nosk::model {

namespace {

// The longest definition the parser takes (characters after "X ="); the
// Python module checks the same length before it translates a text.
constexpr std::size_t kMaxDefinitionLength = 4096;

} // namespace

namespace {

constexpr int kMaxParams = 50;
// par(...) and TLM(...) nest; deeper texts are refused rather than recursed.
constexpr int kMaxDepth = 40;

struct ElementName {
    const char* name;
    ElementKind kind;
};

// Longer names first, so that "Ws" is not read as "W".
constexpr ElementName kElements[] = {{"TLM", ElementKind::TLM}, {"DE", ElementKind::DE}, {"Ws", ElementKind::Ws},
    {"Wo", ElementKind::Wo}, {"R", ElementKind::R}, {"C", ElementKind::C}, {"E", ElementKind::E},
    {"L", ElementKind::L}, {"Q", ElementKind::Q}, {"W", ElementKind::W}, {"G", ElementKind::G}};

} // namespace

// Recursive descent over one definition; every node is appended after its
// children.
class CircuitParser {
public:
    CircuitParser(const std::string& text, const std::string& where, int line, int column0)
        : m_text(text), m_where(where), m_line(line), m_column0(column0)
    {
    }

    Circuit run()
    {
        // A circuit has at most 50 parameters; a text far longer than any
        // such circuit would only cost time and memory to parse.
        if (m_text.size() > kMaxDefinitionLength)
            fail("the definition is " + std::to_string(m_text.size()) + " characters long; a circuit takes at most "
                    + std::to_string(kMaxDefinitionLength),
                0);
        skipSpace();
        if (atEnd())
            fail("expected an element such as R(p1) or par(");
        series(0);
        skipSpace();
        if (!atEnd())
            fail(std::string("expected '-' or the end of the line, found '") + m_text[m_pos] + "'");
        m_circuit.m_text = m_text;
        return std::move(m_circuit);
    }

private:
    [[noreturn]] void fail(const std::string& what, std::size_t at) const
    {
        throw EngineError(Reason::Kind::Circuit, Place().withLine(m_line).withColumn(static_cast<int>(m_column0 + at + 1)),
            "%s, line %i, column %i: %s", m_where.c_str(), m_line, static_cast<int>(m_column0 + at + 1),
            what.c_str());
    }
    [[noreturn]] void fail(const std::string& what) const { fail(what, m_pos); }

    bool atEnd() const { return m_pos >= m_text.size(); }
    void skipSpace()
    {
        while (!atEnd() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' || m_text[m_pos] == '\r'))
            ++m_pos;
    }
    bool accept(char c)
    {
        skipSpace();
        if (!atEnd() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    void expect(char c, const char* context)
    {
        if (accept(c))
            return;
        std::string found = atEnd() ? "end of line" : std::string("'") + m_text[m_pos] + "'";
        fail(std::string("expected '") + c + "' " + context + ", found " + found);
    }

    int addNode(CircuitNode node, const std::vector<int>& children)
    {
        node.firstChild = static_cast<int>(m_circuit.m_children.size());
        node.childCount = static_cast<int>(children.size());
        m_circuit.m_children.insert(m_circuit.m_children.end(), children.begin(), children.end());
        m_circuit.m_nodes.push_back(node);
        return static_cast<int>(m_circuit.m_nodes.size()) - 1;
    }

    // series := part ('-' part)*; a single part stands for itself.
    int series(int depth)
    {
        if (depth > kMaxDepth)
            fail("the circuit nests deeper than " + std::to_string(kMaxDepth) + " levels");
        skipSpace();
        const std::size_t start = m_pos;
        std::vector<int> parts{part(depth)};
        while (accept('-'))
            parts.push_back(part(depth));
        if (parts.size() == 1)
            return parts[0];
        CircuitNode n;
        n.kind = ElementKind::Series;
        n.line = m_line;
        n.column = static_cast<int>(m_column0 + start + 1);
        return addNode(n, parts);
    }

    int part(int depth)
    {
        skipSpace();
        const std::size_t start = m_pos;
        std::string name;
        while (!atEnd() && std::isalpha(static_cast<unsigned char>(m_text[m_pos])))
            name += m_text[m_pos++];
        if (name.empty())
            fail(atEnd() ? "expected an element, found the end of the line"
                         : std::string("expected an element, found '") + m_text[m_pos] + "'");
        CircuitNode n;
        n.line = m_line;
        n.column = static_cast<int>(m_column0 + start + 1);
        if (name == "par") {
            expect('(', "after par");
            std::vector<int> branches{series(depth + 1)};
            while (accept(','))
                branches.push_back(series(depth + 1));
            if (branches.size() < 2)
                fail("expected ',' and a second branch in par(...)");
            expect(')', "to close par(");
            n.kind = ElementKind::Parallel;
            return addNode(n, branches);
        }
        const ElementName* element = nullptr;
        for (const ElementName& e : kElements)
            if (name == e.name)
                element = &e;
        if (!element)
            fail("unknown element '" + name.substr(0, 12) + "'", start);
        n.kind = element->kind;
        expect('(', ("after " + name).c_str());
        switch (n.kind) {
        case ElementKind::TLM: {
            n.ref[0] = reference();
            expect(',', "in TLM(r, z)");
            const int z = series(depth + 1);
            expect(')', "to close TLM(");
            return addNode(n, {z});
        }
        case ElementKind::DE: {
            const std::size_t selectorAt = (skipSpace(), m_pos);
            n.ref[0] = reference();
            if (accept(':')) {
                for (int k = 1; k <= 4; ++k) {
                    if (k > 1)
                        expect(',', "in DE(p: pR,pT,pU,pPHI)");
                    n.ref[k] = reference();
                }
            } else {
                if (n.ref[0] < 4)
                    fail("DE(p" + std::to_string(n.ref[0] + 1) + ") takes R, T, U, PHI from below p1; name them",
                        selectorAt);
                for (int k = 1; k <= 4; ++k)
                    n.ref[k] = n.ref[0] - 5 + k;
            }
            expect(')', "to close DE(");
            return addNode(n, {});
        }
        default: {
            const int count = Circuit::refCount(n.kind);
            for (int k = 0; k < count; ++k) {
                if (k > 0)
                    expect(',', ("in " + name + "(").c_str());
                n.ref[k] = reference();
            }
            expect(')', ("to close " + name + "(").c_str());
            return addNode(n, {});
        }
        }
    }

    int reference()
    {
        skipSpace();
        const std::size_t start = m_pos;
        if (atEnd() || (m_text[m_pos] != 'p' && m_text[m_pos] != 'P'))
            fail(atEnd() ? "expected a parameter p1 ... p50, found end of line"
                         : std::string("expected a parameter p1 ... p50, found '") + m_text[m_pos] + "'");
        ++m_pos;
        long value = 0;
        std::size_t digits = 0;
        while (!atEnd() && std::isdigit(static_cast<unsigned char>(m_text[m_pos]))) {
            if (value < 100000)
                value = value * 10 + (m_text[m_pos] - '0');
            ++m_pos;
            ++digits;
        }
        if (digits == 0)
            fail("expected the number of the parameter after 'p'");
        if (value < 1)
            fail("parameters count from p1", start);
        if (value > kMaxParams)
            fail("parameter p" + std::to_string(value) + " is beyond p50", start);
        return static_cast<int>(value) - 1;
    }

    const std::string& m_text;
    const std::string& m_where;
    int m_line;
    int m_column0;
    std::size_t m_pos = 0;
    Circuit m_circuit;
};

Circuit Circuit::parse(const std::string& text, const std::string& where, int line, int column0)
{
    return CircuitParser(text, where, line, column0).run();
}

int Circuit::refCount(ElementKind kind)
{
    switch (kind) {
    case ElementKind::R:
    case ElementKind::C:
    case ElementKind::E:
    case ElementKind::L:
    case ElementKind::W:
    case ElementKind::TLM:
        return 1;
    case ElementKind::Q:
    case ElementKind::Ws:
    case ElementKind::Wo:
    case ElementKind::G:
        return 2;
    case ElementKind::DE:
        return 5;
    default:
        return 0;
    }
}

std::vector<int> Circuit::deNodes() const
{
    // Nodes are stored children first; the text order is the order of the
    // columns where the elements start.
    std::vector<int> des;
    for (int i = 0; i < static_cast<int>(m_nodes.size()); ++i)
        if (m_nodes[i].kind == ElementKind::DE)
            des.push_back(i);
    std::stable_sort(des.begin(), des.end(), [this](int a, int b) { return m_nodes[a].column < m_nodes[b].column; });
    return des;
}

int Circuit::highestParameter() const
{
    int highest = -1;
    for (const CircuitNode& n : m_nodes)
        for (int k = 0; k < refCount(n.kind); ++k)
            highest = std::max(highest, n.ref[k]);
    return highest;
}

std::vector<ParameterRole> parameterRoles(const Circuit& circuit)
{
    std::map<int, std::string> roles;
    auto add = [&roles](int index, const std::string& role) {
        std::string& r = roles[index + 1];
        if (r.find(role) != std::string::npos)
            return;
        r += r.empty() ? role : "; " + role;
    };
    // In the order of the text, so that the first role named is the first use.
    std::vector<int> order(circuit.nodes().size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(),
        [&circuit](int a, int b) { return circuit.node(a).column < circuit.node(b).column; });
    for (int i : order) {
        const CircuitNode& n = circuit.node(i);
        switch (n.kind) {
        case ElementKind::R: add(n.ref[0], "R"); break;
        case ElementKind::C: add(n.ref[0], "C"); break;
        case ElementKind::E: add(n.ref[0], "E (dielectric constant)"); break;
        case ElementKind::L: add(n.ref[0], "L"); break;
        case ElementKind::Q: add(n.ref[0], "Q (Q)"); add(n.ref[1], "Q (alpha)"); break;
        case ElementKind::W: add(n.ref[0], "W (sigma)"); break;
        case ElementKind::Ws: add(n.ref[0], "Ws (R)"); add(n.ref[1], "Ws (tau)"); break;
        case ElementKind::Wo: add(n.ref[0], "Wo (R)"); add(n.ref[1], "Wo (tau)"); break;
        case ElementKind::G: add(n.ref[0], "G (Z0)"); add(n.ref[1], "G (k)"); break;
        case ElementKind::TLM: add(n.ref[0], "TLM (r)"); break;
        case ElementKind::DE:
            add(n.ref[0], "DE selector");
            add(n.ref[1], "DE (R)");
            add(n.ref[2], "DE (T)");
            add(n.ref[3], "DE (U)");
            add(n.ref[4], "DE (PHI)");
            break;
        default: break;
        }
    }
    std::vector<ParameterRole> out;
    for (const auto& [number, role] : roles)
        out.push_back({number, role});
    return out;
}

std::vector<ParameterRole> parameterRoles(const std::string& definition)
{
    return parameterRoles(Circuit::parse(definition));
}

std::vector<DePlace> dePlaces(const Circuit& circuit)
{
    std::vector<DePlace> places;
    for (int i : circuit.deNodes()) {
        const CircuitNode& n = circuit.node(i);
        DePlace d;
        d.selector = n.ref[0] + 1;
        for (int k = 0; k < 4; ++k)
            d.params[k] = n.ref[k + 1] + 1;
        places.push_back(d);
    }
    return places;
}

// ---------------------------------------------------------------------------

CircuitLibrary CircuitLibrary::parse(const std::string& text, const std::string& where)
{
    CircuitLibrary lib;
    std::map<char, int> firstLine;
    // A UTF-8 byte-order mark, as some editors write one, is no part of the
    // first line (whose columns are counted after it, as the editor shows).
    std::size_t begin = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    int lineNumber = 0;
    std::string blockName;  // the first line of the comment block above
    bool inBlock = false;
    auto nameOf = [](std::string comment) {
        const std::size_t cut = comment.find_first_of(":(");
        if (cut != std::string::npos)
            comment.erase(cut);
        const std::size_t first = comment.find_first_not_of(" \t\r#");
        const std::size_t last = comment.find_last_not_of(" \t\r");
        return first == std::string::npos || last < first ? std::string() : comment.substr(first, last - first + 1);
    };
    while (begin <= text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos)
            end = text.size();
        ++lineNumber;
        std::string line = text.substr(begin, end - begin);
        begin = end + 1;
        const std::size_t hash = line.find('#');
        std::string comment;
        if (hash != std::string::npos) {
            comment = line.substr(hash + 1);
            line.erase(hash);
        }
        std::size_t pos = line.find_first_not_of(" \t\r");
        if (pos == std::string::npos) {
            if (hash == std::string::npos) {
                inBlock = false;
                blockName.clear();
            } else if (!inBlock) {
                inBlock = true;
                blockName = nameOf(comment);
            }
            if (end == text.size())
                break;
            continue;
        }
        auto fail = [&](std::size_t at, const std::string& what) {
            throw EngineError(Reason::Kind::Circuit, Place().withLine(lineNumber).withColumn(static_cast<int>(at + 1)),
                "%s, line %i, column %i: %s", where.c_str(), lineNumber, static_cast<int>(at + 1), what.c_str());
        };
        const char letter = line[pos];
        if (letter < 'A' || letter > 'Z')
            fail(pos, std::string("expected a circuit letter A to Z, found '") + letter + "'");
        std::size_t eq = line.find_first_not_of(" \t", pos + 1);
        if (eq == std::string::npos || line[eq] != '=')
            fail(eq == std::string::npos ? line.size() : eq,
                std::string("expected '=' after the circuit letter ") + letter);
        if (firstLine.count(letter))
            fail(pos, std::string("circuit ") + letter + " is defined twice (first on line "
                    + std::to_string(firstLine[letter]) + ")");
        firstLine[letter] = lineNumber;
        Definition d;
        d.letter = letter;
        const std::string rhs = line.substr(eq + 1);
        d.circuit = Circuit::parse(rhs, where, lineNumber, static_cast<int>(eq + 1));
        const std::size_t first = rhs.find_first_not_of(" \t\r"), last = rhs.find_last_not_of(" \t\r");
        d.text = rhs.substr(first, last - first + 1);
        d.name = hash != std::string::npos ? nameOf(comment) : blockName;
        if (d.name.empty())
            d.name = blockName;
        inBlock = false;
        blockName.clear();
        lib.m_definitions.push_back(std::move(d));
        if (end == text.size())
            break;
    }
    return lib;
}

const CircuitLibrary& CircuitLibrary::builtIn()
{
    static const CircuitLibrary library = parse(builtInText(), "circuits.txt");
    return library;
}

CircuitLibrary CircuitLibrary::withOverrides(const std::string& path)
{
    CircuitLibrary lib = builtIn();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return lib;
    if (!std::filesystem::is_regular_file(path, ec))
        throw EngineError(Reason::Kind::Circuit, Place(), "%s is not a file of circuit definitions", path.c_str());
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw EngineError(Reason::Kind::Circuit, Place(), "Cannot open file '%s'!", path.c_str());
    // A definitions file is a few lines; anything huge is not one.
    constexpr std::size_t kMaxSize = 1 << 20;
    std::string text;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kMaxSize)
            throw EngineError(Reason::Kind::Circuit, Place(),
                "%s is larger than a file of circuit definitions can be", path.c_str());
    }
    lib.overrideWith(parse(text, path));
    return lib;
}

const CircuitLibrary::Definition* CircuitLibrary::find(char letter) const
{
    for (const Definition& d : m_definitions)
        if (d.letter == letter)
            return &d;
    return nullptr;
}

void CircuitLibrary::overrideWith(const CircuitLibrary& other)
{
    for (const Definition& d : other.m_definitions) {
        auto it = std::find_if(m_definitions.begin(), m_definitions.end(),
            [&d](const Definition& x) { return x.letter == d.letter; });
        if (it != m_definitions.end())
            *it = d;
        else
            m_definitions.push_back(d);
    }
}

} // namespace nosk::model
