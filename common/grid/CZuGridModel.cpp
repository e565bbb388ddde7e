#include "CZuGridModel.h"

#include "core/NumberText.h"

#include <cstring>

namespace nosk {

std::string CZuGridModel::GetText(int column, int row)
{
    return formatNumber(m_format, GetValue(row, column));
}

bool CZuGridModel::Validate(const std::string& text)
{
    return readNumber(text, kTypedNumber).has_value();
}

void CZuGridModel::SetText(int column, int row, const std::string& text)
{
    if (auto value = readNumber(text, kTypedNumber))
        SetValue(row, column, *value);
}

double CZuGridModel::GetValue(int row, int column)
{
    if (!m_rows || !m_rows[row])
        return 0.0;
    return m_rows[row][column];
}

void CZuGridModel::SetFormat(const char* format)
{
    std::strncpy(m_format, format, 6);
    m_format[6] = '\0';
}

void CZuGridModel::SetValue(int row, int column, double value)
{
    if (m_rows && m_rows[row])
        m_rows[row][column] = value;
}

double CZuColumnModel::GetValue(int row, int column)
{
    if (column < 0 || static_cast<std::size_t>(column) >= m_columns.size() || !m_columns[column])
        return 0.0;
    return m_columns[static_cast<std::size_t>(column)][row];
}

void CZuColumnModel::SetValue(int row, int column, double value)
{
    if (column < 0 || static_cast<std::size_t>(column) >= m_columns.size() || !m_columns[column])
        return;
    m_columns[static_cast<std::size_t>(column)][row] = value;
}

} // namespace nosk
