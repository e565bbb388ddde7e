#include "results/SeriesResultReader.h"

#include "core/Exception.h"
#include "core/JsonReader.h"
#include "core/RegularFile.h"

#include <cmath>
#include <limits>

namespace nosk {

namespace {

using json::Value;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const Value& member(const Value& object, const char* key, const char* where)
{
    const Value* v = object.find(key);
    if (!v)
        throw exception("no \"%s\" in %s", key, where);
    return *v;
}

// A number; null (what the writer puts for NaN) is NaN.
double number(const Value& object, const char* key, const char* where)
{
    const Value& v = member(object, key, where);
    if (v.isNull())
        return kNaN;
    if (!v.isNumber())
        throw exception("\"%s\" in %s is no number", key, where);
    return v.number;
}

int integer(const Value& object, const char* key, const char* where)
{
    const double v = number(object, key, where);
    if (!(std::abs(v) <= 1e9) || v != std::floor(v))
        throw exception("\"%s\" in %s is no whole number", key, where);
    return static_cast<int>(v);
}

std::string text(const Value& object, const char* key, const char* where)
{
    const Value& v = member(object, key, where);
    if (!v.isString())
        throw exception("\"%s\" in %s is no string", key, where);
    return v.string;
}

bool flag(const Value& object, const char* key, const char* where)
{
    const Value& v = member(object, key, where);
    if (v.type != Value::Type::Boolean)
        throw exception("\"%s\" in %s is neither true nor false", key, where);
    return v.boolean;
}

const std::vector<Value>& list(const Value& object, const char* key, const char* where)
{
    const Value& v = member(object, key, where);
    if (!v.isArray())
        throw exception("\"%s\" in %s is no list", key, where);
    return v.array;
}

const Value& objectOf(const Value& object, const char* key, const char* where)
{
    const Value& v = member(object, key, where);
    if (!v.isObject())
        throw exception("\"%s\" in %s is no object", key, where);
    return v;
}

// The parameters of a spectrum, in the order of `names` (taken from the
// first spectrum when still empty).
std::vector<SeriesValue> parameterValues(const Value& object, std::vector<std::string>& names, const char* where)
{
    if (names.empty())
        names = object.keys;
    if (object.keys.size() != names.size())
        throw exception("the spectra name different parameters (%s)", where);
    std::vector<SeriesValue> values;
    for (const std::string& name : names) {
        const Value* v = object.find(name);
        if (!v || !v->isObject())
            throw exception("no parameter %s in %s", name.c_str(), where);
        values.push_back({number(*v, "value", where), number(*v, "std_dev", where), text(*v, "status", where)});
    }
    return values;
}

std::vector<std::string> textList(const Value& object, const char* key, const char* where)
{
    std::vector<std::string> out;
    for (const Value& v : list(object, key, where)) {
        if (!v.isString())
            throw exception("\"%s\" in %s holds something that is no string", key, where);
        out.push_back(v.string);
    }
    return out;
}

} // namespace

std::vector<std::string> seriesCoefficientNames(std::string_view role)
{
    if (role == "shared")
        return {""};
    if (role == "arrhenius")
        return {"A", "Ea"};
    if (role == "vft")
        return {"A", "B", "T0"};
    if (role == "linear")
        return {"a", "b"};
    if (role == "quadratic")
        return {"a", "b", "c"};
    if (role == "exponential")
        return {"A", "b"};
    return {};
}

int SeriesResultFile::parameterIndex(std::string_view name) const
{
    for (std::size_t j = 0; j < parameters.size(); ++j)
        if (parameters[j] == name)
            return static_cast<int>(j);
    return -1;
}

std::vector<int> SeriesResultFile::coefficientsOf(std::string_view parameter) const
{
    std::vector<int> out;
    const int j = parameterIndex(parameter);
    if (j < 0)
        return out;
    for (const std::string& c : seriesCoefficientNames(roles[static_cast<std::size_t>(j)]))
        for (std::size_t k = 0; k < coefficients.size(); ++k)
            if (coefficients[k].parameter == parameter && coefficients[k].coefficient == c)
                out.push_back(static_cast<int>(k));
    return out;
}

SeriesResultFile parseSeriesResult(std::string_view textIn)
{
    const Value root = json::parse(textIn);
    if (!root.isObject())
        throw exception("the result is no JSON object");
    SeriesResultFile r;
    const char* top = "the result";
    const Value& cov = objectOf(root, "covariate", top);
    r.covariateName = text(cov, "name", "the covariate");
    r.covariateUnit = text(cov, "unit", "the covariate");
    r.singleFit = flag(root, "single_fit", top);
    r.fitEnd = text(root, "fit_end", top);
    r.converged = flag(root, "converged", top);
    r.S = number(root, "S", top);
    r.K = integer(root, "K", top);
    r.variables = integer(root, "variables", top);
    r.nu = integer(root, "nu", top);
    r.sigma = number(root, "sigma", top);

    // The spectra first: they name every free parameter in its order.
    const std::vector<Value>& spectra = list(root, "spectra", top);
    if (spectra.empty())
        throw exception("no spectra in the result");
    for (std::size_t i = 0; i < spectra.size(); ++i) {
        const Value& s = spectra[i];
        const std::string where = "spectrum " + std::to_string(i + 1);
        if (!s.isObject())
            throw exception("%s is no object", where.c_str());
        SeriesSpectrum sp;
        sp.file = text(s, "file", where.c_str());
        sp.covariate = number(s, "covariate", where.c_str());
        sp.S = number(s, "S", where.c_str());
        sp.joint = parameterValues(objectOf(s, "parameters", where.c_str()), r.parameters, where.c_str());
        if (const Value* ind = s.find("independent")) {
            const std::string w = "the independent fit of " + where;
            if (!ind->isObject())
                throw exception("%s is no object", w.c_str());
            sp.hasIndependent = true;
            sp.independentS = number(*ind, "S", w.c_str());
            sp.independentEnd = text(*ind, "end", w.c_str());
            const Value& values = objectOf(*ind, "parameters", w.c_str());
            // A spectrum that failed alone has no values.
            if (!values.keys.empty())
                sp.independent = parameterValues(values, r.parameters, w.c_str());
        }
        r.spectra.push_back(std::move(sp));
    }
    if (r.parameters.empty())
        throw exception("the result has no free parameters");

    // The roles and the published coefficients.
    r.roles.assign(r.parameters.size(), std::string());
    for (const Value& p : list(root, "parameters", top)) {
        if (!p.isObject())
            throw exception("a parameter of the result is no object");
        const std::string name = text(p, "name", "a parameter");
        const std::string role = text(p, "role", name.c_str());
        const std::size_t dot = name.find('.');
        const std::string parameter = name.substr(0, dot);
        const int j = r.parameterIndex(parameter);
        if (j < 0)
            throw exception("the result has a coefficient %s of no parameter of its spectra", name.c_str());
        std::string& known = r.roles[static_cast<std::size_t>(j)];
        if (!known.empty() && known != role)
            throw exception("%s is given two roles", parameter.c_str());
        known = role;
        if (role == "local")
            continue;
        const std::vector<std::string> names = seriesCoefficientNames(role);
        if (names.empty())
            throw exception("%s has an unknown role \"%s\"", name.c_str(), role.c_str());
        SeriesCoefficient c;
        c.name = name;
        c.parameter = parameter;
        c.coefficient = dot == std::string::npos ? std::string() : name.substr(dot + 1);
        c.role = role;
        c.value = number(p, "value", name.c_str());
        c.stdDev = number(p, "std_dev", name.c_str());
        const std::vector<Value>& ci = list(p, "ci95", name.c_str());
        if (ci.size() != 2 || !(ci[0].isNumber() || ci[0].isNull()) || !(ci[1].isNumber() || ci[1].isNull()))
            throw exception("\"ci95\" of %s is no pair of numbers", name.c_str());
        c.low = ci[0].isNull() ? kNaN : ci[0].number;
        c.high = ci[1].isNull() ? kNaN : ci[1].number;
        c.status = text(p, "status", name.c_str());
        r.coefficients.push_back(std::move(c));
    }
    for (std::size_t j = 0; j < r.parameters.size(); ++j) {
        // One spectrum is its single fit: a function there is fitted as a
        // value and listed with no role.
        if (r.roles[j].empty() && r.singleFit)
            r.roles[j] = "local";
        if (r.roles[j].empty())
            throw exception("%s has no role in the result", r.parameters[j].c_str());
        if (r.roles[j] != "local" && r.coefficientsOf(r.parameters[j]).size() != seriesCoefficientNames(r.roles[j]).size())
            throw exception("the coefficients of %s (%s) are incomplete", r.parameters[j].c_str(), r.roles[j].c_str());
    }

    // The correlations, matched to the coefficients by name.
    const Value& corr = objectOf(root, "correlations", top);
    const std::vector<std::string> names = textList(corr, "names", "the correlations");
    const std::vector<Value>& rows = list(corr, "matrix", "the correlations");
    // A single fit's result has no matrix: no correlation is known.
    if (names.size() != r.coefficients.size() || (rows.size() != names.size() && !(rows.empty() && r.singleFit)))
        throw exception("the correlations do not match the coefficients");
    std::vector<int> at(names.size(), -1);
    for (std::size_t a = 0; a < names.size(); ++a) {
        for (std::size_t k = 0; k < r.coefficients.size(); ++k)
            if (r.coefficients[k].name == names[a])
                at[a] = static_cast<int>(k);
        if (at[a] < 0)
            throw exception("the correlations name %s, which is no coefficient", names[a].c_str());
    }
    r.correlation.assign(names.size(), std::vector<double>(names.size(), kNaN));
    for (std::size_t a = 0; a < rows.size(); ++a) {
        if (!rows[a].isArray() || rows[a].array.size() != names.size())
            throw exception("row %zu of the correlations is not %zu numbers", a + 1, names.size());
        for (std::size_t b = 0; b < names.size(); ++b) {
            const Value& v = rows[a].array[b];
            if (!v.isNumber() && !v.isNull())
                throw exception("row %zu of the correlations holds something that is no number", a + 1);
            r.correlation[static_cast<std::size_t>(at[a])][static_cast<std::size_t>(at[b])] =
                v.isNull() ? kNaN : v.number;
        }
    }

    const Value& t = objectOf(root, "tests", top);
    const char* tw = "the tests";
    r.tests.available = flag(t, "available", tw);
    if (!r.tests.available) {
        if (t.find("why"))
            r.tests.why = text(t, "why", tw);
    } else {
        r.tests.Sjoint = number(t, "S_joint", tw);
        r.tests.Sindependent = number(t, "S_independent", tw);
        r.tests.Pjoint = integer(t, "variables_joint", tw);
        r.tests.Pindependent = integer(t, "variables_independent", tw);
        r.tests.F = number(t, "f_statistic", tw);
        r.tests.pValue = number(t, "p_value", tw);
        r.tests.aicJoint = number(t, "aic_joint", tw);
        r.tests.aicIndependent = number(t, "aic_independent", tw);
        r.tests.bicJoint = number(t, "bic_joint", tw);
        r.tests.bicIndependent = number(t, "bic_independent", tw);
        r.tests.verdict = text(t, "verdict", tw);
        for (const Value& p : list(t, "parameters", tw)) {
            if (!p.isObject())
                throw exception("a test of the result is no object");
            SeriesParameterTest pt;
            pt.name = text(p, "name", "a parameter's test");
            const char* w = pt.name.c_str();
            pt.role = text(p, "role", w);
            pt.Sfreed = number(p, "S_freed", w);
            pt.F = number(p, "f_statistic", w);
            pt.pValue = number(p, "p_value", w);
            pt.disagree = textList(p, "disagree", w);
            pt.verdict = text(p, "verdict", w);
            r.tests.parameters.push_back(std::move(pt));
        }
    }
    if (root.find("notes"))
        r.notes = textList(root, "notes", top);
    return r;
}

SeriesResultFile readSeriesResult(const std::string& path)
{
    const std::optional<std::string> bytes = readRegularFile(path, kMaxResultFile);
    if (!bytes)
        throw exception("%s: cannot read the file (missing, too large or no regular file)", path.c_str());
    try {
        return parseSeriesResult(*bytes);
    } catch (const std::exception& e) {
        throw exception("%s: %s", path.c_str(), e.what());
    }
}

} // namespace nosk
