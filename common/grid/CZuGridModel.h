#pragma once

#include <string>
#include <vector>

namespace nosk {

// The cell data of a grid. The grid reads and writes cell texts only through
// GetText, Validate and SetText; the values stay in the owner's arrays. The
// base model reads an array of row pointers (value of row r, column c is
// rows[r][c]); owners derive to read other layouts.
class CZuGridModel {
public:
    CZuGridModel() = default;
    virtual ~CZuGridModel() = default;

    // GetValue formatted with the number format ("%e" at first), with the
    // three-digit exponent the programs always show: 1.500000e+000.
    virtual std::string GetText(int column, int row);
    // True when the text starts with a number ("2.5xyz" is 2.5).
    virtual bool Validate(const std::string& text);
    // Reads the text as Validate does and stores the value.
    virtual void SetText(int column, int row, const std::string& text);
    virtual void SetSource(double** rows) { m_rows = rows; }
    virtual double GetValue(int row, int column);
    // At most 6 characters are kept ("%e", "%.4f").
    virtual void SetFormat(const char* format);
    virtual void SetValue(int row, int column, double value);

    const char* format() const { return m_format; }

protected:
    double** m_rows = nullptr;
    char m_format[7] = "%e";
};

// One pointer per column: the value of row r, column c is columns[c][r].
// The data page keeps FREQ, DATA1, DATA2 (and the weights) this way, the
// statistics page the three numbers of each free parameter.
class CZuColumnModel : public CZuGridModel {
public:
    CZuColumnModel() = default;
    explicit CZuColumnModel(std::vector<double*> columns)
        : m_columns(std::move(columns))
    {
    }
    void setColumns(std::vector<double*> columns) { m_columns = std::move(columns); }
    const std::vector<double*>& columns() const { return m_columns; }

    double GetValue(int row, int column) override;
    void SetValue(int row, int column, double value) override;

private:
    std::vector<double*> m_columns;
};

} // namespace nosk
